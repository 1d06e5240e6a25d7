#include "searchpersonarbeitsplandlg.h"

#include "optionserver.h"
#include "qvadorecordset.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "nqcommon.h"
#include "searchres.h"
#include "searchresource.h"

#include <cwchar>

namespace {
const wchar_t kTraceSource[] = L"searchpersonarbeitsplandlg.cpp";
const wchar_t kCommonKey[] = L"Software\\Qovaro\\NQ2\\Common";
}  // namespace

IMPLEMENT_DYNAMIC(CSearchPersonArbeitsplanDlg, CQvDialog)

BEGIN_MESSAGE_MAP(CSearchPersonArbeitsplanDlg, CQvDialog)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_ARBEITSPLAN_LIST, &CSearchPersonArbeitsplanDlg::OnItemChangedArbeitsplan)
END_MESSAGE_MAP()

CSearchPersonArbeitsplanDlg::CSearchPersonArbeitsplanDlg(CString strListName)
    : CQvDialog(IDD_SEARCHPERSONARBEITSPLAN, nullptr), m_strListKey(CString(L"\\") + strListName) {}

CSearchPersonArbeitsplanDlg::~CSearchPersonArbeitsplanDlg() = default;

void CSearchPersonArbeitsplanDlg::DoDataExchange(CDataExchange* pDX) {
    CQvDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ARBEITSPLAN_PERSONLIST, m_lstPerson);
    DDX_Control(pDX, IDC_ARBEITSPLAN_LIST, m_lstArbeitsplan);
}

BOOL CSearchPersonArbeitsplanDlg::OnInitDialog() {
    CSearchResourceScope scope;
    CQvDialog::OnInitDialog();
    CreateLayout();
    SetupLists();
    wchar_t* end = nullptr;
    m_lEinsatzID = std::wcstol(m_strEinsatzID.GetString(), &end, 10);
    // Without the active Mandant the plans of every Mandant would be offered: nothing is loaded.
    // The loading reports its own failure, with the database's text.
    const HRESULT hr = NQ_GetActMandantID(m_lActMandantID);
    if (FAILED(hr))
        QvReportMsg(1, CrackHR(hr), L"CSearchPersonArbeitsplanDlg::OnInitDialog", L"Default", __FILE__, __LINE__, 1);
    else
        LoadArbeitsplaene();
    return TRUE;
}

void CSearchPersonArbeitsplanDlg::CreateLayout() {
    CQvLayoutNode* root = m_Layout.CreateRelativeNode(this);
    CQvLayoutNode* plans = m_Layout.CreateWindowNode(root, &m_lstArbeitsplan);
    plans->Attach(eQvRight, root, eQvRight, 0)->KeepSize(FALSE, TRUE);
    m_Layout.CreateWindowNode(root, &m_lstPerson)
        ->Attach(eQvTop, plans, eQvBottom, 0)
        ->Attach(eQvRight, root, eQvRight, 0)
        ->Attach(eQvBottom, root, eQvBottom, 0);
    m_Layout.CreateLayoutListener(this, root);
}

void CSearchPersonArbeitsplanDlg::SetupLists() {
    const int types[4] = {3, 3, 3, 3};
    m_lstPerson.QvSetRegistryKey(CString(kCommonKey) + m_strListKey + L"_ArbeitsplanPersonList");
    m_lstPerson.m_bKeepSelection = FALSE;
    m_lstPerson.QvSetMultiSelection();
    m_lstPerson.QvSetCheckable(TRUE);
    const int widths[4] = {130, 170, 170, 150};
    m_lstPerson.QvInsertColumn(4, IDS_SEARCH_COL_ARBEITSPLAN, types, widths);

    m_lstArbeitsplan.QvSetRegistryKey(CString(kCommonKey) + m_strListKey + L"_ArbeitsplanList");
    m_lstArbeitsplan.m_bKeepSelection = FALSE;
    m_lstArbeitsplan.QvInsertColumn(1, IDS_SEARCH_COL_ARBEITSPLAN, types);
    CRect rc;
    m_lstArbeitsplan.GetClientRect(&rc);
    m_lstArbeitsplan.SetColumnWidth(0, rc.Width() - 4);
}

