#include "ctrls.h"
#include "uiimpl_p.h"

IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CRichEditCtrl, CEdit)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CCheckListBox, CListBox)
IMPLEMENT_DYNAMIC(CSpinButtonCtrl, CWnd)
IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)
IMPLEMENT_DYNAMIC(CScrollBar, CWnd)

namespace {
LPARAM Str(LPCWSTR s) { return reinterpret_cast<LPARAM>(s ? s : L""); }
}  // namespace

namespace qv::ui {
CScrollBar* ScrollBarFromLParam(LPARAM lp) {
    return lp ? static_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lp))) : nullptr;
}
}  // namespace qv::ui

// ---- CStatic

BOOL CStatic::Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"Static", text, style, rect, parent, id);
}
HBITMAP CStatic::SetBitmap(HBITMAP bitmap) {
    return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}
HBITMAP CStatic::GetBitmap() const { return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP, 0)); }
HICON CStatic::SetIcon(HICON icon) {
    return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon), 0));
}

// ---- CButton

BOOL CButton::Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"Button", text, style, rect, parent, id);
}
int CButton::GetCheck() const { return int(SendMessage(BM_GETCHECK)); }
void CButton::SetCheck(int check) { SendMessage(BM_SETCHECK, WPARAM(check)); }
UINT CButton::GetState() const { return UINT(SendMessage(BM_GETSTATE)); }
void CButton::SetState(BOOL highlight) { SendMessage(BM_SETSTATE, WPARAM(highlight)); }
UINT CButton::GetButtonStyle() const { return UINT(GetStyle() & 0xFFFF); }
void CButton::SetButtonStyle(UINT style, BOOL redraw) { SendMessage(BM_SETSTYLE, style, redraw); }
HBITMAP CButton::SetBitmap(HBITMAP bitmap) {
    return reinterpret_cast<HBITMAP>(SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}
HBITMAP CButton::GetBitmap() const { return reinterpret_cast<HBITMAP>(SendMessage(BM_GETIMAGE, IMAGE_BITMAP, 0)); }
HICON CButton::SetIcon(HICON icon) {
    return reinterpret_cast<HICON>(SendMessage(BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon)));
}
void CButton::DrawItem(LPDRAWITEMSTRUCT) {}
BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_DRAWITEM && lParam) {
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    }
    return CWnd::OnChildNotify(message, wParam, lParam, result);
}

// ---- CEdit

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"Edit", nullptr, style, rect, parent, id);
}
void CEdit::SetSel(int start, int end, BOOL) { SendMessage(EM_SETSEL, WPARAM(INT_PTR(start)), LPARAM(end)); }
void CEdit::GetSel(int& start, int& end) const {
    DWORD s = 0, e = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    start = int(s), end = int(e);
}
DWORD CEdit::GetSel() const { return DWORD(SendMessage(EM_GETSEL)); }
BOOL CEdit::SetReadOnly(BOOL readOnly) { return BOOL(SendMessage(EM_SETREADONLY, WPARAM(readOnly))); }
void CEdit::LimitText(int max) { SendMessage(EM_LIMITTEXT, WPARAM(max)); }
UINT CEdit::GetLimitText() const { return UINT(SendMessage(EM_GETLIMITTEXT)); }
void CEdit::ReplaceSel(LPCWSTR text, BOOL canUndo) { SendMessage(EM_REPLACESEL, WPARAM(canUndo), Str(text)); }
int CEdit::GetLineCount() const { return int(SendMessage(EM_GETLINECOUNT)); }
BOOL CEdit::GetModify() const { return BOOL(SendMessage(EM_GETMODIFY)); }
void CEdit::SetModify(BOOL modified) { SendMessage(EM_SETMODIFY, WPARAM(modified)); }
BOOL CEdit::CanUndo() const { return BOOL(SendMessage(EM_CANUNDO)); }
BOOL CEdit::Undo() { return BOOL(SendMessage(EM_UNDO)); }

// ---- CComboBox

