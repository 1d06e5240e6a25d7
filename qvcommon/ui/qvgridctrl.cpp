#include "qvgridctrl.h"
#include "typeddate.h"
#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <mutex>
#include <string>
#include <vector>

IMPLEMENT_DYNAMIC(CQvGridCtrl, CQvListCtrl)

namespace {

constexpr UINT kEditId = 1;
constexpr UINT kComboId = 2;
// The editor lost the focus: the value is taken over once the focus has settled.
const UINT WM_QVGRID_ENDEDIT = WM_APP + 0x3E10;

bool IsDateMode(int mode) { return mode >= CQvGridCtrl::eEditDate && mode <= CQvGridCtrl::eEditTimeOrEmpty; }
bool DateMayBeEmpty(int mode) {
    return mode == CQvGridCtrl::eEditDateOrEmpty || mode == CQvGridCtrl::eEditTimeOrEmpty;
}
bool ShowsDate(int mode) { return mode != CQvGridCtrl::eEditTime && mode != CQvGridCtrl::eEditTimeOrEmpty; }
bool ShowsTime(int mode) {
    return mode == CQvGridCtrl::eEditDateTime || mode == CQvGridCtrl::eEditTime || mode == CQvGridCtrl::eEditTimeOrEmpty;
}

CString Trimmed(const CString& text) {
    CString t = text;
    t.Trim();
    return t;
}

// A decimal number with a point or a comma; nothing else may follow.
bool ParseNumber(const CString& text, double& value) {
    std::wstring s = Trimmed(text).GetString();
    for (auto& c : s)
        if (c == L',') c = L'.';
    s.erase(std::remove(s.begin(), s.end(), L'\''), s.end());
    if (s.empty()) return false;
    wchar_t* end = nullptr;
    value = std::wcstod(s.c_str(), &end);
    return end && *end == L'\0';
}

// The grid's date modes as the kinds of value the date parser reads.
qv::DateEntry EntryKind(int mode) {
    if (!ShowsDate(mode)) return qv::DateEntry::time;
    return ShowsTime(mode) ? qv::DateEntry::dateTime : qv::DateEntry::date;
}

bool ParseCellDate(const CString& text, int mode, COleDateTime& date) {
    return qv::ParseDateEntry(text, EntryKind(mode), date);
}

// What the user is told of a text that is no value of the cell's kind.
void TellNoValue(int mode, const CString& typed) {
    CString text;
    const CString shown = Trimmed(typed);
    if (IsDateMode(mode)) text = qv::DateEntryRefusal(typed, EntryKind(mode));
    else if (mode == CQvGridCtrl::eEditNumber) text.Format(L"\"%s\" ist keine Zahl.", shown.GetString());
    else text.Format(L"\"%s\" ist kein gültiger Wert.", shown.GetString());
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

// ---- rows

CQvGridItem::Extra& CQvGridItem::ExtraAt(int column) {
    if (column < 0) column = 0;
    if (extra_.size() <= std::size_t(column)) extra_.resize(std::size_t(column) + 1);
    return extra_[std::size_t(column)];
}

CQvGridCtrl* CQvGridItem::GetGrid() const { return static_cast<CQvGridCtrl*>(list_); }

void CQvGridItem::SetColumnEditMode(int column, int mode) {
    {
        std::lock_guard g(ListLock());
        ExtraAt(column).mode = mode;
    }
    Changed();
}

int CQvGridItem::GetColumnEditMode(int column) const {
    std::lock_guard g(ListLock());
    return column >= 0 && std::size_t(column) < extra_.size() ? extra_[std::size_t(column)].mode : -1;
}

void CQvGridItem::SetColumnCheck(int column, BOOL checked, BOOL editable) {
    {
        std::lock_guard g(ListLock());
        const double number = checked ? 1 : 0;
        SetText(column, checked ? "Ja" : "Nein", &number);
        ExtraAt(column).mode = editable ? CQvGridCtrl::eEditCheck : CQvGridCtrl::eEditNone;
    }
    Changed();
}

BOOL CQvGridItem::GetColumnCheck(int column) const {
    std::lock_guard g(ListLock());
    const CellView c = CellAt(column);
    return c.hasNumber && c.number != 0;
}

void CQvGridItem::SetColumnNumber(int column, double value, LPCWSTR format, int mode) {
    {
        std::lock_guard g(ListLock());
        Extra& e = ExtraAt(column);
        e.format = format && *format ? format : L"%g";
        if (mode >= 0) e.mode = mode;
    }
    SetColumnDouble(column, value, format);
}

BOOL CQvGridItem::GetColumnNumber(int column, double* value) const {
    std::lock_guard g(ListLock());
    const CellView c = CellAt(column);
    if (!c.hasNumber) return FALSE;
    if (value) *value = c.number;
    return TRUE;
}

void CQvGridItem::SetColumnDate(int column, const COleDateTime& date, int showDate, int timeFormat, int mode) {
    {
        std::lock_guard g(ListLock());
        ExtraAt(column).mode = mode;
    }
    CQvListItem::SetColumnDate(column, date, showDate, timeFormat);
}

COleDateTime CQvGridItem::GetColumnDate(int column) const {
    COleDateTime date;
    std::lock_guard g(ListLock());
    const CellView c = CellAt(column);
    if (!c.hasNumber || c.text.empty()) {
        date.SetStatus(COleDateTime::null);
        return date;
    }
    date.m_dt = c.number;
    return date;
}

void CQvGridItem::SetColumnChoice(int column, long id, int mode) {
    CString text;
    {
        std::lock_guard g(ListLock());
        Extra& e = ExtraAt(column);
        e.choice = id;
        if (mode >= 0) e.mode = mode;
        const auto& choices = GetGrid()->m_choices;
        if (auto it = choices.find(column); it != choices.end())
            for (const auto& [choiceId, choiceText] : it->second)
                if (choiceId == id) text = choiceText;
    }
    SetColumnText(column, text);
}

long CQvGridItem::GetColumnChoice(int column) const {
    std::lock_guard g(ListLock());
    return column >= 0 && std::size_t(column) < extra_.size() ? extra_[std::size_t(column)].choice : 0;
}

void CQvGridItem::SetParam(int index, LPCWSTR text) { CQvListItem::SetParam(index, COleVariant(text ? text : L"")); }

CString CQvGridItem::GetParamText(int index) const {
    COleVariant v;
    if (!GetParam(index, v) || FAILED(v.ChangeType(VT_BSTR))) return CString();
    return CString(v.bstrVal);
}

// ---- the grid

BEGIN_MESSAGE_MAP(CQvGridCtrl, CQvListCtrl)
    ON_NOTIFY_REFLECT_EX(NM_CLICK, &CQvGridCtrl::OnGridClick)
    ON_NOTIFY_REFLECT_EX(NM_DBLCLK, &CQvGridCtrl::OnGridDblClick)
    ON_NOTIFY_REFLECT_EX(LVN_KEYDOWN, &CQvGridCtrl::OnGridKeyDown)
    ON_NOTIFY_REFLECT_EX(NM_RETURN, &CQvGridCtrl::OnGridReturn)
    ON_NOTIFY_REFLECT_EX(LVN_COLUMNCLICK, &CQvGridCtrl::OnGridColumnClick)
    ON_NOTIFY_REFLECT_EX(LVN_DELETEITEM, &CQvGridCtrl::OnGridDeleteItem)
    ON_NOTIFY_REFLECT_EX(LVN_ITEMCHANGED, &CQvGridCtrl::OnGridItemChanged)
    ON_EN_KILLFOCUS(kEditId, &CQvGridCtrl::OnEditorKillFocus)
    ON_EN_CHANGE(kEditId, &CQvGridCtrl::OnEditorChange)
    ON_CBN_KILLFOCUS(kComboId, &CQvGridCtrl::OnEditorKillFocus)
    ON_MESSAGE(WM_QVGRID_ENDEDIT, &CQvGridCtrl::OnEndEditPosted)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

// Dialog templates name the class; the page's member grid exists before its dialog is made.
CQvGridCtrl::CQvGridCtrl() { RegisterClass(); }

CQvGridCtrl::~CQvGridCtrl() {
    if (m_hWnd) DestroyWindow();
}

void CQvGridCtrl::RegisterClass() {
    static std::once_flag once;
    std::call_once(once, [] { qv::ui::RegisterListViewWindowClass(QVGRID_CLASSNAME); });
}

BOOL CQvGridCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    RegisterClass();
    return CWnd::Create(QVGRID_CLASSNAME, L"", style | WS_CHILD | LVS_REPORT, rect, parent, id);
}

void CQvGridCtrl::PreSubclassWindow() {
    CQvListCtrl::PreSubclassWindow();
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_GRIDLINES);
}

