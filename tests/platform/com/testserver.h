#pragma once
// The interfaces and class ids of the test server library built next to the COM tests.
#include "qvcom.h"

struct ITestCounter : IUnknown {
    virtual HRESULT Add(long n) = 0;
    virtual HRESULT GetValue(long* value) = 0;
    // Calls OnValue(value) on every connected ITestEvents sink.
    virtual HRESULT Fire() = 0;
};

struct ITestEvents : IUnknown {
    virtual HRESULT OnValue(long value) = 0;
};

inline constexpr IID IID_ITestCounter = qv::MakeGuid("6A1C0D2E-3B4F-4E5A-9C8B-7D6E5F4A3B21");
inline constexpr IID IID_ITestEvents = qv::MakeGuid("6A1C0D2E-3B4F-4E5A-9C8B-7D6E5F4A3B22");
// Aggregatable, with a connection point for ITestEvents.
inline constexpr CLSID CLSID_TestCounter = qv::MakeGuid("6A1C0D2E-3B4F-4E5A-9C8B-7D6E5F4A3B31");
// Neither aggregatable nor a connection-point source.
inline constexpr CLSID CLSID_TestPlain = qv::MakeGuid("6A1C0D2E-3B4F-4E5A-9C8B-7D6E5F4A3B32");

#define TEST_COUNTER_PROGID L"Qovaro.Test.Counter"
#define TEST_PLAIN_PROGID L"Qovaro.Test.Plain"

// Extra exports of the test server: how often an object of it reached its final release, and
// its own application lock.
using PFN_TESTCOUNT = long (*)();
using PFN_TESTLOCK = void (*)(BOOL);
