#include "searchagendadlg.h"

#include "nqsearchcalls.h"
#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchagendadlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchAgendaDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchAgendaDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchAgendaDlg::CSearchAgendaDlg(CString strListKey, CWnd* pParent)
    : CSearchDlg(strListKey, pParent), m_strActKanton(NQ_GetActKanton()) {
    m_nCaptionID = IDS_SEARCH_AGENDA;
    m_lTableID = 7;
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
    CQvDateTime dtFrom;
    dtFrom.SetNull();
    CString strStates;
    long lStatusEnabled = 0;
    const HRESULT hr = SearchStatusOptions(L"AgendaDate", L"AgendaStatus", -1070, dtFrom, strStates, lStatusEnabled);
    if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    const unsigned long ulMask = m_dwRightMask;
    // A missing place would make the whole text (and every word condition) NULL: it counts as
    // no place.
    strQuery.Format(
        L"SELECT lEinsatzID, Agenda.lAgendaID AS lID, dtAktivitaet, Einsatzart.strBezeichnung AS strEinsatzart, "
        L"Agenda.strBezeichnung AS strAgenda, cbm.strBezeichnung AS strMandant, strObjekt + CASE WHEN len(strObjekt) > 0 "
        L"AND len(strAdresse) > 0 THEN ', ' ELSE '' END + strAdresse1L + CASE WHEN len(isnull(Ort.strPLZOrt, '')) > 0 "
        L"THEN ', ' ELSE '' END + isnull(Ort.strPLZOrt, '') AS strAnschrift1L, "
        L"dbo.fn_GetCustFieldValuesUsed4Search(7, Agenda.lAgendaID) AS strCustfields, Agendastatus.lStatus, "
        L"vl.strLabel AS strStatus, Agenda.strLektionsart, isnull(Ausbildungsstufe.strBezeichnung, '') AS "
        L"strAusbildungsstufe "
        L"FROM Agenda JOIN Mandant ON Agenda.lMandantID = Mandant.lMandantID "
        L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 "
        L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND sm.lTableID = 7 AND "
        L"sm.lRight & %lu = %lu "
        L"JOIN Einsatzart ON Agenda.lEinsatzartID = Einsatzart.lEinsatzartID "
        L"LEFT OUTER JOIN Ausbildungsstufe ON Agenda.lAusbildungsstufeID = Ausbildungsstufe.lAusbildungsstufeID "
        L"LEFT OUTER JOIN dbo.view_Ort AS Ort ON Ort.lOrtID = Agenda.lOrtID "
        L"JOIN Agendastatus ON Agenda.lAgendaID = Agendastatus.lAgendaID "
        L"JOIN (SELECT lAgendaID, max(lOrder) AS lOrder FROM dbo.Agendastatus GROUP BY lAgendaID) AS maxStatus ON "
        L"maxStatus.lAgendaID = Agendastatus.lAgendaID AND maxStatus.lOrder = Agendastatus.lOrder "
        L"JOIN view_QvLabel vl ON vl.lFkID = Agendastatus.lStatus AND vl.strName = 'Datenbearbeitungsstatus' ",
        CurrentUserID(), ulMask, ulMask);
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Agenda");
    strQuery.AppendFormat(L"AND (Agenda.dtAktivitaet >= %s) ", SearchDateLimit(dtFrom, true).GetString());
    if (lStatusEnabled != 0) strQuery += SearchStatusCondition(L"Agendastatus.lStatus", strStates);

    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Agenda.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ vl.strLabel + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ Einsatzart.strBezeichnung + ' ' ";
        if (IsColumnVisible(3))
            strWord += L"+ convert(varchar(10), dtAktivitaet, 104) + ' ' + convert(varchar(10), dtAktivitaet, 108) + ' ' ";
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
    long lStatus = 0;
    HRESULT hr = pRS->GetFieldValue(L"lStatus", &lStatus);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetImage(SearchStatusIcon(lStatus, m_strActKanton), 0);
    static const struct {
        int column;
        const wchar_t* field;
    } texts[] = {{0, L"strStatus"},      {1, L"strAgenda"},           {2, L"strEinsatzart"}, {4, L"strAnschrift1L"},
                 {5, L"strLektionsart"}, {6, L"strAusbildungsstufe"}, {7, L"strCustfields"}, {8, L"strMandant"}};
    for (const auto& t : texts) {
        if (t.column == 4) {
            COleDateTime dtAktivitaet;
            hr = pRS->GetFieldValue(L"dtAktivitaet", &dtAktivitaet);
            if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
            pItem->SetColumnDate(3, dtAktivitaet, 1, 10);
        }
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(t.column, strValue);
    }
    long lEinsatzID = -1;
    hr = pRS->GetFieldValue(L"lEinsatzID", &lEinsatzID);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    // The entry already has its activity.
    if (lEinsatzID != -1) pItem->SetRowBkColor(0xC8FFFF);
    return S_OK;
}
