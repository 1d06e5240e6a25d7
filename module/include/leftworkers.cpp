#include "leftworkers.h"

#include "leftwork.h"
#include "qvcmdtarget.h"
#include "sync.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// One worker's cancel and what it uses, kept while the cancel is sent.
struct CancelOrder {
    std::function<void()> cancel;
    std::shared_ptr<void> keep;
    bool bQueued = false;  // under the sender's lock: waiting to be sent
};

struct LeftWorker {
    HANDLE hThread = nullptr;
    std::shared_ptr<CancelOrder> order;
    std::chrono::steady_clock::time_point tCancelled;
};

struct LeftWorkerList {
    std::mutex lock;
    std::vector<LeftWorker> workers;
    // The thread that sends the cancels, one after another; started with the first.
    std::mutex sendLock;
    std::condition_variable sendWake;
    std::deque<std::shared_ptr<CancelOrder>> toSend;
    std::thread sender;
    bool bSenderStop = false;
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

void SendCancels(LeftWorkerList* pList) {
    for (;;) {
        std::shared_ptr<CancelOrder> order;
        {
            std::unique_lock l(pList->sendLock);
            pList->sendWake.wait(l, [&] { return pList->bSenderStop || !pList->toSend.empty(); });
            if (pList->bSenderStop) return;
            order = std::move(pList->toSend.front());
            pList->toSend.pop_front();
            order->bQueued = false;
        }
        if (order->cancel) order->cancel();
        // What the cancel used may go with it (its worker has ended meanwhile).
        order.reset();
        AfxOleUnlockApp();
    }
}

// Queues the cancel unless it waits to be sent already; the library stays loaded until it is sent.
void Send(const std::shared_ptr<CancelOrder>& order) {
    if (!order->cancel) return;
    LeftWorkerList& list = TheList();
    std::lock_guard g(list.sendLock);
    if (order->bQueued || list.bSenderStop) return;
    if (!list.sender.joinable()) {
        try {
            list.sender = std::thread(SendCancels, &list);
        } catch (...) {
            return;  // no thread to be had: the worker ends its call by itself
        }
    }
    order->bQueued = true;
    list.toSend.push_back(order);
    AfxOleLockApp();
    list.sendWake.notify_one();
}

// Takes the ended workers out of the list (released by the caller, outside the lock: a worker's
// state may close a connection); with bCancel, gives the running ones not cancelled for half a
// second to the sender (after the lock). TRUE when none runs.
bool Sweep(std::vector<LeftWorker>& ended, bool bCancel) {
    constexpr auto kCancelPace = std::chrono::milliseconds(500);
    LeftWorkerList& list = TheList();
    std::vector<std::shared_ptr<CancelOrder>> due;
    bool bRunning = false;
    {
        std::lock_guard g(list.lock);
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
                due.push_back(it->order);
            }
            ++it;
        }
    }
    for (const auto& order : due) Send(order);
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
    auto order = std::make_shared<CancelOrder>();
    order->cancel = std::move(cancel);
    order->keep = std::move(keep);
    LeftWorker w;
    w.hThread = hThread;
    w.order = order;
    w.tCancelled = std::chrono::steady_clock::now();
    // The library stays loaded while the worker runs its code.
    AfxOleLockApp();
    {
        LeftWorkerList& list = TheList();
        std::lock_guard g(list.lock);
        list.workers.push_back(std::move(w));
    }
    Send(order);
    Reap();
}

void CLeftWorkers::Cancel(std::function<void()> cancel, std::shared_ptr<void> keep) {
    auto order = std::make_shared<CancelOrder>();
    order->cancel = std::move(cancel);
    order->keep = std::move(keep);
    Send(order);
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
    // The sender's code goes with the library: it ends first, after the cancel it is sending (a
    // short step: a server's cancel travels on a thread of the driver's). Those still waiting are
    // not sent.
    std::deque<std::shared_ptr<CancelOrder>> unsent;
    {
        std::lock_guard g(s_pList->sendLock);
        s_pList->bSenderStop = true;
        unsent.swap(s_pList->toSend);
    }
    s_pList->sendWake.notify_all();
    if (s_pList->sender.joinable()) s_pList->sender.join();
    for (std::size_t i = 0; i < unsent.size(); ++i) AfxOleUnlockApp();
    unsent.clear();
    {
        std::lock_guard g(s_pList->lock);
        if (!s_pList->workers.empty()) return;
    }
    delete s_pList;
    s_pList = nullptr;
}
