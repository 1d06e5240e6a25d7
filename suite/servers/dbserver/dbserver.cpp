#include "dbserver.h"
#include "adoclass.h"
#include "adoconnection.h"
#include "dbfile.h"
#include "qvdbsettings.h"
#include "qvhrtrace.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "trace.h"
#include "utf.h"

#include <thread>

#include <sqlite3.h>

#include <mutex>
#include <set>

IMPLEMENT_DYNCREATE(CQvDBServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvDBServer, CQvStandInServer)
    INTERFACE_PART(CQvDBServer, IID_IQvDBServer, DBServer)
    INTERFACE_PART(CQvDBServer, IID_IQvDBConnectionInfo, ConnectionInfo)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvDBServer, DBServer)
IMPLEMENT_IUNKNOWN(CQvDBServer, ConnectionInfo)

namespace {

constexpr const wchar_t* kSource = L"qvdbserver";
constexpr const wchar_t* kBaseKey = L"Software\\Qovaro\\QvDBServer";
constexpr const wchar_t* kDefaultProfile = L"Qovaro.NQ2";

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

void Trace(const CString& message) {
    CString line;
    line.Format(L"QvDBServer: %s\n", message);
    OutputDebugStringW(line);
}

// The file of an SQLite connection string; empty for other databases and for memory.
std::string SqliteFile(const std::string& cs) {
    std::string lower;
    for (char c : cs.substr(0, 7)) lower += (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    if (lower != "sqlite:") return {};
    std::string rest = cs.substr(7);
    if (rest.rfind("//", 0) == 0) rest.erase(0, 2);
    return rest == ":memory:" ? std::string() : rest;
}

}  // namespace

CQvDBServer::CQvDBServer() { qv::suite::InstallSuiteDatabase(); }

std::wstring CQvDBServer::ConnectionStringOf(const std::wstring& profile) {
    const std::wstring key = std::wstring(kBaseKey) + L"\\" + profile;
    const CString value = QvDBReadSetting(CString(key.c_str()), L"DBConnection", CString());
    if (!value.IsEmpty()) return value.wstr();
    if (CString(profile.c_str()).CompareNoCase(kDefaultProfile) == 0) {
        return L"sqlite:" + qv::FromUtf8(QvStandInDataHome()) + L"/qovaro/nq2.sqlite";
    }
    return {};
}

HRESULT CQvDBServer::OnInit(BOOL) {
    qv::suite::InstallSuiteDatabase();
    return S_OK;
}

bool CQvDBServer::MayCreate(const std::wstring& profile) {
    const CString key = (std::wstring(kBaseKey) + L"\\" + profile).c_str();
    if (QvDBReadSetting(key, L"DBConnection", CString()).IsEmpty())
        return CString(profile.c_str()).CompareNoCase(kDefaultProfile) == 0;
    return QvDBReadSetting(key, L"CreateDatabase", 0L) != 0;
}

HRESULT CQvDBServer::PrepareDatabase(const std::string& connectionString, bool create) {
    static std::mutex lock;
    static std::set<std::string> prepared;
    std::lock_guard g(lock);
    if (prepared.count(connectionString)) return S_OK;
    if (const std::string file = SqliteFile(connectionString); !file.empty()) {
        std::string error;
        if (!qv::suite::PrepareSuiteDatabase(file, create, nullptr, &error)) {
            Trace(CString(error.c_str()));
            return E_FAIL;
        }
    }
    prepared.insert(connectionString);
    return S_OK;
}

CQvDBServer::~CQvDBServer() {
    for (auto& [thread, pConnection] : m_failed) pConnection->Release();
}

void CQvDBServer::KeepFailed(_Connection* pConnection) {
    std::lock_guard g(m_failedLock);
    const auto it = m_failed.find(std::this_thread::get_id());
    if (it != m_failed.end()) {
        it->second->Release();
        m_failed.erase(it);
    }
    if (pConnection) m_failed.emplace(std::this_thread::get_id(), pConnection);
}

HRESULT CQvDBServer::XDBServer::GetConnection(BSTR bstrProfile, long, _Connection** ppConnection) {
    METHOD_PROLOGUE(CQvDBServer, DBServer)
    if (!ppConnection) return E_POINTER;
    *ppConnection = nullptr;
    pThis->KeepFailed(nullptr);
    const std::wstring profile = Text(bstrProfile);
    // The profile's values are kept per process and read anew only after a registry write.
    const QvDBSettingsScope settings;
    const std::wstring cs = ConnectionStringOf(profile);
    if (cs.empty()) {
        Trace(CString(L"profile '") + profile.c_str() + L"' has no DBConnection");
        return QV_TRACEHR(kSource, E_FAIL);
    }
    HRESULT hr = pThis->PrepareDatabase(qv::ToUtf8(cs), MayCreate(profile));
    if (FAILED(hr)) return QV_TRACEHR(kSource, hr);

    _Connection* conn = nullptr;
    hr = qv::ado::CreateInstance(CLSID_Connection, nullptr, IID__Connection, reinterpret_cast<void**>(&conn));
    if (FAILED(hr)) return QV_TRACEHR(kSource, hr);
    // The connection is made within the profile's command timeout, as its statements run.
    conn->put_CommandTimeout(QvDBGetDefaultCommandTimeout(CString(profile), 0));
    BSTR bstrCs = SysAllocStringLen(cs.data(), static_cast<UINT>(cs.size()));
    hr = conn->Open(bstrCs, nullptr, nullptr, 0);
    SysFreeString(bstrCs);
    if (FAILED(hr)) {
        pThis->KeepFailed(conn);
        return QV_TRACEHR(kSource, hr);
    }
    *ppConnection = conn;
    return S_OK;
}

HRESULT CQvDBServer::XDBServer::ReleaseConnection(_Connection* pConnection, long) {
    if (!pConnection) return E_POINTER;
    long state = adStateClosed;
    HRESULT hr = pConnection->get_State(&state);
    if (SUCCEEDED(hr) && state != adStateClosed) hr = pConnection->Close();
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

HRESULT CQvDBServer::XDBServer::Reserved() { return E_NOTIMPL; }

HRESULT CQvDBServer::XDBServer::ReportConnectionErrors(_Connection*, BSTR bstrCodes) {
    Trace(CString(L"errors reported: ") + Text(bstrCodes).c_str());
    return S_OK;
}

HRESULT CQvDBServer::XConnectionInfo::GetTransactionDepth(_Connection* pConnection, long* plDepth) {
    if (!plDepth) return E_POINTER;
    *plDepth = 0;
    qv::ado::ConnectionImpl* impl = qv::ado::ConnectionImpl::From(pConnection);
    if (!impl) return E_INVALIDARG;
    if (impl->IsOpen()) *plDepth = impl->GetSession()->Depth();
    return S_OK;
}

HRESULT CQvDBServer::XConnectionInfo::TakeFailedConnection(_Connection** ppConnection) {
    METHOD_PROLOGUE(CQvDBServer, ConnectionInfo)
    if (!ppConnection) return E_POINTER;
    std::lock_guard g(pThis->m_failedLock);
    const auto it = pThis->m_failed.find(std::this_thread::get_id());
    *ppConnection = it != pThis->m_failed.end() ? it->second : nullptr;
    if (it != pThis->m_failed.end()) pThis->m_failed.erase(it);
    return *ppConnection ? S_OK : S_FALSE;
}

// Never: the suite's database functions and procedures it installed into the engine live in a
// library it brought along, and every later connection of the process calls them.
QV_STANDIN_SERVER_EXPORTS(CLSID_QvDBServer, CQvDBServer, QVDBSERVER_PROGID, S_FALSE)
