#include "qvcmdtarget.h"
#include "qvcom.h"
#include "qvconnpt.h"
#include "qvfactory.h"
#include "qvregistry.h"
#include "qvrunning.h"
#include "tempdir.h"
#include "testserver.h"
#include "utf.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- helpers --------------------------------------------------------------------------------

// A hand-made sink with an observable reference count.
class Sink : public ITestEvents {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_ITestEvents) {
            *ppv = static_cast<ITestEvents*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT OnValue(long v) override {
        values.push_back(v);
        return S_OK;
    }
    std::atomic<ULONG> refs{1};
    std::vector<long> values;
};

// An object that is not a sink of anything.
class Stranger : public IUnknown {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
};

class ComTest : public ::testing::Test {
protected:
    qvtest::TempDir dir;
    qvtest::ScopedEnv env{"QV_REGISTRY", dir.file("registry.db")};
    void TearDown() override { qv::RegistryReset(); }

    static std::wstring ReadDefault(const std::wstring& key, LPCWSTR value = nullptr) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return L"<no key>";
        wchar_t buf[1024] = {};
        DWORD cb = sizeof buf;
        LONG rc = RegQueryValueExW(h, value, nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), &cb);
        RegCloseKey(h);
        return rc == ERROR_SUCCESS ? buf : L"<no value>";
    }
    static void WriteDefault(const std::wstring& key, const std::wstring& text) {
        ASSERT_EQ(RegSetValueW(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, text.c_str(), 0), ERROR_SUCCESS);
    }
};

