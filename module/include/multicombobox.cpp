#include "multicombobox.h"
#include "dialog.h"

#include <algorithm>
#include <numeric>

IMPLEMENT_DYNAMIC(CMultiComboBox, CComboBox)

BEGIN_MESSAGE_MAP(CMultiComboBox, CComboBox)
    ON_MESSAGE(WM_MCB_LISTHSCROLL, &CMultiComboBox::OnListHScroll)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CMultiComboBox::CMultiComboLBox, CListBox)
    ON_WM_HSCROLL()
    ON_WM_WINDOWPOSCHANGING()
END_MESSAGE_MAP()

namespace {
constexpr int kDefaultColumnWidth = 60;
}

CMultiComboBox::CMultiComboBox() {
    LOGBRUSH brush;
    brush.lbStyle = BS_SOLID;
    brush.lbColor = RGB(0, 0, 0);
    if (HPEN pen = ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &brush, 0, nullptr)) m_penGrid.Attach(pen);
    else m_penGrid.CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
}

CMultiComboBox::~CMultiComboBox() {
    // The rows go with the items' deletion, which only this object's handlers see.
    if (GetSafeHwnd()) DestroyWindow();
}

void CMultiComboBox::PreSubclassWindow() { CComboBox::PreSubclassWindow(); }

BOOL CMultiComboBox::Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID) {
    return CComboBox::Create(dwStyle, rect, pParentWnd, nID);
}

void CMultiComboBox::MeasureItem(LPMEASUREITEMSTRUCT) {}

int CMultiComboBox::CompareItem(LPCOMPAREITEMSTRUCT) { return 0; }

CMultiComboBox::CMultiComboRowData* CMultiComboBox::RowOf(int nItem) const {
    const LRESULT raw = const_cast<CMultiComboBox*>(this)->DefWindowProc(CB_GETITEMDATA, WPARAM(nItem), 0);
    if (raw == CB_ERR || raw == 0) return nullptr;
    return reinterpret_cast<CMultiComboRowData*>(raw);
}

int CMultiComboBox::ColumnsWidth() const { return std::accumulate(m_arrColumnWidth.begin(), m_arrColumnWidth.end(), 0); }

int CMultiComboBox::RowsHeight() {
    const int nCount = GetCount();
    if (!(GetStyle() & CBS_OWNERDRAWVARIABLE)) return GetItemHeight(0) * std::max(0, nCount);
    int nHeight = 0;
    for (int i = 0; i < nCount; ++i) nHeight += GetItemHeight(i);
    return nHeight;
}

// ---- rows and columns

int CMultiComboBox::AddRow(const LPCWSTR* pszTexts, int nCount) {
    if (nCount > m_nColumnCount || nCount < 0) return CB_ERR;
    const LPCWSTR pszText = m_nTextColumn < nCount && pszTexts[m_nTextColumn] ? pszTexts[m_nTextColumn] : L"";
    const int nItem = int(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pszText)));
    if (nItem < 0) return CB_ERR;
    auto* pRow = new CMultiComboRowData;
    pRow->resize(std::size_t(m_nColumnCount));
    for (int i = 0; i < nCount; ++i) (*pRow)[std::size_t(i)] = pszTexts[i] ? pszTexts[i] : L"";
    DefWindowProc(CB_SETITEMDATA, WPARAM(nItem), reinterpret_cast<LPARAM>(pRow));
    if (!m_bDeferFit) AdjustDroppedWidth();
    return nItem;
}

void CMultiComboBox::GetCellText(int nItem, int nColumn, CString& strText) const {
    strText.Empty();
    if (nItem < 0 || nColumn < 0 || nItem >= GetCount() || nColumn >= m_nColumnCount) return;
    if (const CMultiComboRowData* pRow = RowOf(nItem); pRow && std::size_t(nColumn) < pRow->size())
        strText = (*pRow)[std::size_t(nColumn)];
}

