#include "userlogstandin.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qverrorinfo.h"
#include "qvguid.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "resource.h"
#include "qvsysinfo.h"
#include "suitedb.h"

#include <string>

IMPLEMENT_DYNCREATE(CQvUserLogServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvUserLogServer, CQvStandInServer)
    INTERFACE_PART(CQvUserLogServer, IID_IUserLog, UserLog)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvUserLogServer, UserLog)

namespace {

constexpr const wchar_t* kSource = L"qvuserlogserver";
constexpr const wchar_t* kProfile = L"Qovaro.NQ2";

CString Text(BSTR b) { return b ? CString(std::wstring(b, SysStringLen(b))) : CString(); }

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

// The log window's template, registered when the server's library is loaded. Its height is fixed
// and the text scrolls, so a long log neither grows the window past the screen nor hides its button.
const bool g_registered = [] {
    using namespace qv::ui;
    DialogTemplate dlg;
    dlg.id = IDD_USERLOG;
    dlg.caption = L"Benutzerprotokoll";
    dlg.cx = 440;
    dlg.cy = 250;
    dlg.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dlg.items = {
        LText(L"", IDC_USERLOG_COUNT, 7, 7, 426, 10),
        EditText(IDC_USERLOG_TEXT, 7, 20, 426, 204,
                 ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_BORDER | WS_TABSTOP),
        DefPushButton(L"Schliessen", IDOK, 383, 230, 50, 14),
    };
    RegisterDialogTemplate(Module(), dlg);
    return true;
}();

// Leaves the cause of a refused entry for the caller (the thread's error object).
void SetRefusal(const CString& strCause) {
    if (strCause.IsEmpty()) return;
    ICreateErrorInfo* pCreate = nullptr;
    if (FAILED(CreateErrorInfo(&pCreate))) return;
    std::wstring strSource = QVUSERLOG_PROGID;
    std::wstring strText = static_cast<LPCWSTR>(strCause);
    pCreate->SetSource(strSource.data());
    pCreate->SetDescription(strText.data());
    IErrorInfo* pInfo = nullptr;
    if (SUCCEEDED(pCreate->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&pInfo)))) {
        SetErrorInfo(0, pInfo);
        pInfo->Release();
    }
    pCreate->Release();
}

}  // namespace

// ---- the log window

CUserLogDlg::CUserLogDlg(const CString& strCaption, const CString& strEntries, long lCount, CWnd* pParent)
    : CDialog(IDD_USERLOG, pParent), m_strCaption(strCaption), m_strEntries(strEntries), m_lCount(lCount) {}

BOOL CUserLogDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetWindowText(m_strCaption);
    CString strCount;
    if (m_lCount == 0) strCount = L"Keine Einträge vorhanden.";
    else if (m_lCount == 1) strCount = L"1 Eintrag.";
    else strCount.Format(L"%d Einträge, die neuesten zuerst.", m_lCount);
    SetDlgItemText(IDC_USERLOG_COUNT, strCount);
    SetDlgItemText(IDC_USERLOG_TEXT, m_strEntries);
    // The text gets the focus for the keys that scroll it, with the caret on the newest entry and
    // nothing selected (a selection of everything would show the end, the oldest).
    if (CWnd* pText = GetDlgItem(IDC_USERLOG_TEXT)) {
        pText->SetFocus();
        pText->SendMessage(EM_SETSEL, 0, 0);
    }
    return FALSE;
}

// ---- the server

CQvUserLogServer::CQvUserLogServer() = default;

