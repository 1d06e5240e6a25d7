#pragma once
// CMultiComboBox: an owner-drawn combo box whose items are rows of several text columns. The list
// shows the columns side by side with dotted grid lines and may be wider than the combo box; the
// edit field and the combo box's own string list hold one column, the text column. Each row keeps
// the caller's item data, so CB_GETITEMDATA and CB_SETITEMDATA and the owner-draw messages to the
// parent keep working while the item's own data (the raw data) is the row's address.
// Needs CBS_OWNERDRAWFIXED or CBS_OWNERDRAWVARIABLE with CBS_HASSTRINGS; it never sorts by itself.
#include "ctrls.h"
#include "gdi.h"

#include <vector>

// Horizontal scroll request that the list forwards to its combo box.
#define WM_MCB_LISTHSCROLL 0x80E7u

class CMultiComboBox : public CComboBox {
    DECLARE_DYNAMIC(CMultiComboBox)
public:
    // One row: a text per column and the caller's item data.
    class CMultiComboRowData : public std::vector<CString> {
    public:
        DWORD_PTR m_dwItemData = 0;
    };

    // The drop-down list, attached when it first paints.
    class CMultiComboLBox : public CListBox {
    public:
        explicit CMultiComboLBox(CMultiComboBox* pCombo) : m_pCombo(pCombo) {}
        BOOL m_bVScroll = FALSE;
        BOOL m_bHScroll = FALSE;
        CMultiComboBox* m_pCombo;

    protected:
        afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
        afx_msg void OnWindowPosChanging(WINDOWPOS* lpwndpos);
        DECLARE_MESSAGE_MAP()
    };

    CMultiComboBox();
    ~CMultiComboBox() override;

    void PreSubclassWindow() override;
    BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);
    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
    void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) override;
    int CompareItem(LPCOMPAREITEMSTRUCT lpCompareItemStruct) override;
    virtual void DrawColumnItem(HDC hDC, int nItem, int nColumn, const RECT& rcCell, UINT nItemState);
    virtual void DrawColumnBorder(CDC* pDC, const RECT& rcCell, UINT nItemState);

    // Index of the new row, CB_ERR when there are more texts than columns or the combo box refuses.
    int AddRow(const LPCWSTR* pszTexts, int nCount);
    void GetCellText(int nItem, int nColumn, CString& strText) const;
    BOOL SetTextColumn(int nColumn);
    void SetColumnCount(int nCount);
    void SetColumnWidth(int nColumn, int nWidth);
    int AdjustDroppedWidth();

    int GetColumnCount() const { return m_nColumnCount; }
    int GetTextColumn() const { return m_nTextColumn; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    afx_msg LRESULT OnListHScroll(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    // The row an item carries (its raw data), or null.
    CMultiComboRowData* RowOf(int nItem) const;
    // Height of all rows together.
    int RowsHeight();
    int ColumnsWidth() const;
    void PrepareList(HDC hDC, HWND hList);

    int m_nColumnCount = 1;
    int m_nTextColumn = 0;
    std::vector<int> m_arrColumnWidth{60};
    CPen m_penGrid;
    BOOL m_bFitDropWidth = FALSE;
    // Set while many rows are added at once: AddRow leaves the fitting of the list to the caller,
    // who fits it once for them all.
    BOOL m_bDeferFit = FALSE;
    CMultiComboLBox m_listBox{this};
    BOOL m_bRefitList = TRUE;
    BOOL m_bResetting = FALSE;
    int m_nHScrollPage = 0;
    int m_nHScrollLine = 0;
};