CQvListItem* CQvGridCtrl::NewItem() { return new CQvGridItem(this); }

void CQvGridCtrl::SetReadOnly(BOOL readOnly) {
    if (readOnly) EndEdit(FALSE);
    CQvListCtrl::SetReadOnly(readOnly);
}

void CQvGridCtrl::QvSetChoiceList(int column, const std::vector<Choice>& choices) {
    std::lock_guard g(m_lock);
    m_choices[column] = choices;
}

BOOL CQvGridCtrl::QvAddItem(CQvGridItem*& item, BOOL lock) {
    CQvListItem* row = nullptr;
    const BOOL ok = CQvListCtrl::QvAddItem(row, lock);
    item = static_cast<CQvGridItem*>(row);
    return ok;
}

CQvGridItem* CQvGridCtrl::QvGetGridItem(int index) const { return static_cast<CQvGridItem*>(QvGetVisibleListItem(index)); }

CQvGridItem* CQvGridCtrl::QvGetInsertedGridItem(int index) const {
    return static_cast<CQvGridItem*>(QvGetInsertedListItem(index));
}

int CQvGridCtrl::GetEditMode(int index, int column) const {
    const CQvGridItem* item = QvGetGridItem(index);
    if (!item || column < 0) return eEditNone;
    const int mode = item->GetColumnEditMode(column);
    return mode >= 0 ? mode : m_nDefaultMode;
}