// The test server's state, looked up without keeping it loaded.
bool ServerLoaded() {
    void* h = dlopen(QV_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

template <class Fn>
Fn ServerExport(void* h, const char* name) {
    return reinterpret_cast<Fn>(dlsym(h, name));
}

HRESULT CallServer(const char* name) {
    void* h = dlopen(QV_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    if (!h) return E_UNEXPECTED;
    HRESULT hr = ServerExport<LPFNCANUNLOADNOW>(h, name)();
    dlclose(h);
    return hr;
}

long FinalReleases() {
    void* h = dlopen(QV_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    if (!h) return -1;
    long n = ServerExport<PFN_TESTCOUNT>(h, "TestServer_FinalReleases")();
    dlclose(h);
    return n;
}

// Registers the test server through its own export, as a setup tool would.
HRESULT RegisterServer(const char* exportName = "DllRegisterServer") {
    void* h = dlopen(QV_TEST_SERVER, RTLD_NOW);
    if (!h) return E_UNEXPECTED;
    HRESULT hr = ServerExport<LPFNCANUNLOADNOW>(h, exportName)();
    dlclose(h);
    return hr;
}

// ---- GUID text, allocator, apartments -------------------------------------------------------

TEST(GuidText, BracedFormsRoundTripAndBadTextIsRefused) {
    constexpr GUID g = qv::MakeGuid("99F1AB30-CB96-4DF2-99A9-0EDA0892C25B");
    wchar_t buf[39];
    EXPECT_EQ(StringFromGUID2(g, buf, 38), 0);
    ASSERT_EQ(StringFromGUID2(g, buf, 39), 39);
    EXPECT_STREQ(buf, L"{99F1AB30-CB96-4DF2-99A9-0EDA0892C25B}");

    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(g, &text), S_OK);
    EXPECT_STREQ(text, buf);
    CLSID back;
    ASSERT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_EQ(back, g);
    CoTaskMemFree(text);

    ASSERT_EQ(CLSIDFromString(L"{99f1ab30-cb96-4df2-99a9-0eda0892c25b}", &back), S_OK);
    EXPECT_EQ(back, g);
    IID iid;
    ASSERT_EQ(IIDFromString(L"{99F1AB30-CB96-4DF2-99A9-0EDA0892C25B}", &iid), S_OK);
    EXPECT_EQ(iid, g);

    const CLSID before = back;
    for (LPCOLESTR bad : {L"99F1AB30-CB96-4DF2-99A9-0EDA0892C25B", L"{99F1AB30-CB96-4DF2-99A9-0EDA0892C25B",
                          L"{99F1AB30-CB96-4DF2-99A9-0EDA0892C25X}", L" {99F1AB30-CB96-4DF2-99A9-0EDA0892C25B}",
                          L"{ 9F1AB30-CB96-4DF2-99A9-0EDA0892C25B}", L"", L"Qovaro.NQ2.KursView"}) {
        EXPECT_EQ(CLSIDFromString(bad, &back), CO_E_CLASSSTRING) << bad;
        EXPECT_EQ(back, before);
        EXPECT_EQ(IIDFromString(bad, &iid), E_INVALIDARG) << bad;
    }
    EXPECT_EQ(CLSIDFromString(nullptr, &back), CO_E_CLASSSTRING);
}

TEST(TaskAllocator, BlocksKeepSizeAndContentAndForeignPointersAreLeftAlone) {
    IMalloc* m = nullptr;
    EXPECT_EQ(CoGetMalloc(0, &m), E_INVALIDARG);
    EXPECT_EQ(m, nullptr);
    ASSERT_EQ(CoGetMalloc(MEMCTX_TASK, &m), S_OK);

    auto* p = static_cast<char*>(m->Alloc(6));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "hello", 6);
    EXPECT_EQ(m->GetSize(p), 6u);
    EXPECT_EQ(m->DidAlloc(p), 1);
    p = static_cast<char*>(CoTaskMemRealloc(p, 4096));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "hello");
    EXPECT_EQ(m->GetSize(p), 4096u);
    m->Free(p);

    void* q = CoTaskMemRealloc(nullptr, 10);  // a null block grows from nothing
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(CoTaskMemRealloc(q, 0), nullptr);  // and shrinking to nothing frees it
    CoTaskMemFree(nullptr);

    alignas(16) char foreign[64] = {};
    EXPECT_EQ(m->DidAlloc(foreign + 32), 0);
    CoTaskMemFree(foreign + 32);  // not ours: must not reach free()
    m->Release();
}

TEST(Apartments, InitialisationIsCountedPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    HRESULT other = E_FAIL;
    std::thread([&] {
        other = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CoUninitialize();
    }).join();
    EXPECT_EQ(other, S_OK);
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // one too many is harmless
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

// ---- class lookup ---------------------------------------------------------------------------

TEST_F(ComTest, UnknownAndBrokenRegistrationsGiveTheirCodes) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(L"Qovaro.Nothing", &clsid), CO_E_CLASSSTRING);
    WriteDefault(L"Qovaro.BadText\\CLSID", L"not a guid");
    EXPECT_EQ(CLSIDFromProgID(L"Qovaro.BadText", &clsid), CO_E_CLASSSTRING);
    LPOLESTR progId = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestCounter, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);

    IUnknown* obj = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&obj)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(obj, nullptr);

    const std::wstring key = L"CLSID\\" + qv::GuidToString(CLSID_TestCounter) + L"\\InProcServer32";
    WriteDefault(key, qv::FromUtf8(dir.file("missing.so")));
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&obj)),
              CO_E_DLLNOTFOUND);
    std::ofstream(dir.file("text.so")) << "not a library";
    WriteDefault(key, qv::FromUtf8(dir.file("text.so")));
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&obj)),
              CO_E_ERRORINDLL);
    WriteDefault(key, qv::FromUtf8(QV_NOT_A_SERVER));  // a real library without DllGetClassObject
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&obj)),
              CO_E_ERRORINDLL);

    // Registered properly, but asked for an out-of-process server only.
    WriteDefault(key, qv::FromUtf8(QV_TEST_SERVER));
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&obj)),
              REGDB_E_CLASSNOTREG);
    // A class the library does not have.
    const CLSID other = qv::MakeGuid("6A1C0D2E-3B4F-4E5A-9C8B-7D6E5F4A3B99");
    WriteDefault(L"CLSID\\" + qv::GuidToString(other) + L"\\InProcServer32", qv::FromUtf8(QV_TEST_SERVER));
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&obj)),
              CLASS_E_CLASSNOTAVAILABLE);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());
}

