#include "sync.h"
#include "kobject_p.h"
#include "lasterror.h"
#include "utf.h"
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace qv::detail {
namespace {

struct Globals {
    std::mutex waitLock;
    std::condition_variable changed;
    std::mutex tableLock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KObject>> handles;
    std::uintptr_t nextHandle = 0;
    std::unordered_map<std::wstring, std::weak_ptr<KObject>> names;  // under waitLock
    std::atomic<DWORD> nextThreadId{1};
};

Globals& G() {
    static Globals* g = new Globals;  // never destroyed: detached threads may outlive main
    return *g;
}

thread_local DWORD t_threadId = 0;

}  // namespace

std::mutex& WaitLock() { return G().waitLock; }
std::condition_variable& WaitChanged() { return G().changed; }

HANDLE InsertHandle(std::shared_ptr<KObject> obj) {
    Globals& g = G();
    std::lock_guard l(g.tableLock);
    const std::uintptr_t key = (++g.nextHandle) * 4;  // never reused, never null
    g.handles.emplace(key, std::move(obj));
    return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<KObject> LookupHandle(HANDLE h) {
    Globals& g = G();
    std::lock_guard l(g.tableLock);
    auto it = g.handles.find(reinterpret_cast<std::uintptr_t>(h));
    return it == g.handles.end() ? nullptr : it->second;
}

DWORD NewThreadId() { return G().nextThreadId.fetch_add(1); }

void AdoptThreadId(DWORD id) { t_threadId = id; }

}  // namespace qv::detail

using namespace qv::detail;

DWORD GetCurrentThreadId() {
    if (!t_threadId) t_threadId = NewThreadId();
    return t_threadId;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) std::this_thread::yield();
    else std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

BOOL CloseHandle(HANDLE h) {
    Globals& g = G();
    std::shared_ptr<KObject> dying;  // destroyed after the table lock is given up
    std::lock_guard l(g.tableLock);
    auto it = g.handles.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == g.handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    dying = std::move(it->second);
    g.handles.erase(it);
    return TRUE;
}

// ---- events

namespace {

struct EventObj : KObject {
    EventObj(bool manual, bool state) : KObject(Type::Event), manualReset(manual), signaled(state) {}
    bool Ready(DWORD) const override { return signaled; }
    bool Acquire(DWORD, bool&) override {
        if (!manualReset) signaled = false;
        return true;
    }
    void Undo(DWORD) override {
        if (!manualReset) signaled = true;
    }
    const bool manualReset;
    bool signaled;
};

// ---- mutexes

// Lock files of named mutexes: machine-wide when /dev/shm is there. QV_LOCK_DIR moves them
// (tests keep theirs in a temporary folder).
std::string LockDir() {
    if (const char* d = std::getenv("QV_LOCK_DIR"); d && *d) return d;
    struct stat st;
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return x;
    return "/tmp";
}

std::string LockFileName(std::wstring_view name) {
    std::string out = "qvmutex-";
    const std::string u = qv::ToUtf8(name);
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : u) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

struct MutexObj : KObject, std::enable_shared_from_this<MutexObj> {
    MutexObj() : KObject(Type::Mutex) {}
    ~MutexObj() override {
        if (fd >= 0) close(fd);  // also drops an flock still held
    }
    bool Ready(DWORD tid) const override { return owner == 0 || owner == tid; }
    bool Acquire(DWORD tid, bool& wasAbandoned) override;
    void Undo(DWORD tid) override { Release(tid); }
    bool NeedsPolling() const override { return fd >= 0; }
    bool Release(DWORD tid);
    void Abandon();

    DWORD owner = 0;
    unsigned count = 0;
    bool abandoned = false;
    int fd = -1;  // lock file of a named mutex
};

// Mutexes each thread owns, so that a thread's end abandons them instead of leaving them owned.
struct OwnedMutexes {
    std::vector<std::weak_ptr<MutexObj>> list;
    ~OwnedMutexes() { AbandonOwnedMutexes(); }
};
thread_local OwnedMutexes t_owned;

bool MutexObj::Acquire(DWORD tid, bool& wasAbandoned) {
    if (owner == tid) {
        ++count;
        return true;
    }
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) return false;  // another process has it
    owner = tid;
    count = 1;
    wasAbandoned = abandoned;
    abandoned = false;
    t_owned.list.push_back(weak_from_this());
    return true;
}

bool MutexObj::Release(DWORD tid) {
    if (owner != tid || count == 0) return false;
    if (--count == 0) {
        owner = 0;
        if (fd >= 0) flock(fd, LOCK_UN);
        auto& l = t_owned.list;
        l.erase(std::remove_if(l.begin(), l.end(),
                               [this](const std::weak_ptr<MutexObj>& w) {
                                   auto p = w.lock();
                                   return !p || p.get() == this;
                               }),
                l.end());
    }
    return true;
}

void MutexObj::Abandon() {
    owner = 0;
    count = 0;
    abandoned = true;
    if (fd >= 0) flock(fd, LOCK_UN);
}

std::shared_ptr<KObject> FindNamed(const std::wstring& key) {
    auto& names = G().names;
    auto it = names.find(key);
    if (it == names.end()) return nullptr;
    auto p = it->second.lock();
    if (!p) names.erase(it);
    return p;
}

std::wstring StripNamespace(LPCWSTR name) {
    std::wstring_view n(name);
    for (std::wstring_view prefix : {std::wstring_view(L"Global\\"), std::wstring_view(L"Local\\")}) {
        if (n.starts_with(prefix)) {
            n.remove_prefix(prefix.size());
            break;
        }
    }
    return std::wstring(n);
}

}  // namespace

