#include "qvlistctrl.h"
#include "qvregvalue.h"
#include <algorithm>
#include <thread>

IMPLEMENT_DYNAMIC(CQvListCtrl, CListCtrl)

namespace {
// The status line is due: posted to the list itself, once per turn of the GUI thread.
constexpr UINT WM_QVLIST_STATUSDUE = WM_APP + 0x3F0;

// The items of many removed rows are freed by a thread of their own: their memory goes back
// while the GUI thread answers (items touch no window when they go).
void FreeAway(std::vector<std::unique_ptr<CQvListItem>>& items) {
    if (items.size() < 2000) {
        items.clear();
        return;
    }
    std::thread([gone = std::move(items)]() mutable { gone.clear(); }).detach();
    items.clear();
}
}  // namespace

// ---- items

CQvListItem::Cell& CQvListItem::At(int column) {
    if (column < 0) column = 0;
    if (cells_.size() <= std::size_t(column)) cells_.resize(std::size_t(column) + 1);
    return cells_[std::size_t(column)];
}

std::recursive_mutex& CQvListItem::ListLock() const { return list_->m_lock; }

std::wstring CQvListItem::LinkOf(int column) const {
    for (const auto& l : links_)
        if (l.first == column) return l.second;
    return std::wstring();
}

void CQvListItem::Changed() {
    bool show = false;
    {
        std::lock_guard g(list_->m_lock);
        if (locks_ > 0) dirty_ = true;
        else show = true;
    }
    if (show) list_->Show(this);
}

void CQvListItem::SetColumnText(int column, LPCWSTR text) {
    {
        std::lock_guard g(list_->m_lock);
        Cell& c = At(column);
        c.text = qv::ToUtf8(text ? text : L"");
        c.hasNumber = false;
    }
    Changed();
}

void CQvListItem::SetColumnLong(int column, long value) {
    {
        std::lock_guard g(list_->m_lock);
        Cell& c = At(column);
        c.text = std::to_string(value);
        c.number = double(value);
        c.hasNumber = true;
    }
    Changed();
}

void CQvListItem::SetColumnDouble(int column, double value, LPCWSTR format) {
    CString text;
    text.Format(format && *format ? format : L"%g", value);
    {
        std::lock_guard g(list_->m_lock);
        Cell& c = At(column);
        c.text = text.ToUtf8();
        c.number = value;
        c.hasNumber = true;
    }
    Changed();
}

void CQvListItem::SetColumnDate(int column, const COleDateTime& date, int showDate, int timeFormat) {
    CString text;
    const bool valid = date.GetStatus() == COleDateTime::valid;
    if (valid) {
        if (showDate) text.Format(L"%02d.%02d.%04d", date.GetDay(), date.GetMonth(), date.GetYear());
        if (timeFormat) {
            if (!text.IsEmpty()) text += L" ";
            text.AppendFormat(L"%02d:%02d", date.GetHour(), date.GetMinute());
        }
    }
    {
        std::lock_guard g(list_->m_lock);
        Cell& c = At(column);
        c.text = text.ToUtf8();
        // Empty dates sort before all others.
        c.number = valid ? double(date.m_dt) : -1e12;
        c.hasNumber = true;
    }
    Changed();
}

void CQvListItem::SetColumnBool(int column, BOOL value) {
    {
        std::lock_guard g(list_->m_lock);
        Cell& c = At(column);
        c.text = value ? "Ja" : "Nein";
        c.number = value ? 1 : 0;
        c.hasNumber = true;
    }
    Changed();
}

void CQvListItem::SetColumnLink(int column, LPCWSTR linkText) {
    if (column < 0) column = 0;
    {
        std::lock_guard g(list_->m_lock);
        Cell& c = At(column);
        c.isLink = true;
        auto it = std::find_if(links_.begin(), links_.end(), [column](const auto& l) { return l.first == column; });
        if (it == links_.end()) links_.emplace_back(column, linkText ? linkText : L"");
        else it->second = linkText ? linkText : L"";
    }
    Changed();
}

