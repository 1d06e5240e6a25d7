#include "reportserver.h"
#include "oledate.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvguid.h"
#include "qvinteract.h"
#include "qvregvalue.h"
#include "qvsysinfo.h"
#include "reportenumimp.h"
#include "utf.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace {

constexpr const wchar_t* kKey = L"Software\\Qovaro\\QvReportServer";
constexpr const wchar_t* kProfile = L"Qovaro.QvPool";

std::string Html(const CString& text) {
    std::string out;
    for (char c : text.ToUtf8()) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

bool CanShowReports() {
    long lOpen = 1;
    CQvRegistry::GetValue(kKey, L"OpenReports", lOpen);
    if (lOpen == 0) return false;
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

// xdg-open processes that were still running when their report was taken as shown; each is
// collected once it has ended, at a later report, so that none is left waiting on this library.
std::mutex g_viewersLock;
std::vector<pid_t> g_viewers;

void CollectViewers() {
    std::lock_guard lock(g_viewersLock);
    std::erase_if(g_viewers, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

// Whether the desktop opened the file. xdg-open ends at once, with 0 when it handed the file to a
// program and with an error when no program takes it; with some desktops it stays until the
// viewer it started is closed, so one still running after a moment shows the file.
bool OpenInViewer(const std::string& file) {
    CollectViewers();
    pid_t pid = 0;
    char program[] = "xdg-open";
    std::string argument = file;
    char* argv[] = {program, argument.data(), nullptr};
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
    for (int waited = 0; waited < 1500; waited += 20) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::lock_guard lock(g_viewersLock);
    g_viewers.push_back(pid);
    return true;
}

// One report run.
class CQvReportObject : public CCmdTarget {
public:
    CQvReportObject() = default;

protected:
    HRESULT Write();

    CQvGUID m_guidReport;
    CString m_strReport;
    CString m_strLabel;
    CString m_strProfile;
    CString m_strOutputFile;
    std::vector<std::pair<CString, CString>> m_params;

    BEGIN_INTERFACE_PART(Report, IQvReport)
        HRESULT SetParameter(BSTR bstrName, long lValue) override;
        HRESULT SetParameterText(BSTR bstrName, BSTR bstrValue) override;
        HRESULT ClearParameters() override;
        HRESULT GetParameterCount(long* plCount) override;
        HRESULT SelectReport(GUID guidReport) override;
        HRESULT GetReportName(BSTR* pbstrName) override;
        HRESULT GetOutputFile(BSTR* pbstrFile) override;
        HRESULT Reserved10() override { return E_NOTIMPL; }
        HRESULT Reserved11() override { return E_NOTIMPL; }
        HRESULT Run() override;
        HRESULT Export() override;
    END_INTERFACE_PART(Report)

    DECLARE_INTERFACE_MAP()
};

BEGIN_INTERFACE_MAP(CQvReportObject, CCmdTarget)
    INTERFACE_PART(CQvReportObject, IID_IQvReport, Report)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvReportObject, Report)

CString Text(BSTR bstr) { return bstr ? CString(bstr, int(SysStringLen(bstr))) : CString(); }

HRESULT CQvReportObject::Write() {
    if (m_guidReport.IsNULL()) return E_FAIL;
    namespace fs = std::filesystem;
    const fs::path folder(CQvReportServer::ReportFolder().ToUtf8());
    const COleDateTime now = COleDateTime::GetCurrentTime();
    const std::string stem = (m_strReport.IsEmpty() ? CString(L"Bericht") : m_strReport).ToUtf8() + "_" +
                             now.Format(L"%Y%m%d-%H%M%S").ToUtf8();
    fs::path file = folder / (stem + ".html");
    for (int n = 2; fs::exists(file); ++n) file = folder / (stem + "_" + std::to_string(n) + ".html");

    std::ofstream out(file, std::ios::binary);
    if (!out) return E_ACCESSDENIED;
    out << "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << Html(m_strLabel)
        << "</title>\n<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
           "td,th{border:1px solid #999;padding:4px 10px;text-align:left}th{background:#e8e8e8}</style>\n"
           "</head>\n<body>\n<h1>"
        << Html(m_strLabel) << "</h1>\n<p>Bericht <b>" << Html(m_strReport) << "</b> aus dem Profil <b>"
        << Html(m_strProfile) << "</b>, erstellt am " << Html(now.Format(L"%d.%m.%Y um %H:%M:%S")) << " auf "
        << Html(QvGetComputerName()) << ".</p>\n<h2>Parameter</h2>\n";
    if (m_params.empty()) {
        out << "<p>Keine Parameter.</p>\n";
    } else {
        out << "<table>\n<tr><th>Name</th><th>Wert</th></tr>\n";
        for (const auto& [name, value] : m_params)
            out << "<tr><td>" << Html(name) << "</td><td>" << Html(value) << "</td></tr>\n";
        out << "</table>\n";
    }
    out << "</body>\n</html>\n";
    out.close();
    if (!out) return E_FAIL;
    m_strOutputFile = CString(qv::FromUtf8(file.string()));
    return S_OK;
}

HRESULT CQvReportObject::XReport::SetParameter(BSTR bstrName, long lValue) {
    METHOD_PROLOGUE(CQvReportObject, Report)
    CString value;
    value.Format(L"%d", lValue);
    pThis->m_params.emplace_back(Text(bstrName), value);
    return S_OK;
}

HRESULT CQvReportObject::XReport::SetParameterText(BSTR bstrName, BSTR bstrValue) {
    METHOD_PROLOGUE(CQvReportObject, Report)
    pThis->m_params.emplace_back(Text(bstrName), Text(bstrValue));
    return S_OK;
}

HRESULT CQvReportObject::XReport::ClearParameters() {
    METHOD_PROLOGUE(CQvReportObject, Report)
    pThis->m_params.clear();
    return S_OK;
}

HRESULT CQvReportObject::XReport::GetParameterCount(long* plCount) {
    METHOD_PROLOGUE(CQvReportObject, Report)
    if (!plCount) return E_POINTER;
    *plCount = long(pThis->m_params.size());
    return S_OK;
}

HRESULT CQvReportObject::XReport::SelectReport(GUID guidReport) {
    METHOD_PROLOGUE(CQvReportObject, Report)
    const CQvGUID guid(guidReport);
    if (guid.IsNULL()) return E_INVALIDARG;
    CQvADOConnection connection;
    HRESULT hr = connection.Open(kProfile, 0);
    if (FAILED(hr)) return hr;
    CString strSQL;
    strSQL.Format(L"SELECT r.strReport, r.strLabel, p.strName FROM view_QvReportServerReport r "
                  L"JOIN QvReportServerProfile p ON p.lQvReportServerProfileID = r.lQvReportServerProfileID "
                  L"WHERE r.guid = '%s'",
                  guid.GetGUID(TRUE));
    CQvADORecordset rs(&connection);
    hr = rs.OpenSQL(strSQL, 0, 1);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    if (SUCCEEDED(hr) && bEOF) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strReport", &pThis->m_strReport);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strLabel", &pThis->m_strLabel);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strName", &pThis->m_strProfile);
    rs.Close();
    connection.Close(0);
    if (SUCCEEDED(hr)) pThis->m_guidReport = guid;
    return hr;
}

HRESULT CQvReportObject::XReport::GetReportName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvReportObject, Report)
    if (!pbstrName) return E_POINTER;
    *pbstrName = pThis->m_strReport.AllocSysString();
    return S_OK;
}

