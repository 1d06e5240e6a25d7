#pragma once
// CQvHelp: the client of the help server running in the host. It looks the server up on first use
// and keeps it until it is destroyed.
#include "cstring.h"
#include "qvobject.h"
#include "qvtypes.h"

struct IQvHelpServer;

class CQvHelp : public CObject {
public:
    CQvHelp() = default;
    ~CQvHelp() override;

    // S_OK when the server is held already or was found now.
    HRESULT Connect();
    // The server's short text for the two keys; empty when there is none or the call failed.
    CString GetHelpText(CString strKey1, CString strKey2);
    // Shows the help of a topic.
    HRESULT ShowHelp(CString strTopic);

    IQvHelpServer* m_pServer = nullptr;
};