// ---- the test server ------------------------------------------------------------------------

TEST_F(ComTest, RegistrationWritesTheStandardKeysAndUnregisteringTwiceIsFine) {
    ASSERT_EQ(RegisterServer(), S_OK);
    const std::wstring counter = L"CLSID\\" + qv::GuidToString(CLSID_TestCounter);
    const std::wstring plain = L"CLSID\\" + qv::GuidToString(CLSID_TestPlain);
    const std::wstring module = qv::FromUtf8(std::filesystem::canonical(QV_TEST_SERVER).string());

    EXPECT_EQ(ReadDefault(TEST_COUNTER_PROGID L"\\CLSID"), qv::GuidToString(CLSID_TestCounter));
    EXPECT_EQ(ReadDefault(TEST_PLAIN_PROGID L"\\CLSID"), qv::GuidToString(CLSID_TestPlain));
    EXPECT_NE(ReadDefault(TEST_COUNTER_PROGID), L"<no value>");
    EXPECT_NE(ReadDefault(counter), L"<no value>");
    EXPECT_EQ(ReadDefault(counter + L"\\ProgID"), TEST_COUNTER_PROGID);
    for (const auto& k : {counter, plain}) {
        EXPECT_EQ(ReadDefault(k + L"\\InProcServer32"), module);
        EXPECT_EQ(ReadDefault(k + L"\\InProcServer32", L"ThreadingModel"), L"Both");
    }

    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"qovaro.test.COUNTER", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestCounter);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestPlain, &progId), S_OK);
    EXPECT_STREQ(progId, TEST_PLAIN_PROGID);
    CoTaskMemFree(progId);

    ASSERT_EQ(RegisterServer("DllUnregisterServer"), S_OK);
    ASSERT_EQ(RegisterServer("DllUnregisterServer"), S_OK);
    EXPECT_EQ(ReadDefault(counter), L"<no key>");
    EXPECT_EQ(ReadDefault(TEST_PLAIN_PROGID), L"<no key>");
    EXPECT_EQ(CLSIDFromProgID(TEST_COUNTER_PROGID, &clsid), CO_E_CLASSSTRING);
    // Other classes survive.
    WriteDefault(L"Qovaro.Other\\CLSID", L"{00000000-0000-0000-0000-000000000001}");
    ASSERT_EQ(RegisterServer("DllUnregisterServer"), S_OK);
    EXPECT_EQ(ReadDefault(L"Qovaro.Other\\CLSID"), L"{00000000-0000-0000-0000-000000000001}");
}

