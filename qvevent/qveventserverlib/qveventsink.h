#pragma once
// CQvEventSink: connects an IEventSink to the event server running in the host and disconnects
// it again; and the look-up of one event in a delivered list.
#include "olevariant.h"
#include "qvobject.h"
#include "unknwn.h"

struct IQvEventServer;

class CQvEventSink : public CObject {
public:
    CQvEventSink() = default;
    ~CQvEventSink() override;

    // Connects pSink (asked for IEventSink by the server). On failure the user is told and the
    // references taken stay held until Unadvise or destruction.
    BOOL Advise(IUnknown* pSink);
    // Disconnects and releases everything held; TRUE when there was nothing to disconnect.
    BOOL Unadvise();

    // Whether the list holds the event; the first occurrence counts.
    static BOOL HasEventData(long count, const GUID* ids, const VARIANT* values, GUID id);
    // Copies the value of the first occurrence of the event into *pValue.
    static BOOL GetEventData(long count, const GUID* ids, const VARIANT* values, GUID id, COleVariant* pValue);

    DWORD m_dwCookie = 0;
    IUnknown* m_pSink = nullptr;
    IQvEventServer* m_pServer = nullptr;
};