BOOL CMultiComboBox::SetTextColumn(int nColumn) {
    if (nColumn == m_nTextColumn) return TRUE;
    if (nColumn < 0 || nColumn >= m_nColumnCount) return FALSE;

    const int nSel = GetCurSel();
    CString strSelected;
    if (nSel >= 0) GetCellText(nSel, m_nTextColumn, strSelected);

    // Rows survive the emptying; items without a row have nothing to be shown again and go.
    std::vector<CMultiComboRowData*> rows;
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (CMultiComboRowData* pRow = RowOf(i)) rows.push_back(pRow);
    m_bResetting = TRUE;
    ResetContent();
    m_bResetting = FALSE;
    const int nOldColumn = m_nTextColumn;
    m_nTextColumn = nColumn;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const CString& strText = (*rows[r])[std::size_t(nColumn)];
        const int nItem = int(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LPCWSTR(strText))));
        if (nItem < 0) {
            m_nTextColumn = nOldColumn;
            for (std::size_t k = r; k < rows.size(); ++k) delete rows[k];
            return FALSE;
        }
        DefWindowProc(CB_SETITEMDATA, WPARAM(nItem), reinterpret_cast<LPARAM>(rows[r]));
    }

    if (nSel < 0) return TRUE;
    if (strSelected.IsEmpty()) return FALSE;
    for (int i = 0, n = GetCount(); i < n; ++i) {
        CString strOld;
        GetCellText(i, nOldColumn, strOld);
        if (strOld.GetLength() >= strSelected.GetLength() &&
            strOld.Left(strSelected.GetLength()).CompareNoCase(strSelected) == 0) {
            CString strNew;
            GetCellText(i, nColumn, strNew);
            return SelectString(-1, strNew) != CB_ERR;
        }
    }
    return FALSE;
}

void CMultiComboBox::SetColumnCount(int nCount) {
    if (nCount == m_nColumnCount || m_nTextColumn >= nCount || nCount < 1) return;
    m_arrColumnWidth.resize(std::size_t(nCount), kDefaultColumnWidth);
    for (int i = 0, n = GetCount(); i < n; ++i)
        if (CMultiComboRowData* pRow = RowOf(i)) pRow->resize(std::size_t(nCount));
    m_nColumnCount = nCount;
    AdjustDroppedWidth();
}

void CMultiComboBox::SetColumnWidth(int nColumn, int nWidth) {
    if (nColumn < 0 || nColumn >= m_nColumnCount) return;
    m_arrColumnWidth[std::size_t(nColumn)] = nWidth;
    AdjustDroppedWidth();
}

