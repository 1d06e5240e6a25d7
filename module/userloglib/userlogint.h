#pragma once
// The user-log server "Qovaro.NQ2.UserLog": the audit trail of the users' changes.
#include "qvcom.h"

#define QVUSERLOG_PROGID L"Qovaro.NQ2.UserLog"

// Kinds of an entry.
#define QVUSERLOG_INSERT 0
#define QVUSERLOG_UPDATE 1
#define QVUSERLOG_DELETE 2

struct IUserLog : IUnknown {
    // One entry: kind, text, detail, module, value, table id, the record, a second record, the
    // writer's code and the grouping (0: none).
    virtual HRESULT Write(long lKind, BSTR bstrText, BSTR bstrDetail, BSTR bstrModul, long lValue, long lTableID,
                          GUID guidObject, GUID guidParent, long lCode, long lGrouping) = 0;  // 3
    // Shows the entries of one record (mode 1).
    virtual HRESULT ShowSpecificUserLog(long lMode, BSTR bstrName, BSTR bstrText2, BSTR bstrText3, GUID guidObject) = 0;  // 4
};

inline constexpr IID IID_IUserLog = qv::MakeGuid("94F26E61-595D-47A3-AB88-582FBC7B86D4");
inline constexpr CLSID CLSID_UserLog = qv::MakeGuid("7A629D0D-5589-4413-8D67-9EA39EF37A89");
