// The scheduler "Qovaro.QvScheduler": one-time and repeating jobs that fire their event through
// the event server running in the host. Jobs live as long as the scheduler object.
#include "oledate.h"
#include "qveventserver.h"
#include "serverbase.h"
#include "qvrunning.h"
#include "qvschedulerserver.h"
#include "trace.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
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
};

void TraceFailure(const wchar_t* what, HRESULT hr) {
    wchar_t text[128];
    swprintf(text, 128, L"QvScheduler: %ls; 0x%X\n", what, unsigned(hr));
    OutputDebugStringW(text);
}

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
    CQvSchedulerServer() { m_timeline->Start(m_timeline); }
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
