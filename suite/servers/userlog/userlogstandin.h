#pragma once
// The user-log server "Qovaro.NQ2.UserLog". Each entry is a row of the table UserLog of the
// suite's database (profile "Qovaro.NQ2"), written on the caller's database connection, so an
// entry written inside a transaction stays or goes with it. The row records besides the entry
// the signed-in user's name and the computer; the writer's code goes to lCode.
// ShowSpecificUserLog mode 1 shows the entries of one record, newest first, in the log window:
// a read-only text the user scrolls, whose window fits the screen however long the log is.
#include "dialog.h"
#include "serverbase.h"
#include "userlogint.h"

// Dialog template and controls of the log window.
#define IDD_USERLOG 30200
#define IDC_USERLOG_COUNT 1000
#define IDC_USERLOG_TEXT 1001

class CUserLogDlg : public CDialog {
public:
    CUserLogDlg(const CString& strCaption, const CString& strEntries, long lCount, CWnd* pParent = nullptr);
    BOOL OnInitDialog() override;

protected:
    CString m_strCaption;
    CString m_strEntries;
    long m_lCount;
};

class CQvUserLogServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvUserLogServer)
public:
    CQvUserLogServer();

protected:
    const CLSID& GetServerClassID() const override { return CLSID_UserLog; }
    LPCWSTR GetServerProgID() const override { return QVUSERLOG_PROGID; }

    BEGIN_INTERFACE_PART(UserLog, IUserLog)
        HRESULT Write(long lKind, BSTR bstrText, BSTR bstrDetail, BSTR bstrModul, long lValue, long lTableID,
                      GUID guidObject, GUID guidParent, long lCode, long lGrouping) override;
        HRESULT ShowSpecificUserLog(long lMode, BSTR bstrName, BSTR bstrText2, BSTR bstrText3, GUID guidObject) override;
    END_INTERFACE_PART(UserLog)

    DECLARE_INTERFACE_MAP()
};
