#pragma once
// Files dragged onto a window: a drop target registered on a window is asked while the drag moves
// over it and gets the dropped data. Dragged files offer the registered format "FileNameW" (the
// first file's path as wide text in global memory) and CF_UNICODETEXT.
#include "wnd.h"

using DROPEFFECT = DWORD;
#define DROPEFFECT_NONE 0u
#define DROPEFFECT_COPY 1u
#define DROPEFFECT_MOVE 2u
#define DROPEFFECT_LINK 4u
using CLIPFORMAT = WORD;
#define CF_TEXT 1
#define CF_UNICODETEXT 13
#define CF_HDROP 15

// COM for the calling thread plus drag and drop; a thread that registers drop targets calls it.
HRESULT OleInitialize(LPVOID reserved);
void OleUninitialize();

UINT RegisterClipboardFormatW(LPCWSTR name);
inline UINT RegisterClipboardFormat(LPCWSTR name) { return RegisterClipboardFormatW(name); }

// Movable global memory, as the clipboard formats hand it out.
#define GMEM_FIXED 0x0000u
#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
HGLOBAL GlobalReAlloc(HGLOBAL memory, std::size_t bytes, UINT flags);
LPVOID GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory);
std::size_t GlobalSize(HGLOBAL memory);

class QMimeData;

// The data of a drag, as a drop target sees it.
class COleDataObject {
public:
    COleDataObject() = default;
    explicit COleDataObject(const QMimeData* data) : data_(data) {}
    BOOL IsDataAvailable(CLIPFORMAT format, void* formatEtc = nullptr) const;
    // New global memory (the caller frees it) with the data in that format, or null.
    HGLOBAL GetGlobalData(CLIPFORMAT format, void* formatEtc = nullptr) const;
    // The local files of the drag.
    std::vector<std::wstring> Files() const;

private:
    const QMimeData* data_ = nullptr;
};

class COleDropTarget {
public:
    virtual ~COleDropTarget();
    BOOL Register(CWnd* wnd);
    void Revoke();
    // keyState: MK_SHIFT, MK_CONTROL, MK_LBUTTON; point in the window's client coordinates.
    virtual DROPEFFECT OnDragEnter(CWnd* wnd, COleDataObject* data, DWORD keyState, CPoint point);
    virtual DROPEFFECT OnDragOver(CWnd* wnd, COleDataObject* data, DWORD keyState, CPoint point);
    virtual void OnDragLeave(CWnd* wnd);
    virtual BOOL OnDrop(CWnd* wnd, COleDataObject* data, DROPEFFECT effect, CPoint point);
    HWND RegisteredWindow() const { return wnd_; }

private:
    HWND wnd_ = nullptr;
    void* filter_ = nullptr;
};
