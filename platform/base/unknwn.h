#pragma once
// IUnknown, the root of every interface. The COM layer builds on it; VARIANT needs it to hold
// references. Slot order: QueryInterface, AddRef, Release.
#include "guid.h"
#include "qvtypes.h"

struct IUnknown {
    virtual HRESULT QueryInterface(const IID& riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

// Declared by the COM layer, derived from IUnknown as its only base, so that an IDispatch* and the
// IUnknown* of the same object are the same address.
struct IDispatch;

inline constexpr IID IID_IUnknown = qv::MakeGuid("00000000-0000-0000-C000-000000000046");
