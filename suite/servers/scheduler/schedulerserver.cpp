// The scheduler "Qovaro.QvScheduler": one-time and repeating jobs that fire their event through
// the event server running in the host. Jobs live as long as the scheduler object. Beside them
// the scheduler keeps the suite database's planner statistics up to date once a day.
#include "oledate.h"
#include "qvdbsettings.h"
#include "qveventserver.h"
#include "serverbase.h"
#include "qvrunning.h"
#include "qvschedulerserver.h"
#include "sqlitedb.h"
#include "trace.h"
#include "utf.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Job {
    GUID event{};
    long value = 0;
    Clock::time_point due;
    std::chrono::milliseconds period{0};  // 0: once
    std::function<void()> work;           // the scheduler's own job: done instead of firing
};

void TraceFailure(const wchar_t* what, HRESULT hr) {
    wchar_t text[128];
    swprintf(text, 128, L"QvScheduler: %ls; 0x%X\n", what, unsigned(hr));
    OutputDebugStringW(text);
}

// The SQLite file of the suite's profile as the database server reads it; empty for another
// database (PostgreSQL's autovacuum keeps its statistics itself).
std::string SuiteSqliteFile() {
    const CString value = QvDBReadSetting(CString(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2"), L"DBConnection", CString());
    if (value.IsEmpty()) return QvStandInDataHome() + "/qovaro/nq2.sqlite";
    std::string cs = qv::ToUtf8(value.wstr());
    std::string head;
    for (char c : cs.substr(0, 7)) head += (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    if (head != "sqlite:") return {};
    cs.erase(0, 7);
    if (cs.rfind("//", 0) == 0) cs.erase(0, 2);
    return cs == ":memory:" ? std::string() : cs;
}

// The daily job: every table's statistics from a sample of each index (a few hundred rows), so
// that the planner knows the sizes a database reached through the program. A database in use by
// a writer is left for the next day.
void KeepStatistics() {
    const std::string file = SuiteSqliteFile();
    std::error_code ec;
    if (file.empty() || !std::filesystem::exists(file, ec)) return;
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + file) != SQLITE_OK || db.IsReadOnly()) return;
    db.SetBusyTimeout(0);
    if (db.Exec("PRAGMA analysis_limit = 400; ANALYZE; PRAGMA optimize") != SQLITE_OK)
        TraceFailure(L"statistics", E_FAIL);
}

constexpr GUID kStatisticsJob = {0x5a1c7e42, 0x2b8d, 0x4f61, {0x9e, 0x3a, 0x71, 0xc4, 0x0d, 0x56, 0xb2, 0x19}};

// The job list and its thread, shared with the thread so that the scheduler's last reference may
// go away while an event is being fired.
class Timeline {
public:
    void Start(std::shared_ptr<Timeline> self) {
        std::lock_guard<std::mutex> g(m_lock);
        m_thread = std::thread([self] { self->Run(); });
        m_threadId = m_thread.get_id();
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_stop = true;
            m_jobs.clear();
        }
        m_wake.notify_all();
        if (!m_thread.joinable()) return;
        if (std::this_thread::get_id() == m_thread.get_id())
            m_thread.detach();
        else
            m_thread.join();
    }

    void Add(const Job& job, bool replaceRepeating) {
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (replaceRepeating) {
                std::erase_if(m_jobs, [&](const Job& j) { return j.event == job.event && j.period.count() > 0; });
            }
            m_jobs.push_back(job);
        }
        m_wake.notify_all();
    }

    // Returns when no firing of the event is in progress (unless called while firing it).
    bool Remove(const GUID& event) {
        std::unique_lock<std::mutex> g(m_lock);
        const auto before = m_jobs.size();
        std::erase_if(m_jobs, [&](const Job& j) { return j.event == event; });
        const bool removed = m_jobs.size() != before;
        if (std::this_thread::get_id() != m_threadId)
            m_idle.wait(g, [&] { return !m_firing || m_firingEvent != event; });
        return removed;
    }