CString CQvListItem::GetColumnText(int column) const {
    std::lock_guard g(list_->m_lock);
    return column >= 0 && std::size_t(column) < cells_.size() ? CString(qv::FromUtf8(cells_[std::size_t(column)].text).c_str())
                                                              : CString();
}

CString CQvListItem::GetColumnLink(int column) const {
    std::lock_guard g(list_->m_lock);
    return CString(LinkOf(column));
}

void CQvListItem::SetParam(int index, const VARIANT& value) {
    if (index < 0) return;
    std::lock_guard g(list_->m_lock);
    if (params_.size() <= std::size_t(index)) {
        params_.resize(std::size_t(index) + 1);
        hasParam_.resize(std::size_t(index) + 1, false);
    }
    params_[std::size_t(index)] = COleVariant(value);
    hasParam_[std::size_t(index)] = true;
}

void CQvListItem::SetParam(int index, long value) { SetParam(index, COleVariant(value)); }

BOOL CQvListItem::GetParam(int index, long* value) const {
    std::lock_guard g(list_->m_lock);
    if (index < 0 || std::size_t(index) >= params_.size() || !hasParam_[std::size_t(index)]) return FALSE;
    COleVariant v = params_[std::size_t(index)];
    if (FAILED(v.ChangeType(VT_I4))) return FALSE;
    if (value) *value = v.lVal;
    return TRUE;
}

BOOL CQvListItem::GetParam(int index, COleVariant& value) const {
    std::lock_guard g(list_->m_lock);
    if (index < 0 || std::size_t(index) >= params_.size() || !hasParam_[std::size_t(index)]) return FALSE;
    value = params_[std::size_t(index)];
    return TRUE;
}

void CQvListItem::SetImage(int image, int) {
    {
        std::lock_guard g(list_->m_lock);
        image_ = image;
    }
    Changed();
}

void CQvListItem::SetRowTextColor(COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        rowText_ = color;
    }
    Changed();
}

void CQvListItem::SetRowBkColor(COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        rowBk_ = color;
    }
    Changed();
}

void CQvListItem::SetColumnTextColor(int column, COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        At(column).text_color = color;
    }
    Changed();
}

void CQvListItem::SetColumnBkColor(int column, COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        At(column).bk_color = color;
    }
    Changed();
}

void CQvListItem::Lock() {
    std::lock_guard g(list_->m_lock);
    ++locks_;
}

void CQvListItem::Unlock() {
    bool show = false;
    {
        std::lock_guard g(list_->m_lock);
        if (locks_ > 0 && --locks_ == 0 && dirty_) {
            dirty_ = false;
            show = true;
        }
    }
    if (show) list_->Show(this);
}

BOOL CQvListItem::IsLocked() const {
    std::lock_guard g(list_->m_lock);
    return locks_ > 0;
}

int CQvListItem::GetIndex() const {
    LVFINDINFOW find;
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(this);
    return list_->FindItem(&find);
}

// ---- the list

BEGIN_MESSAGE_MAP(CQvListCtrl, CListCtrl)
    ON_NOTIFY_REFLECT_EX(NM_CUSTOMDRAW, &CQvListCtrl::OnCustomDraw)
    ON_NOTIFY_REFLECT_EX(NM_CLICK, &CQvListCtrl::OnClick)
    ON_NOTIFY_REFLECT_EX(LVN_COLUMNCLICK, &CQvListCtrl::OnColumnClick)
    ON_NOTIFY_REFLECT_EX(LVN_ITEMCHANGING, &CQvListCtrl::OnItemChanging)
    ON_NOTIFY_REFLECT_EX(LVN_ITEMCHANGED, &CQvListCtrl::OnItemChanged)
    ON_NOTIFY_REFLECT_EX(LVN_DELETEITEM, &CQvListCtrl::OnDeleteItem)
    ON_WM_DESTROY()
    ON_MESSAGE(WM_QVLIST_STATUSDUE, &CQvListCtrl::OnStatusDue)
