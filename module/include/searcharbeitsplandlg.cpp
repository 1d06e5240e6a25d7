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
    const unsigned long ulMask = m_dwRightMask;
    strQuery.Format(
        L"SELECT lEinsatzID, lArbeitsplanID AS lID, dtStart, Formation.strBezeichnung as strFormation, "
        L"Arbeitsplan.strBezeichnung, strArbeitsplanNr, \t\t\t\t\t\t\tcbm.strBezeichnung AS strMandant, "
        L"dbo.fn_GetCustFieldValuesUsed4Search(149, lArbeitsplanID) AS strCustfields \t\t\t\t\tFROM Arbeitsplan JOIN "
        L"Mandant ON Arbeitsplan.lMandantID = Mandant.lMandantID \t\t\t\t\t\t\t\t\tJOIN view_CacheBezeichnung cbm ON "
        L"Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 \t\t\t\t\t\t\t\t\tJOIN SecMandant sm ON Mandant.lMandantID = "
        L"sm.lMandantID AND sm.lQvSecUserID = %d AND sm.lTableID = 149 AND sm.lRight & %lu = %lu \t\t\t\t\t\t\t\t\tJOIN "
        L"Formation ON Arbeitsplan.lFormationID = Formation.lFormationID ",
        CurrentUserID(), ulMask, ulMask);
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Arbeitsplan");
    strQuery.AppendFormat(L"AND Arbeitsplan.dtStart >= %s ", SearchDateLimit(dtFrom, true).GetString());
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Arbeitsplan.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ strArbeitsplanNr + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ Formation.strBezeichnung + ' ' ";
        if (IsColumnVisible(3))
            strWord += L"+ convert(varchar(10), dtStart, 104) + ' ' + convert(varchar(10), dtStart, 108) + ' ' ";
        if (IsColumnVisible(4) && m_bCustFieldsUsed)
            strWord += L"+ dbo.fn_GetCustFieldValuesUsed4Search(149, lArbeitsplanID) + ' ' ";
        if (IsColumnVisible(5)) strWord += L"+ strMandantName + ' ' + strMandantTyp + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchArbeitsplanDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const struct {
        int column;
        const wchar_t* field;
    } texts[] = {{0, L"strArbeitsplanNr"}, {1, L"strBezeichnung"}, {2, L"strFormation"}, {4, L"strCustfields"},
                 {5, L"strMandant"}};
    HRESULT hr = S_OK;
    for (const auto& t : texts) {
        if (t.column == 4) {
            COleDateTime dtStart;
            hr = pRS->GetFieldValue(L"dtStart", &dtStart);
            if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
            pItem->SetColumnDate(3, dtStart, 1, 10);
        }
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(t.column, strValue);
    }
    long lEinsatzID = -1;
    hr = pRS->GetFieldValue(L"lEinsatzID", &lEinsatzID);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    // The plan belongs to an activity.
    if (lEinsatzID != -1) pItem->SetRowBkColor(0xC8FFFF);
    return S_OK;
}
