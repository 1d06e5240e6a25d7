#include "guid.h"
#include "lasterror.h"
#include "sync.h"
#include "tempdir.h"
#include "thread.h"
#include "trace.h"
#include "utf.h"
#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <csignal>
#include <cstdio>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// Runs a function on a thread of ours and returns its exit code.
template <class F>
DWORD RunOnThread(F f) {
    struct Box {
        F fn;
        static DWORD Call(void* p) { return static_cast<Box*>(p)->fn(); }
    } box{f};
    HANDLE h = CreateThread(nullptr, 0, &Box::Call, &box, 0, nullptr);
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    return code;
}

std::wstring UniqueName() { return L"Global\\qvtest-" + qv::GuidToString(qv::NewGuid(), false); }

// The mutex helper as a child process with a pipe to its stdin and one from its stdout.
class Helper {
public:
    Helper(const std::wstring& name, const char* mode) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        const std::string path = qvtest::SiblingBinary("qvbase_mutex_helper");
        const std::string n = qv::ToUtf8(name);
        char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(n.c_str()), const_cast<char*>(mode), nullptr};
        if (posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = fdopen(out[0], "r");
    }
    ~Helper() {
        if (toChild_ >= 0) close(toChild_);
        if (fromChild_) fclose(fromChild_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Running() const { return pid_ > 0; }
    std::string ReadLine() {
        char buf[64] = {};
        if (!fromChild_ || !fgets(buf, sizeof buf, fromChild_)) return {};
        return buf;
    }
    void CloseInput() {
        close(toChild_);
        toChild_ = -1;
    }
    void Kill() { kill(pid_, SIGKILL); }
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    FILE* fromChild_ = nullptr;
};

int TryInOtherProcess(const std::wstring& name) {
    Helper h(name, "try");
    return h.Running() ? h.Wait() : -1;
}

}  // namespace

TEST(LastError, EachThreadKeepsItsOwn) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    const DWORD seen = RunOnThread([] {
        const DWORD initial = GetLastError();
        SetLastError(ERROR_ACCESS_DENIED);
        return initial * 1000 + GetLastError();
    });
    EXPECT_EQ(seen, ERROR_ACCESS_DENIED);  // started at 0, set its own
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(qv::SystemErrorText(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)), L"Access is denied.");
}

TEST(Threads, IdsAreSmallStableAndDistinct) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_NE(mine, 0u);
    EXPECT_EQ(GetCurrentThreadId(), mine);
    std::set<DWORD> ids{mine};
    for (int i = 0; i < 5; ++i) {
        DWORD reported = 0;
        struct Arg {
            DWORD seen = 0;
            static DWORD Run(void* p) {
                static_cast<Arg*>(p)->seen = GetCurrentThreadId();
                return 0;
            }
        } arg;
        HANDLE h = CreateThread(nullptr, 0, &Arg::Run, &arg, 0, &reported);
        ASSERT_EQ(WaitForSingleObject(h, 10000), WAIT_OBJECT_0);
        CloseHandle(h);
        EXPECT_EQ(arg.seen, reported);
        EXPECT_LT(reported, 100000u);
        ids.insert(reported);
    }
    EXPECT_EQ(ids.size(), 6u);
}

TEST(Threads, SuspendedThreadRunsAfterResumeAndReportsItsExitCode) {
    std::atomic<bool> ran{false};
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Arg {
        std::atomic<bool>* ran;
        HANDLE go;
        static DWORD Run(void* p) {
            auto* a = static_cast<Arg*>(p);
            *a->ran = true;
            WaitForSingleObject(a->go, INFINITE);
            // The thread's own objects (a session pool closing its connection) go after its
            // function has returned; its end is seen only once they are gone.
            thread_local Teardown teardown;
            teardown.ran = a->ran;
            return 42;
        }
        struct Teardown {
            std::atomic<bool>* ran = nullptr;
            ~Teardown() {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                *ran = false;
            }
        };
    } arg{&ran, go};
    HANDLE h = CreateThread(nullptr, 0, &Arg::Run, &arg, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 50), WAIT_TIMEOUT);
    EXPECT_FALSE(ran);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ResumeThread(h), 1u);
    EXPECT_EQ(ResumeThread(h), 0u);
    SetEvent(go);
    ASSERT_EQ(WaitForSingleObject(h, 10000), WAIT_OBJECT_0);
    EXPECT_FALSE(ran) << "the end was seen before the thread's teardown";
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_TRUE(CloseHandle(go));
    EXPECT_EQ(ResumeThread(h), DWORD(-1));
}

