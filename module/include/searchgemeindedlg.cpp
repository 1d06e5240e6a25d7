#include "searchgemeindedlg.h"

#include "qvhrtrace.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchgemeindedlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchGemeindeDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchGemeindeDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchGemeindeDlg::CSearchGemeindeDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_GEMEINDE;
    m_lTableID = 193;
}

CSearchGemeindeDlg::~CSearchGemeindeDlg() = default;

BOOL CSearchGemeindeDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchGemeindeDlg::SetupColumns() {
    const int types[2] = {3, 3};
    const int widths[2] = {240, 80};
    InsertResultColumns(2, IDS_SEARCH_COL_GEMEINDE, types, widths);
}

HRESULT CSearchGemeindeDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    strQuery = L"SELECT strBezeichnung AS strGemeinde, lGemeindeID AS lID, Gemeinde.strKanton \t\t\t\tFROM Gemeinde ";
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += L"1=1 ";
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Gemeinde.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(1)) strWord += L"+ Gemeinde.strKanton + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return S_OK;
}

HRESULT CSearchGemeindeDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const wchar_t* const fields[] = {L"strGemeinde", L"strKanton"};
    for (int column = 0; column < 2; ++column) {
        CString strValue;
        const HRESULT hr = pRS->GetFieldValue(fields[column], &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(column, strValue);
    }
    return S_OK;
}
