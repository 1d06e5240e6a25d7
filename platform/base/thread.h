#pragma once
// Worker threads: CreateThread-shaped threads whose HANDLE can be waited for, and the class
// library's CWinThread / AfxBeginThread. Thread messages belong to the window layer.
#include "qvtypes.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

// dwCreationFlags: 0 or CREATE_SUSPENDED (then the thread starts at ResumeThread). The stack size
// is the system's choice. The handle is signalled when the thread function has returned and the
// thread's own objects (its thread_local objects) are gone.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES attrs, std::size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID param, DWORD dwCreationFlags, LPDWORD threadId);
// The previous suspend count, or (DWORD)-1 for a handle that is not a thread.
DWORD ResumeThread(HANDLE thread);
// STILL_ACTIVE while the thread runs, then the value its function returned.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// Priorities are accepted and not applied: all threads here run at the normal priority.
BOOL SetThreadPriority(HANDLE thread, int priority);

using AFX_THREADPROC = UINT (*)(LPVOID);

struct AFX_MSGMAP;
class CWinThread;
// The message loop of user-interface threads; the window layer installs it (its threads' queues
// and message maps live there). Returns the code of the thread's WM_QUIT.
using ThreadLoop = int (*)(CWinThread* thread);
void AfxSetThreadLoop(ThreadLoop loop);

class CWinThread {
public:
    CWinThread();
    CWinThread(AFX_THREADPROC proc, LPVOID param);
    virtual ~CWinThread();  // closes m_hThread
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0, LPSECURITY_ATTRIBUTES attrs = nullptr);
    DWORD ResumeThread();
    BOOL SetThreadPriority(int priority);
    operator HANDLE() const { return m_hThread; }

    // Threads without a thread function run InitInstance, then Run when it succeeded, and end
    // with ExitInstance's value. Run takes the thread's messages (through its thread message map)
    // until WM_QUIT, calling OnIdle whenever the queue is empty, as long as OnIdle returns TRUE.
    virtual BOOL InitInstance();
    virtual int Run();
    // The default gives the code of the thread's WM_QUIT.
    virtual int ExitInstance();
    // count: the idle calls since the last message. FALSE: no more idle calls until one comes.
    virtual BOOL OnIdle(LONG count);

    // Thread message maps (ON_THREAD_MESSAGE); this class's own map is empty.
    static const AFX_MSGMAP* StaticMessageMap() { return nullptr; }
    virtual const AFX_MSGMAP* GetMessageMap() const { return nullptr; }

    int m_nQuitCode = 0;  // the code of the WM_QUIT that ended Run

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    // When TRUE (the default) the object deletes itself when its thread ends; a caller that wants
    // to wait for m_hThread afterwards sets it FALSE and deletes the object itself.
    BOOL m_bAutoDelete = TRUE;
    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;

private:
    static DWORD Entry(LPVOID self);
};

// A started (or, with CREATE_SUSPENDED, ready) worker thread; nullptr when it cannot be created.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int nPriority = THREAD_PRIORITY_NORMAL,
                           UINT nStackSize = 0, DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES attrs = nullptr);
