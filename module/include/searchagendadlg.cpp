#include "searchagendadlg.h"

#include "nqsearchcalls.h"
#include "searchperipheryres.h"
#include "searchresource.h"

IMPLEMENT_DYNAMIC(CSearchAgendaDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchAgendaDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchAgendaDlg::CSearchAgendaDlg(CString strListKey, CWnd* pParent)
    : CSearchDlg(strListKey, pParent), m_strActKanton(NQ_GetActKanton()) {
    m_nCaptionID = IDS_SEARCH_AGENDA;
    m_lTableID = 7;
    ReadAheadOption(-4000, L"AgendaDate");
    ReadAheadOption(-4000, L"AgendaStatus");
    ReadAheadOption(-1070, L"StatusEnabled");
}

CSearchAgendaDlg::~CSearchAgendaDlg() = default;

BOOL CSearchAgendaDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchAgendaDlg::SetupColumns() {
    const int types[9] = {3, 3, 3, 4, 3, 3, 3, 3, 3};
    const int widths[9] = {110, 200, 110, 110, 220, 100, 120, 100, 150};
    InsertResultColumns(9, IDS_SEARCH_COL_AGENDA, types, widths, IDB_SEARCH_STATUS);
}

HRESULT CSearchAgendaDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    CString strFilter;
    const HRESULT hr = SearchDateStatusCondition(L"AgendaDate", L"AgendaStatus", -1070, L"Agenda.dtAktivitaet", L"Agendastatus.lStatus", true, strFilter);
    strQuery.Format(L"SELECT lEinsatzID, Agenda.lAgendaID AS lID, dtAktivitaet, Einsatzart.strBezeichnung AS "
                    L"strEinsatzart, Agenda.strBezeichnung AS strAgenda, cbm.strBezeichnung AS strMandant, %s, "
                    L"dbo.fn_GetCustFieldValuesUsed4Search(7, Agenda.lAgendaID) AS strCustfields, "
                    L"Agendastatus.lStatus, vl.strLabel AS strStatus, Agenda.strLektionsart, "
                    L"isnull(Ausbildungsstufe.strBezeichnung, '') AS strAusbildungsstufe ",
                    SearchAnschriftColumn(L"strObjekt").GetString());
    strQuery += SearchMandantFrom(*this, CurrentUserID(), L"Agenda");
    strQuery += L"JOIN Einsatzart ON Agenda.lEinsatzartID = Einsatzart.lEinsatzartID "
                L"LEFT OUTER JOIN Ausbildungsstufe ON Agenda.lAusbildungsstufeID = Ausbildungsstufe.lAusbildungsstufeID "
                L"LEFT OUTER JOIN dbo.view_Ort AS Ort ON Ort.lOrtID = Agenda.lOrtID ";
    strQuery += SearchLatestStatusJoin(L"Agenda");
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Agenda");
    strQuery += strFilter;

    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Agenda.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ vl.strLabel + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ Einsatzart.strBezeichnung + ' ' ";
        if (IsColumnVisible(3)) strWord += SearchWordDate(L"dtAktivitaet");
        if (IsColumnVisible(4)) strWord += L"+ strObjekt + ' ' + strAdresse1L + ' ' + isnull(Ort.strPLZOrt, '') + ' ' ";
        if (IsColumnVisible(5)) strWord += L"+ strLektionsart + ' ' ";
        if (IsColumnVisible(6)) strWord += L"+ isnull(Ausbildungsstufe.strBezeichnung, '') + ' ' ";
        if (IsColumnVisible(7) && m_bCustFieldsUsed)
            strWord += L"+ dbo.fn_GetCustFieldValuesUsed4Search(7, Agenda.lAgendaID) + ' ' ";
        if (IsColumnVisible(8)) strWord += L"+ strMandantName + ' ' + strMandantTyp + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchAgendaDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    HRESULT hr = SearchShowStatus(pRS, pItem, m_strActKanton);
    if (FAILED(hr)) return hr;
    hr = SearchFillColumns(pRS, pItem,
                           {{0, L"strStatus"}, {1, L"strAgenda"}, {2, L"strEinsatzart"}, {4, L"strAnschrift1L"},
                            {5, L"strLektionsart"}, {6, L"strAusbildungsstufe"}, {7, L"strCustfields"}, {8, L"strMandant"}},
                           3, L"dtAktivitaet");
    // An entry that already has its activity stands out.
    if (SUCCEEDED(hr)) hr = SearchMarkWithActivity(pRS, pItem);
    return hr;
}
