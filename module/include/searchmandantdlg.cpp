#include "searchmandantdlg.h"

#include "qvhrtrace.h"
#include "nqcommon.h"
#include "searchresource.h"

#include <cwchar>

namespace {
const wchar_t kTraceSource[] = L"searchmandantdlg.cpp";

// The table id the host passes as text; FALSE unless it is a whole number, so nothing but a
// number reaches the statement.
BOOL ParseTableID(const CString& strText, long& lTableID) {
    CString strTrimmed = strText;
    strTrimmed.Trim();
    if (strTrimmed.IsEmpty()) return FALSE;
    wchar_t* end = nullptr;
    const long value = std::wcstol(strTrimmed.GetString(), &end, 10);
    if (!end || *end != L'\0') return FALSE;
    lTableID = value;
    return TRUE;
}
}  // namespace

IMPLEMENT_DYNAMIC(CSearchMandantDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchMandantDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchMandantDlg::CSearchMandantDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_MANDANT;
    m_lTableID = 45;
}

CSearchMandantDlg::~CSearchMandantDlg() = default;

BOOL CSearchMandantDlg::OnInitDialog() {
    // The preselection must be known before the first search fills the rows.
    if (!m_bMultiSelect) {
        long lMandantID = 0;
        NQ_GetActMandantID(lMandantID);
        if (lMandantID == 0) NQ_GetMasterMandantID(lMandantID);
        m_lPreselectMandantID = lMandantID;
    }
    CSearchDlg::OnInitDialog();
    return TRUE;
}

void CSearchMandantDlg::SetupColumns() {
    const int types[4] = {3, 3, 3, 3};
    const int widths[4] = {220, 110, 160, 120};
    InsertResultColumns(4, IDS_SEARCH_COL_MANDANT, types, widths);
}

HRESULT CSearchMandantDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    long lSecTableID = 0;
    const BOOL bTableID = ParseTableID(m_strSecTableID, lSecTableID);
    strQuery.Format(L"SELECT strMandantName, strMandantTyp, strPLZOrt, vm.lMandantID AS lID, "
                    L"dbo.fn_GetCustFieldValuesUsed4Search(45,  vm.lMandantID) AS strCustfields \t\t\t\t\tFROM "
                    L"view_Mandant vm JOIN SecMandant sm ON vm.lMandantID = sm.lMandantID AND sm.lQvSecUserID = %d "
                    L"AND sm.lTableID = %d AND sm.lRight & %lu = %lu ",
                    CurrentUserID(), lSecTableID, static_cast<unsigned long>(m_dwRightMask),
                    static_cast<unsigned long>(m_dwRightMask));
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += L"vm.fActive = 1 ";
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', strMandantName + ' ' ", word.GetString());
        if (IsColumnVisible(1)) strWord += L"+ strMandantTyp + ' ' ";
        if (IsColumnVisible(2)) strWord += L"+ strPLZOrt + ' ' ";
        if (IsColumnVisible(3) && m_bCustFieldsUsed)
            strWord += L"+ ' ' + dbo.fn_GetCustFieldValuesUsed4Search(45, isnull(vm.lMandantID,0)) ";
        strQuery += strWord + WordClosing();
    }
    return bTableID ? S_OK : E_INVALIDARG;
}

HRESULT CSearchMandantDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const wchar_t* const fields[] = {L"strMandantName", L"strMandantTyp", L"strPLZOrt", L"strCustfields"};
    for (int column = 0; column < 4; ++column) {
        CString strValue;
        const HRESULT hr = pRS->GetFieldValue(fields[column], &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        pItem->SetColumnText(column, strValue);
    }
    if (m_lPreselectMandantID != 0) {
        long lID = 0;
        const HRESULT hr = pRS->GetFieldValue(L"lID", &lID);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        if (lID == m_lPreselectMandantID) m_lSelectID = m_lCurrentID;
    }
    return S_OK;
}