std::wstring CQvGridCtrl::CellDisplayText(const CQvListItem* item, int column, const std::wstring& text) const {
    const auto* row = static_cast<const CQvGridItem*>(item);
    int mode = column >= 0 && std::size_t(column) < row->extra_.size() ? row->extra_[std::size_t(column)].mode : -1;
    if (mode < 0) mode = m_nDefaultMode;
    const bool box = mode == eEditCheck || (mode == eEditNone && GetColumnType(column) == eColBool);
    if (!box || column >= row->CellCount()) return text;
    const auto cell = row->CellAt(column);
    return cell.hasNumber && cell.number != 0 ? L"\u2611" : L"\u2610";
}

CWnd* CQvGridCtrl::GetEditor() const {
    if (m_edit.GetSafeHwnd()) return const_cast<CEdit*>(&m_edit);
    if (m_combo.GetSafeHwnd()) return const_cast<CComboBox*>(&m_combo);
    return nullptr;
}

LRESULT CQvGridCtrl::Notify(UINT code, int index, int column, LPCWSTR text) {
    CWnd* parent = GetParent();
    if (!parent) return 0;
    NMQVGRID nm;
    nm.hdr.hwndFrom = m_hWnd;
    nm.hdr.idFrom = UINT_PTR(GetDlgCtrlID());
    nm.hdr.code = code;
    nm.nItem = index;
    nm.nSubItem = column;
    nm.pItem = QvGetGridItem(index);
    nm.pszText = text;
    return parent->SendMessage(WM_NOTIFY, WPARAM(GetDlgCtrlID()), reinterpret_cast<LPARAM>(&nm));
}

CString CQvGridCtrl::EditText(CQvGridItem* item, int column, int mode) const {
    if (mode == eEditCheck) return item->GetColumnCheck(column) ? L"1" : L"0";
    return item->GetColumnText(column);
}

