#include "searcheinsatzdlg.h"

#include "nqsearchcalls.h"
#include "searchperipheryres.h"
#include "searchresource.h"

IMPLEMENT_DYNAMIC(CSearchEinsatzDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchEinsatzDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchEinsatzDlg::CSearchEinsatzDlg(CString strListKey, CWnd* pParent)
    : CSearchDlg(strListKey, pParent), m_strActKanton(NQ_GetActKanton()) {
    m_nCaptionID = IDS_SEARCH_EINSATZ;
    m_lTableID = 6;
    ReadAheadOption(-4000, L"ActivityDate");
    ReadAheadOption(-4000, L"ActivityState");
    ReadAheadOption(-1080, L"StatusEnabled");
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
    CString strFilter;
    const HRESULT hr = SearchDateStatusCondition(L"ActivityDate", L"ActivityState", -1080, L"Einsatz.dtEinsatz", L"Einsatzstatus.lStatus", false, strFilter);
    strQuery.Format(L"SELECT Einsatz.lEinsatzID AS lID, dtEinsatz, EinsatzArt.strBezeichnung AS strEinsatzart, "
                    L"strEreignis, strEinsatzNr, Einsatzstatus.lStatus, vl.strLabel AS strStatus, %s, "
                    L"cbm.strBezeichnung AS strMandant, dbo.fn_GetCustFieldValuesUsed4Search(6, Einsatz.lEinsatzID) AS "
                    L"strCustfields ",
                    SearchAnschriftColumn(L"strEinsatzort").GetString());
    strQuery += SearchMandantFrom(*this, CurrentUserID(), L"Einsatz");
    strQuery += L"JOIN Einsatzart ON Einsatz.lEinsatzartID = Einsatzart.lEinsatzartID "
                L"LEFT OUTER JOIN view_Ort AS Ort ON Ort.lOrtID = Einsatz.lOrtID ";
    strQuery += SearchLatestStatusJoin(L"Einsatz");
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Einsatz");
    strQuery += strFilter;

    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', strEreignis + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ vl.strLabel + ' ' ";
        if (IsColumnVisible(1)) strWord += L"+ strEinsatzNr + ' ' ";
        if (IsColumnVisible(3)) strWord += L"+ Einsatzart.strBezeichnung + ' ' ";
        if (IsColumnVisible(4)) strWord += SearchWordDate(L"dtEinsatz");
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
    HRESULT hr = SearchShowStatus(pRS, pItem, m_strActKanton);
    if (FAILED(hr)) return hr;
    return SearchFillColumns(pRS, pItem,
                             {{0, L"strStatus"}, {1, L"strEinsatzNr"}, {2, L"strEreignis"}, {3, L"strEinsatzart"},
                              {5, L"strAnschrift1L"}, {6, L"strCustfields"}, {7, L"strMandant"}},
                             4, L"dtEinsatz");
}
