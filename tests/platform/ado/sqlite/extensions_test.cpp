#include "extensions.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <dlfcn.h>

TEST(Extensions, AProcedureStaysCallableAfterItsLibraryWasClosed) {
    void* lib = dlopen(qvtest::SiblingBinary("libqvexttestmodule.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto reg = reinterpret_cast<void (*)()>(dlsym(lib, "RegisterModuleProcedure"));
    ASSERT_NE(reg, nullptr);
    reg();
    dlclose(lib);

    const qv::sql::Procedure* proc = qv::sql::FindProcedure("dbo.SP_FROMMODULE");
    ASSERT_NE(proc, nullptr);
    std::vector<qv::sql::Value> args(1);
    (*proc)(nullptr, args);
    EXPECT_EQ(std::get<std::int64_t>(args[0]), 42);
}
