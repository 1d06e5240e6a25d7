#pragma once
// Waitable kernel objects (events, mutexes, threads) behind numbered HANDLEs, critical sections,
// interlocked operations, Sleep and thread ids. Named mutexes exclude across processes too.
#include "qvtypes.h"
#include <pthread.h>

// A small number per thread, stable for the thread's life and never reused in the process.
DWORD GetCurrentThreadId();
// Sleep(0) yields the rest of the time slice.
void Sleep(DWORD milliseconds);

BOOL CloseHandle(HANDLE h);

// A name makes the event shared by all who create or open that name in this process.
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES attrs, BOOL manualReset, BOOL initialState, LPCWSTR name);
inline HANDLE CreateEvent(LPSECURITY_ATTRIBUTES attrs, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    return CreateEventW(attrs, manualReset, initialState, name);
}
BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);

// A named mutex ("Global\\Name", "Local\\Name" or a plain name) excludes every process of the
// machine that uses the name: besides the in-process owner it holds an flock on a lock file in
// $QV_LOCK_DIR, else /dev/shm (or $XDG_RUNTIME_DIR, or /tmp). The owner thread may acquire it again; each acquisition
// needs its ReleaseMutex. A mutex whose owner thread ends is abandoned: the next wait gets it
// with WAIT_ABANDONED_0. GetLastError() is ERROR_ALREADY_EXISTS when this process had the name.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attrs, BOOL initialOwner, LPCWSTR name);
inline HANDLE CreateMutex(LPSECURITY_ATTRIBUTES attrs, BOOL initialOwner, LPCWSTR name) {
    return CreateMutexW(attrs, initialOwner, name);
}
BOOL ReleaseMutex(HANDLE h);

// WAIT_OBJECT_0, WAIT_ABANDONED_0 (a mutex), WAIT_TIMEOUT or WAIT_FAILED (see GetLastError).
DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds);
// Wait-any returns WAIT_OBJECT_0 + the index of the first object that is ready (lowest index
// first); wait-all takes all objects at once or none.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Recursive, as on Windows.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);

LONG InterlockedIncrement(LONG volatile* p);
LONG InterlockedDecrement(LONG volatile* p);
LONG InterlockedExchange(LONG volatile* p, LONG value);
LONG InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand);
LONG InterlockedExchangeAdd(LONG volatile* p, LONG value);
// The same for the system's own 'long' counters (64 bits wide here).
long InterlockedIncrement(long volatile* p);
long InterlockedDecrement(long volatile* p);
long InterlockedExchange(long volatile* p, long value);
long InterlockedCompareExchange(long volatile* p, long exchange, long comparand);
long InterlockedExchangeAdd(long volatile* p, long value);

// ---- the class library's synchronisation classes

class CSyncObject {
public:
    explicit CSyncObject(HANDLE h = nullptr) : m_hObject(h) {}
    virtual ~CSyncObject();
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;
    virtual BOOL Lock(DWORD timeout = INFINITE);
    virtual BOOL Unlock() = 0;
    operator HANDLE() const { return m_hObject; }
    HANDLE m_hObject;
};

class CCriticalSection : public CSyncObject {
public:
    CCriticalSection();
    ~CCriticalSection() override;
    BOOL Lock() { EnterCriticalSection(&m_sect); return TRUE; }
    BOOL Lock(DWORD timeout) override;
    BOOL Unlock() override;
    operator CRITICAL_SECTION*() { return &m_sect; }
    CRITICAL_SECTION m_sect;
};

// Holds the lock of one synchronisation object for a scope.
class CSingleLock {
public:
    explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;
    BOOL Lock(DWORD timeout = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_bAcquired; }

private:
    CSyncObject* m_pObject;
    BOOL m_bAcquired = FALSE;
};
