#include "leftwork.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

namespace {

struct Handlers {
    std::recursive_mutex lock;
    std::vector<LeftWorkHandler> list;
};

// Never destroyed: a library still loaded at the process's end removes its handler after this
// library's statics are gone.
Handlers& TheHandlers() {
    static Handlers* handlers = new Handlers;
    return *handlers;
}

}  // namespace

void QvAddLeftWorkHandler(LeftWorkHandler handler) {
    Handlers& h = TheHandlers();
    std::lock_guard g(h.lock);
    if (std::find(h.list.begin(), h.list.end(), handler) == h.list.end()) h.list.push_back(handler);
}

void QvRemoveLeftWorkHandler(LeftWorkHandler handler) {
    Handlers& h = TheHandlers();
    std::lock_guard g(h.lock);
    h.list.erase(std::remove(h.list.begin(), h.list.end(), handler), h.list.end());
}

BOOL QvEndLeftWork(DWORD dwMilliseconds) {
    Handlers& h = TheHandlers();
    // Held while the handlers run: a library removes its handler only as it is unloaded, which
    // waits for this.
    std::lock_guard g(h.lock);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    BOOL bEnded = TRUE;
    for (LeftWorkHandler handler : h.list) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
        if (!handler(DWORD(std::max<long long>(left.count(), 0)))) bEnded = FALSE;
    }
    return bEnded;
}
