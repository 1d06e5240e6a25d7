#include "searchareadlg.h"

#include "optionserver.h"
#include "qvhrtrace.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchareadlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchAreaDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchAreaDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchAreaDlg::CSearchAreaDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_AREA;
    m_lTableID = 196;
    ReadAheadOption(-4000, L"AreaActive");
}

CSearchAreaDlg::~CSearchAreaDlg() = default;

void CSearchAreaDlg::SetupColumns() {
    const int types[4] = {3, 3, 3, 3};
    const int widths[4] = {90, 220, 140, 120};
    InsertResultColumns(4, IDS_SEARCH_COL_AREA, types, widths);
}

HRESULT CSearchAreaDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    long lAreaActive = 0;
    HRESULT hr = S_OK;
    {
        COptionServer opt;
        AnswerFromReadAhead(opt);
        hr = opt.GetOption(-4000, L"AreaActive", &lAreaActive, 1, 0);
    }
    strQuery = L"SELECT lAreaID AS lID, strKurzbezeichnung, strBezeichnung, strAreaart, fActive, \t\t\t\t\t"
               L"dbo.fn_GetCustFieldValuesUsed4Search(196, lAreaID) AS strCustfields \t\t\tFROM view_Area ";
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += L"1=1 ";
    if (lAreaActive != 0) strQuery += L"AND fActive=1 ";
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ strKurzbezeichnung + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ strAreaart + ' ' ";
        if (IsColumnVisible(3) && m_bCustFieldsUsed)
            strWord += L"+ dbo.fn_GetCustFieldValuesUsed4Search(196, lAreaID) + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchAreaDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    BOOL bActive = TRUE;
    HRESULT hr = pRS->GetFieldValue(L"fActive", &bActive);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    if (!bActive) pItem->SetRowTextColor(0x808080);
    static const wchar_t* const fields[] = {L"strKurzbezeichnung", L"strBezeichnung", L"strAreaart", L"strCustfields"};
    for (int column = 0; column < 4; ++column) {
        CString strValue;
        hr = pRS->GetFieldValue(fields[column], &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(column, strValue);
    }
    return S_OK;
}
