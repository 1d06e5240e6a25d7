// The scheduler client against the scheduler and event server stand-ins: one-time and repeating
// jobs raise their events through the event server.
#include "oledate.h"
#include "qveventsink.h"
#include "qveventsource.h"
#include "qvscheduler.h"
#include "qvschedulerserver.h"
#include "servertest.h"

#include <gtest/gtest.h>

#include <thread>

using qvtest::RecordingSink;
using qvtest::ValueOf;

namespace {

constexpr GUID kRightsRefresh = qv::MakeGuid("47DCD639-0AF3-40B1-83D4-A43678E6ADCE");
constexpr GUID kFillLevel = qv::MakeGuid("C6D6859B-3B17-4051-9E82-47C97B16AA94");
constexpr GUID kOther = qv::MakeGuid("6D1E5B0A-7C2F-4E3D-8A9B-0C1D2E3F4A5B");

class Scheduler : public qvtest::ClientTest {
protected:
    void StartServers() {
        ASSERT_EQ(qvtest::StartServer(QV_EVENT_SERVER, L"Qovaro.QvEventServer"), S_OK);
        ASSERT_EQ(qvtest::StartServer(QV_SCHEDULER_SERVER, QV_SCHEDULER_PROGID), S_OK);
        ASSERT_TRUE(conn.Advise(&sink));
    }
    IQvScheduler* Server() { return qvtest::RunningServer<IQvScheduler>(QV_SCHEDULER_PROGID, IID_IQvScheduler); }

    RecordingSink sink;
    CQvEventSink conn;
};

// Records what the client hands the scheduler.
class FakeScheduler : public IQvScheduler {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid != IID_IUnknown && iid != IID_IQvScheduler) return E_NOINTERFACE;
        *ppv = static_cast<IQvScheduler*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ULONG(++refs); }
    ULONG Release() override { return ULONG(--refs); }
    HRESULT AddJob(DATE s, GUID e, long v) override {
        start = s;
        event = e;
        value = v;
        ++calls;
        return S_OK;
    }
    HRESULT SetJob(DWORD p, GUID e, DWORD v1, DWORD v2) override {
        period = p;
        event = e;
        value1 = v1;
        value2 = v2;
        ++calls;
        return S_OK;
    }
    HRESULT RemoveJob(GUID) override { return S_OK; }

    std::atomic<long> refs{1};
    int calls = 0;
    DATE start = 0;
    GUID event{};
    long value = 0;
    DWORD period = 0, value1 = 0, value2 = 0;
};

TEST_F(Scheduler, TheClientHandsTheSchedulerTheStartTimeAndTheValuesUnchanged) {
    FakeScheduler fake;
    ASSERT_EQ(qv::RegisterRunningServer(QV_SCHEDULER_PROGID, &fake), S_OK);
    {
        CQvScheduler scheduler;
        const COleDateTime before = COleDateTime::GetCurrentTime();
        EXPECT_EQ(scheduler.AddJob(0, kRightsRefresh, 0), S_OK);
        const COleDateTime after = COleDateTime::GetCurrentTime();
        EXPECT_GE(fake.start, before.m_dt - 1e-7);
        EXPECT_LE(fake.start, after.m_dt + 1e-7);
        EXPECT_EQ(fake.event, kRightsRefresh);

        EXPECT_EQ(scheduler.AddJob(3600, kRightsRefresh, 17), S_OK);
        EXPECT_NEAR(fake.start - COleDateTime::GetCurrentTime().m_dt, 1.0 / 24, 2.0 / 86400);
        EXPECT_EQ(fake.value, 17);

        EXPECT_EQ(scheduler.SetJob(5 * 60000, kFillLevel, 15000, 0), S_OK);
        EXPECT_EQ(fake.period, 300000u);
        EXPECT_EQ(fake.event, kFillLevel);
        EXPECT_EQ(fake.value1, 15000u);
        EXPECT_EQ(fake.value2, 0u);
    }
    qv::RevokeAllRunningServers();
    EXPECT_EQ(fake.refs.load(), 1);
}

TEST_F(Scheduler, AConnectedClientLooksTheServerUpNoMore) {
    FakeScheduler fake;
    ASSERT_EQ(qv::RegisterRunningServer(QV_SCHEDULER_PROGID, &fake), S_OK);
    CQvScheduler scheduler;
    EXPECT_EQ(scheduler.Connect(), S_OK);
    IQvScheduler* held = scheduler.m_pServer;
    qv::RevokeAllRunningServers();
    EXPECT_EQ(scheduler.Connect(), S_OK);
    EXPECT_EQ(scheduler.m_pServer, held);
    EXPECT_EQ(scheduler.SetJob(1000, kFillLevel, 0, 0), S_OK);
    EXPECT_EQ(fake.calls, 1);
    scheduler.Disconnect();
    EXPECT_EQ(scheduler.m_pServer, nullptr);
    EXPECT_EQ(fake.refs.load(), 1);
}

