// The help server "Qovaro.QvHelpServer". Help topics are HTML files of the installation, one per
// topic, named after the topic (the case of the name does not matter); their first paragraph is
// the short text that tooltips show. Showing a topic opens its file in the desktop's browser;
// without a display (tests, servers) the request is recorded instead.
//
// The files are looked for in the folder named by the registry value
// HKCU\Software\Qovaro\QvHelpServer "HelpPath", else in the folder "help" next to this library.
#include "serverbase.h"
#include "qvhelpserver.h"
#include "qvregistry.h"
#include "textcase.h"
#include "trace.h"
#include "utf.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::wstring RegistryHelpPath() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Qovaro\\QvHelpServer", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    std::wstring result;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"HelpPath", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(wchar_t)) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key, L"HelpPath", nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()), &size) ==
            ERROR_SUCCESS)
            result = buffer.data();
    }
    RegCloseKey(key);
    return result;
}

std::string HelpFolder() {
    std::wstring configured = RegistryHelpPath();
    if (!configured.empty()) return qv::ToUtf8(configured);
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&HelpFolder), &info) || !info.dli_fname) return "help";
    std::string module = info.dli_fname;
    auto slash = module.rfind('/');
    return (slash == std::string::npos ? std::string(".") : module.substr(0, slash)) + "/help";
}

