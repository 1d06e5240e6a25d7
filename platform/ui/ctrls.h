#pragma once
// The standard controls. Each class sends its control's messages (so a control can be driven by
// messages from any thread, as the system's worker threads do); the window class of the control
// does the work. Owner-drawn combo and list boxes draw through DrawItem of the attached object.
// A combo box's drop-down list is a window of its own (class "ComboLBox", a child of the combo
// box, made when it first drops down): the combo box hears its WM_CTLCOLORLISTBOX as it shows and
// its owner-draw messages before its parent, and then the list hears WM_WINDOWPOSCHANGING, so that
// a combo box can subclass its list and fit its size.
#include "wnd.h"

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
public:
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF);
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
    HICON SetIcon(HICON icon);
};

// Class-private notification of the check list box: a check box was toggled by the user.
#define CLBN_CHKCHANGE 40

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCheck() const;
    void SetCheck(int check);
    UINT GetState() const;
    void SetState(BOOL highlight);
    UINT GetButtonStyle() const;
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
    HICON SetIcon(HICON icon);
    // Owner-drawn buttons (BS_OWNERDRAW) draw here.
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // end -1: to the end; start -1: no selection.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void SetSel(DWORD selection, BOOL noScroll = FALSE) { SetSel(int(LOWORD(selection)), int(SHORT(HIWORD(selection))), noScroll); }
    void GetSel(int& start, int& end) const;
    DWORD GetSel() const;
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    void LimitText(int max = 0);
    void SetLimitText(UINT max) { LimitText(int(max)); }
    UINT GetLimitText() const;
    void ReplaceSel(LPCWSTR text, BOOL canUndo = FALSE);
    int GetLineCount() const;
    BOOL GetModify() const;
    void SetModify(BOOL modified = TRUE);
    BOOL CanUndo() const;
    BOOL Undo();
};

class CRichEditCtrl : public CEdit {
    DECLARE_DYNAMIC(CRichEditCtrl)
};

class CComboBox : public CWnd {
    DECLARE_DYNAMIC(CComboBox)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int AddString(LPCWSTR text);
    int InsertString(int index, LPCWSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetLBText(int index, LPWSTR buffer) const;
    void GetLBText(int index, CString& text) const;
    int GetLBTextLen(int index) const;
    int FindString(int startAfter, LPCWSTR text) const;
    int FindStringExact(int startAfter, LPCWSTR text) const;
    int SelectString(int startAfter, LPCWSTR text);
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    void* GetItemDataPtr(int index) const { return reinterpret_cast<void*>(GetItemData(index)); }
    int SetItemDataPtr(int index, void* data) { return SetItemData(index, reinterpret_cast<DWORD_PTR>(data)); }
    void ShowDropDown(BOOL show = TRUE);
    BOOL GetDroppedState() const;
    void GetDroppedControlRect(LPRECT rect) const;
    BOOL SetEditSel(int start, int end);
    DWORD GetEditSel() const;
    BOOL LimitText(int max);
    int SetDroppedWidth(UINT width);
    int GetDroppedWidth() const;
    int SetItemHeight(int index, UINT height);
    int GetItemHeight(int index) const;
    // Owner-drawn combo boxes (CBS_OWNERDRAWFIXED / VARIABLE).
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT mis);
    virtual int CompareItem(LPCOMPAREITEMSTRUCT cis);
    virtual void DeleteItem(LPDELETEITEMSTRUCT dis);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CListBox : public CWnd {
    DECLARE_DYNAMIC(CListBox)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetSel(int index) const;
    int SetSel(int index, BOOL select = TRUE);
    int GetSelCount() const;
    int GetSelItems(int max, LPINT items) const;
    int AddString(LPCWSTR text);
    int InsertString(int index, LPCWSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetText(int index, LPWSTR buffer) const;
    void GetText(int index, CString& text) const;
    int GetTextLen(int index) const;
    int FindString(int startAfter, LPCWSTR text) const;
    int FindStringExact(int startAfter, LPCWSTR text) const;
    int SelectString(int startAfter, LPCWSTR text);
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    void* GetItemDataPtr(int index) const { return reinterpret_cast<void*>(GetItemData(index)); }
    int SetItemDataPtr(int index, void* data) { return SetItemData(index, reinterpret_cast<DWORD_PTR>(data)); }
    int GetTopIndex() const;
    void SetHorizontalExtent(int extent);
    int SetItemHeight(int index, UINT height);
    int GetItemHeight(int index) const;
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT mis);
    virtual int CompareItem(LPCOMPAREITEMSTRUCT cis);
    virtual void DeleteItem(LPDELETEITEMSTRUCT dis);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

// A list box whose items have check boxes, each of which can be disabled.
#define BS_CHECKLIST_STYLE BS_AUTOCHECKBOX
class CCheckListBox : public CListBox {
    DECLARE_DYNAMIC(CCheckListBox)
public:
    // Makes an existing list box a check list box (also done by the first call below).
    void SetCheckStyle(UINT style = BS_AUTOCHECKBOX);
    void SetCheck(int index, int check);
    int GetCheck(int index) const;
    void Enable(int index, BOOL enable = TRUE);
    BOOL IsEnabled(int index) const;
};

class CSpinButtonCtrl : public CWnd {
    DECLARE_DYNAMIC(CSpinButtonCtrl)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(short lower, short upper);
    void SetRange32(int lower, int upper);
    DWORD GetRange() const;
    void GetRange(int& lower, int& upper) const;
    void GetRange32(int& lower, int& upper) const { GetRange(lower, upper); }
    int SetPos(int pos);
    int GetPos() const;
    int SetPos32(int pos);
    int GetPos32(LPBOOL error = nullptr) const;
    CWnd* SetBuddy(CWnd* buddy);
    CWnd* GetBuddy() const;
};

class CProgressCtrl : public CWnd {
    DECLARE_DYNAMIC(CProgressCtrl)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(short lower, short upper);
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int SetPos(int pos);
    int GetPos() const;
    int OffsetPos(int delta);
    int SetStep(int step);
    int StepIt();
};

class CScrollBar : public CWnd {
    DECLARE_DYNAMIC(CScrollBar)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetScrollPos() const;
    int SetScrollPos(int pos, BOOL redraw = TRUE);
    void GetScrollRange(LPINT minPos, LPINT maxPos) const;
    void SetScrollRange(int minPos, int maxPos, BOOL redraw = TRUE);
    BOOL SetScrollInfo(LPSCROLLINFO info, BOOL redraw = TRUE);
    BOOL GetScrollInfo(LPSCROLLINFO info, UINT mask = SIF_ALL);
    int GetScrollLimit();
};