TEST_F(ComTest, ServerIsLoadedOnceServesSinksAndIsUnloadedAfterTheLastRelease) {
    ASSERT_EQ(RegisterServer(), S_OK);
    ASSERT_FALSE(ServerLoaded());

    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(TEST_COUNTER_PROGID, &clsid), S_OK);
    ITestCounter* a = nullptr;
    ITestCounter* b = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter, reinterpret_cast<void**>(&a)),
              S_OK);
    CLSID plain;
    ASSERT_EQ(CLSIDFromProgID(TEST_PLAIN_PROGID, &plain), S_OK);
    ASSERT_EQ(CoCreateInstance(plain, nullptr, CLSCTX_ALL, IID_ITestCounter, reinterpret_cast<void**>(&b)), S_OK);
    ASSERT_TRUE(ServerLoaded());
    const long releasedBefore = FinalReleases();

    // Separate objects, one identity each.
    ASSERT_EQ(a->Add(2), S_OK);
    long v = 0;
    ASSERT_EQ(b->GetValue(&v), S_OK);
    EXPECT_EQ(v, 0);
    IUnknown* unkA1 = nullptr;
    IUnknown* unkA2 = nullptr;
    IConnectionPointContainer* cpc = nullptr;
    ASSERT_EQ(a->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
    ASSERT_EQ(a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unkA1)), S_OK);
    ASSERT_EQ(cpc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unkA2)), S_OK);
    EXPECT_EQ(unkA1, unkA2);
    unkA1->Release();
    unkA2->Release();
    cpc->Release();

    // Objects alive: the library must stay.
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_FALSE);
    CoFreeUnusedLibraries();
    ASSERT_TRUE(ServerLoaded());

    // A sink through the connection point, counted and not counted.
    Sink sink;
    DWORD cookie = 0;
    ASSERT_TRUE(AfxConnectionAdvise(a, IID_ITestEvents, &sink, TRUE, &cookie));
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(sink.refs.load(), 2u);
    ASSERT_EQ(a->Add(5), S_OK);
    ASSERT_EQ(a->Fire(), S_OK);
    EXPECT_EQ(sink.values, std::vector<long>{7});
    ASSERT_TRUE(AfxConnectionUnadvise(a, IID_ITestEvents, &sink, TRUE, cookie));
    EXPECT_EQ(sink.refs.load(), 1u);
    ASSERT_EQ(a->Fire(), S_OK);
    EXPECT_EQ(sink.values.size(), 1u);
    EXPECT_FALSE(AfxConnectionUnadvise(a, IID_ITestEvents, &sink, TRUE, cookie));
    EXPECT_EQ(sink.refs.load(), 1u);
    // The plain class has no connection points.
    EXPECT_FALSE(AfxConnectionAdvise(b, IID_ITestEvents, &sink, TRUE, &cookie));

    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(FinalReleases(), releasedBefore + 1);
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_FALSE);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(FinalReleases(), releasedBefore + 2);
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_OK);

    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());

    // Loaded again on demand.
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCounter, reinterpret_cast<void**>(&a)),
              S_OK);
    EXPECT_TRUE(ServerLoaded());
    a->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());
}

TEST_F(ComTest, ClassObjectsAndLocksKeepTheServerLoaded) {
    ASSERT_EQ(RegisterServer(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_TestPlain, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_FALSE);  // a class object is held
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(ServerLoaded());
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_FALSE);  // locked

    // The lock belongs to the server's module, not to this executable.
    EXPECT_TRUE(AfxOleCanExitApp());
    AfxOleLockApp();
    ASSERT_EQ(CoGetClassObject(CLSID_TestPlain, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_OK);
    EXPECT_FALSE(AfxOleCanExitApp());
    AfxOleUnlockApp();
    AfxOleUnlockApp();  // unbalanced: ignored
    EXPECT_TRUE(AfxOleCanExitApp());
    AfxOleLockApp();
    EXPECT_FALSE(AfxOleCanExitApp());
    AfxOleUnlockApp();

    void* h = dlopen(QV_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    auto lock = ServerExport<PFN_TESTLOCK>(h, "TestServer_LockApp");
    lock(TRUE);
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_FALSE);
    EXPECT_TRUE(AfxOleCanExitApp());
    lock(FALSE);
    dlclose(h);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());
}

// An outer object that aggregates the test counter and adds an interface of its own.
class Outer : public IUnknown {
public:
    struct Events : ITestEvents {
        explicit Events(Outer* o) : outer(o) {}
        Outer* outer;
        HRESULT QueryInterface(REFIID riid, void** ppv) override { return outer->QueryInterface(riid, ppv); }
        ULONG AddRef() override { return outer->AddRef(); }
        ULONG Release() override { return outer->Release(); }
        HRESULT OnValue(long) override { return S_OK; }
    } events{this};

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown*>(this);
        } else if (riid == IID_ITestEvents) {
            *ppv = &events;
        } else {
            return inner->QueryInterface(riid, ppv);
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }

    std::atomic<ULONG> refs{1};
    IUnknown* inner = nullptr;
};