// The text is checked against the cell's kind and, unless dryRun, becomes the cell's value; text
// gets the form the cell shows (what the owner is told).
BOOL CQvGridCtrl::Apply(CQvGridItem* item, int column, int mode, const CString& in, bool dryRun) {
    CString text = Trimmed(in);
    switch (mode) {
    case eEditText:
        if (!dryRun) item->SetColumnText(column, in);
        return TRUE;
    case eEditNumber: {
        if (text.IsEmpty()) {
            if (!dryRun) item->SetColumnText(column, L"");
            return TRUE;
        }
        double value = 0;
        if (!ParseNumber(text, value)) return FALSE;
        if (!dryRun) {
            std::wstring format;
            {
                std::lock_guard g(m_lock);
                format = item->ExtraAt(column).format;
            }
            item->SetColumnNumber(column, value, format.empty() ? L"%g" : format.c_str());
        }
        return TRUE;
    }
    case eEditChoice: {
        std::vector<Choice> choices;
        {
            std::lock_guard g(m_lock);
            if (auto it = m_choices.find(column); it != m_choices.end()) choices = it->second;
        }
        for (const auto& [id, choiceText] : choices)
            if (choiceText.CompareNoCase(text) == 0) {
                if (!dryRun) item->SetColumnChoice(column, id);
                return TRUE;
            }
        return FALSE;
    }
    case eEditCheck: {
        const bool on = text == L"1" || text.CompareNoCase(L"Ja") == 0;
        if (!on && text != L"0" && text.CompareNoCase(L"Nein") != 0) return FALSE;
        if (!dryRun) item->SetColumnCheck(column, on);
        return TRUE;
    }
    default:
        break;
    }
    if (!IsDateMode(mode)) return FALSE;
    COleDateTime date;
    if (text.IsEmpty()) {
        if (!DateMayBeEmpty(mode)) return FALSE;
        date.SetStatus(COleDateTime::null);
    } else {
        if (!ParseCellDate(text, mode, date)) return FALSE;
        // A time keeps the cell's date, a date keeps the cell's time.
        const COleDateTime old = item->GetColumnDate(column);
        const bool haveOld = old.GetStatus() == COleDateTime::valid;
        if (!ShowsDate(mode) && haveOld)
            date.SetDateTime(old.GetYear(), old.GetMonth(), old.GetDay(), date.GetHour(), date.GetMinute(), 0);
        else if (!ShowsTime(mode) && haveOld)
            date.SetDateTime(date.GetYear(), date.GetMonth(), date.GetDay(), old.GetHour(), old.GetMinute(),
                             old.GetSecond());
        if (date.GetStatus() != COleDateTime::valid) return FALSE;
    }
    if (!dryRun) item->SetColumnDate(column, date, ShowsDate(mode) ? 1 : 0, ShowsTime(mode) ? 10 : 0, mode);
    return TRUE;
}

BOOL CQvGridCtrl::Change(int index, int column, const CString& text) {
    CQvGridItem* item = QvGetGridItem(index);
    const int mode = GetEditMode(index, column);
    if (!item || m_bReadOnly || mode == eEditNone) return FALSE;
    if (!Apply(item, column, mode, text, true)) return FALSE;
    CString shown = Trimmed(text);
    if (IsDateMode(mode) && !shown.IsEmpty()) {
        COleDateTime date;
        ParseCellDate(shown, mode, date);
        shown = ShowsDate(mode) ? date.Format(ShowsTime(mode) ? L"%d.%m.%Y %H:%M" : L"%d.%m.%Y") : date.Format(L"%H:%M");
    }
    if (mode == eEditText) shown = text;
    if (mode == eEditCheck) shown = (shown == L"1" || shown.CompareNoCase(L"Ja") == 0) ? L"1" : L"0";
    if (Notify(QVGN_CELLCHANGING, index, column, shown) != 0) return FALSE;
    // The owner may have removed or moved the row while it was asked.
    if (item->GetIndex() < 0 || m_bReadOnly) return FALSE;
    Apply(item, column, mode, text, false);
    Notify(QVGN_CELLCHANGED, item->GetIndex(), column, shown);
    return TRUE;
}