int CMultiComboBox::AdjustDroppedWidth() {
    if (!GetSafeHwnd()) return CB_ERR;
    int nWidth = 1;
    if (m_bFitDropWidth) {
        CRect rcDropped;
        GetDroppedControlRect(&rcDropped);
        nWidth = 2 * GetSystemMetrics(SM_CXBORDER) + ColumnsWidth();
        const int nRoom = rcDropped.Height() - 2 * GetSystemMetrics(SM_CYBORDER);
        const int nRows = RowsHeight();
        if (nRows > nRoom) nWidth += GetSystemMetrics(SM_CXVSCROLL);
        else if (nWidth > rcDropped.Width() && nRows > nRoom - GetSystemMetrics(SM_CYHSCROLL))
            nWidth += GetSystemMetrics(SM_CXVSCROLL);
        nWidth = std::min(nWidth, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    }
    const int nResult = SetDroppedWidth(UINT(nWidth));
    if (nResult != CB_ERR) {
        m_bRefitList = TRUE;
        if (m_listBox.GetSafeHwnd()) {
            m_listBox.Invalidate(TRUE);
            m_listBox.UpdateWindow();
        }
    }
    return nResult;
}

// ---- drawing

void CMultiComboBox::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {
    const DRAWITEMSTRUCT& dis = *lpDrawItemStruct;
    if (dis.itemState & ODS_COMBOBOXEDIT) {
        DrawColumnItem(dis.hDC, GetCurSel(), m_nTextColumn, dis.rcItem, dis.itemState);
        return;
    }
    const int nItem = int(dis.itemID);
    if (nItem < 0 && GetCount() == 0) {
        if (CDC* pDC = CDC::FromHandle(dis.hDC)) pDC->DrawFocusRect(&dis.rcItem);
        return;
    }
    RECT rcCell = dis.rcItem;
    for (int c = 0; c < m_nColumnCount; ++c) {
        const int nWidth = m_arrColumnWidth[std::size_t(c)];
        if (c < m_nColumnCount - 1) {
            rcCell.right = rcCell.left + nWidth - 1;
        } else {
            rcCell.right = std::max(dis.rcItem.right, rcCell.left + nWidth);
        }
        DrawColumnItem(dis.hDC, nItem, c, rcCell, dis.itemState);
        rcCell.left = rcCell.right + 1;
    }
}

void CMultiComboBox::DrawColumnItem(HDC hDC, int nItem, int nColumn, const RECT& rcCell, UINT nItemState) {
    CDC* pDC = CDC::FromHandle(hDC);
    if (!pDC) return;
    const BOOL bEnabled = IsWindowEnabled();
    const BOOL bSelected = (nItemState & ODS_SELECTED) != 0;
    const COLORREF clrText = !bEnabled ? GetSysColor(COLOR_GRAYTEXT)
                             : bSelected ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                         : GetSysColor(COLOR_WINDOWTEXT);
    const COLORREF clrBack = !bEnabled ? GetSysColor(COLOR_BTNFACE)
                             : bSelected ? GetSysColor(COLOR_HIGHLIGHT)
                                         : GetSysColor(COLOR_WINDOW);
    const COLORREF clrOldText = pDC->SetTextColor(clrText);
    const COLORREF clrOldBack = pDC->SetBkColor(clrBack);
    pDC->FillSolidRect(&rcCell, clrBack);
    CString strText;
    if (nItem >= 0) GetCellText(nItem, nColumn, strText);
    RECT rcText = rcCell;
    rcText.left += LOWORD(GetDialogBaseUnits()) / 2;
    pDC->DrawText(strText, &rcText, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    DrawColumnBorder(pDC, rcCell, nItemState);
    pDC->SetTextColor(clrOldText);
    pDC->SetBkColor(clrOldBack);
}

void CMultiComboBox::DrawColumnBorder(CDC* pDC, const RECT& rcCell, UINT nItemState) {
    if (nItemState & ODS_COMBOBOXEDIT) return;
    CPen* pOldPen = pDC->SelectObject(&m_penGrid);
    pDC->MoveTo(rcCell.right - 1, rcCell.top);
    pDC->LineTo(rcCell.right - 1, rcCell.bottom - 1);
    pDC->LineTo(rcCell.left - 1, rcCell.bottom - 1);
    pDC->SelectObject(pOldPen);
}

// ---- messages of the combo box window

LRESULT CMultiComboBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING:
        m_bRefitList = TRUE;
        break;
    case CB_GETITEMDATA: {
        const LRESULT raw = DefWindowProc(message, wParam, lParam);
        if (raw == CB_ERR || raw == 0) return raw;
        return LRESULT(reinterpret_cast<CMultiComboRowData*>(raw)->m_dwItemData);
    }
    case CB_SETITEMDATA: {
        const LRESULT raw = DefWindowProc(CB_GETITEMDATA, wParam, 0);
        if (raw != CB_ERR && raw != 0) reinterpret_cast<CMultiComboRowData*>(raw)->m_dwItemData = DWORD_PTR(lParam);
        return raw;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        if (dis && int(dis->itemID) != -1) {
            const CMultiComboRowData* pRow = RowOf(int(dis->itemID));
            if (!pRow) return TRUE;
            dis->itemData = pRow->m_dwItemData;
        }
        break;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
        if (mis && !(GetStyle() & CBS_OWNERDRAWFIXED) && int(mis->itemID) != -1)
            if (const CMultiComboRowData* pRow = RowOf(int(mis->itemID))) mis->itemData = pRow->m_dwItemData;
        break;
    }
    case WM_COMPAREITEM: {
        auto* cis = reinterpret_cast<LPCOMPAREITEMSTRUCT>(lParam);
        if (cis && int(cis->itemID1) != -1)
            if (const CMultiComboRowData* pRow = RowOf(int(cis->itemID1))) cis->itemData1 = pRow->m_dwItemData;
        if (cis && int(cis->itemID2) != -1)
            if (const CMultiComboRowData* pRow = RowOf(int(cis->itemID2))) cis->itemData2 = pRow->m_dwItemData;
        break;
    }
    case WM_DELETEITEM: {
        auto* dis = reinterpret_cast<LPDELETEITEMSTRUCT>(lParam);
        if (dis && !m_bResetting && dis->itemData != 0 && dis->itemData != ULONG_PTR(CB_ERR)) {
            auto* pRow = reinterpret_cast<CMultiComboRowData*>(dis->itemData);
            // The parent hears of the caller's data, never of the freed row.
            dis->itemData = pRow->m_dwItemData;
            delete pRow;
        }
        if (m_bResetting) return TRUE;
        break;
    }
    case WM_CTLCOLORLISTBOX: {
        const LRESULT r = CComboBox::WindowProc(message, wParam, lParam);
        if (m_bRefitList) PrepareList(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        return r;
    }
    default:
        break;
    }
    return CComboBox::WindowProc(message, wParam, lParam);
}

void CMultiComboBox::PrepareList(HDC hDC, HWND hList) {
    m_bRefitList = FALSE;
    if (!m_listBox.GetSafeHwnd()) {
        if (!hList || !m_listBox.SubclassWindow(hList)) return;
        m_listBox.ModifyStyle(0, WS_HSCROLL);
        TEXTMETRICW tm{};
        if (CDC* pDC = CDC::FromHandle(hDC); pDC && pDC->GetTextMetrics(&tm)) m_nHScrollLine = tm.tmAveCharWidth;
        if (m_nHScrollLine <= 0) m_nHScrollLine = LOWORD(GetDialogBaseUnits());
    }
    const int nColumns = ColumnsWidth();
    m_listBox.SendMessage(LB_SETHORIZONTALEXTENT, WPARAM(nColumns), 0);

    CRect rcDropped;
    GetDroppedControlRect(&rcDropped);
    const int nBorders = 2 * GetSystemMetrics(SM_CXBORDER);
    const int nRoom = rcDropped.Height() - 2 * GetSystemMetrics(SM_CYBORDER);
    const int nRows = RowsHeight();
    const BOOL bVScroll =
        nRows > nRoom || (nColumns > rcDropped.Width() - nBorders && nRows > nRoom - GetSystemMetrics(SM_CYHSCROLL));
    const BOOL bHScroll = nColumns + (bVScroll ? GetSystemMetrics(SM_CXVSCROLL) : 0) > rcDropped.Width() - nBorders;
    m_listBox.m_bVScroll = bVScroll;
    m_listBox.m_bHScroll = bHScroll;
    if (bHScroll) {
        CRect rcClient;
        m_listBox.GetClientRect(&rcClient);
        m_nHScrollPage = rcClient.Width();
        m_listBox.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_LEFT, 0), 0);
    }
    m_listBox.Invalidate(TRUE);
}

