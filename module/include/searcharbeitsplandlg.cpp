#include "searcharbeitsplandlg.h"

#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searcharbeitsplandlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchArbeitsplanDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchArbeitsplanDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchArbeitsplanDlg::CSearchArbeitsplanDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_ARBEITSPLAN;
    m_lTableID = 149;
    ReadAheadOption(-4000, L"ArbeitsplanDate");
}

CSearchArbeitsplanDlg::~CSearchArbeitsplanDlg() = default;

BOOL CSearchArbeitsplanDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchArbeitsplanDlg::SetupColumns() {
    const int types[6] = {3, 3, 3, 4, 3, 3};
    const int widths[6] = {120, 200, 160, 110, 100, 150};
    InsertResultColumns(6, IDS_SEARCH_COL_ARBEITSPLANLIST, types, widths);
}

HRESULT CSearchArbeitsplanDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    CQvDateTime dtFrom;
    dtFrom.SetNull();
    const HRESULT hr = SearchDateOption(L"ArbeitsplanDate", dtFrom);
    if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    strQuery = L"SELECT lEinsatzID, lArbeitsplanID AS lID, dtStart, Formation.strBezeichnung as strFormation, "
               L"Arbeitsplan.strBezeichnung, strArbeitsplanNr, cbm.strBezeichnung AS strMandant, "
               L"dbo.fn_GetCustFieldValuesUsed4Search(149, lArbeitsplanID) AS strCustfields ";
    strQuery += SearchMandantFrom(*this, CurrentUserID(), L"Arbeitsplan");
    strQuery += L"JOIN Formation ON Arbeitsplan.lFormationID = Formation.lFormationID ";
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Arbeitsplan");
    strQuery.AppendFormat(L"AND Arbeitsplan.dtStart >= %s ", SearchDateLimit(dtFrom, true).GetString());
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Arbeitsplan.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ strArbeitsplanNr + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ Formation.strBezeichnung + ' ' ";
        if (IsColumnVisible(3)) strWord += SearchWordDate(L"dtStart");
        if (IsColumnVisible(4) && m_bCustFieldsUsed)
            strWord += L"+ dbo.fn_GetCustFieldValuesUsed4Search(149, lArbeitsplanID) + ' ' ";
        if (IsColumnVisible(5)) strWord += L"+ strMandantName + ' ' + strMandantTyp + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchArbeitsplanDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    HRESULT hr = SearchFillColumns(pRS, pItem,
                                   {{0, L"strArbeitsplanNr"}, {1, L"strBezeichnung"}, {2, L"strFormation"},
                                    {4, L"strCustfields"}, {5, L"strMandant"}},
                                   3, L"dtStart");
    // A plan that belongs to an activity stands out.
    if (SUCCEEDED(hr)) hr = SearchMarkWithActivity(pRS, pItem);
    return hr;
}