BOOL CQvGridCtrl::SetCellValue(int index, int column, LPCWSTR text) {
    return Change(index, column, CString(text ? text : L""));
}

int CQvGridCtrl::NextEditableColumn(int index, int from, int step) const {
    CHeaderCtrl* header = const_cast<CQvGridCtrl*>(this)->GetHeaderCtrl();
    const int columns = header ? header->GetItemCount() : 0;
    for (int c = from; c >= 0 && c < columns; c += step)
        if (GetEditMode(index, c) != eEditNone) return c;
    return -1;
}

BOOL CQvGridCtrl::EditCell(int index, int column) {
    if (IsEditing() && !EndEdit(TRUE)) return FALSE;
    CQvGridItem* item = QvGetGridItem(index);
    const int mode = GetEditMode(index, column);
    if (!item || m_bReadOnly || mode == eEditNone || !IsWindowEnabled()) return FALSE;
    m_nCurColumn = column;
    if (mode == eEditCheck) return Change(index, column, item->GetColumnCheck(column) ? L"0" : L"1");
    if (Notify(QVGN_BEGINEDIT, index, column, nullptr) != 0) return FALSE;
    index = item->GetIndex();
    if (index < 0) return FALSE;
    EnsureVisible(index, FALSE);
    CRect rect;
    if (!GetSubItemRect(index, column, LVIR_BOUNDS, rect)) return FALSE;
    const CString text = EditText(item, column, mode);
    if (mode == eEditChoice) {
        rect.bottom = rect.top + std::max<int>(rect.Height(), 20) + 160;
        if (!m_combo.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, rect, this, kComboId))
            return FALSE;
        m_combo.SetFont(GetFont());
        std::vector<Choice> choices;
        {
            std::lock_guard g(m_lock);
            if (auto it = m_choices.find(column); it != m_choices.end()) choices = it->second;
        }
        for (const auto& [id, choiceText] : choices) m_combo.SetItemData(m_combo.AddString(choiceText), DWORD_PTR(id));
        m_combo.SelectString(-1, text);
        m_combo.SetFocus();
    } else {
        if (!m_edit.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, rect, this, kEditId))
            return FALSE;
        m_edit.SetFont(GetFont());
        SetEditorText(text);
        m_edit.SetSel(0, -1);
        m_edit.SetFocus();
    }
    m_nEditItem = index;
    m_nEditColumn = column;
    m_pEditItem = item;
    ++m_nEditSerial;
    return TRUE;
}

BOOL CQvGridCtrl::SetEditAndSelection(int index, int column) {
    if (!QvSetSelection(index)) return FALSE;
    return EditCell(index, column);
}

BOOL CQvGridCtrl::EndEdit(BOOL takeOver) {
    if (!IsEditing() || m_bEnding) return TRUE;
    m_bEnding = true;
    CString text;
    if (m_edit.GetSafeHwnd()) m_edit.GetWindowText(text);
    if (m_combo.GetSafeHwnd() && m_combo.GetCurSel() >= 0) m_combo.GetLBText(m_combo.GetCurSel(), text);
    CQvGridItem* item = m_pEditItem;
    const int column = m_nEditColumn;
    const int mode = item ? GetEditMode(item->GetIndex(), column) : eEditNone;
    const CString before = item ? EditText(item, column, mode) : CString();
    const bool hadFocus = CWnd::GetFocus() == GetEditor();
    m_nEditItem = m_nEditColumn = -1;
    m_pEditItem = nullptr;
    if (m_edit.GetSafeHwnd()) m_edit.DestroyWindow();
    if (m_combo.GetSafeHwnd()) m_combo.DestroyWindow();
    if (hadFocus) SetFocus();
    m_bEnding = false;
    if (!takeOver || !item || text == before) return TRUE;
    const int index = item->GetIndex();
    if (index < 0) return FALSE;
    if (!m_bReadOnly && mode != eEditNone && !Apply(item, column, mode, text, true)) {
        TellNoValue(mode, text);
        // Left with a key: the editor opens again with the text, to be corrected.
        if (hadFocus && EditCell(index, column) && m_edit.GetSafeHwnd()) {
            SetEditorText(text);
            m_edit.SetSel(0, -1);
        }
        return FALSE;
    }
    return Change(index, column, text);
}

