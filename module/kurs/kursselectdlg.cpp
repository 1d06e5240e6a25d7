#include "kursselectdlg.h"

#include "kursint.h"
#include "kursresource.h"

namespace {

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_KURSSELECT;
        dlg.caption = L"Kurs auswählen";
        dlg.cx = 380;
        dlg.cy = 230;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        dlg.items = {
            LText(L"Suchen:", static_cast<UINT>(IDC_STATIC), 7, 9, 40, 8),
            EditText(IDC_KURSSELECT_FILTER, 50, 7, 200, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            Control(L"", IDC_KURSSELECT_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 25, 366, 176),
            DefPushButton(L"OK", IDOK, 269, 209, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 323, 209, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

}  // namespace

BEGIN_MESSAGE_MAP(CKursSelectDlg, CQvDialog)
    ON_EN_CHANGE(IDC_KURSSELECT_FILTER, &CKursSelectDlg::OnChangeFilter)
    ON_NOTIFY(NM_DBLCLK, IDC_KURSSELECT_LIST, &CKursSelectDlg::OnDblClkList)
END_MESSAGE_MAP()

CKursSelectDlg::CKursSelectDlg(CWnd* pParent) : CQvDialog(IDD_KURSSELECT, pParent) {}

void CKursSelectDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_KURSSELECT_LIST, m_list);
}

BOOL CKursSelectDlg::OnInitDialog() {
    CKursResourceScope scope;
    CQvDialog::OnInitDialog();
    const int types[] = {CQvListCtrl::eColText, CQvListCtrl::eColText, CQvListCtrl::eColDate, CQvListCtrl::eColLong,
                         CQvListCtrl::eColBool};
    const int widths[] = {220, 160, 80, 40, 80};
    m_list.QvSetSingleSelection();
    m_list.QvInsertColumn(5, IDS_SELECT_COL_KURS, types, widths);
    FillList();
    return TRUE;
}

long CKursSelectDlg::FillList() {
    CString strFilter;
    GetDlgItemText(IDC_KURSSELECT_FILTER, strFilter);
    strFilter.Trim();
    CString strWhere;
    if (!strFilter.IsEmpty()) {
        // The text matches the course's names and the run's name.
        const CString strLike = CString(L"'%") + QvSQLString(strFilter, 0) + L"%'";
        strWhere.Format(L"WHERE k.strKurzbezeichnung LIKE %s OR k.strBezeichnung LIKE %s OR isnull(ki.strBezeichnung, "
                        L"'') LIKE %s ",
                        static_cast<LPCWSTR>(strLike), static_cast<LPCWSTR>(strLike), static_cast<LPCWSTR>(strLike));
    }
    CString strSQL;
    strSQL.Format(L"SELECT k.lKursID, dbo.fn_GetKursBezeichnung(k.lKursID) AS strKurs, k.lTyp, "
                  L"isnull(ki.lKursinstanzID, 0) AS lKursinstanzID, isnull(ki.strBezeichnung, '') AS strInstanz, "
                  L"ki.dtDatum, isnull(ki.fGeschlossen, 0) AS fGeschlossen FROM Kurs k LEFT OUTER JOIN Kursinstanz ki "
                  L"ON k.lKursID = ki.lKursID %sORDER BY k.strKurzbezeichnung, k.lKursID, ki.dtDatum, ki.lKursinstanzID",
                  static_cast<LPCWSTR>(strWhere));
    m_list.DeleteAllItems();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    long lPrevKursID = 0;
    int nSelect = -1;
    while (SUCCEEDED(hr) && !bEOF) {
        long lKursID = 0, lKursinstanzID = 0, lTyp = 0;
        BOOL bClosed = FALSE;
        CString strKurs, strInstanz;
        COleDateTime dtDatum;
        hr = rs.GetFieldValue(L"lKursID", &lKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKurs", &strKurs);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lTyp", &lTyp);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lKursinstanzID", &lKursinstanzID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strInstanz", &strInstanz);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtDatum", &dtDatum);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fGeschlossen", &bClosed);
        if (FAILED(hr)) {
            KURS_TRACEHR(hr);
            break;
        }
        CQvListItem* pItem = nullptr;
        // Every course gets a row of its own, before its runs.
        if (lKursID != lPrevKursID && m_list.QvAddItem(pItem)) {
            pItem->SetParam(0, lKursID);
            pItem->SetParam(1, 0L);
            pItem->SetColumnText(0, strKurs);
            pItem->SetColumnLong(3, lTyp);
            pItem->Unlock();
            if (lKursID == m_lKursID && m_lKursinstanzID == 0) nSelect = m_list.GetInsertedItemCount() - 1;
            lPrevKursID = lKursID;
        }
        if (lKursinstanzID != 0 && m_list.QvAddItem(pItem)) {
            pItem->SetParam(0, lKursID);
            pItem->SetParam(1, lKursinstanzID);
            pItem->SetColumnText(0, strKurs);
            pItem->SetColumnText(1, strInstanz);
            pItem->SetColumnDate(2, dtDatum);
            pItem->SetColumnLong(3, lTyp);
            pItem->SetColumnBool(4, bClosed);
            pItem->Unlock();
            if (lKursinstanzID == m_lKursinstanzID) nSelect = m_list.GetInsertedItemCount() - 1;
        }
        hr = rs.MoveNext(&bEOF);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    rs.Close();
    if (FAILED(hr)) KURS_REPORTDBERROR(conn, hr);
    if (nSelect >= 0) m_list.QvSetSelection(nSelect);
    return hr;
}

void CKursSelectDlg::OnChangeFilter() {
    // The choice made so far stays selected when it is still listed.
    long lID = 0;
    if (m_list.QvGetSelParamValue(0, lID)) {
        m_lKursID = lID;
        m_list.QvGetSelParamValue(1, m_lKursinstanzID);
    }
    FillList();
}

void CKursSelectDlg::OnDblClkList(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    OnOK();
}

void CKursSelectDlg::OnOK() {
    long lKursID = 0, lKursinstanzID = 0;
    // Without a chosen row the dialog stays open.
    if (!m_list.QvGetSelParamValue(0, lKursID)) return;
    m_list.QvGetSelParamValue(1, lKursinstanzID);
    m_lKursID = lKursID;
    m_lKursinstanzID = lKursinstanzID;
    CQvDialog::OnOK();
}

BOOL KursSelect(CWnd* pParent, long& lKursID, long& lKursinstanzID) {
    CKursSelectDlg dlg(pParent);
    dlg.m_lKursID = lKursID;
    dlg.m_lKursinstanzID = lKursinstanzID;
    if (dlg.DoModal() != IDOK) return FALSE;
    lKursID = dlg.m_lKursID;
    lKursinstanzID = dlg.m_lKursinstanzID;
    return TRUE;
}
