// The web server "Qovaro.QvWebServer": HTTP/1.1 on the loopback interface only, on the port of the
// registry value HKCU\Software\Qovaro\QvWebServer "Port" (DWORD; 0 takes any free port), default
// 8730. Each request goes to the registered web extensions in the order they registered, until one
// of them takes it: the command is the request path without its leading '/', the names and values
// are the query parameters in their order. The self-test driver of the suite talks to the modules
// this way.
#include "serverbase.h"
#include "qvregistry.h"
#include "qvwebserver.h"
#include "trace.h"
#include "utf.h"

#include "httpserver.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kDefaultPort = 8730;

DWORD ConfiguredPort() {
    DWORD port = kDefaultPort;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Qovaro\\QvWebServer", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD value = 0;
        DWORD type = 0;
        DWORD size = sizeof(value);
        if (RegQueryValueExW(key, L"Port", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) == ERROR_SUCCESS &&
            type == REG_DWORD && value <= 65535)
            port = value;
        RegCloseKey(key);
    }
    return port;
}

void Trace(const std::wstring& text) { OutputDebugStringW((L"QvWebServer: " + text + L"\n").c_str()); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Decode(std::string_view s, bool plusIsSpace) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            int hi = HexDigit(s[i + 1]);
            int lo = HexDigit(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += plusIsSpace && s[i] == '+' ? ' ' : s[i];
    }
    return out;
}

struct Parameter {
    std::wstring name;
    std::wstring value;
};

std::vector<Parameter> ParseQuery(std::string_view query) {
    std::vector<Parameter> result;
    while (!query.empty()) {
        auto amp = query.find('&');
        std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) continue;
        auto eq = pair.find('=');
        Parameter p;
        p.name = qv::FromUtf8(Decode(pair.substr(0, eq), true));
        if (eq != std::string_view::npos) p.value = qv::FromUtf8(Decode(pair.substr(eq + 1), true));
        result.push_back(std::move(p));
    }
    return result;
}

// The reply of an extension: UTF-16 units, size in bytes.
std::string Utf16ToUtf8(const void* buffer, long size) {
    if (!buffer || size <= 0) return {};
    const auto* units = static_cast<const char16_t*>(buffer);
    const std::size_t count = std::size_t(size) / sizeof(char16_t);
    std::wstring text;
    text.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        text += wchar_t(c);
    }
    return qv::ToUtf8(text);
}

class BstrList {
public:
    explicit BstrList(std::size_t n) : m_items(n, nullptr) {}
    ~BstrList() {
        for (BSTR b : m_items) SysFreeString(b);
    }
    BstrList(const BstrList&) = delete;
    BstrList& operator=(const BstrList&) = delete;
    BSTR& operator[](std::size_t i) { return m_items[i]; }
    BSTR* data() { return m_items.empty() ? nullptr : m_items.data(); }

private:
    std::vector<BSTR> m_items;
};

// The registered extensions, shared with the request threads.
class Extensions {
public:
    ~Extensions() {
        for (IQvWebExt* e : m_list) e->Release();
    }

    HRESULT Add(IQvWebExt* ext) {
        std::lock_guard<std::mutex> g(m_lock);
        for (IQvWebExt* e : m_list) {
            if (e == ext) {
                ext->Release();
                return S_OK;
            }
        }
        m_list.push_back(ext);
        return S_OK;
    }

    HRESULT Remove(IQvWebExt* ext) {
        IQvWebExt* found = nullptr;
        {
            std::lock_guard<std::mutex> g(m_lock);
            for (auto it = m_list.begin(); it != m_list.end(); ++it) {
                if (*it == ext) {
                    found = *it;
                    m_list.erase(it);
                    break;
                }
            }
        }
        if (!found) return S_FALSE;
        found->Release();
        return S_OK;
    }