HRESULT CQvUserLogServer::XUserLog::Write(long lKind, BSTR bstrText, BSTR bstrDetail, BSTR bstrModul, long lValue,
                                          long lTableID, GUID guidObject, GUID guidParent, long lCode,
                                          long lGrouping) {
    const CString strText = Text(bstrText);
    const CString strModul = Text(bstrModul);
    if (lKind < QVUSERLOG_INSERT || lKind > QVUSERLOG_DELETE || strText.IsEmpty() || strModul.IsEmpty()) {
        return QV_TRACEHR(kSource, E_INVALIDARG);
    }

    CQvADOConnection conn;
    HRESULT hr = conn.Open(kProfile, 0);
    long lUserLogID = 0;
    if (SUCCEEDED(hr)) hr = conn.GetUniqueID(L"UserLog", L"lUserLogID", &lUserLogID);
    if (SUCCEEDED(hr)) {
        const long lUserID = static_cast<long>(qv::suite::GetSystemID());
        CString sql;
        sql.Format(L"INSERT INTO UserLog (lUserLogID, lGrouping, lKind, strText, strDetail, strModul, lCode, lTableID, "
                   L"guidRecord, guidParent, lValue, strUser, strComputer) "
                   L"SELECT %d, %d, %d, '%s', '%s', '%s', %d, %d, '%s', '%s', %d, "
                   L"isnull((SELECT strName FROM QvSecUser WHERE lQvSecUserID = %d), ''), '%s'",
                   lUserLogID, lGrouping, lKind, QvSQLString(strText, 0), QvSQLString(Text(bstrDetail), 0),
                   QvSQLString(strModul, 0), lCode, lTableID, CQvGUID(guidObject).GetGUID(TRUE),
                   CQvGUID(guidParent).GetGUID(TRUE), lValue, lUserID, QvSQLString(QvGetComputerName(), 0));
        hr = conn.Execute(sql);
    }
    if (FAILED(hr)) {
        // The caller's report names the database's cause of the refusal.
        CString strCause;
        conn.GetErrorText(strCause);
        SetRefusal(strCause);
        return QV_TRACEHR(kSource, hr);
    }
    return S_OK;
}

HRESULT CQvUserLogServer::XUserLog::ShowSpecificUserLog(long lMode, BSTR bstrName, BSTR, BSTR, GUID guidObject) {
    if (lMode != 1) return QV_TRACEHR(kSource, E_INVALIDARG);

    CQvADOConnection conn;
    HRESULT hr = conn.Open(kProfile, 0);
    CString strEntries;
    long lCount = 0;
    if (SUCCEEDED(hr)) {
        CString sql;
        sql.Format(L"SELECT dtTime, strUser, strText, strDetail FROM UserLog WHERE guidRecord = '%s' "
                   L"ORDER BY dtTime DESC, lUserLogID DESC",
                   CQvGUID(guidObject).GetGUID(TRUE));
        CQvADORecordset rs(&conn);
        hr = rs.OpenSQL(sql, 0, 1);
        BOOL eof = TRUE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&eof);
        while (SUCCEEDED(hr) && !eof) {
            COleDateTime dtTime;
            CString strUser, strText, strDetail;
            hr = rs.GetFieldValue(L"dtTime", &dtTime);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strUser", &strUser);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strText", &strText);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strDetail", &strDetail);
            if (SUCCEEDED(hr)) {
                if (lCount++ > 0) strEntries += L"\r\n";
                strEntries.AppendFormat(L"%s | %s | %s", dtTime.Format(L"%d.%m.%Y %H:%M:%S"), strUser, strText);
                if (!strDetail.IsEmpty()) strEntries.AppendFormat(L" | %s", strDetail);
                hr = rs.MoveNext(&eof);
            }
        }
        rs.Close();
    }
    if (FAILED(hr)) return QV_TRACEHR(kSource, hr);

    CString strCaption = Text(bstrName);
    if (strCaption.IsEmpty()) strCaption = L"Benutzerprotokoll";
    CUserLogDlg dlg(strCaption, strEntries, lCount, AfxGetMainWnd());
    return dlg.DoModal() == -1 ? QV_TRACEHR(kSource, E_FAIL) : S_OK;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_UserLog, CQvUserLogServer, QVUSERLOG_PROGID, AfxDllCanUnloadNow())