BOOL CComboBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"ComboBox", nullptr, style, rect, parent, id);
}
int CComboBox::GetCount() const { return int(SendMessage(CB_GETCOUNT)); }
int CComboBox::GetCurSel() const { return int(SendMessage(CB_GETCURSEL)); }
int CComboBox::SetCurSel(int index) { return int(SendMessage(CB_SETCURSEL, WPARAM(INT_PTR(index)))); }
int CComboBox::AddString(LPCWSTR text) { return int(SendMessage(CB_ADDSTRING, 0, Str(text))); }
int CComboBox::InsertString(int index, LPCWSTR text) {
    return int(SendMessage(CB_INSERTSTRING, WPARAM(INT_PTR(index)), Str(text)));
}
int CComboBox::DeleteString(UINT index) { return int(SendMessage(CB_DELETESTRING, index)); }
void CComboBox::ResetContent() { SendMessage(CB_RESETCONTENT); }
int CComboBox::GetLBText(int index, LPWSTR buffer) const {
    return int(SendMessage(CB_GETLBTEXT, WPARAM(INT_PTR(index)), reinterpret_cast<LPARAM>(buffer)));
}
void CComboBox::GetLBText(int index, CString& text) const {
    const int n = GetLBTextLen(index);
    if (n < 0) {
        text.Empty();
        return;
    }
    std::wstring buffer(std::size_t(n) + 1, L'\0');
    GetLBText(index, buffer.data());
    buffer.resize(std::size_t(n));
    text = buffer;
}
int CComboBox::GetLBTextLen(int index) const { return int(SendMessage(CB_GETLBTEXTLEN, WPARAM(INT_PTR(index)))); }
int CComboBox::FindString(int startAfter, LPCWSTR text) const {
    return int(SendMessage(CB_FINDSTRING, WPARAM(INT_PTR(startAfter)), Str(text)));
}
int CComboBox::FindStringExact(int startAfter, LPCWSTR text) const {
    return int(SendMessage(CB_FINDSTRINGEXACT, WPARAM(INT_PTR(startAfter)), Str(text)));
}
int CComboBox::SelectString(int startAfter, LPCWSTR text) {
    return int(SendMessage(CB_SELECTSTRING, WPARAM(INT_PTR(startAfter)), Str(text)));
}
DWORD_PTR CComboBox::GetItemData(int index) const { return DWORD_PTR(SendMessage(CB_GETITEMDATA, WPARAM(INT_PTR(index)))); }
int CComboBox::SetItemData(int index, DWORD_PTR data) {
    return int(SendMessage(CB_SETITEMDATA, WPARAM(INT_PTR(index)), LPARAM(data)));
}
void CComboBox::ShowDropDown(BOOL show) { SendMessage(CB_SHOWDROPDOWN, WPARAM(show)); }
BOOL CComboBox::GetDroppedState() const { return BOOL(SendMessage(CB_GETDROPPEDSTATE)); }
void CComboBox::GetDroppedControlRect(LPRECT rect) const {
    SendMessage(CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(rect));
}
BOOL CComboBox::SetEditSel(int start, int end) {
    return BOOL(SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(WORD(SHORT(start)), WORD(SHORT(end)))));
}
DWORD CComboBox::GetEditSel() const { return DWORD(SendMessage(CB_GETEDITSEL)); }
BOOL CComboBox::LimitText(int max) { return BOOL(SendMessage(CB_LIMITTEXT, WPARAM(max))); }
int CComboBox::SetDroppedWidth(UINT width) { return int(SendMessage(CB_SETDROPPEDWIDTH, width)); }
int CComboBox::GetDroppedWidth() const { return int(SendMessage(CB_GETDROPPEDWIDTH)); }
int CComboBox::SetItemHeight(int index, UINT height) {
    return int(SendMessage(CB_SETITEMHEIGHT, WPARAM(INT_PTR(index)), LPARAM(height)));
}
int CComboBox::GetItemHeight(int index) const { return int(SendMessage(CB_GETITEMHEIGHT, WPARAM(INT_PTR(index)))); }
void CComboBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CComboBox::MeasureItem(LPMEASUREITEMSTRUCT) {}
int CComboBox::CompareItem(LPCOMPAREITEMSTRUCT) { return 0; }
void CComboBox::DeleteItem(LPDELETEITEMSTRUCT) {}
BOOL CComboBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_DRAWITEM:
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    case WM_MEASUREITEM:
        MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    case WM_COMPAREITEM: {
        const int r = CompareItem(reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam));
        if (result) *result = r;
        return TRUE;
    }
    case WM_DELETEITEM:
        DeleteItem(reinterpret_cast<LPDELETEITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    default:
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    }
}

// ---- CListBox

