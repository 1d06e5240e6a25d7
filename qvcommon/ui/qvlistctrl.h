#pragma once
// CQvListCtrl: the suite's result list. Columns come from consecutive string ids with a kind each
// (text, number, decimal, date, yes/no) that decides alignment and sorting; rows are CQvListItem
// objects with typed cell values, VARIANT parameters by index, colours per row and cell, link
// cells and an image. Column widths and the sort are kept under a registry key. Items may be
// added and filled from a worker thread: an item handed out locked shows its values when it is
// unlocked. A long list is sorted by a thread of its own and shown in its new order when that is
// ready, so that the window answers meanwhile.
#include "qvui.h"
#include "oledate.h"
#include "olevariant.h"
#include "utf.h"
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <mutex>
#include <unordered_map>
#include <vector>

class CQvListCtrl;

// The notification of a click on a link cell (WM_NOTIFY to the parent).
#define QVLN_LINKCLICKED 1010
struct NMQVLISTLINK {
    NMHDR hdr;
    int nItem = -1;      // visible index
    int nSubItem = 0;    // column
    LPCWSTR pszLink = nullptr;  // the link's text, valid during the notification
};
using LPNMQVLISTLINK = NMQVLISTLINK*;

class CQvListItem {
public:
    virtual ~CQvListItem() = default;
    // Cell values; each sets the column's text.
    void SetColumnText(int column, LPCWSTR text);
    void SetColumnLong(int column, long value);
    // format: a printf format for one double, "%g" when null.
    void SetColumnDouble(int column, double value, LPCWSTR format = nullptr);
    // showDate 1: the date part; timeFormat 10: hours and minutes, 0: no time. A null or invalid
    // date gives an empty cell.
    void SetColumnDate(int column, const COleDateTime& date, int showDate = 1, int timeFormat = 0);
    void SetColumnBool(int column, BOOL value);
    // The cell shows its text as a link; a click on it reports the link text (QVLN_LINKCLICKED).
    void SetColumnLink(int column, LPCWSTR linkText);
    CString GetColumnText(int column) const;
    CString GetColumnLink(int column) const;

    // Parameters by index (VT_I4 ids, as a rule).
    void SetParam(int index, const VARIANT& value);
    void SetParam(int index, long value);
    // FALSE when the item has no such parameter (value unchanged).
    BOOL GetParam(int index, long* value) const;
    BOOL GetParam(int index, COleVariant& value) const;

    void SetImage(int image, int column = 0);
    // CLR_DEFAULT takes the colour back.
    void SetRowTextColor(COLORREF color);
    void SetRowBkColor(COLORREF color);
    void SetColumnTextColor(int column, COLORREF color);
    void SetColumnBkColor(int column, COLORREF color);

    // While locked, changes are kept and shown at Unlock (one update of the row).
    void Lock();
    void Unlock();
    BOOL IsLocked() const;
    // The item's row in the list as shown (-1 when it is not in the list).
    int GetIndex() const;
    CQvListCtrl* GetList() const { return list_; }

protected:
    friend class CQvListCtrl;
    explicit CQvListItem(CQvListCtrl* list) : list_(list) {}
    // What a cell holds, read under the list's lock (the text points into the item).
    struct CellView {
        std::string_view text;  // UTF-8
        double number = 0;      // numbers, dates (as OLE dates) and yes/no for sorting
        COLORREF text_color = CLR_DEFAULT;
        COLORREF bk_color = CLR_DEFAULT;
        bool hasNumber = false;
        bool isLink = false;
    };
    CellView CellAt(int column) const;
    // One past the last column that holds a value.
    int CellCount() const;
    // A cell's text and, for sorting, its number (null: the text sorts).
    void SetText(int column, std::string_view text, const double* number);
    // The link text of a link cell (under the list's lock).
    std::wstring LinkOf(int column) const;
    void Changed();
    std::recursive_mutex& ListLock() const;