TEST(Threads, AfxBeginThreadAsTheDialogsUseIt) {
    static std::atomic<int> calls{0};
    calls = 0;
    CWinThread* t = AfxBeginThread([](LPVOID p) -> UINT {
        ++calls;
        const std::unique_ptr<UINT> value(static_cast<UINT*>(p));
        return *value;
    }, new UINT(7), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    t->m_bAutoDelete = FALSE;
    EXPECT_NE(t->m_nThreadID, 0u);
    EXPECT_EQ(t->ResumeThread(), 1u);
    ASSERT_EQ(WaitForSingleObject(t->m_hThread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(t->m_hThread, &code);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(calls, 1);
    delete t;
}

TEST(Threads, AutoDeletingThreadObjectsDeleteThemselves) {
    struct Probe : CWinThread {
        HANDLE done;
        explicit Probe(HANDLE d) : done(d) {}
        BOOL InitInstance() override { return TRUE; }
        int Run() override { return 5; }
        ~Probe() override { SetEvent(done); }
    };
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* p = new Probe(done);
    ASSERT_TRUE(p->CreateThread());
    EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
    CloseHandle(done);
}

TEST(Events, AutoResetReleasesOneWaitManualResetStaysSet) {
    HANDLE a = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    HANDLE m = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 10), WAIT_TIMEOUT);
    SetEvent(m);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    ResetEvent(m);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
    // A name gives the same event to everyone in the process who uses it.
    const std::wstring name = UniqueName();
    HANDLE n1 = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    HANDLE n2 = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    SetEvent(n1);
    EXPECT_EQ(WaitForSingleObject(n2, 0), WAIT_OBJECT_0);
    for (HANDLE h : {a, m, n1, n2}) EXPECT_TRUE(CloseHandle(h));
}

TEST(Events, WaitAnyAndWaitAll) {
    HANDLE e[3] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, FALSE, FALSE, nullptr),
                   CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 20), WAIT_TIMEOUT);
    SetEvent(e[2]);
    SetEvent(e[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 0), WAIT_OBJECT_0 + 1);  // lowest ready index
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 0), WAIT_OBJECT_0 + 2);

    // Wait-all takes nothing until everything is ready: the auto-reset event stays set.
    SetEvent(e[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, TRUE, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(e[1], 0), WAIT_OBJECT_0);
    SetEvent(e[1]);

    // The last one set by another thread completes the wait.
    HANDLE setter = CreateThread(nullptr, 0, [](void* p) -> DWORD { return SetEvent(static_cast<HANDLE>(p)) ? 0 : 1; },
                                 e[0], 0, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, e, TRUE, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e[0], 0), WAIT_TIMEOUT);  // both auto-reset events were taken
    EXPECT_EQ(WaitForSingleObject(e[1], 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(e[2], 0), WAIT_OBJECT_0);
    WaitForSingleObject(setter, 10000);
    CloseHandle(setter);

    HANDLE twice[2] = {e[2], e[2]};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
    for (HANDLE h : e) CloseHandle(h);
    EXPECT_EQ(WaitForSingleObject(e[0], 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(e[0]));
    EXPECT_FALSE(SetEvent(e[0]));
}

TEST(Mutexes, OwnerMayReenterOthersWait) {
    HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);  // owned twice now
    auto otherTakes = [m] { return RunOnThread([m] { return WaitForSingleObject(m, 0); }); };
    EXPECT_EQ(otherTakes(), WAIT_TIMEOUT);
    EXPECT_EQ(RunOnThread([m] { return ReleaseMutex(m) ? 0u : GetLastError(); }), DWORD(ERROR_NOT_OWNER));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(otherTakes(), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    // Taken (and not released) by a thread that then ends: abandoned, and handed on as such.
    EXPECT_EQ(otherTakes(), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_ABANDONED_0);
    EXPECT_TRUE(ReleaseMutex(m));
    // The same for threads started by other libraries.
    std::thread([m] { EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0); }).join();
    EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_ABANDONED_0);
    ReleaseMutex(m);
    CloseHandle(m);
}