namespace qv::detail {
void AbandonOwnedMutexes() {
    std::vector<std::shared_ptr<MutexObj>> held;
    for (auto& w : t_owned.list)
        if (auto p = w.lock()) held.push_back(std::move(p));
    t_owned.list.clear();
    if (held.empty()) return;
    const DWORD tid = GetCurrentThreadId();
    {
        std::lock_guard l(WaitLock());
        for (auto& m : held)
            if (m->owner == tid) m->Abandon();
    }
    WaitChanged().notify_all();
}
}  // namespace qv::detail

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    std::shared_ptr<KObject> obj;
    DWORD err = ERROR_SUCCESS;
    {
        std::lock_guard l(WaitLock());
        if (name && *name) {
            const std::wstring key = L"event:" + StripNamespace(name);
            obj = FindNamed(key);
            if (obj) {
                err = ERROR_ALREADY_EXISTS;
            } else {
                obj = std::make_shared<EventObj>(manualReset != FALSE, initialState != FALSE);
                G().names[key] = obj;
            }
        } else {
            obj = std::make_shared<EventObj>(manualReset != FALSE, initialState != FALSE);
        }
    }
    SetLastError(err);
    return InsertHandle(std::move(obj));
}

namespace {
template <class T>
std::shared_ptr<T> As(HANDLE h, KObject::Type type) {
    auto obj = LookupHandle(h);
    if (!obj || obj->type != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(obj);
}
}  // namespace

BOOL SetEvent(HANDLE h) {
    auto e = As<EventObj>(h, KObject::Type::Event);
    if (!e) return FALSE;
    {
        std::lock_guard l(WaitLock());
        e->signaled = true;
    }
    WaitChanged().notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE h) {
    auto e = As<EventObj>(h, KObject::Type::Event);
    if (!e) return FALSE;
    std::lock_guard l(WaitLock());
    e->signaled = false;
    return TRUE;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    std::shared_ptr<MutexObj> m;
    bool existed = false;
    {
        std::lock_guard l(WaitLock());
        std::wstring key;
        if (name && *name) {
            key = L"mutex:" + StripNamespace(name);
            if (auto found = FindNamed(key)) {
                m = std::static_pointer_cast<MutexObj>(found);
                existed = true;
            } else if (FindNamed(L"event:" + StripNamespace(name))) {
                SetLastError(ERROR_INVALID_HANDLE);  // the name belongs to an object of another kind
                return nullptr;
            }
        }
        if (!m) {
            m = std::make_shared<MutexObj>();
            if (!key.empty()) {
                const std::string path = LockDir() + "/" + LockFileName(StripNamespace(name));
                m->fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
                if (m->fd < 0) {
                    SetLastError(qv::Win32ErrorFromErrno(errno));
                    return nullptr;
                }
                fchmod(m->fd, 0666);  // everyone may use it, whatever our umask
                G().names[key] = m;
            }
        }
        if (initialOwner && !existed) {
            bool abandoned = false;
            if (!m->Acquire(GetCurrentThreadId(), abandoned)) existed = true;  // another process holds it
        }
    }
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return InsertHandle(m);
}

BOOL ReleaseMutex(HANDLE h) {
    auto m = As<MutexObj>(h, KObject::Type::Mutex);
    if (!m) return FALSE;
    {
        std::lock_guard l(WaitLock());
        if (!m->Release(GetCurrentThreadId())) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
    }
    WaitChanged().notify_all();
    return TRUE;
}

// ---- waiting

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<KObject>> objs(count);
    bool polling = false;
    for (DWORD i = 0; i < count; ++i) {
        objs[i] = LookupHandle(handles[i]);
        if (!objs[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        polling = polling || objs[i]->NeedsPolling();
        if (waitAll) {
            for (DWORD j = 0; j < i; ++j) {
                if (objs[j] == objs[i]) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return WAIT_FAILED;
                }
            }
        }
    }
    const DWORD tid = GetCurrentThreadId();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    auto poll = std::chrono::milliseconds(1);
    std::unique_lock l(WaitLock());
    for (;;) {
        if (waitAll) {
            bool all = true;
            for (auto& o : objs) all = all && o->Ready(tid);
            if (all) {
                // Objects of other processes first: they are the ones that can still refuse.
                std::vector<size_t> order(count);
                for (size_t i = 0; i < count; ++i) order[i] = i;
                std::stable_partition(order.begin(), order.end(), [&](size_t i) { return objs[i]->NeedsPolling(); });
                size_t taken = 0;
                int abandonedIndex = -1;
                for (; taken < count; ++taken) {
                    bool abandoned = false;
                    if (!objs[order[taken]]->Acquire(tid, abandoned)) break;
                    if (abandoned && abandonedIndex < 0) abandonedIndex = int(order[taken]);
                }
                if (taken == count) {
                    return abandonedIndex >= 0 ? WAIT_ABANDONED_0 + DWORD(abandonedIndex) : WAIT_OBJECT_0;
                }
                while (taken > 0) objs[order[--taken]]->Undo(tid);
            }
        } else {
            for (DWORD i = 0; i < count; ++i) {
                bool abandoned = false;
                if (objs[i]->Ready(tid) && objs[i]->Acquire(tid, abandoned))
                    return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
            }
        }
        if (milliseconds == 0) return WAIT_TIMEOUT;
        if (milliseconds == INFINITE) {
            if (polling) WaitChanged().wait_for(l, poll);
            else WaitChanged().wait(l);
        } else {
            const auto now = Clock::now();
            if (now >= deadline) return WAIT_TIMEOUT;
            auto until = deadline;
            if (polling && now + poll < deadline) until = now + poll;
            WaitChanged().wait_until(l, until);
        }
        if (polling && poll < std::chrono::milliseconds(20)) poll *= 2;
    }
}

DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds) { return WaitForMultipleObjects(1, &h, FALSE, milliseconds); }

