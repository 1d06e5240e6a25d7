#include "qvrunning.h"
#include "textcase.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Table {
    std::mutex mu;
    std::map<std::wstring, IUnknown*> servers;  // by upper-case ProgID
};

Table& TheTable() {
    static Table* t = new Table;  // never destroyed: servers must not be released after their modules unload
    return *t;
}

}  // namespace

namespace qv {

HRESULT RegisterRunningServer(LPCWSTR progId, IUnknown* server) {
    if (!progId || !*progId || !server) return E_INVALIDARG;
    server->AddRef();
    IUnknown* old = nullptr;
    {
        Table& t = TheTable();
        std::lock_guard<std::mutex> lock(t.mu);
        IUnknown*& slot = t.servers[qv::ToUpper(progId)];
        old = slot;
        slot = server;
    }
    if (old) old->Release();
    return S_OK;
}

HRESULT RevokeRunningServer(LPCWSTR progId) {
    if (!progId) return E_INVALIDARG;
    IUnknown* old = nullptr;
    {
        Table& t = TheTable();
        std::lock_guard<std::mutex> lock(t.mu);
        auto it = t.servers.find(qv::ToUpper(progId));
        if (it == t.servers.end()) return S_FALSE;
        old = it->second;
        t.servers.erase(it);
    }
    old->Release();
    return S_OK;
}

void RevokeAllRunningServers() {
    std::map<std::wstring, IUnknown*> all;
    {
        Table& t = TheTable();
        std::lock_guard<std::mutex> lock(t.mu);
        all.swap(t.servers);
    }
    for (auto& [name, server] : all) server->Release();
}

HRESULT QueryRunningServer(LPCWSTR progId, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!progId) return E_FAIL;
    IUnknown* server = nullptr;
    {
        Table& t = TheTable();
        std::lock_guard<std::mutex> lock(t.mu);
        auto it = t.servers.find(qv::ToUpper(progId));
        if (it == t.servers.end()) return E_FAIL;
        server = it->second;
        server->AddRef();  // keeps it alive should it be revoked while we ask it
    }
    HRESULT hr = server->QueryInterface(iid, ppv);
    server->Release();
    return hr;
}

}  // namespace qv
