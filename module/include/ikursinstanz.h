#pragma once
// IKursinstanz: the course window's interface on its runs. While the course window runs it is
// found through QueryCOMServer under the course view's ProgID.
#include "oleauto.h"
#include "qvcom.h"

#define KURSVIEW_PROGID L"Qovaro.NQ2.KursView"

// Fill level of a run: below the warning percentage (or no maximum), at or above it, full.
enum EFillLevelState : long { eFillLevelNormal = 1, eFillLevelWarning = 2, eFillLevelFull = 3 };

struct IKursinstanz : IUnknown {
    virtual HRESULT Reserved3() = 0;  // 3
    virtual HRESULT Reserved4() = 0;  // 4
    // From the course window's fill-level cache: S_OK with the state, the count and the maximum;
    // S_FALSE (out values untouched) when the run is not in the cache.
    virtual HRESULT GetFillLevel(GUID guidKursinstanz, long* plState, long* plCount, long* plMaximum) = 0;  // 5
};

inline constexpr IID IID_IKursinstanz = qv::MakeGuid("4C08B92B-D73E-41A4-A3F9-92257FBDFBF4");
