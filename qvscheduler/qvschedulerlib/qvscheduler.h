#pragma once
// CQvScheduler: the client of the scheduler running in the host, which raises events through the
// event server at a time or every period.
#include "qvobject.h"
#include "guid.h"

struct IQvScheduler;

class CQvScheduler : public CObject {
public:
    CQvScheduler() = default;
    ~CQvScheduler() override { Disconnect(); }

    HRESULT Connect();
    void Disconnect();

    // The event with the value, once, lSeconds from now.
    HRESULT AddJob(long lSeconds, GUID event, long lValue);
    // The event every dwPeriod milliseconds; the two values go to the scheduler unchanged.
    HRESULT SetJob(DWORD dwPeriod, GUID event, DWORD dwValue1, DWORD dwValue2);

    IQvScheduler* m_pServer = nullptr;
};
