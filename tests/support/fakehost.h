#pragma once
// A host frame that offers a chosen list of server classes, and servers registered as its running
// servers for the time of a test, for the tests of the clients that reach the suite's servers
// through the frame.
#include "oleauto.h"
#include "qvcomserver.h"
#include "qvfinit.h"
#include "qvregistry.h"
#include "qvrunning.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

namespace qvtest {

// IUnknown and one more interface on a stack object; the count is only watched, never deletes.
template <class Interface, const IID& Iid>
class StackObject : public Interface {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == Iid) {
            *ppv = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    std::atomic<ULONG> refs{1};
};

class FakeFrame : public StackObject<IQvFServerList, IID_IQvFServerList> {
public:
    HRESULT Reserved() override { return E_NOTIMPL; }
    HRESULT ReleaseServer(CLSID) override { return S_OK; }
    HRESULT IsServerAvailable(CLSID clsid) override {
        std::lock_guard g(lock_);
        ++asked_;
        return offered_.count(clsid) ? S_OK : S_FALSE;
    }
    void Offer(const CLSID& clsid) {
        std::lock_guard g(lock_);
        offered_.insert(clsid);
    }
    int Asked() {
        std::lock_guard g(lock_);
        return asked_;
    }

private:
    std::mutex lock_;
    std::set<CLSID> offered_;
    int asked_ = 0;
};

// A running server of the host under a ProgID, for the time of a scope.
class ScopedRunningServer {
public:
    ScopedRunningServer(const wchar_t* progId, IUnknown* server) : progId_(progId) {
        qv::RegisterRunningServer(progId, server);
    }
    ~ScopedRunningServer() { qv::RevokeRunningServer(progId_.c_str()); }
    ScopedRunningServer(const ScopedRunningServer&) = delete;
    ScopedRunningServer& operator=(const ScopedRunningServer&) = delete;

private:
    std::wstring progId_;
};

// Writes HKCR\<progId>\CLSID, as a server's registration does, so CLSIDFromProgID finds it.
inline bool RegisterProgId(const wchar_t* progId, const CLSID& clsid) {
    const std::wstring key = std::wstring(progId) + L"\\CLSID";
    const std::wstring text = qv::GuidToString(clsid);
    return RegSetValueW(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

inline std::wstring Str(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

}  // namespace qvtest