LRESULT CMultiComboBox::OnListHScroll(WPARAM wParam, LPARAM) {
    if (!m_listBox.GetSafeHwnd()) return 0;
    const int nOld = m_listBox.GetScrollPos(SB_HORZ);
    int nPos = nOld;
    switch (LOWORD(wParam)) {
    case SB_LINELEFT: nPos -= m_nHScrollLine; break;
    case SB_LINERIGHT: nPos += m_nHScrollLine; break;
    case SB_PAGELEFT: nPos -= m_nHScrollPage * 2 / 3; break;
    case SB_PAGERIGHT: nPos += m_nHScrollPage * 2 / 3; break;
    case SB_THUMBTRACK: nPos = SHORT(HIWORD(wParam)); break;
    default: return 0;
    }
    nPos = std::clamp(nPos, 0, std::max(0, ColumnsWidth() - m_nHScrollPage));
    // The list takes the position from here; its own step would move it a second time.
    m_listBox.DefWindowProc(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, WORD(nPos)), 0);
    m_listBox.Invalidate(TRUE);
    return 1;
}

// ---- the list

void CMultiComboBox::CMultiComboLBox::OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
    const LRESULT r = m_pCombo->SendMessage(WM_MCB_LISTHSCROLL, MAKEWPARAM(WORD(nSBCode), WORD(nPos)),
                                            reinterpret_cast<LPARAM>(pScrollBar ? pScrollBar->GetSafeHwnd() : nullptr));
    if (r == 0) Default();
}

void CMultiComboBox::CMultiComboLBox::OnWindowPosChanging(WINDOWPOS* lpwndpos) {
    CListBox::OnWindowPosChanging(lpwndpos);
    if (!lpwndpos || (lpwndpos->flags & SWP_NOSIZE)) return;
    CRect rcDropped;
    m_pCombo->GetDroppedControlRect(&rcDropped);
    const int nFrame = 2 * GetSystemMetrics(SM_CYBORDER);
    const int nBar = m_bHScroll ? GetSystemMetrics(SM_CYHSCROLL) : 0;
    int nHeight = m_pCombo->RowsHeight() + nFrame + nBar;
    if (nHeight > rcDropped.Height()) {
        const int nRoom = rcDropped.Height() - nFrame - nBar;
        int nFit = 0;
        if (m_pCombo->GetStyle() & CBS_OWNERDRAWVARIABLE) {
            for (int i = 0, n = m_pCombo->GetCount(); i < n; ++i) {
                const int h = m_pCombo->GetItemHeight(i);
                if (nFit + h > nRoom) break;
                nFit += h;
            }
        } else {
            const int h = std::max(1, m_pCombo->GetItemHeight(0));
            nFit = std::max(0, nRoom / h) * h;
        }
        nHeight = nFrame + nBar + nFit;
    }
    lpwndpos->cy = nHeight;
    const int nScreen = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    if (lpwndpos->x + lpwndpos->cx > nScreen) {
        lpwndpos->x = std::max(0, nScreen - lpwndpos->cx);
        lpwndpos->flags &= ~SWP_NOMOVE;
    }
}
