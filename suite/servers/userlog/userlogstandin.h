#pragma once
// The user-log server "Qovaro.NQ2.UserLog". Each entry is a row of the table UserLog of the
// suite's database (profile "Qovaro.NQ2"), written on the caller's database connection, so an
// entry written inside a transaction stays or goes with it. The row records besides the entry
// the signed-in user's name and the computer; the writer's code goes to lCode.
// ShowSpecificUserLog mode 1 shows the entries of one record, oldest first, as a report.
#include "serverbase.h"
#include "userlogint.h"

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
