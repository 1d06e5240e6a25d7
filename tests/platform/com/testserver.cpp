// An in-process server made the way the system's modules are made: command targets with
// interface maps, a connection point, class factories and the four exports.
#include "qvconnpt.h"
#include "qvfactory.h"
#include "testserver.h"

#include <atomic>

namespace {
std::atomic<long> g_finalReleases{0};
}

class CPlainCounter : public CCmdTarget {
    DECLARE_DYNCREATE(CPlainCounter)
public:
    long m_value = 0;

    void OnFinalRelease() override {
        ++g_finalReleases;
        CCmdTarget::OnFinalRelease();
    }

    BEGIN_INTERFACE_PART(Counter, ITestCounter)
        HRESULT Add(long n) override;
        HRESULT GetValue(long* value) override;
        HRESULT Fire() override;
    END_INTERFACE_PART(Counter)

    DECLARE_INTERFACE_MAP()

protected:
    virtual HRESULT FireValue() { return E_NOTIMPL; }
};

class CEventCounter : public CPlainCounter {
    DECLARE_DYNCREATE(CEventCounter)
public:
    CEventCounter() { EnableAggregation(); }

protected:
    HRESULT FireValue() override {
        m_cpEvents.ForEachSink<ITestEvents>([this](ITestEvents* sink) { sink->OnValue(m_value); });
        return S_OK;
    }

    CConnectionPointContainer m_xConnPtContainer{this};
    CConnectionPoint m_cpEvents{m_xConnPtContainer, IID_ITestEvents};

    DECLARE_INTERFACE_MAP()
};

IMPLEMENT_DYNCREATE(CPlainCounter, CCmdTarget)
IMPLEMENT_DYNCREATE(CEventCounter, CPlainCounter)

BEGIN_INTERFACE_MAP(CPlainCounter, CCmdTarget)
    INTERFACE_PART(CPlainCounter, IID_ITestCounter, Counter)
END_INTERFACE_MAP()

// The counter interface comes from the base class's map.
BEGIN_INTERFACE_MAP(CEventCounter, CPlainCounter)
    INTERFACE_PART(CEventCounter, IID_IConnectionPointContainer, ConnPtContainer)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CPlainCounter, Counter)

HRESULT CPlainCounter::XCounter::Add(long n) {
    METHOD_PROLOGUE(CPlainCounter, Counter)
    pThis->m_value += n;
    return S_OK;
}

HRESULT CPlainCounter::XCounter::GetValue(long* value) {
    METHOD_PROLOGUE(CPlainCounter, Counter)
    if (!value) return E_POINTER;
    *value = pThis->m_value;
    return S_OK;
}

HRESULT CPlainCounter::XCounter::Fire() {
    METHOD_PROLOGUE(CPlainCounter, Counter)
    return pThis->FireValue();
}

static COleObjectFactory g_counterFactory(CLSID_TestCounter, RUNTIME_CLASS(CEventCounter), FALSE, TEST_COUNTER_PROGID);
static COleObjectFactory g_plainFactory(CLSID_TestPlain, RUNTIME_CLASS(CPlainCounter), FALSE, TEST_PLAIN_PROGID);

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) { return AfxDllGetClassObject(rclsid, riid, ppv); }
STDAPI DllCanUnloadNow() { return AfxDllCanUnloadNow(); }
STDAPI DllRegisterServer() { return COleObjectFactory::UpdateRegistryAll(TRUE) ? S_OK : SELFREG_E_CLASS; }
STDAPI DllUnregisterServer() { return COleObjectFactory::UpdateRegistryAll(FALSE) ? S_OK : SELFREG_E_CLASS; }

extern "C" __attribute__((visibility("default"))) long TestServer_FinalReleases() { return g_finalReleases.load(); }
extern "C" __attribute__((visibility("default"))) void TestServer_LockApp(BOOL lock) {
    if (lock)
        AfxOleLockApp();
    else
        AfxOleUnlockApp();
}
