// A module as an in-process server: registration of its classes with their threading model,
// unregistration, and the unload test while its objects live; the course module the same way.
#include "qvcom.h"
#include "qvregistry.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

namespace {

using Fn = HRESULT (*)();

class ModuleExports : public ::testing::Test {
protected:
    void TearDown() override {
        CoFreeUnusedLibraries();
        if (module) dlclose(module);
    }
    void Load(const char* path) {
        module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
    }
    HRESULT Call(const char* name) {
        auto fn = reinterpret_cast<Fn>(dlsym(module, name));
        return fn ? fn() : E_NOTIMPL;
    }
    static std::wstring Value(const std::wstring& key, LPCWSTR name) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return L"<missing>";
        wchar_t buffer[300] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        DWORD type = 0;
        const LONG rc = RegQueryValueExW(h, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
        RegCloseKey(h);
        return rc == ERROR_SUCCESS ? std::wstring(buffer) : L"<no value>";
    }
    static bool KeyExists(const std::wstring& key) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
        RegCloseKey(h);
        return true;
    }

    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    void* module = nullptr;
};

const wchar_t* const kServer = L"CLSID\\{5D0C9A17-2E4B-4C83-A1F6-0B9D3E7A5C11}";
const wchar_t* const kPage = L"CLSID\\{5D0C9A17-2E4B-4C83-A1F6-0B9D3E7A5C12}";

TEST_F(ModuleExports, RegistrationWritesEveryClassWithThreadingModelBoth) {
    Load(QV_TEST_MODULE);
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    for (const wchar_t* key : {kServer, kPage}) {
        EXPECT_EQ(Value(std::wstring(key) + L"\\InProcServer32", L"ThreadingModel"), L"Both") << key;
        char resolved[4096];
        ASSERT_NE(realpath(QV_TEST_MODULE, resolved), nullptr);
        EXPECT_EQ(Value(std::wstring(key) + L"\\InProcServer32", nullptr), std::wstring(resolved, resolved + strlen(resolved)));
    }
    EXPECT_EQ(Value(L"Qovaro.Test.ModServer\\CLSID", nullptr), L"{5D0C9A17-2E4B-4C83-A1F6-0B9D3E7A5C11}");

    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(KeyExists(kServer));
    EXPECT_FALSE(KeyExists(L"Qovaro.Test.ModPage"));
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
}

TEST_F(ModuleExports, UnregisteringClassesNeverRegisteredSucceeds) {
    Load(QV_TEST_MODULE);
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
}

TEST_F(ModuleExports, TheModuleStaysWhileOneOfItsObjectsLives) {
    Load(QV_TEST_MODULE);
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"Qovaro.Test.ModServer", &clsid), S_OK);
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(Call("DllCanUnloadNow"), S_FALSE);
    object->Release();
    EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);

    IUnknown* unknownClass = nullptr;
    auto getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(dlsym(module, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    EXPECT_EQ(getClassObject(qv::MakeGuid("00000000-1111-2222-3333-444444444444"), IID_IClassFactory,
                             reinterpret_cast<void**>(&unknownClass)),
              CLASS_E_CLASSNOTAVAILABLE);
}

#ifdef QV_KURS_MODULE
// The course module registers its classes by name, each for this library with threading model
// "Both", and takes them away again: the view and its eight pages, every one of them.
TEST_F(ModuleExports, TheCourseModuleRegistersAndUnloads) {
    Load(QV_KURS_MODULE);
    ASSERT_EQ(Call("DllRegisterServer"), S_OK);
    char resolved[4096];
    ASSERT_NE(realpath(QV_KURS_MODULE, resolved), nullptr);
    const std::wstring path(resolved, resolved + strlen(resolved));
    struct KursClass {
        const wchar_t* progId;
        const wchar_t* clsid;
    };
    const KursClass classes[] = {
        {L"Qovaro.NQ2.KursView", L"{99F1AB30-CB96-4DF2-99A9-0EDA0892C25B}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.Kursdaten", L"{846E7084-FDEC-4A62-83E0-CDFF378C63E8}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.Instanzdaten", L"{CC94F174-08ED-4471-937C-44C368DAE816}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.Teilnehmer", L"{89E828A9-1095-42F0-AA16-F612752AE83B}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.Gruppen", L"{D8B82C88-FA6A-4E3A-B95E-823790CD337F}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.Instruktor", L"{430409EF-7D5B-425F-B758-B5E945738D81}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.Planung", L"{31037C0C-B793-4000-B6CA-7C94355140CF}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.History", L"{959604CB-268A-4F6F-9B83-3A02093D2E3C}"},
        {L"Qovaro.NQ2.Tab.Std.Kurs.CustField", L"{00530295-38EC-4286-95FB-78C15474B4AC}"},
    };
    for (const KursClass& c : classes) {
        const std::wstring key = std::wstring(L"CLSID\\") + c.clsid + L"\\InProcServer32";
        ASSERT_TRUE(KeyExists(key)) << c.progId;
        EXPECT_EQ(Value(key, L"ThreadingModel"), L"Both") << c.progId;
        EXPECT_EQ(Value(key, nullptr), path) << c.progId;
        EXPECT_EQ(Value(std::wstring(L"CLSID\\") + c.clsid + L"\\ProgID", nullptr), c.progId);
        EXPECT_EQ(Value(std::wstring(c.progId) + L"\\CLSID", nullptr), c.clsid) << c.progId;
    }
    EXPECT_EQ(Call("DllCanUnloadNow"), S_OK);
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
    for (const KursClass& c : classes) {
        EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + c.clsid)) << c.clsid;
        EXPECT_FALSE(KeyExists(c.progId)) << c.progId;
    }
    EXPECT_EQ(Call("DllUnregisterServer"), S_OK);
}
#endif

}  // namespace
