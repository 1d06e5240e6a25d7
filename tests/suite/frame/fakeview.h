#pragma once
// Stand-ins for what the frame drives: a view and a server that write every call the frame makes
// into a log shared by the test.
#include "qvfint.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace frametest {

using CallLog = std::vector<std::string>;

class FakeServer : public IQvFInit {
public:
    FakeServer(std::string name, CallLog& log, CLSID clsid = GUID_NULL) : name_(std::move(name)), log_(log), clsid_(clsid) {}
    virtual ~FakeServer() = default;

    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IQvFInit) {
            *ppv = static_cast<IQvFInit*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ULONG(++refs); }
    ULONG Release() override {
        const long r = --refs;
        if (r == 0) log_.push_back(name_ + ":gone");
        return ULONG(r);
    }
    HRESULT CanLoad() override { return Log("CanLoad"); }
    HRESULT Init(BOOL b) override { return Log(b ? "Init(1)" : "Init(0)"); }
    HRESULT UpAndRunning() override { return Log("UpAndRunning"); }
    HRESULT AsyncInit() override { return Log("AsyncInit"); }
    HRESULT OnHostNotify() override { return S_OK; }
    HRESULT Close() override { return Log("Close"); }
    HRESULT ReleaseServers() override { return Log("ReleaseServers"); }
    HRESULT OnApplySecurity() override { return S_OK; }
    HRESULT GetClassID(GUID* p) override {
        *p = clsid_;
        return S_OK;
    }
    HRESULT GetProductVersion(WORD*, WORD*, WORD*, WORD*) override { return E_NOTIMPL; }
    HRESULT GetProgID(BSTR* p) override {
        *p = nullptr;
        return E_NOTIMPL;
    }
    HRESULT CreateSetupPage(int, IUnknown**) override { return S_FALSE; }
    HRESULT GetServerGUID(BSTR* p) override {
        *p = nullptr;
        return E_NOTIMPL;
    }
    HRESULT SetKeepAlive(BOOL) override { return S_OK; }
    HRESULT GetModuleFile(BSTR*, BSTR*, BSTR*, BSTR*) override { return E_NOTIMPL; }
    HRESULT put_ServerFlag(BOOL) override { return S_OK; }
    HRESULT get_ServerFlag(BOOL*) override { return S_OK; }
    HRESULT GetBuildConfiguration(BSTR* p) override {
        *p = nullptr;
        return E_NOTIMPL;
    }

    std::atomic<long> refs{1};

protected:
    HRESULT Log(const std::string& call) {
        log_.push_back(name_ + ":" + call);
        return S_OK;
    }
    std::string name_;
    CallLog& log_;
    CLSID clsid_;
};

class FakeView : public FakeServer, public IQvFViewControl {
public:
    FakeView(std::string name, CallLog& log, CLSID clsid, std::wstring caption)
        : FakeServer(std::move(name), log, clsid), caption_(std::move(caption)) {}

    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IQvFViewControl) {
            *ppv = static_cast<IQvFViewControl*>(this);
            AddRef();
            return S_OK;
        }
        return FakeServer::QueryInterface(iid, ppv);
    }
    ULONG AddRef() override { return FakeServer::AddRef(); }
    ULONG Release() override { return FakeServer::Release(); }

    HRESULT CreateView(HWND hParent) override {
        parent = hParent;
        return Log("CreateView");
    }
    HRESULT ShowView(BOOL b) override { return Log(b ? "ShowView(1)" : "ShowView(0)"); }
    HRESULT PreTranslateMessage(MSG*) override { return S_FALSE; }
    HRESULT GetPaneName(BSTR* p) override {
        *p = SysAllocString(L"PANE-0");
        return S_OK;
    }
    HRESULT GetGroupName(BSTR* p) override {
        *p = SysAllocString(L"Hauptmodule");
        return S_OK;
    }
    HRESULT GetImageList(HIMAGELIST* p, long* a, long* b) override {
        *p = nullptr;
        *a = *b = 0;
        return E_FAIL;
    }
    HRESULT GetCaption(BSTR* p) override {
        *p = SysAllocString(caption_.c_str());
        return S_OK;
    }
    HRESULT GetServerNameText(BSTR* p) override {
        *p = SysAllocString(caption_.c_str());
        return S_OK;
    }
    HRESULT GetViewValue(long* p) override {
        *p = 10;
        return S_OK;
    }
    HRESULT MoveView(RECT rc) override {
        lastMove = rc;
        return Log("MoveView");
    }

    IQvFInit* Init() { return static_cast<IQvFInit*>(this); }
    IUnknown* Identity() { return static_cast<IQvFInit*>(this); }

    HWND parent = nullptr;
    RECT lastMove{};

private:
    std::wstring caption_;
};

// Records what the frame tells its sinks.
class FakeSink : public IQvFControlSink, public IQvFServerListSink {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IQvFControlSink) {
            *ppv = static_cast<IQvFControlSink*>(this);
        } else if (iid == IID_IQvFServerListSink) {
            *ppv = static_cast<IQvFServerListSink*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT OnMenuNotify(BSTR b) override { return Take("notify", b); }
    HRESULT OnMenuCommand(BSTR b) override { return Take("command", b); }
    HRESULT OnAccelNotify(BSTR b) override { return Take("accelnotify", b); }
    HRESULT OnAccelCommand(BSTR b) override { return Take("accel", b); }
    HRESULT OnServerListChanged() override {
        ++listChanges;
        return S_OK;
    }

    IUnknown* Unknown() { return static_cast<IQvFControlSink*>(this); }

    std::vector<std::wstring> calls;
    int listChanges = 0;

private:
    HRESULT Take(const char* kind, BSTR b) {
        calls.push_back(std::wstring(kind, kind + strlen(kind)) + L":" + std::wstring(b, SysStringLen(b)));
        SysFreeString(b);
        return S_OK;
    }
};

}  // namespace frametest
