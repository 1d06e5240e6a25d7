#include "searchabrechnungdlg.h"

#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchabrechnungdlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchAbrechnungDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchAbrechnungDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchAbrechnungDlg::CSearchAbrechnungDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_ABRECHNUNG;
    m_lTableID = 122;
    ReadAheadOption(-4000, L"AbrechnungDate");
}

CSearchAbrechnungDlg::~CSearchAbrechnungDlg() = default;

BOOL CSearchAbrechnungDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchAbrechnungDlg::SetupColumns() {
    const int types[5] = {3, 3, 4, 3, 3};
    const int widths[5] = {240, 220, 90, 120, 50};
    InsertResultColumns(5, IDS_SEARCH_COL_ABRECHNUNG, types, widths);
}

HRESULT CSearchAbrechnungDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    CQvDateTime dtFrom;
    dtFrom.SetNull();
    const HRESULT hr = SearchDateOption(L"AbrechnungDate", dtFrom);
    if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    strQuery = L"SELECT lAbrechnungID AS lID, dtDatum, strBezeichnung, convert(varchar(254), strBemerkung) as strBem, "
               L"strZahlungsgrund, \t\t\t\t\tfAHVAbrechnung, fCacheOK, \t\t\t\t\tstrAHV = CASE fAHVAbrechnung WHEN 1 THEN "
               L"'AHV' ELSE '' END \t\t\t\tFROM Abrechnung ";
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery.AppendFormat(L"Abrechnung.dtDatum >= %s ", SearchDateLimit(dtFrom, false).GetString());
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(1)) strWord += L"+ convert(varchar(254), strBemerkung) + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ convert(varchar(10), dtDatum, 104) + ' ' ";
        if (IsColumnVisible(3)) strWord += L"+ strZahlungsgrund + ' ' ";
        if (IsColumnVisible(4)) strWord += L"+ CASE fAHVAbrechnung WHEN 1 THEN 'AHV' ELSE '' END + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return hr;
}

HRESULT CSearchAbrechnungDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const struct {
        int column;
        const wchar_t* field;
    } texts[] = {{0, L"strBezeichnung"}, {1, L"strBem"}, {3, L"strZahlungsgrund"}, {4, L"strAHV"}};
    HRESULT hr = S_OK;
    for (const auto& t : texts) {
        if (t.column == 3) {
            COleDateTime dtDatum;
            hr = pRS->GetFieldValue(L"dtDatum", &dtDatum);
            if (FAILED(hr)) break;
            pItem->SetColumnDate(2, dtDatum, 1, 0);
        }
        CString strValue;
        hr = pRS->GetFieldValue(t.field, &strValue);
        if (FAILED(hr)) break;
        pItem->SetColumnText(t.column, strValue);
    }
    // A row that could not be read is marked like one whose cache is out of date.
    BOOL bCacheOK = FALSE;
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"fCacheOK", &bCacheOK);
    if (FAILED(hr) || !bCacheOK) pItem->SetRowTextColor(0x0000FF);
    BOOL bAHV = FALSE;
    if (SUCCEEDED(hr)) hr = pRS->GetFieldValue(L"fAHVAbrechnung", &bAHV);
    if (SUCCEEDED(hr) && bAHV) pItem->SetRowBkColor(0xC8FFFF);
    if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    return hr;
}