    CQvListCtrl* list_;
    // Kept small: a list may hold a hundred thousand rows of a dozen cells. All values of the
    // item (texts in UTF-8, numbers, colours, links, whole-number parameters, the image) live as
    // records in one block: a head (the kind and the column or parameter index), the length of a
    // text, and the bytes. Parameters of other kinds, which few lists use, live beside it.
    enum RecordKind : unsigned char { kText = 1, kNumber, kTextColor, kBkColor, kLink, kParamLong, kRow };
    // kRow records by their column: the image, the row's text colour, the row's background.
    enum { kRowImage = 0, kRowText = 1, kRowBk = 2 };
    // The record's bytes, or null without one.
    const char* Find(RecordKind kind, int column, std::size_t* size) const;
    void Put(RecordKind kind, int column, const void* bytes, std::size_t size);
    void Drop(RecordKind kind, int column);
    std::int32_t Get32(RecordKind kind, int column, std::int32_t fallback) const;
    void Put32(RecordKind kind, int column, std::int32_t value, std::int32_t fallback);
    // A block of bytes that holds exactly what it is given once the item is filled.
    class Bytes {
    public:
        Bytes() = default;
        Bytes(const Bytes&) = delete;
        Bytes& operator=(const Bytes&) = delete;
        ~Bytes() { std::free(p_); }
        std::size_t size() const { return size_; }
        const char* data() const { return p_; }
        char operator[](std::size_t at) const { return p_[at]; }
        void Write(std::size_t at, const void* bytes, std::size_t n) { std::memcpy(p_ + at, bytes, n); }
        void Erase(std::size_t at, std::size_t n);
        void Append(const void* bytes, std::size_t n);
        void Shrink();

    private:
        char* p_ = nullptr;
        std::uint32_t size_ = 0;
        std::uint32_t capacity_ = 0;
    };
    void Shrink() { data_.Shrink(); }
    Bytes data_;
    std::unique_ptr<std::vector<std::pair<int, COleVariant>>> otherParams_;
    // Where the list keeps the item: its place in the order of adding (gaps included), or, while
    // it is made and not yet inserted, among the made items.
    std::uint32_t slot_ = std::uint32_t(-1);
    std::uint16_t locks_ = 0;
    bool dirty_ = false;
};

// The selected items of a list, in list order.
class CQvListItemArray {
public:
    int GetSize() const { return int(items_.size()); }
    CQvListItem* QvGetItem(int index) const {
        return index >= 0 && index < GetSize() ? items_[std::size_t(index)] : nullptr;
    }
    CQvListItem* operator[](int index) const { return QvGetItem(index); }
    void RemoveAll() { items_.clear(); }
    void Add(CQvListItem* item) { items_.push_back(item); }

private:
    std::vector<CQvListItem*> items_;
};

class CQvListCtrl : public CListCtrl {
    DECLARE_DYNAMIC(CQvListCtrl)
public:
    enum EColType { eColLong = 1, eColDouble = 2, eColText = 3, eColDate = 4, eColDateTime = 5, eColBool = 6 };
    // Tool tips of a column: none, the text of a cell that does not fit, the text of every cell.
    enum EToolTipMode { eTipNone = 0, eTipTruncated = 1, eTipAlways = 2 };

    CQvListCtrl();
    ~CQvListCtrl() override;

    // Columns from 'count' consecutive string ids starting at firstHeaderId; kinds from 'types'
    // (EColType, text when null); widths in pixels (remembered widths win); toolTipModes per
    // column. Existing columns are removed first. The remembered sort is applied when rows come.
    BOOL QvInsertColumn(int count, UINT firstHeaderId, const int* types = nullptr, const int* widths = nullptr,
                        const int* formats = nullptr, const int* toolTipModes = nullptr);
    // Column widths and the sort live under HKEY_CURRENT_USER\key; set it before the columns.
    void QvSetRegistryKey(LPCWSTR key);
    CString QvGetRegistryKey() const { return m_strRegistryKey; }
    // Writes the column widths and the sort now (also done when the window goes).
    BOOL QvSaveLayout();

