#include "leftworkers.h"

#include "leftwork.h"
#include "qvcmdtarget.h"
#include "sync.h"

#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct LeftWorker {
    HANDLE hThread = nullptr;
    std::function<void()> cancel;
    std::shared_ptr<void> keep;
    std::chrono::steady_clock::time_point tCancelled;
};

struct LeftWorkerList {
    std::mutex lock;
    std::vector<LeftWorker> workers;
};

// Not a static of its own: a worker may still run when the library's statics go at the process's
// end. The library frees it as it goes when no worker is left in it.
LeftWorkerList* s_pList = nullptr;
std::once_flag s_listMade;

LeftWorkerList& TheList() {
    std::call_once(s_listMade, [] { s_pList = new LeftWorkerList; });
    return *s_pList;
}

bool HasEnded(const LeftWorker& w) { return WaitForSingleObject(w.hThread, 0) != WAIT_TIMEOUT; }

// Takes the ended workers out of the list (released by the caller, outside the lock: a worker's
// state may close a connection); with bCancel, cancels the running ones not cancelled for half a
// second. TRUE when none runs.
bool Sweep(std::vector<LeftWorker>& ended, bool bCancel) {
    constexpr auto kCancelPace = std::chrono::milliseconds(500);
    LeftWorkerList& list = TheList();
    std::lock_guard g(list.lock);
    bool bRunning = false;
    const auto now = std::chrono::steady_clock::now();
    for (auto it = list.workers.begin(); it != list.workers.end();) {
        if (HasEnded(*it)) {
            ended.push_back(std::move(*it));
            it = list.workers.erase(it);
            continue;
        }
        bRunning = true;
        if (bCancel && now - it->tCancelled >= kCancelPace) {
            it->tCancelled = now;
            if (it->cancel) it->cancel();
        }
        ++it;
    }
    return !bRunning;
}

void Release(std::vector<LeftWorker>& ended) {
    for (std::size_t i = 0; i < ended.size(); ++i) AfxOleUnlockApp();
    ended.clear();
}

// The program's end cancels the left workers and waits for them before it unloads the libraries;
// the handler goes with this library.
struct LeftWorkRegistration {
    LeftWorkRegistration() { QvAddLeftWorkHandler(&CLeftWorkers::End); }
    ~LeftWorkRegistration() {
        QvRemoveLeftWorkHandler(&CLeftWorkers::End);
        CLeftWorkers::FreeList();
    }
} g_leftWorkRegistration;

}  // namespace

void CLeftWorkers::Leave(HANDLE hThread, std::function<void()> cancel, std::shared_ptr<void> keep) {
    if (cancel) cancel();
    LeftWorker w;
    w.hThread = hThread;
    w.cancel = std::move(cancel);
    w.keep = std::move(keep);
    w.tCancelled = std::chrono::steady_clock::now();
    // The library stays loaded while the worker runs its code.
    AfxOleLockApp();
    {
        LeftWorkerList& list = TheList();
        std::lock_guard g(list.lock);
        list.workers.push_back(std::move(w));
    }
    Reap();
}

void CLeftWorkers::Leave(CWinThread* pThread, std::function<void()> cancel, std::shared_ptr<void> keep) {
    const HANDLE hThread = pThread->m_hThread;
    // The thread goes after what the worker used.
    std::shared_ptr<CWinThread> thread(pThread);
    std::shared_ptr<void> both(std::make_shared<std::pair<std::shared_ptr<CWinThread>, std::shared_ptr<void>>>(
        std::move(thread), std::move(keep)));
    Leave(hThread, std::move(cancel), std::move(both));
}

BOOL CLeftWorkers::Reap() {
    std::vector<LeftWorker> ended;
    const bool bNone = Sweep(ended, false);
    Release(ended);
    return bNone;
}

BOOL CLeftWorkers::End(DWORD dwMilliseconds) {
    const auto start = std::chrono::steady_clock::now();
    if (dwMilliseconds != 0) {
        // Every one is cancelled at once, whenever it was cancelled last.
        LeftWorkerList& list = TheList();
        std::lock_guard g(list.lock);
        for (LeftWorker& w : list.workers) w.tCancelled = {};
    }
    for (;;) {
        std::vector<LeftWorker> ended;
        const bool bNone = Sweep(ended, dwMilliseconds != 0);
        Release(ended);
        if (bNone) return TRUE;
        if (dwMilliseconds != INFINITE &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(dwMilliseconds))
            return FALSE;
        Sleep(10);
    }
}

std::size_t CLeftWorkers::Count() {
    LeftWorkerList& list = TheList();
    std::lock_guard g(list.lock);
    return list.workers.size();
}

void CLeftWorkers::FreeList() {
    if (!s_pList) return;
    {
        std::lock_guard g(s_pList->lock);
        if (!s_pList->workers.empty()) return;
    }
    delete s_pList;
    s_pList = nullptr;
}