END_MESSAGE_MAP()

CQvListCtrl::CQvListCtrl() = default;

CQvListCtrl::~CQvListCtrl() {
    if (m_hWnd) DestroyWindow();
}

void CQvListCtrl::PreSubclassWindow() {
    CListCtrl::PreSubclassWindow();
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    SendMessage(LVM_QV_SETTEXTPROVIDER, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(&CQvListCtrl::ProvideText));
}

CQvListCtrl::EColType CQvListCtrl::GetColumnType(int column) const {
    std::lock_guard g(m_lock);
    return column >= 0 && std::size_t(column) < m_types.size() ? EColType(m_types[std::size_t(column)]) : eColText;
}

void CQvListCtrl::QvSetRegistryKey(LPCWSTR key) {
    m_strRegistryKey = key ? key : L"";
    LoadLayout();
}

void CQvListCtrl::LoadLayout() {
    if (m_strRegistryKey.IsEmpty()) return;
    long column = m_nSortColumn;
    long ascending = m_bSortAscending;
    CQvRegistry::GetValue(m_strRegistryKey, L"SortColumn", column);
    CQvRegistry::GetValue(m_strRegistryKey, L"SortAscending", ascending);
    m_nSortColumn = int(column);
    m_bSortAscending = ascending != 0;
}

BOOL CQvListCtrl::QvSaveLayout() {
    if (m_strRegistryKey.IsEmpty() || !m_hWnd) return FALSE;
    BOOL ok = TRUE;
    CHeaderCtrl* header = GetHeaderCtrl();
    const int columns = header ? header->GetItemCount() : 0;
    for (int i = 0; i < columns; ++i) {
        CString name;
        name.Format(L"ColumnWidth%d", i);
        ok &= CQvRegistry::SetValue(m_strRegistryKey, name, long(GetColumnWidth(i)));
    }
    ok &= CQvRegistry::SetValue(m_strRegistryKey, L"SortColumn", long(m_nSortColumn));
    ok &= CQvRegistry::SetValue(m_strRegistryKey, L"SortAscending", long(m_bSortAscending));
    return ok;
}

BOOL CQvListCtrl::QvInsertColumn(int count, UINT firstHeaderId, const int* types, const int* widths, const int* formats,
                                 const int* toolTipModes) {
    if (!m_hWnd || count < 0) return FALSE;
    CHeaderCtrl* header = GetHeaderCtrl();
    while (header && header->GetItemCount() > 0) DeleteColumn(0);
    {
        std::lock_guard g(m_lock);
        m_types.assign(std::size_t(count), eColText);
        m_toolTipModes.assign(std::size_t(count), eTipNone);
        for (int i = 0; i < count; ++i) {
            if (types) m_types[std::size_t(i)] = types[i];
            if (toolTipModes) m_toolTipModes[std::size_t(i)] = toolTipModes[i];
        }
    }
    for (int i = 0; i < count; ++i) {
        CString heading;
        heading.LoadString(firstHeaderId + UINT(i));
        const int type = types ? types[i] : eColText;
        int format = (type == eColLong || type == eColDouble) ? LVCFMT_RIGHT : LVCFMT_LEFT;
        if (formats) format = formats[i];
        int width = widths && widths[i] > 0 ? widths[i] : std::max(60, GetStringWidth(heading) + 24);
        if (!m_strRegistryKey.IsEmpty()) {
            CString name;
            name.Format(L"ColumnWidth%d", i);
            long remembered = -1;
            if (CQvRegistry::GetValue(m_strRegistryKey, name, remembered) && remembered >= 0) width = int(remembered);
        }
        InsertColumn(i, heading, format, width);
        const int tip = toolTipModes ? toolTipModes[i] : eTipNone;
        SendMessage(LVM_QV_SETCOLUMNTIPMODE, WPARAM(i),
                    tip == eTipAlways ? LVQV_TIP_ALWAYS : tip == eTipTruncated ? LVQV_TIP_TRUNCATED : LVQV_TIP_NONE);
    }
    return TRUE;
}