TEST_F(ComTest, AggregatedObjectDelegatesToItsOuterObject) {
    ASSERT_EQ(RegisterServer(), S_OK);
    Outer outer;
    void* p = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, &outer, CLSCTX_INPROC_SERVER, IID_ITestCounter, &p),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_TestPlain, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    const long releasedBefore = FinalReleases();
    EXPECT_EQ(releasedBefore, 1);  // the refused plain object was made and ended once

    ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&outer.inner)),
              S_OK);
    EXPECT_EQ(outer.refs.load(), 1u);

    // Through the outer object the inner's interfaces appear as the outer's own.
    ITestCounter* counter = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_ITestCounter, reinterpret_cast<void**>(&counter)), S_OK);
    EXPECT_EQ(outer.refs.load(), 2u);  // the reference went to the outer object
    counter->AddRef();
    EXPECT_EQ(outer.refs.load(), 3u);
    counter->Release();

    // The inner's interfaces answer with the outer's identity and interfaces.
    IUnknown* identity = nullptr;
    ASSERT_EQ(counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    ITestEvents* own = nullptr;
    ASSERT_EQ(counter->QueryInterface(IID_ITestEvents, reinterpret_cast<void**>(&own)), S_OK);
    EXPECT_EQ(own, &outer.events);
    own->Release();
    EXPECT_EQ(counter->Add(3), S_OK);
    counter->Release();
    EXPECT_EQ(outer.refs.load(), 1u);

    // The outer ends the inner through its non-delegating IUnknown.
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_FALSE);
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(FinalReleases(), releasedBefore + 1);
    EXPECT_EQ(CallServer("DllCanUnloadNow"), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());
}

// ---- command targets in this executable -----------------------------------------------------

struct IProbe : IUnknown {
    virtual HRESULT Touch() = 0;
};
inline constexpr IID IID_IProbe = qv::MakeGuid("6A1C0D2E-3B4F-4E5A-9C8B-7D6E5F4A3B41");

std::atomic<int> g_finalReleases{0};
std::atomic<int> g_destroyed{0};

class CProbe : public CCmdTarget {
public:
    ~CProbe() override { ++g_destroyed; }
    void OnFinalRelease() override {
        ++g_finalReleases;
        // Teardown that hands the object around once more must not end it twice.
        ExternalAddRef();
        ExternalRelease();
        CCmdTarget::OnFinalRelease();
    }
    std::atomic<int> touched{0};  // touched by the lookup threads at once

    BEGIN_INTERFACE_PART(Probe, IProbe)
        HRESULT Touch() override;
    END_INTERFACE_PART(Probe)
    BEGIN_INTERFACE_PART(Events, ITestEvents)
        HRESULT OnValue(long v) override;
    END_INTERFACE_PART(Events)
    DECLARE_INTERFACE_MAP()
};

BEGIN_INTERFACE_MAP(CProbe, CCmdTarget)
    INTERFACE_PART(CProbe, IID_IProbe, Probe)
    INTERFACE_PART(CProbe, IID_ITestEvents, Events)
END_INTERFACE_MAP()
IMPLEMENT_IUNKNOWN(CProbe, Probe)
IMPLEMENT_IUNKNOWN(CProbe, Events)

HRESULT CProbe::XProbe::Touch() {
    METHOD_PROLOGUE(CProbe, Probe)
    ++pThis->touched;
    return S_OK;
}
HRESULT CProbe::XEvents::OnValue(long v) {
    METHOD_PROLOGUE(CProbe, Events)
    pThis->touched += int(v);
    return S_OK;
}

