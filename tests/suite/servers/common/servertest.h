#pragma once
// A temporary registry and data folder for one test, with the database objects, the database
// server and the data logger registered in it, as their installation would register them.
#include "qvcom.h"
#include "qvregvalue.h"
#include "serverhost.h"
#include "tempdir.h"
#include "utf.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

namespace qvtest {

// Loads a server library and runs its registration. S_OK when registered.
inline HRESULT RegisterModule(const char* path) {
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        ADD_FAILURE() << dlerror();
        return E_FAIL;
    }
    auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(lib, "DllRegisterServer"));
    const HRESULT hr = reg ? reg() : E_FAIL;
    dlclose(lib);
    return hr;
}

class ServerEnvironment {
public:
    ServerEnvironment() {
        EXPECT_EQ(RegisterModule(QV_ADO_SERVER_MODULE), S_OK);
        EXPECT_EQ(RegisterModule(QV_DBSERVER_MODULE), S_OK);
        EXPECT_EQ(RegisterModule(QV_DATALOGGER_MODULE), S_OK);
        // The data logger keeps its entries apart from the suite's database.
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDataLogger", L"DBConnection",
                              CString((L"sqlite:" + Wide(dir.file("datalogger.sqlite"))).c_str()));
    }
    ~ServerEnvironment() { CoFreeUnusedLibraries(); }
    ServerEnvironment(const ServerEnvironment&) = delete;
    ServerEnvironment& operator=(const ServerEnvironment&) = delete;

    // The database file of the default profile.
    std::string SuiteDatabase() const { return dir.file("data") + "/qovaro/nq2.sqlite"; }
    std::string LoggerDatabase() const { return dir.file("datalogger.sqlite"); }

    static std::wstring Wide(const std::string& s) { return qv::FromUtf8(s); }

    TempDir dir;
    ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    ScopedEnv data{"XDG_DATA_HOME", dir.file("data")};
};

}  // namespace qvtest
