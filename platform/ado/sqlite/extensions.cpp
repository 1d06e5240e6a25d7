#include "extensions.h"
#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace qv::sql {
namespace {

struct Registry {
    std::mutex m;
    std::vector<std::pair<std::string, ConnectionInitializer>> inits;
    std::map<std::string, Procedure> procs;
};

Registry& reg() {
    static Registry r;
    return r;
}

std::string procKey(std::string_view name) {
    std::string k(name);
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (k.rfind("dbo.", 0) == 0) k.erase(0, 4);
    return k;
}

}  // namespace

void RegisterConnectionInitializer(const std::string& name, ConnectionInitializer init) {
    auto& r = reg();
    std::lock_guard<std::mutex> lk(r.m);
    for (auto& [n, f] : r.inits)
        if (n == name) {
            f = std::move(init);
            return;
        }
    r.inits.emplace_back(name, std::move(init));
}

void RunConnectionInitializers(sqlite3* db) {
    std::vector<ConnectionInitializer> copy;
    {
        auto& r = reg();
        std::lock_guard<std::mutex> lk(r.m);
        for (auto& p : r.inits) copy.push_back(p.second);
    }
    for (auto& f : copy) f(db);
}

void RegisterProcedure(const std::string& name, Procedure proc) {
    auto& r = reg();
    std::lock_guard<std::mutex> lk(r.m);
    r.procs[procKey(name)] = std::move(proc);
}

const Procedure* FindProcedure(std::string_view name) {
    auto& r = reg();
    std::lock_guard<std::mutex> lk(r.m);
    auto it = r.procs.find(procKey(name));
    return it == r.procs.end() ? nullptr : &it->second;  // map nodes are stable
}

}  // namespace qv::sql