BOOL CQvGridCtrl::CommitEdit() {
    if (!IsEditing()) return TRUE;
    CQvGridItem* item = m_pEditItem;
    const int column = m_nEditColumn;
    CString text;
    if (m_edit.GetSafeHwnd()) m_edit.GetWindowText(text);
    const int choice = m_combo.GetSafeHwnd() ? m_combo.GetCurSel() : -1;
    if (EndEdit(TRUE)) return TRUE;
    // Left with a key the editor is open again already; the owner's refusal closed it.
    if (!IsEditing() && item && item->GetIndex() >= 0) EditCell(item->GetIndex(), column);
    if (m_edit.GetSafeHwnd()) {
        SetEditorText(text);
        m_edit.SetSel(0, -1);
        m_edit.SetFocus();
    } else if (m_combo.GetSafeHwnd()) {
        if (choice >= 0) m_combo.SetCurSel(choice);
        m_combo.SetFocus();
    }
    return FALSE;
}

void CQvGridCtrl::SetEditorText(const CString& text) {
    m_bFilling = true;
    m_edit.SetWindowText(text);
    m_bFilling = false;
}

void CQvGridCtrl::OnEditorChange() {
    if (m_bFilling || !IsEditing() || !m_pEditItem) return;
    Notify(QVGN_EDITCHANGE, m_pEditItem->GetIndex(), m_nEditColumn, nullptr);
}

void CQvGridCtrl::OnEditorKillFocus() {
    if (!m_bEnding && IsEditing()) PostMessage(WM_QVGRID_ENDEDIT, WPARAM(m_nEditSerial));
}

LRESULT CQvGridCtrl::OnEndEditPosted(WPARAM wParam, LPARAM) {
    CWnd* editor = GetEditor();
    // The choice list's drop-down takes the focus while it is open.
    const bool dropped = m_combo.GetSafeHwnd() && m_combo.GetDroppedState();
    if (!IsEditing() || int(wParam) != m_nEditSerial || dropped || (editor && CWnd::GetFocus() == editor)) return 0;
    // Left for another control: a value refused opens its cell again to be mended, so that a save
    // clicked meanwhile finds it there and stops.
    if (IsWindowVisible()) CommitEdit();
    else EndEdit(TRUE);
    return 0;
}

BOOL CQvGridCtrl::PreTranslateMessage(MSG* msg) {
    CWnd* editor = GetEditor();
    if (editor && msg->message == WM_KEYDOWN && (msg->hwnd == editor->m_hWnd || ::GetParent(msg->hwnd) == editor->m_hWnd)) {
        switch (msg->wParam) {
        case VK_RETURN:
            EndEdit(TRUE);
            return TRUE;
        case VK_ESCAPE:
            EndEdit(FALSE);
            return TRUE;
        case VK_TAB: {
            CQvGridItem* item = m_pEditItem;
            const int step = (GetKeyState(VK_SHIFT) & 0x8000) ? -1 : 1;
            const int column = m_nEditColumn;
            if (!EndEdit(TRUE) || !item) return TRUE;
            const int index = item->GetIndex();
            const int next = NextEditableColumn(index, column + step, step);
            if (next >= 0) EditCell(index, next);
            return TRUE;
        }
        default:
            break;
        }
    }
    return CQvListCtrl::PreTranslateMessage(msg);
}

