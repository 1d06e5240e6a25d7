#pragma once
// Helpers of the client tests: the suite's stand-in servers run in the test process as the host
// frame runs them, and a plain IEventSink that records what it receives.
#include "olevariant.h"
#include "qveventserver.h"
#include "qvrunning.h"
#include "scripted.h"
#include "serverhost.h"
#include "sync.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qvtest {

// Registers the server library (its DllRegisterServer) and runs the server of the ProgID as the
// host frame does. The caller's registry must be a temporary one.
inline HRESULT StartServer(const char* modulePath, LPCWSTR progId, IUnknown** server = nullptr) {
    void* module = dlopen(modulePath, RTLD_NOW | RTLD_LOCAL);
    if (!module) return CO_E_DLLNOTFOUND;
    auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
    HRESULT hr = registerServer ? registerServer() : CO_E_ERRORINDLL;
    if (FAILED(hr)) return hr;
    return qv::servers::StartRunningServer(progId, FALSE, server);
}

// A client test: a temporary registry, scripted message boxes (one not expected fails the test),
// and no running server left behind.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend.OnFailure([](const std::string& message) { ADD_FAILURE() << message; });
    }
    void TearDown() override { qv::RevokeAllRunningServers(); }

    TempDir dir;
    ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    qv::ScriptedInteraction backend;
    qv::ScopedInteraction interaction{&backend};
};

template <class I>
I* RunningServer(LPCWSTR progId, REFIID iid) {
    I* p = nullptr;
    if (FAILED(qv::QueryRunningServer(progId, iid, reinterpret_cast<void**>(&p)))) return nullptr;
    return p;
}

// Waits for a condition that another thread makes true, without spinning and without a fixed
// sleep; false when the time ran out.
inline bool WaitFor(std::mutex& m, std::condition_variable& cv, const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(m);
    return cv.wait_for(lock, timeout, condition);
}

// A plain IEventSink: records every list with the thread that delivered it.
class RecordingSink : public IEventSink {
public:
    struct List {
        DWORD thread = 0;
        std::vector<GUID> ids;
        std::vector<COleVariant> values;
    };

    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEventSink) {
            *ppv = static_cast<IEventSink*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ULONG(++m_refs); }
    ULONG Release() override { return ULONG(--m_refs); }  // lives on the test's stack

    HRESULT OnEvent(long count, GUID* ids, VARIANT* values) override {
        if (m_onEvent) m_onEvent(count, ids, values);
        List list;
        list.thread = GetCurrentThreadId();
        for (long i = 0; i < count; ++i) {
            list.ids.push_back(ids[i]);
            list.values.emplace_back(values[i]);
        }
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_lists.push_back(std::move(list));
        }
        m_changed.notify_all();
        return S_OK;
    }

    std::vector<List> Lists() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_lists;
    }
    // Events (not lists) received with this id.
    std::size_t Count(const GUID& id) {
        std::lock_guard<std::mutex> g(m_lock);
        std::size_t n = 0;
        for (const List& l : m_lists)
            for (const GUID& g2 : l.ids) n += g2 == id;
        return n;
    }
    bool WaitForCount(const GUID& id, std::size_t n) {
        return WaitFor(m_lock, m_changed, [&] {
            std::size_t c = 0;
            for (const List& l : m_lists)
                for (const GUID& g2 : l.ids) c += g2 == id;
            return c >= n;
        });
    }
    bool WaitForLists(std::size_t n) {
        return WaitFor(m_lock, m_changed, [&] { return m_lists.size() >= n; });
    }
    long Refs() const { return m_refs.load(); }
    // Runs inside OnEvent, before the list is recorded.
    void OnEventHook(std::function<void(long, GUID*, VARIANT*)> hook) { m_onEvent = std::move(hook); }

private:
    std::atomic<long> m_refs{1};
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<List> m_lists;
    std::function<void(long, GUID*, VARIANT*)> m_onEvent;
};

inline long ValueOf(const VARIANT& v) { return v.vt == VT_I4 ? long(v.lVal) : -1; }

}  // namespace qvtest
