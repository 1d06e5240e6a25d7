#include "searchwartungsplandlg.h"

#include "nqsearchcalls.h"
#include "optionserver.h"
#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchwartungsplandlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchWartungsplanDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchWartungsplanDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchWartungsplanDlg::CSearchWartungsplanDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_WARTUNGSPLAN;
    m_lTableID = 54;
}

CSearchWartungsplanDlg::~CSearchWartungsplanDlg() = default;

BOOL CSearchWartungsplanDlg::OnInitDialog() {
    // The colour before the search starts: the worker fills the first rows at once.
    DWORD dwColor = 0;
    {
        COptionServer opt;
        opt.GetOption(-1030, L"ColorForeign", &dwColor, 1, 0);
    }
    m_crForeign = dwColor;
    CSearchDlg::OnInitDialog();
    m_btnFilter.EnableWindow(FALSE);
    return TRUE;
}

void CSearchWartungsplanDlg::SetupColumns() {
    const int types[5] = {3, 3, 3, 3, 3};
    const int widths[5] = {200, 260, 120, 100, 150};
    InsertResultColumns(5, IDS_SEARCH_COL_WARTUNGSPLAN, types, widths);
}

HRESULT CSearchWartungsplanDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    const unsigned long ulMask = m_dwRightMask;
    strQuery.Format(L"SELECT lWartungsplanID AS lID, wp.strBezeichnung, convert(varchar(254), wp.strBemerkung) AS strBem, "
                    L"lZyklusUnit, lZyklus, cbm.strBezeichnung AS strMandant, "
                    L"dbo.fn_GetCustFieldValuesUsed4Search(54, lWartungsplanID) AS strCustfields, "
                    L"CASE WHEN Mandant.guid <> guidMasterMandant THEN 1 ELSE 0 END AS fForeignWartung "
                    L"FROM view_Wartungsplan wp JOIN Mandant ON wp.lMandantID = Mandant.lMandantID "
                    L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 "
                    L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND "
                    L"sm.lTableID = 54 AND sm.lRight & %lu = %lu ",
                    CurrentUserID(), ulMask, ulMask);
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"wp");
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', wp.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(1)) strWord += L"+ convert(varchar(254), wp.strBemerkung) + ' ' ";
        if (IsColumnVisible(3) && m_bCustFieldsUsed)
            strWord += L"+ dbo.fn_GetCustFieldValuesUsed4Search(54, lWartungsplanID) + ' ' ";
        if (IsColumnVisible(4)) strWord += L"+ strMandantName + ' ' + strMandantTyp + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return S_OK;
}

HRESULT CSearchWartungsplanDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const struct {
        int column;
        const wchar_t* field;
    } texts[] = {{0, L"strBezeichnung"}, {1, L"strBem"}, {3, L"strCustfields"}, {4, L"strMandant"}};
    HRESULT hr = S_OK;
    for (const auto& t : texts) {
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(t.column, strValue);
    }
    long lZyklus = 0, lUnit = 0;
    hr = pRS->GetFieldValue(L"lZyklus", &lZyklus);
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"lZyklusUnit", &lUnit);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetColumnText(2, NQ_GetWartungsplanZyklusBezeichnung(lUnit, lZyklus));
    BOOL bForeign = FALSE;
    hr = pRS->GetFieldValue(L"fForeignWartung", &bForeign);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetRowTextColor(bForeign ? m_crForeign : COLORREF(0));
    return S_OK;
}
