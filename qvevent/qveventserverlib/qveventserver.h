#pragma once
// The suite's event server: modules fire events (a GUID naming what changed, with a value, mostly
// the id of the changed record) and every connected IEventSink receives them as lists.
#include "qvcom.h"
#include "oleauto.h"

// Implemented by receivers. The i-th id of a list is an event GUID, the i-th value its value.
struct IEventSink : IUnknown {
    virtual HRESULT OnEvent(long count, GUID* ids, VARIANT* values) = 0;
};

// A connection-point container for IEventSink.
struct IQvEventServer : IUnknown {
    // Fires count events at once; they reach every sink together, as one list.
    virtual HRESULT FireEvents(long count, GUID* ids, VARIANT* values) = 0;
    // The name given to an event with FireEventString; S_FALSE and an empty text when none.
    virtual HRESULT GetEventName(GUID event, BSTR* name) = 0;
    // Fires one event; the flag is accepted and has no effect here.
    virtual HRESULT FireEvent(GUID event, VARIANT value, BOOL flag) = 0;
    // Names an event (for example "Ev_UpdateSecKurs"); delivers nothing.
    virtual HRESULT FireEventString(GUID event, BSTR text) = 0;
};

inline constexpr IID IID_IEventSink = qv::MakeGuid("7EFBE871-FAAA-11D1-A6C4-0060087BF908");
inline constexpr IID IID_IQvEventServer = qv::MakeGuid("7EFBE870-FAAA-11D1-A6C4-0060087BF908");
inline constexpr CLSID CLSID_QvEventServer = qv::MakeGuid("C28FCD28-2A78-41A8-A6C4-1577EEC9B7F2");
#define QV_EVENTSERVER_PROGID L"Qovaro.QvEventServer"
