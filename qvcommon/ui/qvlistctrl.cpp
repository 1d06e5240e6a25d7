#include "qvlistctrl.h"
#include "heaptrim.h"
#include "qvregvalue.h"
#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <optional>
#include <thread>


IMPLEMENT_DYNAMIC(CQvListCtrl, CListCtrl)

namespace {
// The status line is due: posted to the list itself, once per turn of the GUI thread.
constexpr UINT WM_QVLIST_STATUSDUE = WM_APP + 0x3F0;
// The sorting thread has worked out the new order.
constexpr UINT WM_QVLIST_SORTED = WM_APP + 0x3F1;
// Up to this many rows are sorted on the GUI thread at once (about a millisecond); longer lists by
// a thread of their own.
constexpr std::size_t kSortOnGuiThread = 1000;
// The rows the sorting thread reads at a time under the list's lock.
constexpr std::size_t kSortSlice = 1024;

// The items of many removed rows are freed by a thread of their own: their memory goes back
// while the GUI thread answers (items touch no window when they go).
void FreeAway(std::vector<std::unique_ptr<CQvListItem>>& items) {
    if (items.size() < 2000) {
        items.clear();
        return;
    }
    // Once they are freed, the pages they leave free go back to the system (a trim asked for
    // while they are still being freed would find them in use).
    std::thread([gone = std::move(items)]() mutable {
        gone.clear();
        QvReleaseFreeHeapSoon();
    }).detach();
    items.clear();
}
}  // namespace

// ---- items

void CQvListItem::Bytes::Erase(std::size_t at, std::size_t n) {
    std::memmove(p_ + at, p_ + at + n, size_ - at - n);
    size_ -= std::uint32_t(n);
}

void CQvListItem::Bytes::Append(const void* bytes, std::size_t n) {
    if (size_ + n > capacity_) {
        const std::size_t capacity = std::max<std::size_t>(size_ + n, std::size_t(capacity_) * 2 + 16);
        char* p = static_cast<char*>(std::realloc(p_, capacity));
        if (!p) throw std::bad_alloc();
        p_ = p;
        capacity_ = std::uint32_t(capacity);
    }
    if (n) std::memcpy(p_ + size_, bytes, n);
    size_ += std::uint32_t(n);
}

void CQvListItem::Bytes::Shrink() {
    if (capacity_ == size_) return;
    if (size_ == 0) {
        std::free(p_);
        p_ = nullptr;
        capacity_ = 0;
        return;
    }
    if (char* p = static_cast<char*>(std::realloc(p_, size_))) {
        p_ = p;
        capacity_ = size_;
    }
}

