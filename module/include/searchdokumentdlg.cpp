#include "searchdokumentdlg.h"

#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchdokumentdlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchDokumentDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchDokumentDlg, CSearchDlg)
    ON_MESSAGE(WM_SEARCH_ROW, &CSearchDokumentDlg::OnDokumentRow)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CSearchDokumentDlg::CSearchDokumentDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_DOKUMENT;
    m_lTableID = 70;
    m_bSortList = FALSE;
}

CSearchDokumentDlg::~CSearchDokumentDlg() = default;

BOOL CSearchDokumentDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    m_btnFilter.EnableWindow(FALSE);
    return TRUE;
}

void CSearchDokumentDlg::SetupColumns() {
    const int types[4] = {3, 3, 3, 3};
    const int widths[4] = {120, 240, 70, 220};
    InsertResultColumns(4, IDS_SEARCH_COL_DOKUMENT, types, widths);
}

HRESULT CSearchDokumentDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    // Every search starts with a heading before its first document, even when that document's
    // type was the last one of the previous search.
    m_strLastDokumentart.Empty();
    DropPendingHeadings();
    const std::vector<CString> words = SplitWords(strSearchText);
    strQuery = L"SELECT lDokumentID AS lID, Dokumentart.strBezeichnung AS strDokumentart, Dokument.strBezeichnung, "
               L"strVisum, strHeader FROM Dokument JOIN Dokumentart ON Dokument.lDokumentartID = Dokumentart.lDokumentartID ";
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += L"1=1 ";
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Dokument.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(0)) strWord += L"+ Dokumentart.strBezeichnung + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ strVisum + ' ' ";
        if (IsColumnVisible(3)) strWord += L"+ strHeader + ' ' ";
        strQuery += strWord + WordClosing();
    }
    strQuery += L" ORDER BY Dokumentart.strBezeichnung, Dokument.strBezeichnung";
    return S_OK;
}

HRESULT CSearchDokumentDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CString strArt;
    HRESULT hr = pRS->GetFieldValue(L"strDokumentart", &strArt);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    if (strArt != m_strLastDokumentart) {
        m_strLastDokumentart = strArt;
        // The item handed in becomes the heading; it keeps the id of the group's first document.
        CQvListItem* pHeading = *ppItem;
        pHeading->SetColumnText(0, strArt);
        pHeading->SetRowBkColor(0xC8FFFF);
        CQvListItem* pRow = m_lstResult.QvCreateItem();
        {
            std::lock_guard g(m_headingLock);
            m_mapHeadings[pRow] = pHeading;
        }
        *ppItem = pRow;
        COleVariant varID;
        hr = pRS->GetFieldValue(L"lID", &varID);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pRow->SetParam(0, varID);
    }
    CQvListItem* pItem = *ppItem;
    static const wchar_t* const kFields[] = {L"strBezeichnung", L"strVisum", L"strHeader"};
    for (int column = 1; column <= 3; ++column) {
        CString strValue;
        hr = pRS->GetFieldValue(kFields[column - 1], &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(column, strValue);
    }
    return S_OK;
}

LRESULT CSearchDokumentDlg::OnDokumentRow(WPARAM wParam, LPARAM lParam) {
    // Each document row that opens a group is preceded by its heading; the base then adds them.
    auto* pRows = reinterpret_cast<std::vector<CQvListItem*>*>(lParam);
    std::vector<CQvListItem*> rows;
    rows.reserve(pRows->size() + 1);
    {
        std::lock_guard g(m_headingLock);
        for (CQvListItem* pItem : *pRows) {
            auto it = m_mapHeadings.find(pItem);
            if (it != m_mapHeadings.end()) {
                rows.push_back(it->second);
                m_mapHeadings.erase(it);
            }
            rows.push_back(pItem);
        }
    }
    *pRows = std::move(rows);
    return OnSearchRow(wParam, lParam);
}

void CSearchDokumentDlg::DropPendingHeadings() {
    // Rows of an abandoned search that never reached the list leave their headings behind; their
    // addresses may come again with the next search's rows.
    std::lock_guard g(m_headingLock);
    for (const auto& [pRow, pHeading] : m_mapHeadings) m_lstResult.QvDiscardCreatedItem(pHeading);
    m_mapHeadings.clear();
}

void CSearchDokumentDlg::OnDestroy() {
    CSearchDlg::OnDestroy();
    DropPendingHeadings();
}
