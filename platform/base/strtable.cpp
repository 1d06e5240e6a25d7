#include "strtable.h"
#include <atomic>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace {

struct Tables {
    std::shared_mutex lock;
    std::unordered_map<HINSTANCE, std::map<UINT, std::wstring>> byModule;
    std::atomic<HINSTANCE> resource{nullptr};
};

Tables& State() {
    static Tables* t = new Tables;  // never destroyed: threads may still load strings at exit
    return *t;
}

}  // namespace

namespace qv {

void RegisterStringTable(HINSTANCE module, std::initializer_list<std::pair<UINT, const wchar_t*>> strings) {
    Tables& t = State();
    {
        std::unique_lock g(t.lock);
        auto& table = t.byModule[module];
        for (const auto& [id, text] : strings) table[id] = text ? text : L"";
    }
    HINSTANCE none = nullptr;
    t.resource.compare_exchange_strong(none, module);
}

void UnregisterStringTable(HINSTANCE module) {
    Tables& t = State();
    std::unique_lock g(t.lock);
    t.byModule.erase(module);
}

bool LookupString(HINSTANCE module, UINT id, std::wstring& out) {
    Tables& t = State();
    std::shared_lock g(t.lock);
    auto m = t.byModule.find(module);
    if (m == t.byModule.end()) return false;
    auto s = m->second.find(id);
    if (s == m->second.end()) return false;
    out = s->second;
    return true;
}

}  // namespace qv

HINSTANCE AfxGetResourceHandle() { return State().resource.load(); }

void AfxSetResourceHandle(HINSTANCE module) { State().resource.store(module); }

int LoadStringW(HINSTANCE module, UINT id, LPWSTR buf, int max) {
    if (!buf || max <= 0) return 0;
    std::wstring text;
    if (!qv::LookupString(module, id, text)) {
        buf[0] = L'\0';
        return 0;
    }
    const size_t n = text.size() < size_t(max - 1) ? text.size() : size_t(max - 1);
    text.copy(buf, n);
    buf[n] = L'\0';
    return static_cast<int>(n);
}