private:
    void Run() {
        std::unique_lock<std::mutex> g(m_lock);
        while (!m_stop) {
            auto next = std::min_element(m_jobs.begin(), m_jobs.end(),
                                         [](const Job& a, const Job& b) { return a.due < b.due; });
            if (next == m_jobs.end()) {
                m_wake.wait(g);
                continue;
            }
            const auto now = Clock::now();
            if (next->due > now) {
                // A copy: while the lock is released another thread's Add may reallocate m_jobs.
                const Clock::time_point due = next->due;
                m_wake.wait_until(g, due);
                continue;
            }
            Job job = *next;
            if (job.period.count() > 0)
                next->due = std::max(next->due + job.period, now);
            else
                m_jobs.erase(next);
            m_firing = true;
            m_firingEvent = job.event;
            g.unlock();
            Fire(job);
            g.lock();
            m_firing = false;
            m_idle.notify_all();
        }
    }

    static void Fire(const Job& job) {
        if (job.work) {
            job.work();
            return;
        }
        IQvEventServer* server = nullptr;
        HRESULT hr = qv::QueryRunningServer(QV_EVENTSERVER_PROGID, IID_IQvEventServer, reinterpret_cast<void**>(&server));
        if (FAILED(hr) || !server) {
            TraceFailure(L"no event server", FAILED(hr) ? hr : E_POINTER);
            return;
        }
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_I4;
        value.lVal = LONG(job.value);
        hr = server->FireEvent(job.event, value, FALSE);
        if (FAILED(hr)) TraceFailure(L"FireEvent", hr);
        server->Release();
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::vector<Job> m_jobs;
    bool m_stop = false;
    bool m_firing = false;
    GUID m_firingEvent{};
    std::thread m_thread;
    std::thread::id m_threadId;
};

}  // namespace

class CQvSchedulerServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvSchedulerServer)
public:
    const CLSID& GetServerClassID() const override { return CLSID_QvScheduler; }
    LPCWSTR GetServerProgID() const override { return QV_SCHEDULER_PROGID; }
    CQvSchedulerServer() {
        m_timeline->Start(m_timeline);
        // Once a day, the first an hour after the start (the start itself stays quick).
        Job statistics;
        statistics.event = kStatisticsJob;
        statistics.period = std::chrono::hours(24);
        statistics.due = Clock::now() + std::chrono::hours(1);
        statistics.work = KeepStatistics;
        m_timeline->Add(statistics, true);
    }
    ~CQvSchedulerServer() override { m_timeline->Stop(); }

    BEGIN_INTERFACE_PART(Scheduler, IQvScheduler)
        HRESULT AddJob(DATE start, GUID event, long value) override;
        HRESULT SetJob(DWORD periodMs, GUID event, DWORD firstDelayMs, DWORD value) override;
        HRESULT RemoveJob(GUID event) override;
    END_INTERFACE_PART(Scheduler)

    DECLARE_INTERFACE_MAP()

private:
    std::shared_ptr<Timeline> m_timeline = std::make_shared<Timeline>();
};

IMPLEMENT_DYNCREATE(CQvSchedulerServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvSchedulerServer, CQvStandInServer)
    INTERFACE_PART(CQvSchedulerServer, IID_IQvScheduler, Scheduler)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvSchedulerServer, Scheduler)

HRESULT CQvSchedulerServer::XScheduler::AddJob(DATE start, GUID event, long value) {
    METHOD_PROLOGUE(CQvSchedulerServer, Scheduler)
    COleDateTime when(start);
    if (when.GetStatus() != COleDateTime::valid) return E_INVALIDARG;
    // The start is a local wall-clock time; the wait runs on the steady clock.
    const double seconds = (when - COleDateTime::GetCurrentTime()).GetTotalSeconds();
    Job job;
    job.event = event;
    job.value = value;
    job.due = Clock::now();
    if (seconds > 0) job.due += std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0 + 0.5));
    pThis->m_timeline->Add(job, false);
    return S_OK;
}

HRESULT CQvSchedulerServer::XScheduler::SetJob(DWORD periodMs, GUID event, DWORD firstDelayMs, DWORD value) {
    METHOD_PROLOGUE(CQvSchedulerServer, Scheduler)
    if (periodMs == 0) return E_INVALIDARG;
    Job job;
    job.event = event;
    job.value = long(LONG(value));
    job.period = std::chrono::milliseconds(periodMs);
    job.due = Clock::now() + std::chrono::milliseconds(firstDelayMs ? firstDelayMs : periodMs);
    pThis->m_timeline->Add(job, true);
    return S_OK;
}

HRESULT CQvSchedulerServer::XScheduler::RemoveJob(GUID event) {
    METHOD_PROLOGUE(CQvSchedulerServer, Scheduler)
    return pThis->m_timeline->Remove(event) ? S_OK : S_FALSE;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_QvScheduler, CQvSchedulerServer, QV_SCHEDULER_PROGID, AfxDllCanUnloadNow())
