#include "extensions.h"

#include <dlfcn.h>
#include <algorithm>
#include <atomic>
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

// The registries outlive any library that fills them, so a library that registers code into them
// must stay loaded: pin the caller's library (an in-process server would otherwise be unloaded
// by COM and leave its functions dangling here).
void PinLibraryOf(const void* code) {
    Dl_info info{};
    if (dladdr(code, &info) && info.dli_fname) {
        // RTLD_NOLOAD: only for a library already loaded; the handle is kept on purpose.
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}

}  // namespace

void RegisterConnectionInitializer(const std::string& name, ConnectionInitializer init) {
    PinLibraryOf(__builtin_return_address(0));
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
    PinLibraryOf(__builtin_return_address(0));
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

namespace {

struct SessionValueStore {
    std::mutex m;
    std::map<std::string, std::string> values;
    std::atomic<std::uint64_t> version{1};
};

SessionValueStore& sessionValues() {
    static SessionValueStore* s = new SessionValueStore;  // outlives the sessions closed at exit
    return *s;
}

}  // namespace

void SetSessionValue(const std::string& name, const std::string& value) {
    auto& s = sessionValues();
    std::lock_guard<std::mutex> lk(s.m);
    if (auto it = s.values.find(name); it != s.values.end() && it->second == value) return;
    s.values[name] = value;
    ++s.version;
}

std::uint64_t SessionValuesVersion() { return sessionValues().version.load(); }

std::vector<std::pair<std::string, std::string>> SessionValues() {
    auto& s = sessionValues();
    std::lock_guard<std::mutex> lk(s.m);
    return {s.values.begin(), s.values.end()};
}

}  // namespace qv::sql