BOOL CQvGridCtrl::OnGridClick(NMHDR* nm, LRESULT*) {
    const auto* click = reinterpret_cast<NMITEMACTIVATE*>(nm);
    // The list's own handler (links, the kept row) runs after this one, as the click goes on.
    const bool fresh = click->iItem == m_nFreshRow;
    m_nFreshRow = -1;
    const int mode = click->iItem >= 0 ? GetEditMode(click->iItem, click->iSubItem) : eEditNone;
    // A link is followed, not edited.
    if (IsLink(click->iItem, click->iSubItem)) return FALSE;
    if (mode == eEditCheck || (mode != eEditNone && !fresh)) EditCell(click->iItem, click->iSubItem);
    return FALSE;
}

bool CQvGridCtrl::IsLink(int index, int column) const {
    const CQvGridItem* item = QvGetGridItem(index);
    std::lock_guard g(m_lock);
    return item && item->CellAt(column).isLink;
}

BOOL CQvGridCtrl::OnGridItemChanged(NMHDR* nm, LRESULT* result) {
    const auto* change = reinterpret_cast<NMLISTVIEW*>(nm);
    if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED)) m_nFreshRow = change->iItem;
    return CQvListCtrl::OnItemChanged(nm, result);
}

BOOL CQvGridCtrl::OnGridDblClick(NMHDR* nm, LRESULT*) {
    const auto* click = reinterpret_cast<NMITEMACTIVATE*>(nm);
    const int mode = click->iItem >= 0 ? GetEditMode(click->iItem, click->iSubItem) : eEditNone;
    // A check box changed with the first click already.
    if (mode != eEditNone && mode != eEditCheck && !IsEditing() && !IsLink(click->iItem, click->iSubItem))
        EditCell(click->iItem, click->iSubItem);
    return FALSE;
}

BOOL CQvGridCtrl::OnGridKeyDown(NMHDR* nm, LRESULT*) {
    const WORD key = reinterpret_cast<NMLVKEYDOWN*>(nm)->wVKey;
    const int row = GetNextItem(-1, LVNI_FOCUSED);
    if (row < 0) return FALSE;
    switch (key) {
    case VK_F2: {
        const int column = GetEditMode(row, m_nCurColumn) != eEditNone ? m_nCurColumn : NextEditableColumn(row, 0, 1);
        if (column >= 0 && GetEditMode(row, column) != eEditCheck) EditCell(row, column);
        break;
    }
    case VK_SPACE:
        if (GetEditMode(row, m_nCurColumn) == eEditCheck) EditCell(row, m_nCurColumn);
        break;
    case VK_LEFT: {
        const int column = NextEditableColumn(row, m_nCurColumn - 1, -1);
        if (column >= 0) m_nCurColumn = column;
        break;
    }
    case VK_RIGHT: {
        const int column = NextEditableColumn(row, m_nCurColumn + 1, 1);
        if (column >= 0) m_nCurColumn = column;
        break;
    }
    default:
        break;
    }
    return FALSE;
}

BOOL CQvGridCtrl::OnGridReturn(NMHDR*, LRESULT*) {
    const int row = GetNextItem(-1, LVNI_FOCUSED);
    if (row < 0) return FALSE;
    const int column = GetEditMode(row, m_nCurColumn) != eEditNone ? m_nCurColumn : NextEditableColumn(row, 0, 1);
    if (column >= 0) EditCell(row, column);
    return FALSE;
}

BOOL CQvGridCtrl::OnGridColumnClick(NMHDR* nm, LRESULT* result) {
    EndEdit(TRUE);
    return CQvListCtrl::OnColumnClick(nm, result);
}

BOOL CQvGridCtrl::OnGridDeleteItem(NMHDR* nm, LRESULT* result) {
    const auto* removed = reinterpret_cast<const CQvGridItem*>(reinterpret_cast<NMLISTVIEW*>(nm)->lParam);
    if (removed && removed == m_pEditItem) EndEdit(FALSE);
    return CQvListCtrl::OnDeleteItem(nm, result);
}

void CQvGridCtrl::OnDestroy() {
    EndEdit(FALSE);
    CQvListCtrl::OnDestroy();
}
