#include "framestartup.h"
#include "demodata.h"
#include "qvcomserver.h"
#include "qvregistry.h"
#include "qvregvalue.h"
#include "qvsecint.h"
#include "utf.h"

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <sstream>

#ifndef QV_FRAME_SERVER_MODULES
#define QV_FRAME_SERVER_MODULES ""
#endif
#ifndef QV_FRAME_MODULES
#define QV_FRAME_MODULES ""
#endif

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

bool QvFrameParseArguments(const std::vector<std::string>& args, QvFrameOptions& options, std::string* error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--db" && hasValue) {
            options.database = args[++i];
        } else if (arg == "--central") {
            options.central = true;
        } else if (arg == "--user" && hasValue) {
            options.user = args[++i];
        } else if (arg == "--screenshot" && hasValue) {
            options.screenshot = args[++i];
        } else if (arg == "--view" && hasValue) {
            options.view = args[++i];
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            if (error) *error = "unexpected argument '" + arg + "'";
            return false;
        }
    }
    return true;
}

std::string QvFrameUsage() {
    return "usage: qvframe [--db PATH] [--central] [--user NAME] [--view PROGID] [--screenshot FILE]\n"
           "  --db PATH          the suite database (default: the demo database, made on first use)\n"
           "  --central          run as the central installation\n"
           "  --user NAME        the user to sign in (default: QV_USER, else Administrator)\n"
           "  --view PROGID      open the view of that ProgID and show it first\n"
           "  --screenshot FILE  render the main window after start-up into a PNG file and end\n";
}

std::string QvFrameDefaultDatabase() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        base = data;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = ".";
    return base + "/qovaro/nq2.sqlite";
}

bool QvFramePrepareDatabase(const QvFrameOptions& options, std::string* path, std::string* message) {
    namespace fs = std::filesystem;
    if (!options.database.empty()) {
        std::error_code ec;
        *path = fs::absolute(options.database, ec).string();
        if (!fs::exists(*path)) {
            if (message) *message = "the database " + *path + " does not exist";
            return false;
        }
        return true;
    }
    *path = QvFrameDefaultDatabase();
    if (fs::exists(*path)) return true;
    qv::suite::DemoFileOptions demo;
    demo.path = *path;
    qv::suite::DemoFileReport report;
    std::string error;
    if (qv::suite::MakeDemoDatabase(demo, &report, &error) != qv::suite::DemoFileResult::Built) {
        if (message) *message = "the demo database cannot be made: " + error;
        return false;
    }
    if (message) *message = "demo database made: " + *path;
    return true;
}

std::string QvFrameUser(const QvFrameOptions& options) {
    if (!options.user.empty()) return options.user;
    if (const char* user = std::getenv("QV_USER"); user && *user) return user;
    return "Administrator";
}

void QvFrameConfigure(const std::string& database, bool central) {
    const CString connection(qv::FromUtf8("sqlite:" + database));
    for (const wchar_t* profile : {L"Qovaro.NQ2", L"Qovaro.QvPool"}) {
        CQvRegistry::SetValue((CString(L"Software\\Qovaro\\QvDBServer\\") + profile).GetString(), L"DBConnection",
                              connection);
    }
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", DWORD(central ? 1 : 0), HKEY_LOCAL_MACHINE);
}

std::vector<std::pair<std::string, HRESULT>> QvFrameRegisterLibraries(const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, HRESULT>> failed;
    for (const std::string& path : paths) {
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            failed.emplace_back(path, CO_E_DLLNOTFOUND);
            continue;
        }
        auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllRegisterServer"));
        const HRESULT hr = registerServer ? registerServer() : CO_E_ERRORINDLL;
        if (FAILED(hr)) failed.emplace_back(path, hr);
        // Loaded again through the registry when its classes are made.
        dlclose(library);
    }
    return failed;
}

const std::vector<const wchar_t*>& QvFrameServerOrder() {
    static const std::vector<const wchar_t*> order = {
        L"Qovaro.QvDBServer",       L"Qovaro.QvDataLogger", L"Qovaro.QvEventServer", L"Qovaro.NQ2.OptionServer",
        L"Qovaro.NQ2.UserLog",      L"Qovaro.QvSecServer",  L"Qovaro.QvHelpServer",  L"Qovaro.QvScheduler",
        L"Qovaro.QvWebServer",      L"Qovaro.QvReportServer", L"Qovaro.NQ2.StartupServer"};
    return order;
}

void QvFrameStartServers(CQvFrameHost& host, const std::string& user) {
    for (const wchar_t* progId : QvFrameServerOrder()) {
        if (FAILED(host.StartServer(progId))) continue;
        if (CString(progId) == QVSECSERVER_PROGID) {
            IQvSecUser* pUser = nullptr;
            if (SUCCEEDED(QueryCOMServer(progId, IID_IQvSecUser, reinterpret_cast<void**>(&pUser))) && pUser) {
                BSTR bstrUser = CString(qv::FromUtf8(user)).AllocSysString();
                pUser->Logon(bstrUser);
                SysFreeString(bstrUser);
                pUser->Release();
            }
        }
    }
}

std::vector<CString> QvFrameOpenViews(CQvFrameHost& host) {
    CString list = L"Qovaro.NQ2.KursView";
    CQvRegistry::GetValue(L"Software\\Qovaro\\QvFrame", L"Views", list);
    std::vector<CString> opened;
    for (const std::string& progId : Split(list.ToUtf8(), ' ')) {
        const CString strProgID(qv::FromUtf8(progId));
        CLSID clsid{};
        if (FAILED(CLSIDFromProgID(strProgID, &clsid))) continue;
        if (SUCCEEDED(host.OpenView(strProgID))) opened.push_back(strProgID);
    }
    return opened;
}

std::vector<std::string> QvFrameServerLibraries() { return Split(QV_FRAME_SERVER_MODULES, ':'); }
std::vector<std::string> QvFrameModuleLibraries() { return Split(QV_FRAME_MODULES, ':'); }