BOOL CQvListCtrl::QvAddItem(CQvListItem*& item, BOOL lock) {
    item = nullptr;
    if (!m_hWnd) return FALSE;
    CQvListItem* created = nullptr;
    {
        std::lock_guard g(m_lock);
        created = NewItem();
        Keep(std::unique_ptr<CQvListItem>(created));
        if (lock) created->locks_ = 1;
    }
    const int row = InsertItem(LVIF_TEXT | LVIF_PARAM, GetItemCount(), L"", 0, 0, 0, reinterpret_cast<LPARAM>(created));
    if (row < 0) {
        std::lock_guard g(m_lock);
        Release(created);
        return FALSE;
    }
    item = created;
    UpdateStatus();
    return TRUE;
}

CQvListItem* CQvListCtrl::QvCreateItem() {
    std::lock_guard g(m_lock);
    auto* item = new CQvListItem(this);
    m_created.emplace(item, std::unique_ptr<CQvListItem>(item));
    // Locked until inserted, so that filling it never reaches the window.
    item->locks_ = 1;
    return item;
}

BOOL CQvListCtrl::QvInsertCreatedItem(CQvListItem* item) { return QvInsertCreatedItems({item}) == 1; }

int CQvListCtrl::QvInsertCreatedItems(const std::vector<CQvListItem*>& items) {
    if (!m_hWnd) return 0;
    // All rows in one message, the view laid out once for the batch; the window keeps no copy of
    // the texts but asks the items for them (ProvideText).
    std::vector<CQvListItem*> taken;
    std::vector<LVQVROW> rows;
    taken.reserve(items.size());
    rows.reserve(items.size());
    {
        std::lock_guard g(m_lock);
        for (CQvListItem* item : items) {
            if (!item) continue;
            auto it = m_created.find(item);
            if (it == m_created.end()) continue;
            Keep(std::move(it->second));
            m_created.erase(it);
            item->locks_ = 0;
            item->dirty_ = false;
            taken.push_back(item);
            LVQVROW row;
            row.lParam = reinterpret_cast<LPARAM>(item);
            row.iImage = item->image_;
            rows.push_back(row);
        }
    }
    if (taken.empty()) return 0;
    // The window may have been made before it could hear of the provider.
    SendMessage(LVM_QV_SETTEXTPROVIDER, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(&CQvListCtrl::ProvideText));
    const LRESULT first = SendMessage(LVM_QV_INSERTROWS, WPARAM(rows.size()), reinterpret_cast<LPARAM>(rows.data()));
    if (first < 0) {
        // Refused: the items go.
        std::lock_guard g(m_lock);
        for (CQvListItem* item : taken) Release(item);
        return 0;
    }
    UpdateStatus();
    return int(taken.size());
}

std::wstring CQvListCtrl::ProvideText(void* context, LPARAM lParam, int column) {
    auto* self = static_cast<CQvListCtrl*>(context);
    const auto* item = reinterpret_cast<const CQvListItem*>(lParam);
    if (!self || !item || column < 0) return std::wstring();
    std::lock_guard g(self->m_lock);
    if (std::size_t(column) >= item->cells_.size()) return std::wstring();
    return self->CellDisplayText(item, column, qv::FromUtf8(item->cells_[std::size_t(column)].text));
}

void CQvListCtrl::QvDiscardCreatedItem(CQvListItem* item) {
    std::unique_ptr<CQvListItem> gone;
    std::lock_guard g(m_lock);
    auto it = m_created.find(item);
    if (it == m_created.end()) return;
    gone = std::move(it->second);
    m_created.erase(it);
}

void CQvListCtrl::Show(CQvListItem* item) { Show(item, item->GetIndex()); }