TEST(Mutexes, NamedMutexIsSharedWithinTheProcess) {
    qvtest::TempDir locks;
    qvtest::ScopedEnv lockDir("QV_LOCK_DIR", locks.path());
    const std::wstring name = UniqueName();
    HANDLE a = CreateMutexW(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    HANDLE b = CreateMutexW(nullptr, FALSE, name.c_str());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    ASSERT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    EXPECT_EQ(RunOnThread([b] { return WaitForSingleObject(b, 0); }), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(b));  // same object, same owner
    CloseHandle(a);
    CloseHandle(b);
}

TEST(Mutexes, NamedMutexExcludesAnotherProcess) {
    qvtest::TempDir locks;
    qvtest::ScopedEnv lockDir("QV_LOCK_DIR", locks.path());  // inherited by the helper
    const std::wstring name = UniqueName();
    HANDLE m = CreateMutexW(nullptr, FALSE, name.c_str());
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_EQ(TryInOtherProcess(name), 1);
    ASSERT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(TryInOtherProcess(name), 0);

    {
        Helper holder(name, "hold");
        ASSERT_TRUE(holder.Running());
        ASSERT_EQ(holder.ReadLine(), "locked\n");
        EXPECT_EQ(WaitForSingleObject(m, 50), WAIT_TIMEOUT);
        HANDLE both[2] = {m, CreateEventW(nullptr, TRUE, TRUE, nullptr)};
        EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 50), WAIT_TIMEOUT);
        EXPECT_EQ(WaitForSingleObject(both[1], 0), WAIT_OBJECT_0);
        holder.CloseInput();  // the helper releases and ends
        EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(holder.Wait(), 0);
        EXPECT_TRUE(ReleaseMutex(m));
        CloseHandle(both[1]);
    }
    {
        // Wait-all over two named mutexes, the second held elsewhere: the first must not stay
        // taken by the failed wait.
        const std::wstring other = UniqueName();
        HANDLE n = CreateMutexW(nullptr, FALSE, other.c_str());
        Helper holder(other, "hold");
        ASSERT_EQ(holder.ReadLine(), "locked\n");
        HANDLE pair[2] = {m, n};
        EXPECT_EQ(WaitForMultipleObjects(2, pair, TRUE, 30), WAIT_TIMEOUT);
        EXPECT_EQ(TryInOtherProcess(name), 0);
        holder.CloseInput();
        EXPECT_EQ(WaitForMultipleObjects(2, pair, TRUE, 10000), WAIT_OBJECT_0);
        EXPECT_EQ(TryInOtherProcess(name), 1);
        ReleaseMutex(m);
        ReleaseMutex(n);
        CloseHandle(n);
    }
    {
        // A process that dies holding the mutex does not block the machine.
        Helper holder(name, "hold");
        ASSERT_EQ(holder.ReadLine(), "locked\n");
        EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
        holder.Kill();
        EXPECT_EQ(WaitForSingleObject(m, 10000), WAIT_OBJECT_0);
        ReleaseMutex(m);
    }
    CloseHandle(m);
}

TEST(CriticalSections, RecursiveAndExclusive) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    auto otherEnters = [&cs] {
        return RunOnThread([&cs] {
            if (!TryEnterCriticalSection(&cs)) return 0u;
            LeaveCriticalSection(&cs);
            return 1u;
        });
    };
    LeaveCriticalSection(&cs);
    EXPECT_EQ(otherEnters(), 0u);
    LeaveCriticalSection(&cs);
    EXPECT_EQ(otherEnters(), 1u);
    DeleteCriticalSection(&cs);

    CCriticalSection sect;
    {
        CSingleLock lock(&sect, TRUE);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_EQ(RunOnThread([&sect] { return DWORD(sect.Lock(20)); }), DWORD(FALSE));
    }
    EXPECT_EQ(RunOnThread([&sect] {
        CSingleLock lock(&sect);
        return DWORD(lock.Lock());
    }), DWORD(TRUE));
}

TEST(Interlocked, CountsFromManyThreads) {
    static LONG volatile counter = 0;
    counter = 0;
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i) {
        threads.push_back(CreateThread(nullptr, 0, [](void*) -> DWORD {
            for (int k = 0; k < 10000; ++k) InterlockedIncrement(&counter);
            for (int k = 0; k < 5000; ++k) InterlockedDecrement(&counter);
            return 0;
        }, nullptr, 0, nullptr));
    }
    EXPECT_EQ(WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 30000), WAIT_OBJECT_0);
    for (HANDLE h : threads) CloseHandle(h);
    EXPECT_EQ(counter, 40000);
    LONG v = 5;
    EXPECT_EQ(InterlockedCompareExchange(&v, 9, 4), 5);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(InterlockedCompareExchange(&v, 9, 5), 5);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedExchange(&v, 1), 9);
    EXPECT_EQ(v, 1);
}

TEST(Trace, KeepsTheLastLinesUnlessSentToStderr) {
    qvtest::ScopedEnv quiet("QV_TRACE", "");
    qv::ClearTrace();
    OutputDebugStringW(L"QvFServer: 07.03.2026 08:05:09; 0x1; Init() called for: 'CKursView'\n");
    OutputDebugStringW(L"zwei\ndrei");
    OutputDebugStringA("Gr\xC3\xBC\xC3\x9F" "e\n");
    EXPECT_EQ(qv::TraceLines(), (std::vector<std::wstring>{
                                    L"QvFServer: 07.03.2026 08:05:09; 0x1; Init() called for: 'CKursView'", L"zwei",
                                    L"drei", L"Grüße"}));
    for (int i = 0; i < 1005; ++i) OutputDebugStringW((L"line " + std::to_wstring(i) + L"\n").c_str());
    const auto lines = qv::TraceLines();
    ASSERT_EQ(lines.size(), qv::kTraceCapacity);
    EXPECT_EQ(lines.front(), L"line 5");
    EXPECT_EQ(lines.back(), L"line 1004");
    qv::ClearTrace();
    EXPECT_TRUE(qv::TraceLines().empty());

    qvtest::ScopedEnv loud("QV_TRACE", "1");
    testing::internal::CaptureStderr();
    OutputDebugStringW(L"an stderr\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "an stderr\n");
    EXPECT_TRUE(qv::TraceLines().empty());
}