BOOL CListBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"ListBox", nullptr, style, rect, parent, id);
}
int CListBox::GetCount() const { return int(SendMessage(LB_GETCOUNT)); }
int CListBox::GetCurSel() const { return int(SendMessage(LB_GETCURSEL)); }
int CListBox::SetCurSel(int index) { return int(SendMessage(LB_SETCURSEL, WPARAM(INT_PTR(index)))); }
int CListBox::GetSel(int index) const { return int(SendMessage(LB_GETSEL, WPARAM(INT_PTR(index)))); }
int CListBox::SetSel(int index, BOOL select) { return int(SendMessage(LB_SETSEL, WPARAM(select), LPARAM(index))); }
int CListBox::GetSelCount() const { return int(SendMessage(LB_GETSELCOUNT)); }
int CListBox::GetSelItems(int max, LPINT items) const {
    return int(SendMessage(LB_GETSELITEMS, WPARAM(max), reinterpret_cast<LPARAM>(items)));
}
int CListBox::AddString(LPCWSTR text) { return int(SendMessage(LB_ADDSTRING, 0, Str(text))); }
int CListBox::InsertString(int index, LPCWSTR text) {
    return int(SendMessage(LB_INSERTSTRING, WPARAM(INT_PTR(index)), Str(text)));
}
int CListBox::DeleteString(UINT index) { return int(SendMessage(LB_DELETESTRING, index)); }
void CListBox::ResetContent() { SendMessage(LB_RESETCONTENT); }
int CListBox::GetText(int index, LPWSTR buffer) const {
    return int(SendMessage(LB_GETTEXT, WPARAM(INT_PTR(index)), reinterpret_cast<LPARAM>(buffer)));
}
void CListBox::GetText(int index, CString& text) const {
    const int n = GetTextLen(index);
    if (n < 0) {
        text.Empty();
        return;
    }
    std::wstring buffer(std::size_t(n) + 1, L'\0');
    GetText(index, buffer.data());
    buffer.resize(std::size_t(n));
    text = buffer;
}
int CListBox::GetTextLen(int index) const { return int(SendMessage(LB_GETTEXTLEN, WPARAM(INT_PTR(index)))); }
int CListBox::FindString(int startAfter, LPCWSTR text) const {
    return int(SendMessage(LB_FINDSTRING, WPARAM(INT_PTR(startAfter)), Str(text)));
}
int CListBox::FindStringExact(int startAfter, LPCWSTR text) const {
    return int(SendMessage(LB_FINDSTRINGEXACT, WPARAM(INT_PTR(startAfter)), Str(text)));
}
int CListBox::SelectString(int startAfter, LPCWSTR text) {
    return int(SendMessage(LB_SELECTSTRING, WPARAM(INT_PTR(startAfter)), Str(text)));
}
DWORD_PTR CListBox::GetItemData(int index) const { return DWORD_PTR(SendMessage(LB_GETITEMDATA, WPARAM(INT_PTR(index)))); }
int CListBox::SetItemData(int index, DWORD_PTR data) {
    return int(SendMessage(LB_SETITEMDATA, WPARAM(INT_PTR(index)), LPARAM(data)));
}
int CListBox::GetTopIndex() const { return int(SendMessage(LB_GETTOPINDEX)); }
void CListBox::SetHorizontalExtent(int extent) { SendMessage(LB_SETHORIZONTALEXTENT, WPARAM(extent)); }
int CListBox::SetItemHeight(int index, UINT height) {
    return int(SendMessage(LB_SETITEMHEIGHT, WPARAM(INT_PTR(index)), LPARAM(height)));
}
int CListBox::GetItemHeight(int index) const { return int(SendMessage(LB_GETITEMHEIGHT, WPARAM(INT_PTR(index)))); }
void CListBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CListBox::MeasureItem(LPMEASUREITEMSTRUCT) {}
int CListBox::CompareItem(LPCOMPAREITEMSTRUCT) { return 0; }
void CListBox::DeleteItem(LPDELETEITEMSTRUCT) {}
BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_DRAWITEM:
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    case WM_MEASUREITEM:
        MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    case WM_COMPAREITEM: {
        const int r = CompareItem(reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam));
        if (result) *result = r;
        return TRUE;
    }
    case WM_DELETEITEM:
        DeleteItem(reinterpret_cast<LPDELETEITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    default:
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    }
}

// ---- CCheckListBox

void CCheckListBox::SetCheckStyle(UINT) { SendMessage(QV_LB_SETCHECKSTYLE); }
void CCheckListBox::SetCheck(int index, int check) { SendMessage(QV_LB_SETCHECK, WPARAM(INT_PTR(index)), LPARAM(check)); }
int CCheckListBox::GetCheck(int index) const { return int(SendMessage(QV_LB_GETCHECK, WPARAM(INT_PTR(index)))); }
void CCheckListBox::Enable(int index, BOOL enable) { SendMessage(QV_LB_ENABLE, WPARAM(INT_PTR(index)), LPARAM(enable)); }
BOOL CCheckListBox::IsEnabled(int index) const { return BOOL(SendMessage(QV_LB_ISENABLED, WPARAM(INT_PTR(index)))); }

