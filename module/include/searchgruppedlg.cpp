#include "searchgruppedlg.h"

#include "qvhrtrace.h"
#include "searchperipheryres.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchgruppedlg.cpp";
}

IMPLEMENT_DYNAMIC(CSearchGruppeDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchGruppeDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchGruppeDlg::CSearchGruppeDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_GRUPPE;
    m_lTableID = 33;
}

CSearchGruppeDlg::~CSearchGruppeDlg() = default;

BOOL CSearchGruppeDlg::OnInitDialog() {
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchGruppeDlg::SetupColumns() {
    const int types[2] = {3, 3};
    const int widths[2] = {220, 180};
    InsertResultColumns(2, IDS_SEARCH_COL_GRUPPE, types, widths);
}

HRESULT CSearchGruppeDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    const unsigned long ulMask = m_dwRightMask;
    // Groups are read under the rights of table 20, as the other material is.
    strQuery.Format(L"SELECT Gruppe.lGruppeID AS lID, Gruppe.strBezeichnung AS strGruppe, cbm.strBezeichnung AS strMandant "
                    L"FROM Gruppe JOIN Mandant ON Gruppe.lMandantID = Mandant.lMandantID "
                    L"JOIN SecMandant sm ON Mandant.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d AND "
                    L"sm.lTableID = 20 AND sm.lRight & %lu = %lu "
                    L"JOIN view_CacheBezeichnung cbm ON Mandant.lMandantID = cbm.lID AND cbm.lTableID = 45 ",
                    CurrentUserID(), ulMask, ulMask);
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += SearchMandantCondition(*this, L"Gruppe");
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', Gruppe.strBezeichnung + ' ' ", word.GetString());
        if (IsColumnVisible(1)) strWord += L"+ strMandantName + ' ' + strMandantTyp + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return S_OK;
}

HRESULT CSearchGruppeDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const wchar_t* const kFields[] = {L"strGruppe", L"strMandant"};
    for (int column = 0; column < 2; ++column) {
        CString strValue;
        const HRESULT hr = pRS->GetFieldValue(kFields[column], &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(column, strValue);
    }
    return S_OK;
}
