#pragma once
// CLeftWorkers: the workers that closed windows leave behind. No window waits for its worker: as it
// closes, it tells the worker to end, has the database call the worker is in cancelled, and hands
// the worker over here. From then on the worker touches nothing of the window: what it still uses
// lives in what is handed over with it (keep), released here once its thread has ended, and its
// rows and failures go nowhere. The library stays loaded while one runs (NQFrameworkCanUnloadNow);
// the program's end cancels them all and waits for them once, bounded (platform/base/leftwork).
//
// Cancels are sent by a thread of this owner, never by the one that asks (a cancel of a server's
// statement opens a connection to the server, which may not answer), and under no lock of the
// list: neither a window nor the end's bound waits for a cancel.
#include "thread.h"

#include <cstddef>
#include <functional>
#include <memory>

class CLeftWorkers {
public:
    // hThread: the worker's thread, owned by keep (or by the caller for as long as it may run);
    // cancel ends the call the worker is in where a cancel reaches it: sent now, and at the
    // program's end at most twice a second, never after the thread has been found ended; keep is
    // released once the thread has ended and no cancel of it is on its way.
    static void Leave(HANDLE hThread, std::function<void()> cancel, std::shared_ptr<void> keep);
    // The same for a thread made with m_bAutoDelete FALSE: deleted once it has ended.
    static void Leave(CWinThread* pThread, std::function<void()> cancel, std::shared_ptr<void> keep = {});
    // A cancel for a worker that stays with its window (a search given up for a newer one), sent
    // by the same thread; keep holds what cancel uses until it has been sent.
    static void Cancel(std::function<void()> cancel, std::shared_ptr<void> keep);
    // Releases those that have ended, without waiting; TRUE when none runs any more.
    static BOOL Reap();
    // Cancels every one and waits for their end, at most dwMilliseconds (INFINITE: until they have
    // all ended), cancelling again at most twice a second; TRUE when none runs any more. The bound
    // holds whatever the cancels meet.
    static BOOL End(DWORD dwMilliseconds);
    // Those not yet found ended.
    static std::size_t Count();
    // As the library goes: ends the cancels' thread and frees the list when none is left in it.
    static void FreeList();
};
