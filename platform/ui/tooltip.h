#pragma once
// Tool tips: a tool is a window (or a rectangle of one) with a text shown when the mouse rests on
// it; a tracking tool tip is placed and shown by the program (TrackPosition, TrackActivate).
#include "wnd.h"

#define TTS_ALWAYSTIP 0x01u
#define TTS_NOPREFIX 0x02u
#define TTF_IDISHWND 0x0001u
#define TTF_CENTERTIP 0x0002u
#define TTF_SUBCLASS 0x0010u
#define TTF_TRACK 0x0020u
#define TTF_ABSOLUTE 0x0080u
#define TTF_TRANSPARENT 0x0100u
#define LPSTR_TEXTCALLBACKW (reinterpret_cast<LPWSTR>(static_cast<std::intptr_t>(-1)))

struct TOOLINFOW {
    UINT cbSize = sizeof(TOOLINFOW);
    UINT uFlags = 0;
    HWND hwnd = nullptr;
    UINT_PTR uId = 0;
    RECT rect;
    HINSTANCE hinst = nullptr;
    LPWSTR lpszText = nullptr;
    LPARAM lParam = 0;
};
using TOOLINFO = TOOLINFOW;

class CToolTipCtrl : public CWnd {
    DECLARE_DYNAMIC(CToolTipCtrl)
public:
    BOOL Create(CWnd* parent, DWORD style = 0);
    BOOL AddTool(CWnd* wnd, LPCWSTR text = LPSTR_TEXTCALLBACKW, LPCRECT rect = nullptr, UINT_PTR id = 0);
    BOOL AddTool(CWnd* wnd, UINT textId, LPCRECT rect = nullptr, UINT_PTR id = 0);
    BOOL AddTool(const TOOLINFOW* info);
    void DelTool(CWnd* wnd, UINT_PTR id = 0);
    void UpdateTipText(LPCWSTR text, CWnd* wnd, UINT_PTR id = 0);
    void GetText(CString& text, CWnd* wnd, UINT_PTR id = 0) const;
    void Activate(BOOL activate);
    int SetMaxTipWidth(int width);
    void RelayEvent(LPMSG msg);
    // A tracking tool tip: shown at the tracked position (screen coordinates) while active.
    void TrackActivate(BOOL activate, const TOOLINFOW* info);
    void TrackPosition(int x, int y);
    BOOL IsTracking() const;
};