void CQvListCtrl::Show(CQvListItem* item, int row) {
    // The values are copied under the lock; the list is changed without it, since the GUI thread
    // takes the lock for drawing while a worker waits for the GUI thread here.
    std::vector<std::wstring> texts;
    int image = -1;
    {
        std::lock_guard g(m_lock);
        for (std::size_t c = 0; c < item->cells_.size(); ++c)
            texts.push_back(CellDisplayText(item, int(c), qv::FromUtf8(item->cells_[c].text)));
        image = item->image_;
    }
    if (row < 0) return;
    LVITEMW it;
    it.mask = LVIF_IMAGE;
    it.iItem = row;
    it.iImage = image;
    SetItem(&it);
    for (std::size_t c = 0; c < texts.size(); ++c) SetItemText(row, int(c), texts[c].c_str());
    RedrawItems(row, row);
}

void CQvListCtrl::Keep(std::unique_ptr<CQvListItem> item) {
    item->slot_ = m_items.size();
    m_items.push_back(std::move(item));
}

std::unique_ptr<CQvListItem> CQvListCtrl::Release(CQvListItem* item) {
    const std::size_t slot = item ? item->slot_ : std::size_t(-1);
    if (slot >= m_items.size() || m_items[slot].get() != item) return nullptr;
    std::unique_ptr<CQvListItem> gone = std::move(m_items[slot]);
    gone->slot_ = std::size_t(-1);
    if (slot + 1 == m_items.size()) m_items.pop_back();
    else ++m_nGaps;
    if (m_nGaps > 64 && m_nGaps * 2 > m_items.size()) Compact();
    return gone;
}

void CQvListCtrl::Compact() const {
    if (m_nGaps == 0) return;
    std::size_t out = 0;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (!m_items[i]) continue;
        if (out != i) m_items[out] = std::move(m_items[i]);
        m_items[out]->slot_ = out;
        ++out;
    }
    m_items.resize(out);
    m_nGaps = 0;
}

BOOL CQvListCtrl::OnDeleteItem(NMHDR* nm, LRESULT*) {
    // A removed row takes its item along, however it was removed; the parent hears of it too.
    auto* item = reinterpret_cast<CQvListItem*>(reinterpret_cast<NMLISTVIEW*>(nm)->lParam);
    // Removing every row frees all items at its end, at once.
    if (m_bDeletingAll) return FALSE;
    // It is freed after the parent was told, which may still read it: with the next removal or
    // when the removing call returns.
    std::vector<std::unique_ptr<CQvListItem>> told;
    {
        std::lock_guard g(m_lock);
        told.swap(m_dying);
        if (auto gone = Release(item)) m_dying.push_back(std::move(gone));
    }
    return FALSE;
}

void CQvListCtrl::FreeRemoved() {
    std::vector<std::unique_ptr<CQvListItem>> told;
    std::lock_guard g(m_lock);
    told.swap(m_dying);
}

BOOL CQvListCtrl::QvDeleteItem(int index) {
    const BOOL ok = DeleteItem(index);
    FreeRemoved();
    UpdateStatus();
    return ok;
}

int CQvListCtrl::QvDeleteItems(const std::vector<int>& indexes) {
    if (!m_hWnd || indexes.empty()) return 0;
    std::vector<int> rows = indexes;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // The items are freed when all were told; the parent may read each while it hears of it.
    m_bDeletingAll = TRUE;
    std::vector<CQvListItem*> items;
    for (int row : rows)
        if (CQvListItem* item = QvGetVisibleListItem(row)) items.push_back(item);
    std::vector<std::unique_ptr<CQvListItem>> gone;
    {
        std::lock_guard g(m_lock);
        for (CQvListItem* item : items)
            if (auto owned = Release(item)) gone.push_back(std::move(owned));
    }
    const int removed = int(SendMessage(LVM_QV_DELETEROWS, WPARAM(rows.size()), reinterpret_cast<LPARAM>(rows.data())));
    m_bDeletingAll = FALSE;
    m_nLastSelected = -1;
    FreeAway(gone);
    UpdateStatus();
    return removed;
}