HRESULT CQvReportObject::XReport::GetOutputFile(BSTR* pbstrFile) {
    METHOD_PROLOGUE(CQvReportObject, Report)
    if (!pbstrFile) return E_POINTER;
    *pbstrFile = pThis->m_strOutputFile.AllocSysString();
    return S_OK;
}

HRESULT CQvReportObject::XReport::Run() {
    METHOD_PROLOGUE(CQvReportObject, Report)
    if (pThis->m_guidReport.IsNULL()) return E_FAIL;
    const HRESULT hr = pThis->Write();
    if (FAILED(hr)) return hr;
    if (CanShowReports() && OpenInViewer(pThis->m_strOutputFile.ToUtf8())) return S_OK;
    // Nothing shows it: the report is made all the same, and the user learns where it lies.
    CString strText;
    strText.Format(L"Der Bericht \"%s\" konnte nicht angezeigt werden: kein Programm hat ihn geöffnet.\n\n"
                   L"Er ist gespeichert in der Datei\n%s",
                   pThis->m_strLabel.IsEmpty() ? pThis->m_strReport : pThis->m_strLabel, pThis->m_strOutputFile);
    ::MessageBox(nullptr, strText, L"Berichte", MB_OK | MB_ICONINFORMATION);
    return S_OK;
}

HRESULT CQvReportObject::XReport::Export() {
    METHOD_PROLOGUE(CQvReportObject, Report)
    return pThis->Write();
}

}  // namespace

IMPLEMENT_DYNCREATE(CQvReportServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvReportServer, CQvStandInServer)
    INTERFACE_PART(CQvReportServer, IID_IQvReportServer, ReportServer)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvReportServer, ReportServer)

CString CQvReportServer::ReportFolder() {
    CString folder;
    CQvRegistry::GetValue(kKey, L"ReportFolder", folder);
    if (folder.IsEmpty()) folder = CString(qv::FromUtf8(QvStandInDataHome("/tmp") + "/qovaro/reports"));
    std::error_code ec;
    std::filesystem::create_directories(folder.ToUtf8(), ec);
    return folder;
}

HRESULT CQvReportServer::XReportServer::CreateReport(IQvReport** ppReport) {
    if (!ppReport) return E_POINTER;
    auto* pObject = new CQvReportObject;
    const HRESULT hr = pObject->ExternalQueryInterface(&IID_IQvReport, reinterpret_cast<void**>(ppReport));
    pObject->InternalRelease();
    return hr;
}

HRESULT CQvReportServer::XReportServer::EnumReports(GUID guidProfile, IReportEnum** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = CReportEnumImp::Create(CQvGUID(guidProfile));
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT CQvReportServer::XReportServer::GetReportFolder(BSTR* pbstrFolder) {
    if (!pbstrFolder) return E_POINTER;
    *pbstrFolder = ReportFolder().AllocSysString();
    return S_OK;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_QvReportServer, CQvReportServer, QV_REPORTSERVER_PROGID, AfxDllCanUnloadNow())
