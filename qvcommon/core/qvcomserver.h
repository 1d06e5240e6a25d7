#pragma once
// The host frame and the suite's servers it runs, as the modules reach them. The frame registers
// its own IUnknown in the running-server table under QV_FRAME_PROGID and each server it starts
// under the server's ProgID (qv::RegisterRunningServer); modules only look them up.
#include "qvcom.h"

#define QV_FRAME_PROGID L"Qovaro.QvFrame"

// The running server of that ProgID with a reference on its interface iid. E_FAIL when no host
// frame offers the server, E_NOINTERFACE when it lacks the interface; *ppv is null then.
HRESULT QueryCOMServer(LPCWSTR lpszProgID, REFIID iid, void** ppv);

// The host frame's IUnknown with a reference; E_FAIL when no frame runs in this process.
HRESULT GetFrameIUnk(IUnknown** ppUnk);

// TRUE when a server of that ProgID runs.
BOOL QvIsCOMServerLoaded(LPCWSTR lpszProgID);