BOOL CQvListCtrl::DeleteAllItems() {
    m_bDeletingAll = TRUE;
    const BOOL ok = CListCtrl::DeleteAllItems();
    m_bDeletingAll = FALSE;
    FreeRemoved();
    std::vector<std::unique_ptr<CQvListItem>> gone;
    {
        std::lock_guard g(m_lock);
        gone.swap(m_items);
        m_nGaps = 0;
    }
    FreeAway(gone);
    m_nLastSelected = -1;
    UpdateStatus();
    return ok;
}

CQvListItem* CQvListCtrl::QvGetVisibleListItem(int index) const {
    if (index < 0 || index >= GetItemCount()) return nullptr;
    return reinterpret_cast<CQvListItem*>(GetItemData(index));
}

CQvListItem* CQvListCtrl::QvGetInsertedListItem(int index) const {
    std::lock_guard g(m_lock);
    Compact();
    return index >= 0 && std::size_t(index) < m_items.size() ? m_items[std::size_t(index)].get() : nullptr;
}

int CQvListCtrl::GetInsertedItemCount() const {
    std::lock_guard g(m_lock);
    return int(m_items.size() - m_nGaps);
}

void CQvListCtrl::QvGetSelListItemArray(CQvListItemArray& items) const {
    items.RemoveAll();
    for (int row = GetNextItem(-1, LVNI_SELECTED); row >= 0; row = GetNextItem(row, LVNI_SELECTED))
        if (CQvListItem* item = QvGetVisibleListItem(row)) items.Add(item);
}

BOOL CQvListCtrl::QvGetSelParamValue(int paramIndex, long& value) const {
    const int row = GetNextItem(-1, LVNI_SELECTED);
    CQvListItem* item = row >= 0 ? QvGetVisibleListItem(row) : nullptr;
    return item ? item->GetParam(paramIndex, &value) : FALSE;
}

