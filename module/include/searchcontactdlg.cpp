#include "searchcontactdlg.h"

#include "qvhrtrace.h"
#include "searchresource.h"

namespace {
const wchar_t kTraceSource[] = L"searchcontactdlg.cpp";
const wchar_t kCallNbrs[] =
    L"dbo.fn_RemoveChars(c.strTelefonP) + ' ' +  dbo.fn_RemoveChars(c.strTelefonG) + ' ' +  "
    L"dbo.fn_RemoveChars(c.strMobilP) + ' ' +  dbo.fn_RemoveChars(c.strMobilG) + ' ' +  c.strEMailP + ' ' +  "
    L"c.strEMailG + ' ' +  dbo.fn_RemoveChars(c.strFax) + ' ' +  c.strWeb";
}  // namespace

IMPLEMENT_DYNAMIC(CSearchContactDlg, CSearchDlg)

BEGIN_MESSAGE_MAP(CSearchContactDlg, CSearchDlg)
END_MESSAGE_MAP()

CSearchContactDlg::CSearchContactDlg(CString strListKey, CWnd* pParent) : CSearchDlg(strListKey, pParent) {
    m_nCaptionID = IDS_SEARCH_CONTACT;
    m_lTableID = 71;
}

CSearchContactDlg::~CSearchContactDlg() = default;

void CSearchContactDlg::SetupColumns() {
    const int types[7] = {3, 3, 3, 3, 3, 3, 3};
    const int widths[7] = {170, 150, 150, 140, 140, 120, 120};
    InsertResultColumns(7, IDS_SEARCH_COL_CONTACT, types, widths, IDB_SEARCH_CONTACT);
}

HRESULT CSearchContactDlg::BuildQuery(CString strSearchText, CString& strQuery) {
    const std::vector<CString> words = SplitWords(strSearchText);
    const BOOL bCallNbrs = IsColumnVisible(4);
    const BOOL bKategorie = IsColumnVisible(6);
    strQuery = L"SELECT c.lContactID AS lID, c.strName + ' ' + c.strVorname AS strContact, c.strFirma, "
               L"c.strAdresse1L, o.strPLZOrt, \t\t\t\t\t\tconvert(varchar(1024),c.strBemerkung) as strBemerkung, "
               L"isnull(QvSecUser.lQvSecUserID, 0) AS lQvSecUserID, ";
    if (bCallNbrs) strQuery += CString(kCallNbrs) + L" AS strCallNbrs, ";
    else strQuery += L"'' AS strCallNbrs, ";
    if (bKategorie) strQuery += L"dbo.fn_GetKategories4Contact(c.lContactID) AS strKategorie ";
    else strQuery += L"'' AS strKategorie ";
    // The user a contact is: the security user whose user id is the contact's GUID.
    strQuery += L"FROM Contact c JOIN view_Ort o ON c.lOrtID = o.lOrtID "
                L"LEFT OUTER JOIN QvSecUser ON QvSecUser.strUserID = c.guid ";
    strQuery += m_strJoin;
    strQuery += m_strWhere;
    strQuery += L"1=1 ";
    for (const CString& word : words) {
        CString strWord;
        strWord.Format(L"AND (CHARINDEX('%s', c.strName + ' ' + c.strVorname + ' ' + c.strFirma + ' '",
                       word.GetString());
        if (IsColumnVisible(2)) strWord += L"+ c.strAdresse1L + ' ' ";
        if (IsColumnVisible(3)) strWord += L"+ o.strPLZOrt + ' ' ";
        if (IsColumnVisible(4) && bCallNbrs) strWord += CString(L"+ ") + kCallNbrs + L" + ' ' ";
        if (IsColumnVisible(5)) strWord += L"+ convert(varchar(1024),c.strBemerkung) + ' ' ";
        if (IsColumnVisible(6) && bKategorie) strWord += L"+ dbo.fn_GetKategories4Contact(c.lContactID) + ' ' ";
        strQuery += strWord + WordClosing();
    }
    return S_OK;
}

HRESULT CSearchContactDlg::FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) {
    CQvListItem* pItem = *ppItem;
    static const wchar_t* const fields[] = {L"strContact", L"strFirma",    L"strAdresse1L", L"strPLZOrt",
                                            L"strCallNbrs", L"strBemerkung", L"strKategorie"};
    for (int column = 0; column < 7; ++column) {
        CString strValue;
        const HRESULT hr = pRS->GetFieldValue(fields[column], &strValue);
        if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
        if (column == 6) {
            strValue.Trim();
            strValue.TrimRight(L',');
        }
        pItem->SetColumnText(column, strValue);
    }
    long lUserID = 0;
    const HRESULT hr = pRS->GetFieldValue(L"lQvSecUserID", &lUserID);
    if (FAILED(hr)) return QV_TRACEHR(kTraceSource, hr);
    pItem->SetImage(lUserID != 0 ? 1 : 0, 0);
    return S_OK;
}