    // Adds a row at the end; the item is handed out locked when 'lock' is set (Unlock shows it).
    BOOL QvAddItem(CQvListItem*& item, BOOL lock = TRUE);
    // A row filled away from the GUI thread: the item belongs to the list but is not shown, and
    // touches no window, until QvInsertCreatedItem (GUI thread) adds it at the end;
    // QvDiscardCreatedItem drops it. Items not yet inserted go with the list.
    CQvListItem* QvCreateItem();
    BOOL QvInsertCreatedItem(CQvListItem* item);
    // Several at once, in order, with one update of the status line; the number inserted.
    int QvInsertCreatedItems(const std::vector<CQvListItem*>& items);
    void QvDiscardCreatedItem(CQvListItem* item);
    // Removing a row (also with DeleteItem) frees its item; the parent hears LVN_DELETEITEM first.
    BOOL QvDeleteItem(int index);
    // The rows shown at these indexes (any order) removed at once; the number removed. The parent
    // hears of each first unless m_bTellEachRemovedRow is cleared.
    int QvDeleteItems(const std::vector<int>& indexes);
    BOOL DeleteAllItems();
    // By the row shown, by the order of adding.
    CQvListItem* QvGetItem(int index) const { return QvGetVisibleListItem(index); }
    CQvListItem* QvGetVisibleListItem(int index) const;
    // The items of all rows shown, in their order, and whether each is checked: one call for a
    // walk over a long list.
    void QvGetVisibleListItems(std::vector<CQvListItem*>& items, std::vector<bool>* checked = nullptr) const;
    CQvListItem* QvGetInsertedListItem(int index) const;
    int GetVisibleItemCount() const { return GetItemCount(); }
    int GetInsertedItemCount() const;

    void QvGetSelListItemArray(CQvListItemArray& items) const;
    // The parameter of the first selected row; FALSE without a selected row or parameter.
    BOOL QvGetSelParamValue(int paramIndex, long& value) const;
    // Selects the row (only it, unless keepOthers) and gives it the focus.
    BOOL QvSetSelection(int index, BOOL ensureVisible = TRUE, BOOL keepOthers = FALSE);
    // Selects the first row whose parameter has the value; found gets its index (-1: none).
    BOOL QvSetSelectionByParam(int paramIndex, long value, int* found = nullptr, BOOL ensureVisible = TRUE,
                               BOOL keepOthers = FALSE);

    // column -1: the remembered sort column and direction (nothing when none was chosen). A short
    // list is in its new order on return; a long one once its sorting thread is done (QvIsSorting).
    // Texts sort as a German reader orders them, without regard to case. A row selected by its
    // index meanwhile (QvSetSelection) is selected at once and, in the new order, the row at that
    // index; one selected by its parameter, or chosen by the user meanwhile, stays selected and in
    // view wherever it goes.
    void QvSort(int column = -1, BOOL ascending = TRUE);
    BOOL QvIsSorting() const { return m_sortJob != nullptr; }
    int QvGetSortColumn() const { return m_nSortColumn; }
    BOOL QvGetSortAscending() const { return m_bSortAscending; }

    void QvSetSingleSelection();
    void QvSetMultiSelection();
    void QvSetCheckable(BOOL checkable = TRUE);
    BOOL QvGetCheck(int index) const { return GetCheck(index); }
    void QvSetCheck(int index, BOOL check) { SetCheck(index, check); }

    // A line under the rows; without a text of its own it tells the number of rows.
    void ShowStatusLine(BOOL show);
    void SetStatusText(LPCWSTR text);
    // Drawing off while rows are filled; the layout name is the column layout ("default").
    void SetRedraw(BOOL redraw, LPCWSTR layoutName);
    using CWnd::SetRedraw;

    // Read-only: rows can be selected and links followed; check boxes do not change.
    virtual void SetReadOnly(BOOL readOnly = TRUE);
    BOOL IsReadOnly() const { return m_bReadOnly; }

    EColType GetColumnType(int column) const;