void CSearchPersonArbeitsplanDlg::ReportDBError(CQvADOConnection& conn, HRESULT hr) {
    CString strError;
    conn.GetErrorText(&strError);
    if (strError.IsEmpty()) strError.Format(L"No OLEDB Error available!\n%s", CrackHR(hr).GetString());
    QvReportMsg(1, strError, L"OLEDB Errormessage", L"Default", __FILE__, __LINE__, 1);
}

HRESULT CSearchPersonArbeitsplanDlg::LoadArbeitsplaene() {
    m_lstArbeitsplan.SetRedraw(FALSE, L"default");
    m_lstArbeitsplan.DeleteAllItems();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) {
        // The four overlap tests stand in one pair of parentheses, so the Mandant condition
        // holds for every work plan listed.
        CString strSQL;
        strSQL.Format(
            L" DECLARE @ID INT \t\t\t\t\tSET @ID = %d \t\t\t\t\tSELECT lArbeitsplanID, "
            L"dbo.fn_GetArbeitsplanBezeichnung(lArbeitsplanID) AS strArbeitsplan \t\t\t\t\tFROM Arbeitsplan "
            L"\t\t\t\t\tWHERE ((SELECT dtEinsatz FROM Einsatz WHERE lEinsatzID =@ID) BETWEEN dtStart AND dtEnde OR "
            L"\t\t\t\t\t\t  (SELECT dtEinsatzBis FROM Einsatz WHERE lEinsatzID = @ID) BETWEEN dtStart AND dtEnde OR "
            L"\t\t\t\t\t\t  dtStart BETWEEN (SELECT dtEinsatz FROM Einsatz WHERE lEinsatzID = @ID) AND (SELECT "
            L"dtEinsatzBis FROM Einsatz WHERE lEinsatzID = @ID) OR \t\t\t\t\t\t  dtEnde BETWEEN (SELECT dtEinsatz "
            L"FROM Einsatz WHERE lEinsatzID = @ID) AND (SELECT dtEinsatzBis FROM Einsatz WHERE lEinsatzID = @ID)) ",
            m_lEinsatzID);
        if (m_lActMandantID != 0) strSQL.AppendFormat(L"AND lMandantID = %d ", m_lActMandantID);
        strSQL += L"ORDER BY dtStart";
        hr = rs.Open(strSQL);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        CQvListItem* pItem = nullptr;
        if (m_lstArbeitsplan.QvAddItem(pItem, FALSE)) {
            long lID = 0;
            CString strName;
            hr = rs.GetFieldValue(L"lArbeitsplanID", &lID);
            if (SUCCEEDED(hr)) pItem->SetParam(0, lID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strArbeitsplan", &strName);
            if (SUCCEEDED(hr)) pItem->SetColumnText(0, strName);
        }
        if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) {
        QV_TRACEHR(kTraceSource, hr);
        ReportDBError(conn, hr);
    }
    m_lstArbeitsplan.SetRedraw(TRUE, L"default");
    return hr;
}

void CSearchPersonArbeitsplanDlg::OnItemChangedArbeitsplan(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pNM = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    if (((pNM->uNewState & LVIS_SELECTED) && pNM->uOldState == 0) ||
        ((pNM->uNewState & LVIS_FOCUSED) && pNM->uOldState == LVIS_FOCUSED)) {
        CRect rc;
        m_lstArbeitsplan.GetClientRect(&rc);
        m_lstArbeitsplan.SetColumnWidth(0, rc.Width() - 4);
        if (CQvListItem* pItem = m_lstArbeitsplan.QvGetVisibleListItem(pNM->iItem)) {
            long lID = 0;
            pItem->GetParam(0, &lID);
            m_lArbeitsplanID = lID;
            LoadPersonen();
        }
    } else if ((pNM->uOldState & LVIS_SELECTED) && !(pNM->uNewState & LVIS_SELECTED)) {
        // The row lost its selection (it may keep the focus).
        m_lArbeitsplanID = 0;
        LoadPersonen();
    }
    *pResult = 0;
}