TEST(CmdTarget, InterfacesShareOneCountAndTheFinalReleaseHappensOnce) {
    g_finalReleases = g_destroyed = 0;
    auto* obj = new CProbe;
    IProbe* probe = nullptr;
    ASSERT_EQ(obj->ExternalQueryInterface(&IID_IProbe, reinterpret_cast<void**>(&probe)), S_OK);
    EXPECT_EQ(obj->m_dwRef.load(), 2);
    obj->InternalRelease();  // the creation reference

    ITestEvents* events = nullptr;
    ASSERT_EQ(probe->QueryInterface(IID_ITestEvents, reinterpret_cast<void**>(&events)), S_OK);
    EXPECT_EQ(obj->m_dwRef.load(), 2);
    ASSERT_EQ(probe->Touch(), S_OK);
    ASSERT_EQ(events->OnValue(10), S_OK);
    EXPECT_EQ(obj->touched, 11);

    // One identity whichever interface is asked.
    IUnknown* u1 = nullptr;
    IUnknown* u2 = nullptr;
    ASSERT_EQ(probe->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u1)), S_OK);
    ASSERT_EQ(events->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u2)), S_OK);
    EXPECT_EQ(u1, u2);
    EXPECT_EQ(u1, obj->GetControllingUnknown());
    u1->Release();
    u2->Release();

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(probe->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(obj->GetInterface(&IID_IClassFactory), nullptr);
    EXPECT_EQ(obj->InternalQueryInterface(&IID_IProbe, nullptr), E_POINTER);

    EXPECT_EQ(events->Release(), 1u);
    EXPECT_EQ(g_finalReleases, 0);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(g_finalReleases, 1);
    EXPECT_EQ(g_destroyed, 1);
}

