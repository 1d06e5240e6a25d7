// A loadable library that adds a procedure to the engine and is then let go by its loader, as an
// in-process server is when COM frees unused libraries.
#include "extensions.h"

extern "C" __attribute__((visibility("default"))) void RegisterModuleProcedure() {
    qv::sql::RegisterProcedure("sp_FromModule", [](sqlite3*, std::vector<qv::sql::Value>& args) {
        if (!args.empty()) args[0] = std::int64_t{42};
    });
}