BOOL CQvListCtrl::QvSetSelection(int index, BOOL ensureVisible, BOOL keepOthers) {
    if (index < 0 || index >= GetItemCount()) return FALSE;
    if (!keepOthers)
        for (int row = GetNextItem(-1, LVNI_SELECTED); row >= 0; row = GetNextItem(row, LVNI_SELECTED))
            if (row != index) SetItemState(row, 0, LVIS_SELECTED);
    SetItemState(index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (ensureVisible) EnsureVisible(index, FALSE);
    return TRUE;
}

BOOL CQvListCtrl::QvSetSelectionByParam(int paramIndex, long value, int* found, BOOL ensureVisible, BOOL keepOthers) {
    if (found) *found = -1;
    for (int row = 0; row < GetItemCount(); ++row) {
        long have = 0;
        CQvListItem* item = QvGetVisibleListItem(row);
        if (item && item->GetParam(paramIndex, &have) && have == value) {
            if (found) *found = row;
            return QvSetSelection(row, ensureVisible, keepOthers);
        }
    }
    return FALSE;
}

namespace {
struct SortContext {
    CQvListCtrl* list;
    int column;
    bool ascending;
};
}  // namespace

int CQvListCtrl::CALLBACK_Compare(LPARAM a, LPARAM b, LPARAM context) {
    const auto* ctx = reinterpret_cast<const SortContext*>(context);
    std::lock_guard g(ctx->list->m_lock);
    const auto* x = reinterpret_cast<const CQvListItem*>(a);
    const auto* y = reinterpret_cast<const CQvListItem*>(b);
    const std::size_t c = std::size_t(ctx->column);
    const CQvListItem::Cell empty;
    const CQvListItem::Cell& cx = c < x->cells_.size() ? x->cells_[c] : empty;
    const CQvListItem::Cell& cy = c < y->cells_.size() ? y->cells_[c] : empty;
    int r = 0;
    const int type = ctx->list->GetColumnType(ctx->column);
    if (type != eColText && cx.hasNumber && cy.hasNumber) r = cx.number < cy.number ? -1 : (cx.number > cy.number ? 1 : 0);
    else r = CString(qv::FromUtf8(cx.text).c_str()).CompareNoCase(qv::FromUtf8(cy.text).c_str());
    return ctx->ascending ? r : -r;
}

void CQvListCtrl::QvSort(int column, BOOL ascending) {
    if (column < 0) {
        column = m_nSortColumn;
        ascending = m_bSortAscending;
    }
    if (column < 0 || !m_hWnd) return;
    m_nSortColumn = column;
    m_bSortAscending = ascending;
    SortContext ctx{this, column, ascending != FALSE};
    // Not under the lock: the GUI thread sorts, and takes the lock for each comparison.
    SortItems(&CQvListCtrl::CALLBACK_Compare, reinterpret_cast<DWORD_PTR>(&ctx));
}

void CQvListCtrl::QvSetSingleSelection() { ModifyStyle(0, LVS_SINGLESEL); }
void CQvListCtrl::QvSetMultiSelection() { ModifyStyle(LVS_SINGLESEL, 0); }

void CQvListCtrl::QvSetCheckable(BOOL checkable) {
    const DWORD ex = GetExtendedStyle();
    SetExtendedStyle(checkable ? (ex | LVS_EX_CHECKBOXES) : (ex & ~LVS_EX_CHECKBOXES));
}

void CQvListCtrl::ShowStatusLine(BOOL show) {
    m_bStatusLine = show;
    UpdateStatusNow();
}

void CQvListCtrl::SetStatusText(LPCWSTR text) {
    m_strStatus = text ? text : L"";
    UpdateStatusNow();
}

void CQvListCtrl::UpdateStatus() {
    if (!m_hWnd || m_bStatusDue) return;
    // Rows come and go by the thousand: the line (and the view's margins) follow once per turn.
    m_bStatusDue = PostMessage(WM_QVLIST_STATUSDUE);
    if (!m_bStatusDue) UpdateStatusNow();
}

LRESULT CQvListCtrl::OnStatusDue(WPARAM, LPARAM) {
    if (m_bStatusDue) UpdateStatusNow();
    return 0;
}

void CQvListCtrl::UpdateStatusNow() {
    m_bStatusDue = FALSE;
    if (!m_hWnd) return;
    CString text = m_strStatus;
    if (text.IsEmpty()) {
        const int n = GetItemCount();
        text.Format(n == 1 ? L"%d Eintrag" : L"%d Einträge", n);
    }
    SendMessage(LVM_QV_SETSTATUSLINE, WPARAM(m_bStatusLine), reinterpret_cast<LPARAM>(text.GetString()));
}

void CQvListCtrl::SetRedraw(BOOL redraw, LPCWSTR) {
    CWnd::SetRedraw(redraw);
    if (redraw) UpdateStatus();
}

void CQvListCtrl::SetReadOnly(BOOL readOnly) { m_bReadOnly = readOnly; }

BOOL CQvListCtrl::OnCustomDraw(NMHDR* nm, LRESULT* result) {
    auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(nm);
    *result = CDRF_DODEFAULT;
    // Rows and cells are coloured cell by cell: ask for the rows, then for their cells.
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
        *result = CDRF_NOTIFYITEMDRAW;
        return TRUE;
    }
    if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        *result = CDRF_NOTIFYSUBITEMDRAW;
        return TRUE;
    }
    if (cd->nmcd.dwDrawStage != (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) return TRUE;
    const auto* item = reinterpret_cast<const CQvListItem*>(cd->nmcd.lItemlParam);
    if (!item) return TRUE;
    bool link = false;
    {
        std::lock_guard g(m_lock);
        COLORREF text = item->rowText_;
        COLORREF bk = item->rowBk_;
        if (cd->iSubItem >= 0 && std::size_t(cd->iSubItem) < item->cells_.size()) {
            const CQvListItem::Cell& c = item->cells_[std::size_t(cd->iSubItem)];
            if (c.text_color != CLR_DEFAULT) text = c.text_color;
            if (c.bk_color != CLR_DEFAULT) bk = c.bk_color;
            link = c.isLink;
            if (link && text == CLR_DEFAULT) text = RGB(0, 0, 192);
        }
        cd->clrText = text;
        cd->clrTextBk = bk;
    }
    if (link) {
        if (!m_linkFont.m_hObject) {
            LOGFONTW lf;
            CFont* font = GetFont();
            if (!font || !font->GetLogFont(&lf)) {
                lf.lfHeight = -11;
                wcscpy(lf.lfFaceName, L"MS Shell Dlg");
            }
            lf.lfUnderline = TRUE;
            m_linkFont.CreateFontIndirect(&lf);
        }
        ::SelectObject(cd->nmcd.hdc, m_linkFont.m_hObject);
        *result = CDRF_NEWFONT;
    }
    return TRUE;
}

