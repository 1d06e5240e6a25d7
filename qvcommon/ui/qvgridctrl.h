#pragma once
// CQvGridCtrl: the suite's grid, a result list whose cells can be edited in place. Each cell has an
// edit mode (not editable, text, number with a format, choice from a list with ids, date, time,
// check box); a change goes through the owner, who may refuse it, before it is taken over. A
// read-only grid changes nothing. In a dialog template the control has the class name below.
#include "qvlistctrl.h"
#include <map>
#include <utility>

#define QVGRID_CLASSNAME L"QvGridCtrl"

// Notifications to the owner (WM_NOTIFY with NMQVGRID). An edited value is about to be taken
// over: result 1 refuses it, the cell keeps its old value.
#define QVGN_CELLCHANGING 1000
// A cell editor is about to open: result 1 keeps it closed.
#define QVGN_BEGINEDIT 1001
// A value was taken over.
#define QVGN_CELLCHANGED 1002
// The user changed the text in an open cell editor (typing, before anything is taken over).
#define QVGN_EDITCHANGE 1003
// A click on a link cell: QVLN_LINKCLICKED (1010) with NMQVLISTLINK, as in the result list.

class CQvGridCtrl;
class CQvGridItem;

struct NMQVGRID {
    NMHDR hdr;
    int nItem = -1;     // the row as shown
    int nSubItem = 0;   // the column
    CQvGridItem* pItem = nullptr;
    LPCWSTR pszText = nullptr;  // the new value as text ("1"/"0" for a check box), valid during the call
};
using LPNMQVGRID = NMQVGRID*;

// A row of the grid: the result list's cells and parameters, and per cell its edit mode.
class CQvGridItem : public CQvListItem {
public:
    void SetColumnEditMode(int column, int mode);
    int GetColumnEditMode(int column) const;
    // A check box cell (edit mode eEditCheck when 'editable').
    void SetColumnCheck(int column, BOOL checked, BOOL editable = TRUE);
    BOOL GetColumnCheck(int column) const;
    // A number shown with its printf format; the editor takes numbers and shows them in it.
    void SetColumnNumber(int column, double value, LPCWSTR format = L"%g", int mode = -1);
    BOOL GetColumnNumber(int column, double* value) const;
    // A date (and time) cell with its editor kind (eEditDate ... eEditTimeOrEmpty); the flags
    // as in SetColumnDate. A null or invalid date leaves the cell empty.
    void SetColumnDate(int column, const COleDateTime& date, int showDate, int timeFormat, int mode);
    using CQvListItem::SetColumnDate;
    // The date of a date cell; status null when the cell is empty.
    COleDateTime GetColumnDate(int column) const;
    // The choice with this id from the column's choice list (CQvGridCtrl::QvSetChoiceList).
    void SetColumnChoice(int column, long id, int mode = -1);
    long GetColumnChoice(int column) const;
    // Text parameters (ids kept as text, such as GUIDs).
    using CQvListItem::SetParam;
    void SetParam(int index, LPCWSTR text);
    CString GetParamText(int index) const;
    CQvGridCtrl* GetGrid() const;

protected:
    friend class CQvGridCtrl;
    explicit CQvGridItem(CQvListCtrl* list) : CQvListItem(list) {}
    struct Extra {
        int mode = -1;  // -1: the grid's default
        std::wstring format;
        long choice = 0;
    };
    Extra& ExtraAt(int column);
    std::vector<Extra> extra_;
};

class CQvGridCtrl : public CQvListCtrl {
    DECLARE_DYNAMIC(CQvGridCtrl)
public:
    using CQvGridItem = ::CQvGridItem;
    enum EEditMode {
        eEditNone = 0,
        eEditText = 2,
        eEditNumber = 3,
        eEditChoice = 5,
        eEditDate = 10,
        eEditDateTime = 11,
        eEditTime = 12,
        eEditDateOrEmpty = 13,
        eEditTimeOrEmpty = 14,
        eEditCheck = 15,
    };
    using Choice = std::pair<long, CString>;

    CQvGridCtrl();
    ~CQvGridCtrl() override;

    // Registers the class name for templates (also done by Create).
    static void RegisterClass();
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    void SetReadOnly(BOOL readOnly = TRUE) override;
    // Cells without a mode of their own (not editable unless set).
    void SetDefaultEditMode(int mode) { m_nDefaultMode = mode; }
    void QvSetChoiceList(int column, const std::vector<Choice>& choices);

    BOOL QvAddItem(CQvGridItem*& item, BOOL lock = TRUE);
    using CQvListCtrl::QvAddItem;
    CQvGridItem* QvGetGridItem(int index) const;          // by the row shown
    CQvGridItem* QvGetInsertedGridItem(int index) const;  // by the order of adding
    int GetEditMode(int index, int column) const;

    // Opens the cell's editor (a check box toggles); FALSE when the cell cannot be edited now.
    BOOL EditCell(int index, int column);
    // Selects the row and opens the cell's editor.
    BOOL SetEditAndSelection(int index, int column);
    // Takes the open editor's value over (FALSE when refused) or drops it.
    BOOL EndEdit(BOOL takeOver = TRUE);
    // Takes the open editor's value over before the owner saves: FALSE when it is refused, the user
    // told, with the editor open again on what was typed and the focus in it.
    BOOL CommitEdit();
    BOOL IsEditing() const { return m_nEditItem >= 0; }
    int GetEditColumn() const { return m_nEditColumn; }
    CWnd* GetEditor() const;

    // A value given as text, going through the owner as a user's edit does. FALSE when refused,
    // read-only or not a value of the cell's kind.
    BOOL SetCellValue(int index, int column, LPCWSTR text);

    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    CQvListItem* NewItem() override;
    std::wstring CellDisplayText(const CQvListItem* item, int column, const std::wstring& text) const override;
    void PreSubclassWindow() override;
    afx_msg BOOL OnGridClick(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnGridDblClick(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnGridKeyDown(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnGridReturn(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnGridColumnClick(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnGridDeleteItem(NMHDR* nm, LRESULT* result);
    afx_msg BOOL OnGridItemChanged(NMHDR* nm, LRESULT* result);
    afx_msg void OnEditorKillFocus();
    afx_msg void OnEditorChange();
    afx_msg LRESULT OnEndEditPosted(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    friend class ::CQvGridItem;
    // The value a cell takes for the text; FALSE when the text is no value of its kind.
    BOOL Apply(CQvGridItem* item, int column, int mode, const CString& text, bool dryRun);
    BOOL Change(int index, int column, const CString& text);
    LRESULT Notify(UINT code, int index, int column, LPCWSTR text);
    int NextEditableColumn(int index, int from, int step) const;
    bool IsLink(int index, int column) const;
    CString EditText(CQvGridItem* item, int column, int mode) const;
    void SetEditorText(const CString& text);

    int m_nDefaultMode = eEditNone;
    std::map<int, std::vector<Choice>> m_choices;
    int m_nEditItem = -1;
    int m_nEditColumn = -1;
    int m_nCurColumn = 0;
    CQvGridItem* m_pEditItem = nullptr;
    CEdit m_edit;
    CComboBox m_combo;
    bool m_bEnding = false;
    bool m_bFilling = false;  // the grid itself puts text into the editor
    int m_nEditSerial = 0;
    int m_nFreshRow = -1;  // selected by the click being handled: the click selects, the next one edits
};
