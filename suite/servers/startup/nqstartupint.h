#pragma once
// The start-up progress server: a module tells it the step it is in while the host frame starts
// it ("Lade Modul Ausbildung", "Erstelle Modul Ausbildung", ...).
#include "qvcom.h"

struct INQStartupServer : IUnknown {
    virtual HRESULT SetProgressText(BSTR bstrText) = 0;  // 3
};

inline constexpr IID IID_INQStartupServer = qv::MakeGuid("8A5F8DD0-486B-4B06-B4E6-50AF97E3F567");
inline constexpr CLSID CLSID_NQStartupServer = qv::MakeGuid("5C0E6F2A-3D41-4B7A-9E15-6A2C8B4D7F30");
#define NQ_STARTUPSERVER_PROGID L"Qovaro.NQ2.StartupServer"