// The file of a topic, or empty. Topics are plain names: no folders, nothing hidden.
std::string FindTopicFile(std::wstring_view topic) {
    if (topic.empty() || topic.find_first_of(L"/\\") != std::wstring_view::npos || topic.front() == L'.') return {};
    const std::string folder = HelpFolder();
    DIR* dir = opendir(folder.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* entry = readdir(dir)) {
        std::wstring name = qv::FromUtf8(entry->d_name);
        const std::wstring_view ext = L".html";
        if (name.size() <= ext.size() || qv::CompareNoCase(std::wstring_view(name).substr(name.size() - ext.size()), ext) != 0)
            continue;
        if (qv::CompareNoCase(std::wstring_view(name).substr(0, name.size() - ext.size()), topic) == 0) {
            found = folder + "/" + entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void AppendEntity(std::string& out, const std::string& entity) {
    static const struct {
        const char* name;
        const char* text;
    } kEntities[] = {{"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"#39", "'"}, {"nbsp", " "}};
    for (const auto& e : kEntities) {
        if (entity == e.name) {
            out += e.text;
            return;
        }
    }
    out += "&" + entity + ";";
}

// The text of the first <p> element: tags dropped, entities resolved, white space collapsed.
std::string FirstParagraph(const std::string& html) {
    std::size_t pos = 0;
    for (;;) {
        pos = html.find("<p", pos);
        if (pos == std::string::npos) return {};
        const char after = pos + 2 < html.size() ? html[pos + 2] : '\0';
        if (after == '>' || after == ' ' || after == '\t' || after == '\n' || after == '\r') break;
        pos += 2;
    }
    std::size_t start = html.find('>', pos);
    if (start == std::string::npos) return {};
    std::size_t end = html.find("</p>", start);
    if (end == std::string::npos) end = html.size();
    std::string out;
    bool space = false;
    for (std::size_t i = start + 1; i < end; ++i) {
        char c = html[i];
        if (c == '<') {
            std::size_t close = html.find('>', i);
            if (close == std::string::npos || close > end) break;
            i = close;
            continue;
        }
        if (c == '&') {
            std::size_t semi = html.find(';', i);
            if (semi != std::string::npos && semi < end && semi - i <= 8) {
                if (space && !out.empty()) out += ' ';
                space = false;
                AppendEntity(out, html.substr(i + 1, semi - i - 1));
                i = semi;
                continue;
            }
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            space = true;
            continue;
        }
        if (space && !out.empty()) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

bool DisplayPresent() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && (std::strcmp(platform, "offscreen") == 0 || std::strcmp(platform, "minimal") == 0)) return false;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

// Starts the desktop's opener for the file and does not wait for it: the grandchild is adopted
// by init, so no zombie is left behind.
bool OpenInDesktop(const std::string& file) {
    const char* argv[] = {"xdg-open", file.c_str(), nullptr};
    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (fork() == 0) {
            setsid();
            execvp(argv[0], const_cast<char* const*>(argv));
        }
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

HRESULT SetOut(BSTR* out, const std::wstring& text) {
    *out = SysAllocString(text.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

}  // namespace

class CQvHelpServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvHelpServer)
public:
    const CLSID& GetServerClassID() const override { return CLSID_QvHelpServer; }
    LPCWSTR GetServerProgID() const override { return QV_HELPSERVER_PROGID; }
    BEGIN_INTERFACE_PART(HelpServer, IQvHelpServer)
        HRESULT ShowHelp(BSTR topic) override;
        HRESULT GetHelpFile(BSTR topic, BSTR* file) override;
        HRESULT GetRecordedHelp(long index, BSTR* file) override;
        HRESULT GetHelpText(BSTR key1, BSTR key2, BSTR* text) override;
    END_INTERFACE_PART(HelpServer)

    DECLARE_INTERFACE_MAP()

private:
    std::mutex m_lock;
    std::vector<std::wstring> m_recorded;
};

IMPLEMENT_DYNCREATE(CQvHelpServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvHelpServer, CQvStandInServer)
    INTERFACE_PART(CQvHelpServer, IID_IQvHelpServer, HelpServer)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvHelpServer, HelpServer)

HRESULT CQvHelpServer::XHelpServer::ShowHelp(BSTR topic) {
    METHOD_PROLOGUE(CQvHelpServer, HelpServer)
    const std::string file = FindTopicFile(Text(topic));
    if (file.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (DisplayPresent()) return OpenInDesktop(file) ? S_OK : E_FAIL;
    std::lock_guard<std::mutex> g(pThis->m_lock);
    pThis->m_recorded.push_back(qv::FromUtf8(file));
    OutputDebugStringW((L"QvHelpServer: no display, help recorded: " + qv::FromUtf8(file) + L"\n").c_str());
    return S_OK;
}

HRESULT CQvHelpServer::XHelpServer::GetHelpFile(BSTR topic, BSTR* file) {
    if (!file) return E_POINTER;
    const std::string path = FindTopicFile(Text(topic));
    HRESULT hr = SetOut(file, qv::FromUtf8(path));
    return FAILED(hr) ? hr : path.empty() ? S_FALSE : S_OK;
}

HRESULT CQvHelpServer::XHelpServer::GetRecordedHelp(long index, BSTR* file) {
    METHOD_PROLOGUE(CQvHelpServer, HelpServer)
    if (!file) return E_POINTER;
    std::lock_guard<std::mutex> g(pThis->m_lock);
    const bool inside = index >= 0 && std::size_t(index) < pThis->m_recorded.size();
    HRESULT hr = SetOut(file, inside ? pThis->m_recorded[std::size_t(index)] : std::wstring());
    return FAILED(hr) ? hr : inside ? S_OK : S_FALSE;
}

HRESULT CQvHelpServer::XHelpServer::GetHelpText(BSTR key1, BSTR key2, BSTR* text) {
    if (!text) return E_POINTER;
    std::string file = FindTopicFile(Text(key1));
    if (file.empty()) file = FindTopicFile(Text(key2));
    const std::wstring paragraph = file.empty() ? std::wstring() : qv::FromUtf8(FirstParagraph(ReadFile(file)));
    HRESULT hr = SetOut(text, paragraph);
    return FAILED(hr) ? hr : paragraph.empty() ? S_FALSE : S_OK;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_QvHelpServer, CQvHelpServer, QV_HELPSERVER_PROGID, AfxDllCanUnloadNow())