// ---- CSpinButtonCtrl

BOOL CSpinButtonCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"msctls_updown32", nullptr, style, rect, parent, id);
}
void CSpinButtonCtrl::SetRange(short lower, short upper) { SendMessage(UDM_SETRANGE, 0, MAKELPARAM(WORD(upper), WORD(lower))); }
void CSpinButtonCtrl::SetRange32(int lower, int upper) { SendMessage(UDM_SETRANGE32, WPARAM(INT_PTR(lower)), LPARAM(upper)); }
DWORD CSpinButtonCtrl::GetRange() const { return DWORD(SendMessage(UDM_GETRANGE)); }
void CSpinButtonCtrl::GetRange(int& lower, int& upper) const {
    SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
}
int CSpinButtonCtrl::SetPos(int pos) { return int(SHORT(LOWORD(std::uintptr_t(SendMessage(UDM_SETPOS, 0, MAKELPARAM(WORD(pos), 0)))))); }
int CSpinButtonCtrl::GetPos() const { return int(DWORD(SendMessage(UDM_GETPOS))); }
int CSpinButtonCtrl::SetPos32(int pos) { return int(SendMessage(UDM_SETPOS32, 0, LPARAM(pos))); }
int CSpinButtonCtrl::GetPos32(LPBOOL error) const { return int(SendMessage(UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(error))); }
CWnd* CSpinButtonCtrl::SetBuddy(CWnd* buddy) {
    return CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy ? buddy->m_hWnd : nullptr))));
}
CWnd* CSpinButtonCtrl::GetBuddy() const { return CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(UDM_GETBUDDY))); }

// ---- CProgressCtrl

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"msctls_progress32", nullptr, style, rect, parent, id);
}
void CProgressCtrl::SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(WORD(lower), WORD(upper))); }
void CProgressCtrl::SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, WPARAM(INT_PTR(lower)), LPARAM(upper)); }
void CProgressCtrl::GetRange(int& lower, int& upper) const {
    int range[2] = {0, 0};
    SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(range));
    lower = range[0], upper = range[1];
}
int CProgressCtrl::SetPos(int pos) { return int(SendMessage(PBM_SETPOS, WPARAM(INT_PTR(pos)))); }
int CProgressCtrl::GetPos() const { return int(SendMessage(PBM_GETPOS)); }
int CProgressCtrl::OffsetPos(int delta) { return int(SendMessage(PBM_DELTAPOS, WPARAM(INT_PTR(delta)))); }
int CProgressCtrl::SetStep(int step) { return int(SendMessage(PBM_SETSTEP, WPARAM(INT_PTR(step)))); }
int CProgressCtrl::StepIt() { return int(SendMessage(PBM_STEPIT)); }

// ---- CScrollBar

BOOL CScrollBar::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"ScrollBar", nullptr, style, rect, parent, id);
}
int CScrollBar::GetScrollPos() const { return int(SendMessage(SBM_GETPOS)); }
int CScrollBar::SetScrollPos(int pos, BOOL redraw) { return int(SendMessage(SBM_SETPOS, WPARAM(INT_PTR(pos)), redraw)); }
void CScrollBar::GetScrollRange(LPINT minPos, LPINT maxPos) const {
    SendMessage(SBM_GETRANGE, reinterpret_cast<WPARAM>(minPos), reinterpret_cast<LPARAM>(maxPos));
}
void CScrollBar::SetScrollRange(int minPos, int maxPos, BOOL) { SendMessage(SBM_SETRANGE, WPARAM(INT_PTR(minPos)), LPARAM(maxPos)); }
BOOL CScrollBar::SetScrollInfo(LPSCROLLINFO info, BOOL redraw) {
    return SendMessage(SBM_SETSCROLLINFO, WPARAM(redraw), reinterpret_cast<LPARAM>(info)) >= 0;
}
BOOL CScrollBar::GetScrollInfo(LPSCROLLINFO info, UINT mask) {
    if (!info) return FALSE;
    info->fMask = mask;
    return BOOL(SendMessage(SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
}
int CScrollBar::GetScrollLimit() {
    SCROLLINFO si;
    GetScrollInfo(&si, SIF_RANGE | SIF_PAGE);
    return std::max(si.nMin, si.nMax - std::max(0, int(si.nPage) - 1));
}