TEST_F(Scheduler, WithoutASchedulerEveryCallFailsAtTheLookUp) {
    CQvScheduler scheduler;
    EXPECT_EQ(scheduler.AddJob(0, kRightsRefresh, 0), E_FAIL);
    EXPECT_EQ(scheduler.SetJob(1000, kFillLevel, 15000, 0), E_FAIL);
    EXPECT_EQ(scheduler.m_pServer, nullptr);
    EXPECT_TRUE(backend.Log().Records().empty());
}

TEST_F(Scheduler, AOneTimeJobFiresItsEventOnce) {
    StartServers();
    CQvScheduler scheduler;
    ASSERT_EQ(scheduler.AddJob(0, kRightsRefresh, 12), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kRightsRefresh, 1));
    auto lists = sink.Lists();
    EXPECT_EQ(ValueOf(lists[0].values[0]), 12);

    // A later job is due after the first one: once it fired, the first would have fired again.
    ASSERT_EQ(scheduler.AddJob(0, kOther, 0), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kOther, 1));
    EXPECT_EQ(sink.Count(kRightsRefresh), 1u);

    // A start in the past fires at once.
    IQvScheduler* server = Server();
    ASSERT_NE(server, nullptr);
    ASSERT_EQ(server->AddJob(COleDateTime::GetCurrentTime().m_dt - 1.0, kOther, 3), S_OK);
    server->Release();
    ASSERT_TRUE(sink.WaitForCount(kOther, 2));
}

TEST_F(Scheduler, ARepeatingJobFiresUntilItIsRemoved) {
    StartServers();
    CQvScheduler scheduler;
    ASSERT_EQ(scheduler.SetJob(20, kFillLevel, 0, 9), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kFillLevel, 3));
    for (const auto& list : sink.Lists()) EXPECT_EQ(ValueOf(list.values[0]), 9);

    IQvScheduler* server = Server();
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->RemoveJob(kFillLevel), S_OK);
    // Whatever the scheduler fired before is delivered ahead of this marker.
    CQvEventSource().FireEvent(kOther, 0, FALSE);
    ASSERT_TRUE(sink.WaitForCount(kOther, 1));
    const std::size_t fired = sink.Count(kFillLevel);

    // Three periods of another job later, the removed one has stayed quiet.
    ASSERT_EQ(scheduler.SetJob(20, kRightsRefresh, 0, 0), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kRightsRefresh, 3));
    EXPECT_EQ(sink.Count(kFillLevel), fired);
    EXPECT_EQ(server->RemoveJob(kFillLevel), S_FALSE);
    EXPECT_EQ(server->RemoveJob(kRightsRefresh), S_OK);
    EXPECT_EQ(server->SetJob(0, kFillLevel, 0, 0), E_INVALIDARG);
    server->Release();
}

TEST_F(Scheduler, SettingARepeatingJobAgainReplacesIt) {
    StartServers();
    CQvScheduler scheduler;
    ASSERT_EQ(scheduler.SetJob(60000, kFillLevel, 10, 0), S_OK);
    ASSERT_EQ(scheduler.SetJob(60000, kFillLevel, 10, 0), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kFillLevel, 1));
    // Due now: a second job of the same event, due earlier, would fire ahead of it.
    ASSERT_EQ(scheduler.AddJob(0, kOther, 0), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kOther, 1));
    EXPECT_EQ(sink.Count(kFillLevel), 1u);
}

TEST_F(Scheduler, JobsAddedFromOtherThreadsWhileTheTimelineWaitsAreAllKept) {
    StartServers();
    IQvScheduler* server = Server();
    ASSERT_NE(server, nullptr);
    // The timeline waits for a job an hour away while two threads grow the job list many times over.
    const DATE later = COleDateTime::GetCurrentTime().m_dt + 1.0 / 24.0;
    ASSERT_EQ(server->AddJob(later, kOther, 0), S_OK);
    auto add = [&] {
        for (int i = 0; i < 500; ++i) EXPECT_EQ(server->AddJob(later, kOther, i), S_OK);
    };
    std::thread a(add), b(add);
    a.join();
    b.join();
    ASSERT_EQ(server->AddJob(0, kRightsRefresh, 5), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kRightsRefresh, 1));
    EXPECT_EQ(sink.Count(kOther), 0u);
    EXPECT_EQ(server->RemoveJob(kOther), S_OK);
    server->Release();
}

}  // namespace
