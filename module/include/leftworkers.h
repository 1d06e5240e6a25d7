#pragma once
// CLeftWorkers: the workers that closed windows leave behind. No window waits for its worker: as it
// closes, it tells the worker to end, cancels the database call the worker is in, and hands the
// worker over here. From then on the worker touches nothing of the window: what it still uses
// lives in what is handed over with it (keep), released here once its thread has ended, and its
// rows and failures go nowhere. The library stays loaded while one runs (NQFrameworkCanUnloadNow);
// the program's end cancels them all and waits for them once, bounded (platform/base/leftwork).
#include "thread.h"

#include <cstddef>
#include <functional>
#include <memory>

class CLeftWorkers {
public:
    // hThread: the worker's thread, owned by keep (or by the caller for as long as it may run);
    // cancel ends the call the worker is in where a cancel reaches it: called now, and at the
    // program's end at most twice a second, never after the thread has ended; keep is released on
    // the thread that finds the worker ended.
    static void Leave(HANDLE hThread, std::function<void()> cancel, std::shared_ptr<void> keep);
    // The same for a thread made with m_bAutoDelete FALSE: deleted once it has ended.
    static void Leave(CWinThread* pThread, std::function<void()> cancel, std::shared_ptr<void> keep = {});
    // Releases those that have ended, without waiting; TRUE when none runs any more.
    static BOOL Reap();
    // Cancels every one and waits for their end, at most dwMilliseconds (INFINITE: until they have
    // all ended), cancelling again at most twice a second; TRUE when none runs any more.
    static BOOL End(DWORD dwMilliseconds);
    // Those not yet found ended.
    static std::size_t Count();
    // As the library goes: frees the list when none is left in it.
    static void FreeList();
};