HRESULT CSearchPersonArbeitsplanDlg::LoadPersonen() {
    m_lstPerson.SetRedraw(FALSE, L"default");
    for (int i = 0; i < m_lstPerson.GetVisibleItemCount();) {
        if (m_lstPerson.QvGetCheck(i) == 1) ++i;
        else m_lstPerson.QvDeleteItem(i);
    }
    m_lstPerson.SetRedraw(TRUE, L"default");
    if (m_lArbeitsplanID == 0) return S_OK;

    DWORD dwFemale = 0;
    {
        COptionServer opt;
        opt.GetOption(-1000, L"ColorFemale", &dwFemale, 1, 0);
    }
    m_lstPerson.SetRedraw(FALSE, L"default");
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) {
        CString strSQL;
        strSQL.Format(L"SELECT vp.strPerson, vp.strAdresse1L, vp.strPLZOrt, vp.lPersonID, fWeiblich, "
                      L"Taetigkeit.lTaetigkeitID, \t\t\t\t\t\t\tdbo.fn_GetTaetigkeitBezeichnung(Taetigkeit.lTaetigkeitID) "
                      L"AS strTaetigkeit \t\t\t\t\tFROM view_PersonSmall vp JOIN PersonArbeitsplan ON vp.lPersonID = "
                      L"PersonArbeitsplan.lPersonID \t\t\t\t\t\t\t\t\t\t\tJOIN Taetigkeit ON "
                      L"PersonArbeitsplan.lTaetigkeitID = Taetigkeit.lTaetigkeitID \t\t\t\t\tWHERE fSoldrelevant = 1 "
                      L"AND lArbeitsplanID = %d",
                      m_lArbeitsplanID);
        if (!m_strPersonSource.IsEmpty())
            strSQL.AppendFormat(L" AND vp.lPersonID IN (SELECT vp.lPersonID %s)", m_strPersonSource.GetString());
        hr = rs.Open(strSQL);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lPersonID = 0, lTaetigkeitID = 0;
        hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lTaetigkeitID", &lTaetigkeitID);
        if (FAILED(hr)) break;
        bool bListed = false;
        for (int i = 0; i < m_lstPerson.GetInsertedItemCount() && !bListed; ++i) {
            CQvListItem* pRow = m_lstPerson.QvGetInsertedListItem(i);
            long lP = 0, lT = 0;
            bListed = pRow && pRow->GetParam(0, &lP) && pRow->GetParam(1, &lT) && lP == lPersonID && lT == lTaetigkeitID;
        }
        CQvListItem* pItem = nullptr;
        if (!bListed && m_lstPerson.QvAddItem(pItem, FALSE)) {
            pItem->SetParam(0, lPersonID);
            pItem->SetParam(1, lTaetigkeitID);
            static const struct {
                int column;
                const wchar_t* field;
            } texts[] = {{0, L"strTaetigkeit"}, {1, L"strPerson"}, {2, L"strAdresse1L"}, {3, L"strPLZOrt"}};
            for (const auto& t : texts) {
                CString strValue;
                if (SUCCEEDED(hr)) hr = rs.GetFieldValue(t.field, &strValue);
                if (SUCCEEDED(hr)) pItem->SetColumnText(t.column, strValue);
            }
            BOOL bWeiblich = FALSE;
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fWeiblich", &bWeiblich);
            if (SUCCEEDED(hr) && bWeiblich) pItem->SetColumnTextColor(1, dwFemale);
        }
        if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) {
        QV_TRACEHR(kTraceSource, hr);
        ReportDBError(conn, hr);
    }
    m_lstPerson.QvSort(-1, TRUE);
    m_lstPerson.SetRedraw(TRUE, L"default");
    return hr;
}
