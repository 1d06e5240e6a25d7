#include "thread.h"
#include <atomic>
#include "kobject_p.h"
#include "lasterror.h"
#include "sync.h"
#include <system_error>
#include <thread>
#include <pthread.h>
#include <cstdlib>
#include <memory>

namespace {

using namespace qv::detail;

struct ThreadObj : KObject {
    ThreadObj() : KObject(Type::Thread) {}
    bool Ready(DWORD) const override { return finished; }
    bool Acquire(DWORD, bool&) override { return true; }
    DWORD id = 0;
    unsigned suspendCount = 0;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
};

std::shared_ptr<ThreadObj> AsThread(HANDLE h) {
    auto obj = LookupHandle(h);
    if (!obj || obj->type != KObject::Type::Thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<ThreadObj>(obj);
}

// The thread's end is told only once its own objects are gone: the destructors of its
// thread_local objects (a session pool closing its connection, say) run after its function has
// returned, and whoever waits for the thread may free what they still use. The C library calls
// the destructors of thread-specific values after those of the thread_local objects.
struct EndMark {
    std::shared_ptr<ThreadObj> obj;
    DWORD code;
};

void TellEnd(void* p) {
    std::unique_ptr<EndMark> mark(static_cast<EndMark*>(p));
    {
        std::lock_guard l(WaitLock());
        mark->obj->exitCode = mark->code;
        mark->obj->finished = true;
    }
    WaitChanged().notify_all();
}

pthread_key_t EndKey() {
    static const pthread_key_t key = [] {
        pthread_key_t k;
        if (pthread_key_create(&k, &TellEnd) != 0) std::abort();
        return k;
    }();
    return key;
}

void EndAfterTeardown(const std::shared_ptr<ThreadObj>& obj, DWORD code) {
    auto* mark = new EndMark{obj, code};
    if (pthread_setspecific(EndKey(), mark) != 0) TellEnd(mark);
}

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, std::size_t, LPTHREAD_START_ROUTINE start, LPVOID param,
                    DWORD dwCreationFlags, LPDWORD threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    EndKey();
    auto obj = std::make_shared<ThreadObj>();
    obj->id = NewThreadId();
    obj->suspendCount = (dwCreationFlags & CREATE_SUSPENDED) ? 1 : 0;
    try {
        std::thread([obj, start, param] {
            AdoptThreadId(obj->id);
            {
                std::unique_lock l(WaitLock());
                WaitChanged().wait(l, [&] { return obj->suspendCount == 0; });
            }
            const DWORD code = start(param);
            AbandonOwnedMutexes();
            EndAfterTeardown(obj, code);
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId) *threadId = obj->id;
    return InsertHandle(obj);
}

DWORD ResumeThread(HANDLE thread) {
    auto t = AsThread(thread);
    if (!t) return static_cast<DWORD>(-1);
    DWORD previous;
    {
        std::lock_guard l(WaitLock());
        previous = t->suspendCount;
        if (t->suspendCount > 0) --t->suspendCount;
    }
    WaitChanged().notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto t = AsThread(thread);
    if (!t || !exitCode) return FALSE;
    std::lock_guard l(WaitLock());
    *exitCode = t->finished ? t->exitCode : STILL_ACTIVE;
    return TRUE;
}

BOOL SetThreadPriority(HANDLE thread, int) { return AsThread(thread) ? TRUE : FALSE; }

// ---- CWinThread

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID param) : m_pfnThreadProc(proc), m_pThreadParams(param) {}

CWinThread::~CWinThread() {
    if (m_hThread) CloseHandle(m_hThread);
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize, LPSECURITY_ATTRIBUTES attrs) {
    // Started suspended in any case, so m_hThread and m_nThreadID are set before the thread can
    // look at them (or delete the object).
    DWORD id = 0;
    HANDLE h = ::CreateThread(attrs, nStackSize, &CWinThread::Entry, this, CREATE_SUSPENDED, &id);
    if (!h) return FALSE;
    m_hThread = h;
    m_nThreadID = id;
    if (!(dwCreateFlags & CREATE_SUSPENDED)) ::ResumeThread(h);
    return TRUE;
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

BOOL CWinThread::SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread, priority); }

BOOL CWinThread::InitInstance() { return FALSE; }

namespace {
std::atomic<ThreadLoop> g_threadLoop{nullptr};
}  // namespace

void AfxSetThreadLoop(ThreadLoop loop) { g_threadLoop = loop; }

int CWinThread::Run() {
    if (ThreadLoop loop = g_threadLoop.load()) m_nQuitCode = loop(this);
    return ExitInstance();
}

int CWinThread::ExitInstance() { return m_nQuitCode; }

BOOL CWinThread::OnIdle(LONG) { return FALSE; }

DWORD CWinThread::Entry(LPVOID self) {
    auto* t = static_cast<CWinThread*>(self);
    DWORD code;
    if (t->m_pfnThreadProc) code = t->m_pfnThreadProc(t->m_pThreadParams);
    else code = static_cast<DWORD>(t->InitInstance() ? t->Run() : t->ExitInstance());
    if (t->m_bAutoDelete) delete t;
    return code;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int nPriority, UINT nStackSize,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES attrs) {
    if (!proc) return nullptr;
    auto* t = new CWinThread(proc, param);
    if (!t->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, attrs)) {
        delete t;
        return nullptr;
    }
    t->SetThreadPriority(nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED)) t->ResumeThread();
    return t;
}