TEST(CmdTarget, RuntimeClassesCreateAndKnowTheirBases) {
    EXPECT_TRUE(RUNTIME_CLASS(COleObjectFactory)->IsDerivedFrom(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_TRUE(RUNTIME_CLASS(CCmdTarget)->IsDerivedFrom(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(RUNTIME_CLASS(CCmdTarget)->IsDerivedFrom(RUNTIME_CLASS(COleObjectFactory)));
    EXPECT_EQ(RUNTIME_CLASS(CCmdTarget)->CreateObject(), nullptr);  // not dynamically creatable
    CCmdTarget onStack;  // objects on the stack live by scope, not by count
    EXPECT_TRUE(onStack.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_STREQ(onStack.GetRuntimeClass()->m_lpszClassName, "CCmdTarget");
}

// ---- connection points ----------------------------------------------------------------------

class CSource : public CCmdTarget {
public:
    CConnectionPointContainer m_xConnPtContainer{this};
    CConnectionPoint m_cpEvents{m_xConnPtContainer, IID_ITestEvents};
    CConnectionPoint m_cpProbe{m_xConnPtContainer, IID_IProbe};
    DECLARE_INTERFACE_MAP()
};
BEGIN_INTERFACE_MAP(CSource, CCmdTarget)
    INTERFACE_PART(CSource, IID_IConnectionPointContainer, ConnPtContainer)
END_INTERFACE_MAP()

TEST(ConnectionPoints, CookiesErrorsAndEnumerations) {
    CSource source;
    IConnectionPointContainer* cpc = nullptr;
    ASSERT_EQ(source.ExternalQueryInterface(&IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
    IConnectionPoint* cp = nullptr;
    EXPECT_EQ(cpc->FindConnectionPoint(IID_IClassFactory, &cp), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(cp, nullptr);
    ASSERT_EQ(cpc->FindConnectionPoint(IID_ITestEvents, &cp), S_OK);
    IID iid{};
    ASSERT_EQ(cp->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, IID_ITestEvents);
    IConnectionPointContainer* back = nullptr;
    ASSERT_EQ(cp->GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(back, cpc);
    back->Release();

    Sink s1, s2;
    Stranger stranger;
    DWORD c1 = 0, c2 = 0, c3 = 99;
    EXPECT_EQ(cp->Advise(&stranger, &c3), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(c3, 0u);
    EXPECT_EQ(cp->Advise(nullptr, &c3), E_POINTER);
    ASSERT_EQ(cp->Advise(&s1, &c1), S_OK);
    ASSERT_EQ(cp->Advise(&s2, &c2), S_OK);
    ASSERT_EQ(cp->Advise(&s1, &c3), S_OK);  // one sink twice: two connections
    EXPECT_NE(c1, 0u);
    EXPECT_NE(c1, c2);
    EXPECT_NE(c3, c1);
    EXPECT_NE(c3, c2);
    EXPECT_EQ(s1.refs.load(), 3u);

    IEnumConnections* en = nullptr;
    ASSERT_EQ(cp->EnumConnections(&en), S_OK);
    CONNECTDATA cd[4];
    ULONG got = 0;
    EXPECT_EQ(en->Next(4, cd, &got), S_FALSE);
    ASSERT_EQ(got, 3u);
    EXPECT_EQ(cd[0].dwCookie, c1);
    EXPECT_EQ(cd[1].pUnk, static_cast<IUnknown*>(&s2));
    for (ULONG i = 0; i < got; ++i) cd[i].pUnk->Release();
    ASSERT_EQ(en->Reset(), S_OK);
    EXPECT_EQ(en->Skip(2), S_OK);
    EXPECT_EQ(en->Skip(2), S_FALSE);
    en->Release();
    EXPECT_EQ(s1.refs.load(), 3u);  // the enumerator gave back everything it held

    EXPECT_EQ(source.m_cpEvents.ForEachSink<ITestEvents>([](ITestEvents* s) { s->OnValue(4); }), 3u);
    EXPECT_EQ(s1.values, (std::vector<long>{4, 4}));
    EXPECT_EQ(s2.values, std::vector<long>{4});

    EXPECT_EQ(cp->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(cp->Unadvise(c3 + 1000), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(cp->Unadvise(c1), S_OK);
    EXPECT_EQ(cp->Unadvise(c1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(s1.refs.load(), 2u);

    // A sink that disconnects itself while being called.
    struct SelfRemoving : Sink {
        IConnectionPoint* cp = nullptr;
        DWORD cookie = 0;
        HRESULT OnValue(long v) override {
            Sink::OnValue(v);
            return cp->Unadvise(cookie);
        }
    } self;
    self.cp = cp;
    ASSERT_EQ(cp->Advise(&self, &self.cookie), S_OK);
    source.m_cpEvents.ForEachSink<ITestEvents>([](ITestEvents* s) { s->OnValue(1); });
    EXPECT_EQ(self.values, std::vector<long>{1});
    EXPECT_EQ(source.m_cpEvents.GetConnectionCount(), 2u);

    IEnumConnectionPoints* ep = nullptr;
    ASSERT_EQ(cpc->EnumConnectionPoints(&ep), S_OK);
    IConnectionPoint* points[3] = {};
    EXPECT_EQ(ep->Next(3, points, &got), S_FALSE);
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(points[0], static_cast<IConnectionPoint*>(&source.m_cpEvents));
    EXPECT_EQ(points[1], static_cast<IConnectionPoint*>(&source.m_cpProbe));
    points[0]->Release();
    points[1]->Release();
    ep->Release();

    ASSERT_EQ(cp->Unadvise(c2), S_OK);
    ASSERT_EQ(cp->Unadvise(c3), S_OK);
    EXPECT_EQ(s1.refs.load(), 1u);
    EXPECT_EQ(s2.refs.load(), 1u);
    cp->Release();
    cpc->Release();
    EXPECT_EQ(source.m_dwRef.load(), 1);  // points and container counted on the source itself
}

TEST(ConnectionPoints, AdviseWithoutReferenceCountLeavesTheSinksCountAlone) {
    CSource source;
    IUnknown* src = source.GetControllingUnknown();
    ASSERT_NE(src, nullptr);  // CSource's only interface is its container
    Sink sink;
    DWORD cookie = 0;
    ASSERT_TRUE(AfxConnectionAdvise(src, IID_ITestEvents, &sink, FALSE, &cookie));
    EXPECT_EQ(sink.refs.load(), 1u);
    EXPECT_EQ(source.m_cpEvents.GetConnectionCount(), 1u);
    ASSERT_TRUE(AfxConnectionUnadvise(src, IID_ITestEvents, &sink, FALSE, cookie));
    EXPECT_EQ(sink.refs.load(), 1u);
    EXPECT_EQ(source.m_cpEvents.GetConnectionCount(), 0u);
    // A failed unadvise gives back the reference it borrowed.
    EXPECT_FALSE(AfxConnectionUnadvise(src, IID_ITestEvents, &sink, FALSE, cookie));
    EXPECT_EQ(sink.refs.load(), 1u);
    EXPECT_FALSE(AfxConnectionAdvise(src, IID_IClassFactory, &sink, FALSE, &cookie));
    Stranger stranger;
    EXPECT_FALSE(AfxConnectionAdvise(&stranger, IID_ITestEvents, &sink, FALSE, &cookie));
    EXPECT_EQ(sink.refs.load(), 1u);
}

// ---- running servers ------------------------------------------------------------------------

TEST(RunningServers, LookupByProgIDAndInterface) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(qv::QueryRunningServer(L"Qovaro.QvDBServer", IID_IUnknown, &p), E_FAIL);
    EXPECT_EQ(p, nullptr);

    auto* probe = new CProbe;
    IUnknown* unk = probe->GetControllingUnknown();
    ASSERT_EQ(qv::RegisterRunningServer(L"Qovaro.QvDBServer", unk), S_OK);
    probe->InternalRelease();  // the table keeps it alive now
    EXPECT_EQ(probe->m_dwRef.load(), 1);

    IProbe* found = nullptr;
    ASSERT_EQ(qv::QueryRunningServer(L"qovaro.qvdbserver", IID_IProbe, reinterpret_cast<void**>(&found)), S_OK);
    ASSERT_EQ(found->Touch(), S_OK);
    found->Release();
    EXPECT_EQ(qv::QueryRunningServer(L"Qovaro.QvDBServer", IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(qv::QueryRunningServer(L"Qovaro.QvEventServer", IID_IUnknown, &p), E_FAIL);

    // Lookups from other threads while the host registers and revokes.
    std::atomic<bool> stop{false};
    std::atomic<int> hits{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&] {
            while (!stop) {
                IProbe* q = nullptr;
                if (qv::QueryRunningServer(L"Qovaro.QvDBServer", IID_IProbe, reinterpret_cast<void**>(&q)) == S_OK) {
                    q->Touch();
                    q->Release();
                    ++hits;
                }
            }
        });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; i < 200 || (hits < 100 && std::chrono::steady_clock::now() < deadline); ++i) {
        auto* extra = new CProbe;
        qv::RegisterRunningServer(L"Qovaro.QvEventServer", extra->GetControllingUnknown());
        extra->InternalRelease();
        qv::RevokeRunningServer(L"Qovaro.QvEventServer");
    }
    stop = true;
    for (auto& t : readers) t.join();
    EXPECT_GE(hits.load(), 100);

    g_finalReleases = 0;
    EXPECT_EQ(qv::RevokeRunningServer(L"QOVARO.QVDBSERVER"), S_OK);
    EXPECT_EQ(g_finalReleases, 1);
    EXPECT_EQ(qv::RevokeRunningServer(L"Qovaro.QvDBServer"), S_FALSE);
    EXPECT_EQ(qv::RegisterRunningServer(L"", unk), E_INVALIDARG);
    EXPECT_EQ(qv::RegisterRunningServer(L"X", nullptr), E_INVALIDARG);
}

}  // namespace
