#pragma once
// CQvEventSource: fires events through the event server running in the host. It keeps nothing:
// every call looks the server up and releases it again.
#include "cstring.h"
#include "olevariant.h"
#include "qvcmdtarget.h"

class CQvEventSource : public CCmdTarget {
public:
    CQvEventSource() = default;
    // Objects of this class live on the stack or inside a dialog; nothing ever deletes them.
    void OnFinalRelease() override {}

    // The event with the record id as a VT_I4 value.
    HRESULT FireEvent(GUID event, long lID, BOOL flag);
    // The event with any value; the value is the caller's copy and is cleared before returning.
    HRESULT FireEvent(GUID event, VARIANT value, BOOL flag);
    // A COleVariant would arrive as a shallow copy and be cleared twice.
    HRESULT FireEvent(GUID event, const COleVariant& value, BOOL flag) = delete;
    // Hands the server the text of an event (its name).
    HRESULT FireEventString(GUID event, CString text);
};