namespace {
// A record's head: the kind in the upper three bits, the column in the lower five (31: the
// column follows); texts and links then have their length. Numbers, lengths and large columns
// are written in 7-bit groups.
constexpr unsigned kColumnFollows = 31;

void PutNumber(std::string& out, std::size_t value) {
    do {
        unsigned char byte = value & 0x7F;
        value >>= 7;
        if (value) byte |= 0x80;
        out.push_back(char(byte));
    } while (value);
}

template <class Buffer>
std::size_t GetNumber(const Buffer& in, std::size_t& at) {
    std::size_t value = 0;
    for (int shift = 0; at < in.size(); shift += 7) {
        const auto byte = static_cast<unsigned char>(in[at++]);
        value |= std::size_t(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    return value;
}

// The length of a record of this kind; 0: it is written in the record.
std::size_t FixedSize(unsigned kind) {
    switch (kind) {
        case 2: return sizeof(double);  // a number
        case 1:
        case 5: return 0;  // a text, a link
        default: return 4;
    }
}

// Reads the head at 'at': the kind, the column and the length, 'at' moved to the bytes.
template <class Buffer>
void ReadHead(const Buffer& data, std::size_t& at, unsigned& kind, std::size_t& column, std::size_t& size) {
    const auto head = static_cast<unsigned char>(data[at++]);
    kind = head >> 5;
    column = head & 31;
    if (column == kColumnFollows) column = GetNumber(data, at);
    size = FixedSize(kind);
    if (size == 0) size = GetNumber(data, at);
}

// Walks the records: calls found(start, payload, size) for the one of this kind and column and
// stops there; the start is where its head begins.
template <class Buffer, class Found>
bool Walk(const Buffer& data, unsigned char kind, int column, Found found) {
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t start = at;
        unsigned k = 0;
        std::size_t c = 0, size = 0;
        ReadHead(data, at, k, c, size);
        if (k == kind && c == std::size_t(column)) {
            found(start, at, size);
            return true;
        }
        at += size;
    }
    return false;
}
}  // namespace

const char* CQvListItem::Find(RecordKind kind, int column, std::size_t* size) const {
    const char* bytes = nullptr;
    Walk(data_, kind, column, [&](std::size_t, std::size_t payload, std::size_t n) {
        bytes = data_.data() + payload;
        if (size) *size = n;
    });
    return bytes;
}

void CQvListItem::Drop(RecordKind kind, int column) {
    Walk(data_, kind, column, [&](std::size_t start, std::size_t payload, std::size_t n) {
        data_.Erase(start, payload + n - start);
    });
}

void CQvListItem::Put(RecordKind kind, int column, const void* bytes, std::size_t size) {
    if (column < 0) column = 0;
    bool done = false;
    Walk(data_, kind, column, [&](std::size_t start, std::size_t payload, std::size_t n) {
        // A value of the same length is written over the old one.
        if (n == size) {
            if (size) data_.Write(payload, bytes, size);
            done = true;
        } else {
            data_.Erase(start, payload + n - start);
        }
    });
    if (done) return;
    std::string head;
    head.push_back(char((unsigned(kind) << 5) | std::min<unsigned>(unsigned(column), kColumnFollows)));
    if (unsigned(column) >= kColumnFollows) PutNumber(head, std::size_t(column));
    if (FixedSize(kind) == 0) PutNumber(head, size);
    data_.Append(head.data(), head.size());
    data_.Append(bytes, size);
}

std::int32_t CQvListItem::Get32(RecordKind kind, int column, std::int32_t fallback) const {
    std::size_t size = 0;
    const char* bytes = Find(kind, column, &size);
    if (!bytes || size != sizeof(std::int32_t)) return fallback;
    std::int32_t value = 0;
    std::memcpy(&value, bytes, sizeof(value));
    return value;
}

void CQvListItem::Put32(RecordKind kind, int column, std::int32_t value, std::int32_t fallback) {
    if (value == fallback) Drop(kind, column < 0 ? 0 : column);
    else Put(kind, column, &value, sizeof(value));
}

CQvListItem::CellView CQvListItem::CellAt(int column) const {
    // One pass over the records (sorting asks for two cells per comparison).
    CellView cell;
    if (column < 0) return cell;
    std::size_t at = 0;
    while (at < data_.size()) {
        unsigned kind = 0;
        std::size_t c = 0, size = 0;
        ReadHead(data_, at, kind, c, size);
        const char* bytes = data_.data() + at;
        at += size;
        if (c != std::size_t(column)) continue;
        switch (kind) {
            case kText: cell.text = std::string_view(bytes, size); break;
            case kNumber:
                if (size == sizeof(double)) {
                    std::memcpy(&cell.number, bytes, sizeof(double));
                    cell.hasNumber = true;
                }
                break;
            case kTextColor:
            case kBkColor:
                if (size == sizeof(std::int32_t))
                    std::memcpy(kind == kTextColor ? &cell.text_color : &cell.bk_color, bytes, sizeof(std::int32_t));
                break;
            case kLink: cell.isLink = true; break;
            default: break;
        }
    }
    return cell;
}

int CQvListItem::CellCount() const {
    int count = 0;
    std::size_t at = 0;
    while (at < data_.size()) {
        unsigned kind = 0;
        std::size_t column = 0, size = 0;
        ReadHead(data_, at, kind, column, size);
        at += size;
        if (kind != kParamLong && kind != kRow) count = std::max(count, int(column) + 1);
    }
    return count;
}

std::recursive_mutex& CQvListItem::ListLock() const { return list_->m_lock; }

std::wstring CQvListItem::LinkOf(int column) const {
    std::size_t size = 0;
    const char* link = column >= 0 ? Find(kLink, column, &size) : nullptr;
    return link ? qv::FromUtf8(std::string_view(link, size)) : std::wstring();
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

void CQvListItem::SetText(int column, std::string_view text, const double* number) {
    std::lock_guard g(list_->m_lock);
    Put(kText, column, text.data(), text.size());
    if (number) Put(kNumber, column, number, sizeof(double));
    else Drop(kNumber, column < 0 ? 0 : column);
}

void CQvListItem::SetColumnText(int column, LPCWSTR text) {
    SetText(column, qv::ToUtf8(text ? text : L""), nullptr);
    Changed();
}

void CQvListItem::SetColumnLong(int column, long value) {
    const double number = double(value);
    SetText(column, std::to_string(value), &number);
    Changed();
}

void CQvListItem::SetColumnDouble(int column, double value, LPCWSTR format) {
    CString text;
    text.Format(format && *format ? format : L"%g", value);
    SetText(column, text.ToUtf8(), &value);
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
    // Empty dates sort before all others.
    const double number = valid ? double(date.m_dt) : -1e12;
    SetText(column, text.ToUtf8(), &number);
    Changed();
}

void CQvListItem::SetColumnBool(int column, BOOL value) {
    const double number = value ? 1 : 0;
    SetText(column, value ? "Ja" : "Nein", &number);
    Changed();
}

void CQvListItem::SetColumnLink(int column, LPCWSTR linkText) {
    if (column < 0) column = 0;
    {
        std::lock_guard g(list_->m_lock);
        const std::string link = qv::ToUtf8(linkText ? linkText : L"");
        Put(kLink, column, link.data(), link.size());
    }
    Changed();
}

CString CQvListItem::GetColumnText(int column) const {
    std::lock_guard g(list_->m_lock);
    return CString(qv::FromUtf8(CellAt(column).text).c_str());
}

CString CQvListItem::GetColumnLink(int column) const {
    std::lock_guard g(list_->m_lock);
    return CString(LinkOf(column).c_str());
}

void CQvListItem::SetParam(int index, const VARIANT& value) {
    if (index < 0) return;
    std::lock_guard g(list_->m_lock);
    if (value.vt == VT_I4) {
        const std::int32_t v = std::int32_t(value.lVal);
        Put(kParamLong, index, &v, sizeof(v));
        if (otherParams_)
            otherParams_->erase(std::remove_if(otherParams_->begin(), otherParams_->end(),
                                               [index](const auto& p) { return p.first == index; }),
                                otherParams_->end());
        return;
    }
    Drop(kParamLong, index);
    if (!otherParams_) otherParams_ = std::make_unique<std::vector<std::pair<int, COleVariant>>>();
    for (auto& p : *otherParams_)
        if (p.first == index) {
            p.second = COleVariant(value);
            return;
        }
    otherParams_->emplace_back(index, COleVariant(value));
}

void CQvListItem::SetParam(int index, long value) { SetParam(index, COleVariant(value)); }

BOOL CQvListItem::GetParam(int index, long* value) const {
    COleVariant v;
    if (!GetParam(index, v)) return FALSE;
    if (FAILED(v.ChangeType(VT_I4))) return FALSE;
    if (value) *value = v.lVal;
    return TRUE;
}

BOOL CQvListItem::GetParam(int index, COleVariant& value) const {
    std::lock_guard g(list_->m_lock);
    if (index < 0) return FALSE;
    std::size_t size = 0;
    if (const char* bytes = Find(kParamLong, index, &size); bytes && size == sizeof(std::int32_t)) {
        std::int32_t v = 0;
        std::memcpy(&v, bytes, sizeof(v));
        value = COleVariant(long(v));
        return TRUE;
    }
    if (otherParams_)
        for (const auto& p : *otherParams_)
            if (p.first == index) {
                value = p.second;
                return TRUE;
            }
    return FALSE;
}

void CQvListItem::SetImage(int image, int) {
    {
        std::lock_guard g(list_->m_lock);
        Put32(kRow, kRowImage, image, -1);
    }
    Changed();
}

void CQvListItem::SetRowTextColor(COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        Put32(kRow, kRowText, std::int32_t(color), std::int32_t(CLR_DEFAULT));
    }
    Changed();
}

void CQvListItem::SetRowBkColor(COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        Put32(kRow, kRowBk, std::int32_t(color), std::int32_t(CLR_DEFAULT));
    }
    Changed();
}

