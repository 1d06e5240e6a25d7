#pragma once
// The report server "Qovaro.QvReportServer". It knows the reports of the suite's database
// (QvReportServerProfile, view_QvReportServerReport, profile "Qovaro.QvPool"); running a report
// writes its parameters once as an HTML report file into the report folder (HKCU
// "Software\Qovaro\QvReportServer" "ReportFolder", else $XDG_DATA_HOME/qovaro/reports) and opens it
// in the desktop's viewer. Opening needs a display and can be switched off ("OpenReports" 0); where
// nothing opens the file, running tells the user where it is. Exporting writes the file only.
#include "cstring.h"
#include "qvreportserver.h"
#include "serverbase.h"

class CQvReportServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvReportServer)
public:
    CQvReportServer() = default;

    // The folder the report files go to, created when missing.
    static CString ReportFolder();

protected:
    const CLSID& GetServerClassID() const override { return CLSID_QvReportServer; }
    LPCWSTR GetServerProgID() const override { return QV_REPORTSERVER_PROGID; }

    BEGIN_INTERFACE_PART(ReportServer, IQvReportServer)
        HRESULT CreateReport(IQvReport** ppReport) override;
        HRESULT EnumReports(GUID guidProfile, IReportEnum** ppEnum) override;
        HRESULT GetReportFolder(BSTR* pbstrFolder) override;
    END_INTERFACE_PART(ReportServer)

    DECLARE_INTERFACE_MAP()
};