    // With this set, a single-selection list keeps a row selected when the user clicks beside the
    // rows.
    BOOL m_bKeepSelection = FALSE;
    // Cleared by a form that keeps nothing per row: removing all rows then tells it once
    // (LVN_DELETEALLITEMS), not row by row, and removing many (QvDeleteItems) tells it nothing, so
    // clearing a long list costs what a short one does.
    BOOL m_bTellEachRemovedRow = TRUE;

protected:
    // The object behind each new row (the grid's rows carry more).
    virtual CQvListItem* NewItem() { return new CQvListItem(this); }
    // The text a cell shows for its value (called under the list's lock).
    virtual std::wstring CellDisplayText(const CQvListItem*, int, const std::wstring& text) const { return text; }
    void PreSubclassWindow() override;
    afx_msg BOOL OnCustomDraw(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnClick(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnColumnClick(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnItemChanging(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnItemChanged(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnDeleteItem(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnDeleteAllItems(NMHDR* nm, LRESULT* result);
    afx_msg void OnDestroy();
    afx_msg LRESULT OnStatusDue(WPARAM, LPARAM);
    afx_msg LRESULT OnSorted(WPARAM, LPARAM);
    DECLARE_MESSAGE_MAP()

    friend class CQvListItem;
    void Show(CQvListItem* item);
    void Show(CQvListItem* item, int row);  // row: where the item stands
    // The status line follows the rows once per turn of the GUI thread (UpdateStatusNow at once).
    void UpdateStatus();
    void UpdateStatusNow();
    // Guards the items' values; workers fill items while the GUI thread draws them.
    mutable std::recursive_mutex m_lock;
    BOOL m_bReadOnly = FALSE;
    BOOL m_bDeletingAll = FALSE;

private:
    void LoadLayout();
    void FreeRemoved();
    // Items are kept in the order of adding; a removed row leaves a gap until the next indexed
    // read or until gaps are half of all (called under m_lock).
    void Keep(std::unique_ptr<CQvListItem> item);
    std::unique_ptr<CQvListItem> Release(CQvListItem* item);
    std::unique_ptr<CQvListItem> TakeCreated(CQvListItem* item);
    void Compact() const;
    // Moves the items of a store up over its gaps, each told its new slot.
    static void CloseGaps(std::vector<std::unique_ptr<CQvListItem>>& store);
    // Sorting: the values of a column read from the rows as they stood (under m_lock, a slice at a
    // time, while no row has been removed since), ordered by a worker and handed back to the GUI
    // thread, which puts the rows in that order.
    struct SortJob;
    static bool WorkOutOrder(SortJob& job);
    void SelectRow(int index, BOOL ensureVisible, BOOL keepOthers);
    // FALSE when rows were removed or moved since the order was worked out.
    BOOL ApplyOrder(const SortJob& job);
    // What was asked for while the sort was under way (see QvSort).
    void SelectAfterSort();
    // The user chose a row while the rows are sorted: the sort keeps it.
    void KeepChoiceThroughSort();
    void CancelSort();
    // The texts of rows inserted from created items: the list window asks the item.
    static std::wstring ProvideText(void* context, LPARAM lParam, int column);

    mutable std::vector<std::unique_ptr<CQvListItem>> m_items;  // in the order of adding
    mutable std::size_t m_nGaps = 0;
    std::atomic<bool> m_bStatusDue{false};  // a worker that adds rows asks for the line too
    std::vector<std::unique_ptr<CQvListItem>> m_dying;
    // Made by QvCreateItem, not yet shown, each at its slot_; those taken leave gaps until the
    // rest moves up (TakeCreated, under m_lock).
    std::vector<std::unique_ptr<CQvListItem>> m_created;
    std::size_t m_nCreatedGaps = 0;
    std::vector<int> m_types;
    std::vector<int> m_toolTipModes;
    CString m_strRegistryKey;
    int m_nSortColumn = -1;
    BOOL m_bSortAscending = TRUE;
    std::shared_ptr<SortJob> m_sortJob;  // the sort under way
    std::uint64_t m_nRemovals = 0;       // rows removed so far (under m_lock)
    // Asked for while the sort was under way: a row by its index in the new order, or the focused
    // row kept in view.
    int m_nSelectAfterSort = -1;
    BOOL m_bEnsureVisibleAfterSort = FALSE;
    BOOL m_bKeepOthersAfterSort = FALSE;
    BOOL m_bFocusInViewAfterSort = FALSE;
    BOOL m_bSelecting = FALSE;  // the list itself selects a row (SelectRow)
    BOOL m_bStatusLine = FALSE;
    CString m_strStatus;
    int m_nLastSelected = -1;
    CFont m_linkFont;
};
