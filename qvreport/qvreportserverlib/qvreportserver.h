#pragma once
// The report server "Qovaro.QvReportServer": report objects that run one report of the suite with
// named parameters, and the list of the reports of a profile.
#include "oleauto.h"
#include "qvcom.h"

#define QV_REPORTSERVER_PROGID L"Qovaro.QvReportServer"

// The reports of a profile, one at a time.
struct IReportEnum : IUnknown {
    // celt must be 1. S_OK with the next report (the three texts new BSTRs the caller frees),
    // S_FALSE at the end of the list.
    virtual HRESULT Next(ULONG celt, BSTR* pbstrReport, BSTR* pbstrLabel, BSTR* pbstrHelpID, GUID* pguidReport,
                         ULONG* pceltFetched) = 0;  // 3
    virtual HRESULT Skip(ULONG celt) = 0;            // 4
    // The next Next reads the list again.
    virtual HRESULT Reset() = 0;                     // 5
    virtual HRESULT Clone(IReportEnum** ppEnum) = 0; // 6
};

// One report run: select the report, set its parameters, run it.
struct IQvReport : IUnknown {
    virtual HRESULT SetParameter(BSTR bstrName, long lValue) = 0;            // 3
    virtual HRESULT SetParameterText(BSTR bstrName, BSTR bstrValue) = 0;     // 4
    virtual HRESULT ClearParameters() = 0;                                   // 5
    virtual HRESULT GetParameterCount(long* plCount) = 0;                    // 6
    // E_INVALIDARG for a report the database does not know.
    virtual HRESULT SelectReport(GUID guidReport) = 0;                       // 7
    virtual HRESULT GetReportName(BSTR* pbstrName) = 0;                      // 8
    // The file of the last run; empty before.
    virtual HRESULT GetOutputFile(BSTR* pbstrFile) = 0;                      // 9
    virtual HRESULT Reserved10() = 0;
    virtual HRESULT Reserved11() = 0;
    // Writes the report and shows it to the user; fails when it cannot be shown.
    virtual HRESULT Run() = 0;                                               // 12
    // Writes the report file only.
    virtual HRESULT Export() = 0;                                            // 13
};

struct IQvReportServer : IUnknown {
    virtual HRESULT CreateReport(IQvReport** ppReport) = 0;                  // 3
    // The reports of the profile, ordered by label and report name.
    virtual HRESULT EnumReports(GUID guidProfile, IReportEnum** ppEnum) = 0; // 4
    // The folder the report files are written to.
    virtual HRESULT GetReportFolder(BSTR* pbstrFolder) = 0;                  // 5
};

inline constexpr IID IID_IReportEnum = qv::MakeGuid("2482B9BC-6197-4224-B88E-A882BC2C0713");
inline constexpr IID IID_IQvReportServer = qv::MakeGuid("F8906C4A-6209-4B8C-B6C5-75ED031A01FB");
inline constexpr IID IID_IQvReport = qv::MakeGuid("F8906C4B-6209-4B8C-B6C5-75ED031A01FB");
inline constexpr CLSID CLSID_QvReportServer = qv::MakeGuid("4A7B2D90-5C3E-4F61-9B08-1E6D2C7A3F55");