BOOL CQvListCtrl::OnClick(NMHDR* nm, LRESULT*) {
    auto* click = reinterpret_cast<NMITEMACTIVATE*>(nm);
    if (click->iItem < 0) {
        // A click beside the rows: the list keeps its row when asked to.
        if (m_bKeepSelection && (GetStyle() & LVS_SINGLESEL) && m_nLastSelected >= 0 && m_nLastSelected < GetItemCount() &&
            GetSelectedCount() == 0)
            SetItemState(m_nLastSelected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        return FALSE;
    }
    CQvListItem* item = QvGetVisibleListItem(click->iItem);
    if (!item) return FALSE;
    std::wstring link;
    bool isLink = false;
    {
        std::lock_guard g(m_lock);
        if (click->iSubItem >= 0 && std::size_t(click->iSubItem) < item->cells_.size()) {
            isLink = item->cells_[std::size_t(click->iSubItem)].isLink;
            link = item->LinkOf(click->iSubItem);
        }
    }
    if (isLink) {
        NMQVLISTLINK nmLink;
        nmLink.hdr.hwndFrom = m_hWnd;
        nmLink.hdr.idFrom = UINT_PTR(GetDlgCtrlID());
        nmLink.hdr.code = QVLN_LINKCLICKED;
        nmLink.nItem = click->iItem;
        nmLink.nSubItem = click->iSubItem;
        nmLink.pszLink = link.c_str();
        if (CWnd* parent = GetParent())
            parent->SendMessage(WM_NOTIFY, WPARAM(GetDlgCtrlID()), reinterpret_cast<LPARAM>(&nmLink));
    }
    return FALSE;
}

BOOL CQvListCtrl::OnColumnClick(NMHDR* nm, LRESULT*) {
    if (GetStyle() & LVS_NOSORTHEADER) return FALSE;
    const int column = reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem;
    const BOOL ascending = column == m_nSortColumn ? !m_bSortAscending : TRUE;
    QvSort(column, ascending);
    return FALSE;
}

BOOL CQvListCtrl::OnItemChanging(NMHDR* nm, LRESULT* result) {
    const auto* change = reinterpret_cast<NMLISTVIEW*>(nm);
    const bool checkBox = (change->uOldState ^ change->uNewState) & LVIS_STATEIMAGEMASK;
    if (m_bReadOnly && checkBox) {
        *result = TRUE;  // the box stays as it is
        return TRUE;
    }
    return FALSE;
}

BOOL CQvListCtrl::OnItemChanged(NMHDR* nm, LRESULT*) {
    const auto* change = reinterpret_cast<NMLISTVIEW*>(nm);
    if (change->uNewState & LVIS_SELECTED) m_nLastSelected = change->iItem;
    return FALSE;
}

void CQvListCtrl::OnDestroy() {
    QvSaveLayout();
    // The rows go with the window: their items are freed together afterwards, and no longer asked
    // for their texts.
    SendMessage(LVM_QV_SETTEXTPROVIDER, 0, 0);
    m_bDeletingAll = TRUE;
    CWnd::OnDestroy();
    m_bDeletingAll = FALSE;
    m_bStatusDue = FALSE;
    std::vector<std::unique_ptr<CQvListItem>> gone;
    std::vector<std::unique_ptr<CQvListItem>> told;
    {
        std::lock_guard g(m_lock);
        gone.swap(m_items);
        told.swap(m_dying);
        m_nGaps = 0;
    }
    FreeAway(gone);
}
