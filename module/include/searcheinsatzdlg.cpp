#include "searcheinsatzdlg.h"

#include "nqsearchcalls.h"
#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searcheinsatzdlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchEinsatzDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchEinsatzDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchEinsatzDlg::CSearchEinsatzDlg(CString strListKey, CWnd* pParent)
    : CSearchDlg(strListKey, pParent), m_strActKanton(NQ_GetActKanton()) {
    m_nCaptionID = IDS_SEARCH_EINSATZ;
    m_lTableID = 6;
}

CSearchEinsatzDlg::~CSearchEinsatzDlg() = default;

BOOL CSearchEinsatzDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchEinsatzDlg::SetupColumns() {
    const int types[8] = {3, 3, 3, 3, 4, 3, 3, 3};
    const int widths[8] = {110, 110, 200, 110, 110, 240, 100, 150};
    InsertResultColumns(8, IDS_SEARCH_COL_EINSATZ, types, widths, IDB_SEARCH_STATUS);
}

HRESULT CSearchEinsatzDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    CQvDateTime dtFrom;
    dtFrom.SetNull();
    CString strStates;
    long lStatusEnabled = 0;
    const HRESULT hr = SearchStatusOptions(L"ActivityDate", L"ActivityState", -1080, dtFrom, strStates, lStatusEnabled);
    if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    const unsigned long ulMask = m_dwRightMask;
    // A missing place would make the whole text (and every word condition) NULL: it counts as
    // no place.
    strQuery.Format(
        L"SELECT Einsatz.lEinsatzID AS lID, dtEinsatz, EinsatzArt.strBezeichnung AS strEinsatzart, strEreignis, "
        L"strEinsatzNr, Einsatzstatus.lStatus, vl.strLabel AS strStatus, strEinsatzort + CASE WHEN len(strEinsatzort) > 0 "
        L"AND len(strAdresse) > 0 THEN ', ' ELSE '' END + strAdresse1L + CASE WHEN len(isnull(Ort.strPLZOrt, '')) > 0 "
        L"THEN ', ' ELSE '' END + isnull(Ort.strPLZOrt, '') AS strAnschrift1L, cbm.strBezeichnung AS strMandant, "
        L"dbo.fn_GetCustFieldValuesUsed4Search(6, Einsatz.lEinsatzID) AS strCustfields "
        L"FROM Einsatz JOIN Mandant ON Einsatz.lMandantID = Mandant.lMandantID "
        L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 "
        L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND sm.lTableID = 6 AND "
        L"sm.lRight & %lu = %lu "
        L"JOIN Einsatzart ON Einsatz.lEinsatzartID = Einsatzart.lEinsatzartID "
        L"LEFT OUTER JOIN view_Ort AS Ort ON Ort.lOrtID = Einsatz.lOrtID "
        L"JOIN Einsatzstatus ON Einsatz.lEinsatzID = Einsatzstatus.lEinsatzID "
        L"JOIN (SELECT lEinsatzID, max(lOrder) AS lOrder FROM dbo.Einsatzstatus GROUP BY lEinsatzID) AS maxStatus ON "
        L"maxStatus.lEinsatzID = Einsatzstatus.lEinsatzID AND maxStatus.lOrder = Einsatzstatus.lOrder "
        L"JOIN view_QvLabel vl ON vl.lFkID = Einsatzstatus.lStatus AND vl.strName = 'Datenbearbeitungsstatus' ",
        CurrentUserID(), ulMask, ulMask);
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Einsatz");
    strQuery.AppendFormat(L"AND Einsatz.dtEinsatz >= %s ", SearchDateLimit(dtFrom, false).GetString());
    if (lStatusEnabled != 0) strQuery += SearchStatusCondition(L"Einsatzstatus.lStatus", strStates);

    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', strEreignis + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ vl.strLabel + ' ' ";
        if (IsColumnVisible(1)) strWord += L"+ strEinsatzNr + ' ' ";
        if (IsColumnVisible(3)) strWord += L"+ Einsatzart.strBezeichnung + ' ' ";
        if (IsColumnVisible(4))
            strWord += L"+ convert(varchar(10), dtEinsatz, 104) + ' ' +  convert(varchar(10), dtEinsatz, 108) + ' ' ";
        if (IsColumnVisible(5)) strWord += L"+ strEinsatzort + ' ' + strAdresse1L + ' ' + isnull(Ort.strPLZOrt, '') + ' ' ";
        if (IsColumnVisible(6) && m_bCustFieldsUsed)
            strWord += L"+ dbo.fn_GetCustFieldValuesUsed4Search(6, Einsatz.lEinsatzID) + ' ' ";
        if (IsColumnVisible(7)) strWord += L"+ strMandantName + ' ' + strMandantTyp + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchEinsatzDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    long lStatus = 0;
    HRESULT hr = pRS->GetFieldValue(L"lStatus", &lStatus);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetImage(SearchStatusIcon(lStatus, m_strActKanton), 0);
    static const struct {
        int column;
        const wchar_t* field;
    } texts[] = {{0, L"strStatus"}, {1, L"strEinsatzNr"}, {2, L"strEreignis"}, {3, L"strEinsatzart"},
                 {5, L"strAnschrift1L"}, {6, L"strCustfields"}, {7, L"strMandant"}};
    for (const auto& t : texts) {
        if (t.column == 5) {
            COleDateTime dtEinsatz;
            hr = pRS->GetFieldValue(L"dtEinsatz", &dtEinsatz);
            if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
            pItem->SetColumnDate(4, dtEinsatz, 1, 10);
        }
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(t.column, strValue);
    }
    return S_OK;
}
