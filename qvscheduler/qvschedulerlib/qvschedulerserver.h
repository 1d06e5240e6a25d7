#pragma once
// The suite's scheduler: jobs that fire an event through the event server at a time or
// repeatedly.
#include "qvcom.h"
#include "oleauto.h"

struct IQvScheduler : IUnknown {
    // Fires the event once with the value (VT_I4) at the local time 'start'; at once when that
    // time has passed.
    virtual HRESULT AddJob(DATE start, GUID event, long value) = 0;
    // Fires the event every periodMs milliseconds, the first time after firstDelayMs (after one
    // period when 0), with the value (VT_I4). Replaces an earlier repeating job of that event.
    // E_INVALIDARG for a period of 0.
    virtual HRESULT SetJob(DWORD periodMs, GUID event, DWORD firstDelayMs, DWORD value) = 0;
    // Removes every job of the event; S_FALSE when there was none.
    virtual HRESULT RemoveJob(GUID event) = 0;
};

inline constexpr IID IID_IQvScheduler = qv::MakeGuid("C12A10E4-0BC0-49F7-98BB-6A290CBF1784");
inline constexpr CLSID CLSID_QvScheduler = qv::MakeGuid("292AFA2B-BDBD-4427-BD3F-14A3220920EE");
#define QV_SCHEDULER_PROGID L"Qovaro.QvScheduler"
