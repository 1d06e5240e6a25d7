#pragma once
// The data logger "Qovaro.QvDataLogger": collects the diagnostic entries of all modules.
#include "qvcom.h"

#define QVDATALOGGER_PROGID L"Qovaro.QvDataLogger"

// Levels of an entry.
#define QVDATALOGGER_INFO 2
#define QVDATALOGGER_WARNING 4
#define QVDATALOGGER_ERROR 8
#define QVDATALOGGER_DEBUG 32

struct IQvDataLogger : IUnknown {
    // One entry: the writer's source name, level, message GUID as text, text, thread id.
    virtual HRESULT WriteEntry(BSTR bstrSource, long lLevel, BSTR bstrMessageGUID, BSTR bstrText, long lThreadID) = 0;  // 3
};

inline constexpr IID IID_IQvDataLogger = qv::MakeGuid("CE9818D0-6438-4D21-8A0A-2224D993D1D6");
inline constexpr CLSID CLSID_QvDataLogger = qv::MakeGuid("6C3E9F41-2B7A-4D8E-9A51-3F0D7C2B8E02");