// ---- critical sections

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&cs->mutex, &a);
    pthread_mutexattr_destroy(&a);
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_lock(&cs->mutex); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) { return pthread_mutex_trylock(&cs->mutex) == 0; }

void LeaveCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_unlock(&cs->mutex); }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) { pthread_mutex_destroy(&cs->mutex); }

LONG InterlockedIncrement(LONG volatile* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(LONG volatile* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(LONG volatile* p, LONG value) { return __atomic_exchange_n(p, value, __ATOMIC_SEQ_CST); }
LONG InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;  // the value found, whether or not it was replaced
}
LONG InterlockedExchangeAdd(LONG volatile* p, LONG value) { return __atomic_fetch_add(p, value, __ATOMIC_SEQ_CST); }
long InterlockedIncrement(long volatile* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
long InterlockedDecrement(long volatile* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
long InterlockedExchange(long volatile* p, long value) { return __atomic_exchange_n(p, value, __ATOMIC_SEQ_CST); }
long InterlockedCompareExchange(long volatile* p, long exchange, long comparand) {
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
long InterlockedExchangeAdd(long volatile* p, long value) { return __atomic_fetch_add(p, value, __ATOMIC_SEQ_CST); }

// ---- class library wrappers

CSyncObject::~CSyncObject() {
    if (m_hObject) CloseHandle(m_hObject);
}

BOOL CSyncObject::Lock(DWORD timeout) {
    const DWORD r = WaitForSingleObject(m_hObject, timeout);
    return r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0;
}

CCriticalSection::CCriticalSection() { InitializeCriticalSection(&m_sect); }

CCriticalSection::~CCriticalSection() { DeleteCriticalSection(&m_sect); }

BOOL CCriticalSection::Lock(DWORD timeout) {
    if (timeout == INFINITE) {
        EnterCriticalSection(&m_sect);
        return TRUE;
    }
    timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += timeout / 1000;
    until.tv_nsec += long(timeout % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    return pthread_mutex_timedlock(&m_sect.mutex, &until) == 0;
}

BOOL CCriticalSection::Unlock() {
    LeaveCriticalSection(&m_sect);
    return TRUE;
}

CSingleLock::CSingleLock(CSyncObject* object, BOOL initialLock) : m_pObject(object) {
    if (initialLock) Lock();
}

CSingleLock::~CSingleLock() { Unlock(); }

BOOL CSingleLock::Lock(DWORD timeout) {
    if (m_bAcquired) return TRUE;
    if (!m_pObject) return FALSE;
    m_bAcquired = m_pObject->Lock(timeout);
    return m_bAcquired;
}

BOOL CSingleLock::Unlock() {
    if (m_bAcquired && m_pObject) m_bAcquired = !m_pObject->Unlock();
    return !m_bAcquired;
}
