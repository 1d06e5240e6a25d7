#pragma once
// CQvReport: one report of the report server running in the host, with its named parameters.
#include "cstring.h"
#include "qvguid.h"
#include "qvobject.h"
#include "qvreportserver.h"

class CQvReport : public CObject {
public:
    // Creates the report object and selects the report; a failure is shown to the user and leaves
    // the object without a report, so that later calls fail.
    explicit CQvReport(const CQvGUID& guidReport);
    ~CQvReport() override;

    HRESULT SetParameter(const CString& strName, long lValue);
    // Runs the report; when that fails and bFallback is set, the second way of running it.
    HRESULT Run(BOOL bFallback);

    IQvReport* m_pReport = nullptr;
};
