#pragma once
// The security server "Qovaro.QvSecServer". The users are the rows of QvSecUser; the server keeps
// its own tables next to them in the suite's database (profile "Qovaro.NQ2"):
//   QvSecRole      per user: fAdmin 1 holds every right (0x7FFFFFFF) on everything;
//   QvSecFunction  the protected features (function GUIDs) with their names;
//   QvSecObject    the records registered by SetRights: key, parent key, function, name;
//   QvSecRight     per user the rights mask (signed 32-bit) on a function (key empty) or on an
//                  object key under a function; the null GUID with an empty key holds the user's
//                  rights on every function that has no row of its own.
// A user's rights on an object without a row of its own are those on the object's function.
// Without a signed-in user nobody has rights.
//
// The user is signed in by IQvSecUser::Logon (the frame's --user) or, until then, from the
// environment variable QV_USER; a name, a user id text or a number. Signing in sets the
// database's system id (fn_GetSystemID) to the user's number.
//
// A database whose security tables have no roles yet gives the user named "Administrator" every
// right and the one named "Kursleiter" the course leader's: read and lead (0x10001) on every
// function but the course settings.
#include "cstring.h"
#include "qvsecint.h"
#include "serverbase.h"

#include <mutex>

class CQvSecServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvSecServer)
public:
    CQvSecServer();

    static constexpr long kAllRights = 0x7FFFFFFF;

protected:
    const CLSID& GetServerClassID() const override { return CLSID_QvSecServer; }
    LPCWSTR GetServerProgID() const override { return QVSECSERVER_PROGID; }
    HRESULT OnInit(BOOL bConnectToFrame) override;

    BEGIN_INTERFACE_PART(SecServer, IQvSecServer)
        HRESULT GetRights(GUID guid, BSTR bstrKey, long* plRights) override;
        HRESULT Reserved4() override;
        HRESULT Reserved5() override;
        HRESULT Reserved6() override;
        HRESULT ShowRightDlg(GUID guidObject, long lFlag) override;
        HRESULT ShowSetRightDlg(GUID guidObject, BSTR bstrKey, long lFlag) override;
    END_INTERFACE_PART(SecServer)

    BEGIN_INTERFACE_PART(SecUser, IQvSecUser)
        HRESULT Logon(BSTR bstrUser) override;
        HRESULT Reserved4() override;
        HRESULT Reserved5() override;
        HRESULT Reserved6() override;
        HRESULT Reserved7() override;
        HRESULT Reserved8() override;
        HRESULT Reserved9() override;
        HRESULT GetUser(BSTR* pbstrName, BSTR* pbstrUserID, long* plUserID) override;
    END_INTERFACE_PART(SecUser)

    BEGIN_INTERFACE_PART(SecAdmin, IQvSecAdmin)
        HRESULT SetRights(BSTR bstrObjectKey, BSTR bstrKey2, GUID guidFunction, BSTR bstrName, long lMask) override;
    END_INTERFACE_PART(SecAdmin)

    DECLARE_INTERFACE_MAP()

private:
    HRESULT DoLogon(const CString& strUser);
    // The signed-in user's number; signs in the user of QV_USER first when nobody signed in yet.
    long CurrentUser();
    HRESULT ReadRights(const GUID& guid, const CString& strKey, long* plRights);
    HRESULT ShowRights(const GUID& guid, const CString& strKey);

    std::mutex m_lock;
    long m_lUserID = 0;
    bool m_bSignedIn = false;  // by Logon or from the environment; no second try of QV_USER
};