    qvweb::HttpResponse Handle(const qvweb::HttpRequest& req) {
        qvweb::HttpResponse res;
        // One request at a time: the modules' extensions are not written for parallel calls.
        std::lock_guard<std::mutex> serial(m_requestLock);
        std::vector<IQvWebExt*> targets;
        {
            std::lock_guard<std::mutex> g(m_lock);
            targets = m_list;
            for (IQvWebExt* e : targets) e->AddRef();
        }

        std::string_view target = req.target;
        auto q = target.find('?');
        std::string path = Decode(target.substr(0, q), false);
        if (!path.empty() && path.front() == '/') path.erase(0, 1);
        std::vector<Parameter> params = ParseQuery(q == std::string_view::npos ? std::string_view() : target.substr(q + 1));

        BSTR command = SysAllocString(qv::FromUtf8(path).c_str());
        BSTR method = SysAllocString(qv::FromUtf8(req.method).c_str());
        BSTR body = SysAllocString(qv::FromUtf8(req.body).c_str());
        BstrList names(params.size());
        BstrList values(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            names[i] = SysAllocString(params[i].name.c_str());
            values[i] = SysAllocString(params[i].value.c_str());
        }

        HRESULT hr = S_FALSE;
        for (IQvWebExt* e : targets) {
            long size = 0;
            void* buffer = nullptr;
            hr = e->Request(command, long(params.size()), names.data(), values.data(), method, body, &size, &buffer);
            if (hr == S_OK) {
                res.status = 200;
                res.body = Utf16ToUtf8(buffer, size);
            }
            if (buffer) CoTaskMemFree(buffer);
            if (hr != S_FALSE) break;
        }
        if (hr == S_FALSE) {
            res.status = 404;
            res.body = "No extension takes this command.";
        } else if (FAILED(hr)) {
            char text[64];
            snprintf(text, sizeof text, "Extension failed: hr=0x%X", unsigned(hr));
            res.status = 500;
            res.body = text;
            Trace(qv::FromUtf8(text) + L" for " + qv::FromUtf8(path));
        }

        SysFreeString(command);
        SysFreeString(method);
        SysFreeString(body);
        for (IQvWebExt* e : targets) e->Release();
        return res;
    }

private:
    std::mutex m_lock;
    std::mutex m_requestLock;
    std::vector<IQvWebExt*> m_list;
};

}  // namespace

class CQvWebServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvWebServer)
public:
    const CLSID& GetServerClassID() const override { return CLSID_QvWebServer; }
    LPCWSTR GetServerProgID() const override { return QV_WEBSERVER_PROGID; }
    CQvWebServer();
    ~CQvWebServer() override;

    BEGIN_INTERFACE_PART(WebServer, IQvWebServer)
        HRESULT Register(IUnknown* extension) override;
        HRESULT Unregister(IUnknown* extension) override;
        HRESULT GetPort(long* port) override;
    END_INTERFACE_PART(WebServer)

    DECLARE_INTERFACE_MAP()

private:
    std::shared_ptr<Extensions> m_extensions = std::make_shared<Extensions>();
    std::unique_ptr<qvweb::HttpServer> m_http;
    int m_port = 0;
};

IMPLEMENT_DYNCREATE(CQvWebServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvWebServer, CQvStandInServer)
    INTERFACE_PART(CQvWebServer, IID_IQvWebServer, WebServer)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvWebServer, WebServer)

CQvWebServer::CQvWebServer() {
    std::shared_ptr<Extensions> extensions = m_extensions;
    m_http = std::make_unique<qvweb::HttpServer>(
        [extensions](const qvweb::HttpRequest& req) { return extensions->Handle(req); });
    const DWORD wanted = ConfiguredPort();
    m_port = m_http->Start("127.0.0.1", int(wanted));
    if (m_port == 0) Trace(L"cannot listen on 127.0.0.1 port " + std::to_wstring(wanted));
}

CQvWebServer::~CQvWebServer() { m_http->Stop(); }

HRESULT CQvWebServer::XWebServer::Register(IUnknown* extension) {
    METHOD_PROLOGUE(CQvWebServer, WebServer)
    if (!extension) return E_POINTER;
    IQvWebExt* ext = nullptr;
    HRESULT hr = extension->QueryInterface(IID_IQvWebExt, reinterpret_cast<void**>(&ext));
    if (FAILED(hr) || !ext) return FAILED(hr) ? hr : E_NOINTERFACE;
    return pThis->m_extensions->Add(ext);
}

HRESULT CQvWebServer::XWebServer::Unregister(IUnknown* extension) {
    METHOD_PROLOGUE(CQvWebServer, WebServer)
    if (!extension) return E_POINTER;
    IQvWebExt* ext = nullptr;
    HRESULT hr = extension->QueryInterface(IID_IQvWebExt, reinterpret_cast<void**>(&ext));
    if (FAILED(hr) || !ext) return S_FALSE;
    hr = pThis->m_extensions->Remove(ext);
    ext->Release();
    return hr;
}

HRESULT CQvWebServer::XWebServer::GetPort(long* port) {
    METHOD_PROLOGUE(CQvWebServer, WebServer)
    if (!port) return E_POINTER;
    *port = pThis->m_port;
    return pThis->m_port ? S_OK : E_FAIL;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_QvWebServer, CQvWebServer, QV_WEBSERVER_PROGID, AfxDllCanUnloadNow())
