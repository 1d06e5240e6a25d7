#pragma once
// CReportEnumImp: the reports of one profile as the database lists them (profile "Qovaro.QvPool"),
// handed out one at a time through IReportEnum.
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcmdtarget.h"
#include "qvguid.h"
#include "qvreportserver.h"

class CReportEnumImp : public CCmdTarget {
public:
    explicit CReportEnumImp(const CQvGUID& guidProfile);
    ~CReportEnumImp() override;

    // A new enumerator of the profile's reports, with the only reference; null without memory.
    static IReportEnum* Create(const CQvGUID& guidProfile);

protected:
    // Runs the query on first use.
    HRESULT Open();
    HRESULT Close();

    CQvGUID m_guidProfile;
    CQvADOConnection m_connection;
    CQvADORecordset* m_pRecordset = nullptr;
    BOOL m_bOpened = FALSE;
    BOOL m_bEOF = TRUE;

    BEGIN_INTERFACE_PART(ReportEnum, IReportEnum)
        HRESULT Next(ULONG celt, BSTR* pbstrReport, BSTR* pbstrLabel, BSTR* pbstrHelpID, GUID* pguidReport,
                     ULONG* pceltFetched) override;
        HRESULT Skip(ULONG celt) override;
        HRESULT Reset() override;
        HRESULT Clone(IReportEnum** ppEnum) override;
    END_INTERFACE_PART(ReportEnum)

    DECLARE_INTERFACE_MAP()
};