void CQvListItem::SetColumnTextColor(int column, COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        Put32(kTextColor, column, std::int32_t(color), std::int32_t(CLR_DEFAULT));
    }
    Changed();
}

void CQvListItem::SetColumnBkColor(int column, COLORREF color) {
    {
        std::lock_guard g(list_->m_lock);
        Put32(kBkColor, column, std::int32_t(color), std::int32_t(CLR_DEFAULT));
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
        if (locks_ > 0 && --locks_ == 0) {
            // Filled: the item gives back what it held in reserve.
            Shrink();
            show = dirty_;
            dirty_ = false;
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
    ON_NOTIFY_REFLECT_EX(LVN_DELETEALLITEMS, &CQvListCtrl::OnDeleteAllItems)
    ON_WM_DESTROY()
    ON_MESSAGE(WM_QVLIST_STATUSDUE, &CQvListCtrl::OnStatusDue)
    ON_MESSAGE(WM_QVLIST_SORTED, &CQvListCtrl::OnSorted)
END_MESSAGE_MAP()

CQvListCtrl::CQvListCtrl() = default;

CQvListCtrl::~CQvListCtrl() {
    if (m_hWnd) DestroyWindow();
    CancelSort();
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
    item->slot_ = std::uint32_t(m_created.size());
    m_created.emplace_back(item);
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
            std::unique_ptr<CQvListItem> made = TakeCreated(item);
            if (!made) continue;
            Keep(std::move(made));
            item->locks_ = 0;
            item->dirty_ = false;
            item->Shrink();
            taken.push_back(item);
            LVQVROW row;
            row.lParam = reinterpret_cast<LPARAM>(item);
            row.iImage = item->Get32(CQvListItem::kRow, CQvListItem::kRowImage, -1);
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
    if (column >= item->CellCount()) return std::wstring();
    return self->CellDisplayText(item, column, qv::FromUtf8(item->CellAt(column).text));
}

void CQvListCtrl::QvDiscardCreatedItem(CQvListItem* item) {
    std::unique_ptr<CQvListItem> gone;
    std::lock_guard g(m_lock);
    gone = TakeCreated(item);
}

std::unique_ptr<CQvListItem> CQvListCtrl::TakeCreated(CQvListItem* item) {
    // By its slot, not by a search: a worker may be far ahead of the window with made items.
    const std::size_t slot = item ? std::size_t(item->slot_) : std::size_t(-1);
    if (slot >= m_created.size() || m_created[slot].get() != item) return nullptr;
    std::unique_ptr<CQvListItem> taken = std::move(m_created[slot]);
    taken->slot_ = std::uint32_t(-1);
    // Items are taken mostly in the order made: once half are gaps, the rest moves up.
    if (++m_nCreatedGaps * 2 > m_created.size()) {
        CloseGaps(m_created);
        m_nCreatedGaps = 0;
    }
    return taken;
}

void CQvListCtrl::Show(CQvListItem* item) { Show(item, item->GetIndex()); }

void CQvListCtrl::Show(CQvListItem* item, int row) {
    // The values are copied under the lock; the list is changed without it, since the GUI thread
    // takes the lock for drawing while a worker waits for the GUI thread here.
    std::vector<std::wstring> texts;
    int image = -1;
    {
        std::lock_guard g(m_lock);
        const int cells = item->CellCount();
        for (int c = 0; c < cells; ++c) texts.push_back(CellDisplayText(item, c, qv::FromUtf8(item->CellAt(c).text)));
        image = item->Get32(CQvListItem::kRow, CQvListItem::kRowImage, -1);
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
    item->slot_ = std::uint32_t(m_items.size());
    m_items.push_back(std::move(item));
}

std::unique_ptr<CQvListItem> CQvListCtrl::Release(CQvListItem* item) {
    const std::size_t slot = item && item->slot_ != std::uint32_t(-1) ? item->slot_ : std::size_t(-1);
    if (slot >= m_items.size() || m_items[slot].get() != item) return nullptr;
    std::unique_ptr<CQvListItem> gone = std::move(m_items[slot]);
    gone->slot_ = std::uint32_t(-1);
    ++m_nRemovals;
    if (slot + 1 == m_items.size()) m_items.pop_back();
    else ++m_nGaps;
    if (m_nGaps > 64 && m_nGaps * 2 > m_items.size()) Compact();
    return gone;
}

void CQvListCtrl::CloseGaps(std::vector<std::unique_ptr<CQvListItem>>& store) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < store.size(); ++i) {
        if (!store[i]) continue;
        if (out != i) store[out] = std::move(store[i]);
        store[out]->slot_ = std::uint32_t(out);
        ++out;
    }
    store.resize(out);
}

void CQvListCtrl::Compact() const {
    if (m_nGaps == 0) return;
    CloseGaps(m_items);
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

BOOL CQvListCtrl::OnDeleteAllItems(NMHDR*, LRESULT* result) {
    // Otherwise the parent hears of it and answers for itself.
    if (m_bTellEachRemovedRow) return FALSE;
    // No word per row: the items go together when the removal returns.
    *result = TRUE;
    return TRUE;
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
    std::vector<CQvListItem*> shown;
    QvGetVisibleListItems(shown);
    std::vector<CQvListItem*> items;
    for (int row : rows)
        if (row >= 0 && std::size_t(row) < shown.size() && shown[std::size_t(row)])
            items.push_back(shown[std::size_t(row)]);
    std::vector<std::unique_ptr<CQvListItem>> gone;
    {
        std::lock_guard g(m_lock);
        for (CQvListItem* item : items)
            if (auto owned = Release(item)) gone.push_back(std::move(owned));
    }
    const UINT message = m_bTellEachRemovedRow ? LVM_QV_DELETEROWS : LVM_QV_DELETEROWSQUIETLY;
    const int removed = int(SendMessage(message, WPARAM(rows.size()), reinterpret_cast<LPARAM>(rows.data())));
    m_bDeletingAll = FALSE;
    m_nLastSelected = -1;
    FreeAway(gone);
    UpdateStatus();
    return removed;
}

BOOL CQvListCtrl::DeleteAllItems() {
    // The rows to be sorted are gone, and with them the row to select in their new order.
    CancelSort();
    m_nSelectAfterSort = -1;
    m_bFocusInViewAfterSort = FALSE;
    m_bDeletingAll = TRUE;
    const BOOL ok = CListCtrl::DeleteAllItems();
    m_bDeletingAll = FALSE;
    FreeRemoved();
    std::vector<std::unique_ptr<CQvListItem>> gone;
    {
        std::lock_guard g(m_lock);
        gone.swap(m_items);
        m_nGaps = 0;
        ++m_nRemovals;
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

void CQvListCtrl::QvGetVisibleListItems(std::vector<CQvListItem*>& items, std::vector<bool>* checked) const {
    items.clear();
    if (checked) checked->clear();
    if (!m_hWnd) return;
    std::vector<LVQVROWINFO> rows(std::size_t(std::max(0, GetItemCount())));
    const int n = int(SendMessage(LVM_QV_GETROWS, WPARAM(rows.size()), reinterpret_cast<LPARAM>(rows.data())));
    rows.resize(std::min(rows.size(), std::size_t(std::max(0, n))));
    items.reserve(rows.size());
    if (checked) checked->reserve(rows.size());
    for (const LVQVROWINFO& row : rows) {
        items.push_back(reinterpret_cast<CQvListItem*>(row.lParam));
        if (checked) checked->push_back(((row.state & LVIS_STATEIMAGEMASK) >> 12) == 2);
    }
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
    // Selected at once, so that the row can be taken while the rows are sorted; once they are in
    // their new order, the row at that index, unless the user chose a row meanwhile.
    SelectRow(index, ensureVisible, keepOthers);
    if (m_sortJob) {
        m_nSelectAfterSort = index;
        m_bEnsureVisibleAfterSort = ensureVisible;
        m_bKeepOthersAfterSort = keepOthers;
        m_bFocusInViewAfterSort = FALSE;
    }
    return TRUE;
}

void CQvListCtrl::SelectRow(int index, BOOL ensureVisible, BOOL keepOthers) {
    const BOOL selecting = m_bSelecting;
    m_bSelecting = TRUE;
    if (!keepOthers)
        for (int row = GetNextItem(-1, LVNI_SELECTED); row >= 0; row = GetNextItem(row, LVNI_SELECTED))
            if (row != index) SetItemState(row, 0, LVIS_SELECTED);
    SetItemState(index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    if (ensureVisible) EnsureVisible(index, FALSE);
    m_bSelecting = selecting;
}

void CQvListCtrl::KeepChoiceThroughSort() {
    if (!m_sortJob || m_bSelecting) return;
    // The rows take their selection along into the new order: the row chosen stays chosen, and in
    // view, wherever it goes.
    m_nSelectAfterSort = -1;
    m_bFocusInViewAfterSort = TRUE;
}

BOOL CQvListCtrl::QvSetSelectionByParam(int paramIndex, long value, int* found, BOOL ensureVisible, BOOL keepOthers) {
    if (found) *found = -1;
    for (int row = 0; row < GetItemCount(); ++row) {
        long have = 0;
        CQvListItem* item = QvGetVisibleListItem(row);
        if (item && item->GetParam(paramIndex, &have) && have == value) {
            if (found) *found = row;
            // The row itself, wherever the sort under way puts it.
            SelectRow(row, ensureVisible, keepOthers);
            if (m_sortJob) {
                m_nSelectAfterSort = -1;
                m_bFocusInViewAfterSort = ensureVisible;
            }
            return TRUE;
        }
    }
    return FALSE;
}

struct CQvListCtrl::SortJob {
    CQvListCtrl* list = nullptr;
    HWND wnd = nullptr;
    int column = 0;
    bool ascending = true;
    bool numeric = false;      // a column of numbers, dates or yes/no
    std::uint64_t removals = 0;  // the list's removals when the rows were taken
    std::vector<LPARAM> rows;  // the rows as they stood
    std::vector<int> order;    // the new order: indexes into rows
    // Held by the sorting thread while it reads the list; a cancelled job reads it no more.
    std::mutex gate;
    bool cancelled = false;
    bool done = false;  // under gate
};

namespace {
// What the rows are sorted by, kept lean for a hundred thousand rows: the texts one after the
// other in one block, as the rows hold them (UTF-8), and the numbers of a column of numbers.
struct SortKeys {
    std::string texts;
    std::vector<std::uint32_t> ends;  // where each row's text ends; it begins where the last ended
    std::vector<double> numbers;
    std::vector<bool> hasNumber;

    std::string_view Text(std::size_t row) const {
        const std::uint32_t from = row ? ends[row - 1] : 0;
        return std::string_view(texts).substr(from, ends[row] - from);
    }
};

// A text in UTF-16 for the collation to compare: a short plain one without allocating.
class CollationText {
public:
    explicit CollationText(std::string_view utf8) {
        if (utf8.size() <= sizeof(short_) / sizeof(short_[0]) &&
            std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            std::copy(utf8.begin(), utf8.end(), short_);
            view_ = QStringView(short_, qsizetype(utf8.size()));
        } else {
            long_ = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
            view_ = long_;
        }
    }
    CollationText(const CollationText&) = delete;
    CollationText& operator=(const CollationText&) = delete;
    QStringView View() const { return view_; }

private:
    char16_t short_[96];
    QString long_;
    QStringView view_;
};

// The collation of the program's language, in which texts compare as a German reader orders them
// ("ä" beside "a"), without regard to case; each thread that sorts makes its own.
QCollator ListCollator() {
    QCollator collator(QLocale(QLocale::German, QLocale::Switzerland));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}
}  // namespace

bool CQvListCtrl::WorkOutOrder(SortJob& job) {
    const std::size_t n = job.rows.size();
    // Reads the rows a slice at a time under the list's lock; false when the job was cancelled
    // or rows were removed meanwhile (a removed row may be freed: the rows are taken anew).
    bool rowsGone = false;
    auto read = [&](auto&& take) {
        for (std::size_t from = 0; from < n; from += kSortSlice) {
            const std::size_t to = std::min(n, from + kSortSlice);
            std::lock_guard gate(job.gate);
            if (job.cancelled) return false;
            std::lock_guard g(job.list->m_lock);
            if (job.list->m_nRemovals != job.removals) {
                rowsGone = true;
                return false;
            }
            for (std::size_t i = from; i < to; ++i)
                if (const auto* item = reinterpret_cast<const CQvListItem*>(job.rows[i])) take(i, item->CellAt(job.column));
        }
        return true;
    };
    SortKeys keys;
    keys.ends.assign(n, 0);
    const bool numeric = job.numeric;
    // A column of numbers sorts by them; its texts are read only when a row has none, since such
    // a row sorts by text against every other.
    bool texts = !numeric;
    if (numeric) {
        keys.numbers.assign(n, 0);
        keys.hasNumber.assign(n, false);
        const bool worked = read([&](std::size_t i, const CQvListItem::CellView& cell) {
            keys.numbers[i] = cell.number;
            keys.hasNumber[i] = cell.hasNumber;
            if (!cell.hasNumber) texts = true;
        });
        if (!worked) return rowsGone;
    }
    std::optional<QCollator> collator;
    if (texts) {
        const bool worked = read([&](std::size_t i, const CQvListItem::CellView& cell) {
            // Room for all texts at once, by the length of the first ones.
            if (i + 1 == kSortSlice) keys.texts.reserve(keys.texts.size() * n / i * 5 / 4);
            keys.texts.append(cell.text);
            keys.ends[i] = std::uint32_t(keys.texts.size());
        });
        if (!worked) return rowsGone;
        // A row without an item has an empty text.
        for (std::size_t i = 1; i < n; ++i) keys.ends[i] = std::max(keys.ends[i], keys.ends[i - 1]);
        collator = ListCollator();
    }
    auto compare = [&](std::size_t a, std::size_t b) {
        if (numeric && (!texts || (keys.hasNumber[a] && keys.hasNumber[b])))
            return keys.numbers[a] < keys.numbers[b] ? -1 : (keys.numbers[a] > keys.numbers[b] ? 1 : 0);
        return collator->compare(CollationText(keys.Text(a)).View(), CollationText(keys.Text(b)).View());
    };
    // Rows of equal values keep their order.
    job.order.resize(n);
    std::iota(job.order.begin(), job.order.end(), 0);
    const int sign = job.ascending ? 1 : -1;
    std::stable_sort(job.order.begin(), job.order.end(),
                     [&](int a, int b) { return sign * compare(std::size_t(a), std::size_t(b)) < 0; });
    return true;
}

BOOL CQvListCtrl::ApplyOrder(const SortJob& job) {
    {
        std::lock_guard g(m_lock);
        if (m_nRemovals != job.removals || job.order.size() != job.rows.size()) return FALSE;
    }
    if (job.rows.empty()) return TRUE;
    LVQVORDER order;
    order.rows = job.rows.data();
    order.order = job.order.data();
    return BOOL(SendMessage(LVM_QV_SETORDER, WPARAM(job.rows.size()), reinterpret_cast<LPARAM>(&order)));
}

void CQvListCtrl::CancelSort() {
    if (!m_sortJob) return;
    {
        std::lock_guard gate(m_sortJob->gate);
        m_sortJob->cancelled = true;
    }
    m_sortJob.reset();
}

void CQvListCtrl::QvSort(int column, BOOL ascending) {
    if (column < 0) {
        column = m_nSortColumn;
        ascending = m_bSortAscending;
    }
    if (column < 0 || !m_hWnd) return;
    m_nSortColumn = column;
    m_bSortAscending = ascending;
    CancelSort();
    auto job = std::make_shared<SortJob>();
    job->list = this;
    job->wnd = m_hWnd;
    job->column = column;
    job->ascending = ascending != FALSE;
    job->numeric = GetColumnType(column) != eColText;
    {
        std::lock_guard g(m_lock);
        job->removals = m_nRemovals;
    }
    std::vector<LVQVROWINFO> rows(std::size_t(std::max(0, GetItemCount())));
    rows.resize(std::min<std::size_t>(
        rows.size(), std::size_t(std::max<LRESULT>(0, SendMessage(LVM_QV_GETROWS, WPARAM(rows.size()),
                                                                  reinterpret_cast<LPARAM>(rows.data()))))));
    job->rows.reserve(rows.size());
    for (const LVQVROWINFO& row : rows) job->rows.push_back(row.lParam);
    if (job->rows.size() <= kSortOnGuiThread) {
        WorkOutOrder(*job);
        ApplyOrder(*job);
        SelectAfterSort();
        return;
    }
    m_sortJob = job;
    std::thread([job] {
        const bool worked = WorkOutOrder(*job);
        std::lock_guard gate(job->gate);
        if (job->cancelled || !worked) return;
        job->done = true;
        ::PostMessage(job->wnd, WM_QVLIST_SORTED, 0, 0);
    }).detach();
}

LRESULT CQvListCtrl::OnSorted(WPARAM, LPARAM) {
    std::shared_ptr<SortJob> job = m_sortJob;
    if (!job) return 0;
    {
        std::lock_guard gate(job->gate);
        if (!job->done) return 0;
    }
    m_sortJob.reset();
    if (!ApplyOrder(*job)) {
        // Rows went or moved meanwhile: the rows as they are now are sorted.
        QvSort(job->column, job->ascending);
        return 0;
    }
    SelectAfterSort();
    return 0;
}

void CQvListCtrl::SelectAfterSort() {
    const int select = m_nSelectAfterSort;
    const BOOL focusInView = m_bFocusInViewAfterSort;
    m_nSelectAfterSort = -1;
    m_bFocusInViewAfterSort = FALSE;
    if (select >= 0 && select < GetItemCount()) SelectRow(select, m_bEnsureVisibleAfterSort, m_bKeepOthersAfterSort);
    else if (focusInView) {
        const int focused = GetNextItem(-1, LVNI_FOCUSED);
        if (focused >= 0) EnsureVisible(focused, FALSE);
    }
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
    // Rows come and go by the thousand: the line (and the view's margins) follow once per turn.
    // A worker that adds rows asks too: the line is due from the moment the flag is taken, and is
    // counted after the flag is given back, so that no row added meanwhile is left out.
    if (!m_hWnd || m_bStatusDue.exchange(true)) return;
    if (!PostMessage(WM_QVLIST_STATUSDUE)) UpdateStatusNow();
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
        COLORREF text = COLORREF(item->Get32(CQvListItem::kRow, CQvListItem::kRowText, std::int32_t(CLR_DEFAULT)));
        COLORREF bk = COLORREF(item->Get32(CQvListItem::kRow, CQvListItem::kRowBk, std::int32_t(CLR_DEFAULT)));
        if (cd->iSubItem >= 0) {
            const CQvListItem::CellView c = item->CellAt(cd->iSubItem);
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
    // Also a click on the row that is selected already is the user's choice.
    if (click->iItem >= 0) KeepChoiceThroughSort();
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
        if (click->iSubItem >= 0) {
            isLink = item->CellAt(click->iSubItem).isLink;
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
    if ((change->uOldState ^ change->uNewState) & (LVIS_SELECTED | LVIS_FOCUSED)) KeepChoiceThroughSort();
    return FALSE;
}

void CQvListCtrl::OnDestroy() {
    CancelSort();
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
        ++m_nRemovals;
    }
    FreeAway(gone);
}
