// The event clients against the event server stand-in: firing, connecting sinks, the look-ups,
// and the asynchronous sink that hands events to the GUI thread.
#include "qvasynceventsink.h"
#include "qveventsink.h"
#include "qveventsource.h"
#include "qvhrtrace.h"
#include "servertest.h"
#include "wnd.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

using qvtest::RecordingSink;
using qvtest::ValueOf;

namespace {

constexpr GUID kEventA = qv::MakeGuid("285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");
constexpr GUID kEventB = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
constexpr GUID kEventC = qv::MakeGuid("3E018E57-48D1-479F-8324-A5D4507578C8");
constexpr GUID kMarker = qv::MakeGuid("0B6A3F8E-5C1D-4E2A-9B7C-1D2E3F405162");

class Events : public qvtest::ClientTest {
protected:
    void StartEventServer() { ASSERT_EQ(qvtest::StartServer(QV_EVENT_SERVER, QV_EVENTSERVER_PROGID), S_OK); }
    IQvEventServer* Server() { return qvtest::RunningServer<IQvEventServer>(QV_EVENTSERVER_PROGID, IID_IQvEventServer); }

    // Everything fired before is delivered once a marker fired now reaches a sink advised last.
    void Flush(RecordingSink& last) {
        const std::size_t seen = last.Count(kMarker);
        ASSERT_EQ(CQvEventSource().FireEvent(kMarker, 0, FALSE), S_OK);
        ASSERT_TRUE(last.WaitForCount(kMarker, seen + 1));
    }
};

// ---- firing and plain sinks

TEST_F(Events, FiredEventsReachEveryAdvisedSinkInFiringOrderOnTheDeliveryThread) {
    StartEventServer();
    RecordingSink first, second;
    CQvEventSink connFirst, connSecond;
    ASSERT_TRUE(connFirst.Advise(&first));
    ASSERT_TRUE(connSecond.Advise(&second));
    EXPECT_NE(connFirst.m_dwCookie, 0u);

    CQvEventSource source;
    EXPECT_EQ(source.FireEvent(kEventA, 42, FALSE), S_OK);
    EXPECT_EQ(source.FireEvent(kEventB, 43, FALSE), S_OK);
    EXPECT_EQ(source.FireEvent(kEventA, 44, FALSE), S_OK);

    for (RecordingSink* sink : {&first, &second}) {
        ASSERT_TRUE(sink->WaitForLists(3));
        auto lists = sink->Lists();
        ASSERT_EQ(lists.size(), 3u);
        const GUID ids[] = {kEventA, kEventB, kEventA};
        for (std::size_t i = 0; i < 3; ++i) {
            ASSERT_EQ(lists[i].ids.size(), 1u);
            EXPECT_EQ(lists[i].ids[0], ids[i]);
            EXPECT_EQ(lists[i].values[0].vt, VT_I4);
            EXPECT_EQ(ValueOf(lists[i].values[0]), 42 + long(i));
            EXPECT_NE(lists[i].thread, GetCurrentThreadId());
        }
    }
}

TEST_F(Events, AnyValueReachesTheSinks) {
    StartEventServer();
    RecordingSink sink;
    CQvEventSink conn;
    ASSERT_TRUE(conn.Advise(&sink));
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"Grundkurs Atemschutz");
    // The value is handed over: FireEvent frees the text.
    EXPECT_EQ(CQvEventSource().FireEvent(kEventC, text, FALSE), S_OK);
    ASSERT_TRUE(sink.WaitForCount(kEventC, 1));
    const auto lists = sink.Lists();
    ASSERT_EQ(lists[0].values[0].vt, VT_BSTR);
    EXPECT_STREQ(lists[0].values[0].bstrVal, L"Grundkurs Atemschutz");
}

TEST_F(Events, AnUnadvisedSinkGetsNothingMoreAndIsReleased) {
    StartEventServer();
    RecordingSink gone, staying;
    CQvEventSink connGone, connStaying;
    ASSERT_TRUE(connGone.Advise(&gone));
    ASSERT_TRUE(connStaying.Advise(&staying));
    EXPECT_GT(gone.Refs(), 1);

    CQvEventSource source;
    source.FireEvent(kEventA, 1, FALSE);
    ASSERT_TRUE(gone.WaitForCount(kEventA, 1));
    EXPECT_TRUE(connGone.Unadvise());
    EXPECT_EQ(connGone.m_dwCookie, 0u);
    EXPECT_EQ(connGone.m_pServer, nullptr);
    EXPECT_EQ(gone.Refs(), 1);

    source.FireEvent(kEventA, 2, FALSE);
    Flush(staying);
    EXPECT_EQ(staying.Count(kEventA), 2u);
    EXPECT_EQ(gone.Count(kEventA), 1u);
}

TEST_F(Events, UnadviseReturnsOnlyWhenNoCallIntoTheSinkIsRunning) {
    StartEventServer();
    RecordingSink busy, last;
    std::mutex m;
    std::condition_variable changed;
    int calls = 0, inside = 0;
    bool held = false, released = false, returned = false;
    // Each call fires the next event, so one is always on its way while the sink is busy; the third
    // call stays in the sink until the test lets it go.
    busy.OnEventHook([&](long, GUID*, VARIANT*) {
        std::unique_lock<std::mutex> lock(m);
        ++inside;
        lock.unlock();
        CQvEventSource().FireEvent(kEventA, 0, FALSE);
        lock.lock();
        if (++calls == 3) {
            held = true;
            changed.notify_all();
            changed.wait(lock, [&] { return released; });
        }
        --inside;
    });
    CQvEventSink connBusy, connLast;
    ASSERT_TRUE(connBusy.Advise(&busy));
    CQvEventSource().FireEvent(kEventA, 0, FALSE);
    ASSERT_TRUE(qvtest::WaitFor(m, changed, [&] { return held; }));

    int insideAtReturn = -1;
    std::thread unadvise([&] {
        const bool ok = connBusy.Unadvise();
        std::lock_guard<std::mutex> g(m);
        EXPECT_TRUE(ok);
        insideAtReturn = inside;
        returned = true;
        changed.notify_all();
    });
    // While the call is held, Unadvise does not come back.
    EXPECT_FALSE(qvtest::WaitFor(m, changed, [&] { return returned; }, std::chrono::milliseconds(200)));
    {
        std::lock_guard<std::mutex> g(m);
        released = true;
    }
    changed.notify_all();
    unadvise.join();
    EXPECT_EQ(insideAtReturn, 0);
    const std::size_t received = busy.Count(kEventA);
    EXPECT_GE(received, 3u);
    ASSERT_TRUE(connLast.Advise(&last));
    Flush(last);
    EXPECT_EQ(busy.Count(kEventA), received);
    EXPECT_EQ(busy.Refs(), 1);
}

TEST_F(Events, AdvisingTwiceKeepsOneConnection) {
    StartEventServer();
    RecordingSink sink, last;
    CQvEventSink conn, connLast;
    ASSERT_TRUE(conn.Advise(&sink));
    ASSERT_TRUE(conn.Advise(&sink));
    ASSERT_TRUE(connLast.Advise(&last));
    CQvEventSource().FireEvent(kEventA, 5, FALSE);
    Flush(last);
    EXPECT_EQ(sink.Count(kEventA), 1u);
    conn.Unadvise();
    EXPECT_EQ(sink.Refs(), 1);
}

TEST_F(Events, FireEventStringNamesTheEventAndDeliversNothing) {
    StartEventServer();
    RecordingSink sink;
    CQvEventSink conn;
    ASSERT_TRUE(conn.Advise(&sink));
    EXPECT_EQ(CQvEventSource().FireEventString(kEventB, L"Ev_UpdateSecKurs"), S_OK);
    Flush(sink);
    EXPECT_EQ(sink.Count(kEventB), 0u);

    IQvEventServer* server = Server();
    ASSERT_NE(server, nullptr);
    BSTR name = nullptr;
    EXPECT_EQ(server->GetEventName(kEventB, &name), S_OK);
    EXPECT_STREQ(name, L"Ev_UpdateSecKurs");
    SysFreeString(name);
    EXPECT_EQ(server->GetEventName(kEventC, &name), S_FALSE);
    SysFreeString(name);
    server->Release();
}

TEST_F(Events, WithoutAServerFiringFailsQuietlyAndAdvisingTellsTheUser) {
    RecordingSink sink;
    EXPECT_EQ(CQvEventSource().FireEvent(kEventA, 1, FALSE), E_FAIL);
    EXPECT_EQ(CQvEventSource().FireEventString(kEventA, L"Ev_UpdateSecKurs"), E_FAIL);
    EXPECT_EQ(backend.Log().Records().size(), 0u);

    backend.ExpectReport(L"Unable to connect QvEventServer: hr: 0x80004005: Unspecified error.");
    {
        CQvEventSink conn;
        EXPECT_FALSE(conn.Advise(&sink));
        EXPECT_EQ(conn.m_dwCookie, 0u);
        // The reference taken stays until Unadvise.
        EXPECT_EQ(sink.Refs(), 2);
        EXPECT_TRUE(conn.Unadvise());
        EXPECT_EQ(sink.Refs(), 1);
        EXPECT_TRUE(conn.Unadvise());
    }
    EXPECT_EQ(backend.Pending(), 0u);
    auto reports = backend.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].report.kind, 1);
    EXPECT_EQ(reports[0].report.caption, L"CQvEventSink::Advise");
    EXPECT_EQ(reports[0].report.category, L"Default");

    backend.ExpectReport(L"Unable to connect");
    {
        CQvEventSink conn;
        EXPECT_FALSE(conn.Advise(&sink));
    }
    EXPECT_EQ(sink.Refs(), 1);
}

TEST_F(Events, LookUpsFindTheFirstOccurrenceOfAnEvent) {
    GUID ids[] = {kEventA, kEventB, kEventA};
    COleVariant values[] = {COleVariant(long(1)), COleVariant(L"zwei"), COleVariant(long(3))};
    COleVariant value(long(99));

    EXPECT_FALSE(CQvEventSink::GetEventData(0, ids, values, kEventA, &value));
    EXPECT_FALSE(CQvEventSink::GetEventData(-1, ids, values, kEventA, &value));
    EXPECT_FALSE(CQvEventSink::HasEventData(0, ids, values, kEventA));
    EXPECT_EQ(ValueOf(value), 99);

    EXPECT_TRUE(CQvEventSink::GetEventData(3, ids, values, kEventA, &value));
    EXPECT_EQ(ValueOf(value), 1);
    EXPECT_TRUE(CQvEventSink::GetEventData(3, ids, values, kEventB, &value));
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_STREQ(value.bstrVal, L"zwei");
    // A copy: the list keeps its own value.
    EXPECT_NE(value.bstrVal, values[1].bstrVal);

    EXPECT_FALSE(CQvEventSink::GetEventData(3, ids, values, kEventC, &value));
    EXPECT_FALSE(CQvEventSink::HasEventData(3, ids, values, kEventC));
    EXPECT_TRUE(CQvEventSink::HasEventData(3, ids, values, kEventB));
    EXPECT_FALSE(CQvEventSink::HasEventData(2, ids, values, GUID_NULL));
}

// ---- the asynchronous sink

class Owner {
public:
    struct Call {
        std::string what;
        DWORD thread;
    };
    std::vector<Call> calls;

    void OnA1(COleVariant value) { Record("A1 " + std::to_string(ValueOf(value))); }
    void OnA2(COleVariant value) {
        Record("A2 " + std::to_string(ValueOf(value)));
        value.Clear();  // the handler's own copy
    }
    void OnB(COleVariant value) { Record("B " + std::to_string(ValueOf(value))); }
    long OnList(long count, GUID*, VARIANT*) {
        Record("list " + std::to_string(count));
        return 0;
    }
    std::vector<std::string> Log() const {
        std::vector<std::string> log;
        for (const Call& c : calls) log.push_back(c.what);
        return log;
    }

    DECLARE_QVEVENT_MAP()

private:
    void Record(std::string what) { calls.push_back({std::move(what), GetCurrentThreadId()}); }
};

BEGIN_QVEVENT_MAP(Owner)
    ON_QVEVENT(kEventA, OnA1)
    ON_QVEVENT_LIST(OnList)
    ON_QVEVENT(kEventB, OnB)
    ON_QVEVENT(kEventA, OnA2)
END_QVEVENT_MAP()

class AsyncEvents : public Events {
protected:
    void SetUp() override {
        Events::SetUp();
        ASSERT_TRUE(qv::ui::EnsureApplication());
    }
    // A sink advised after the asynchronous one: once it has a list, the asynchronous sink has
    // posted its messages for that list.
    RecordingSink after;
    CQvEventSink connAfter;
};

TEST_F(AsyncEvents, HandlersRunOnTheGuiThreadEveryEntryOfTheEventInTableOrder) {
    StartEventServer();
    Owner owner;
    CQvAsyncEventSink sink;
    ASSERT_EQ(sink.Create(&owner, Owner::GetQvEventMap()), S_OK);
    ASSERT_TRUE(connAfter.Advise(&after));

    CQvEventSource().FireEvent(kEventA, 7, FALSE);
    ASSERT_TRUE(qv::ui::PumpUntil([&] { return owner.calls.size() >= 3; }, 10000));
    EXPECT_EQ(owner.Log(), (std::vector<std::string>{"list 1", "A1 7", "A2 7"}));
    for (const auto& call : owner.calls) EXPECT_EQ(call.thread, GetCurrentThreadId());

    ASSERT_TRUE(after.WaitForCount(kEventA, 1));
    EXPECT_NE(after.Lists()[0].thread, GetCurrentThreadId());

    // An event that no entry names reaches only the list handler.
    owner.calls.clear();
    CQvEventSource().FireEvent(kEventC, 8, FALSE);
    ASSERT_TRUE(after.WaitForCount(kEventC, 1));
    ASSERT_TRUE(qv::ui::PumpUntil([&] { return !owner.calls.empty(); }, 10000));
    qv::ui::ProcessPending();
    EXPECT_EQ(owner.Log(), (std::vector<std::string>{"list 1"}));
    EXPECT_EQ(sink.Unadvise(), S_OK);
}

TEST_F(AsyncEvents, EachListPostsOneListMessageThenOneMessagePerEventInListOrder) {
    StartEventServer();
    Owner owner;
    CQvAsyncEventSink sink;
    ASSERT_EQ(sink.Create(&owner, Owner::GetQvEventMap()), S_OK);
    ASSERT_TRUE(connAfter.Advise(&after));
    std::vector<UINT> messages;
    qv::ui::AddMessageObserver(sink.m_hWnd, [&](HWND, UINT message, WPARAM, LPARAM) {
        if (message == WM_USER + 1 || message == WM_USER + 2) messages.push_back(message);
    });

    IQvEventServer* server = Server();
    ASSERT_NE(server, nullptr);
    GUID ids[] = {kEventB, kEventA, kEventC};
    COleVariant values[] = {COleVariant(long(1)), COleVariant(long(2)), COleVariant(long(3))};
    ASSERT_EQ(server->FireEvents(3, ids, values), S_OK);
    ASSERT_EQ(server->FireEvents(0, nullptr, nullptr), S_OK);
    server->Release();

    ASSERT_TRUE(after.WaitForLists(2));
    ASSERT_TRUE(qv::ui::PumpUntil([&] { return owner.calls.size() >= 5; }, 10000));
    qv::ui::ProcessPending();
    EXPECT_EQ(owner.Log(), (std::vector<std::string>{"list 3", "B 1", "A1 2", "A2 2", "list 0"}));
    EXPECT_EQ(messages, (std::vector<UINT>{WM_USER + 2, WM_USER + 1, WM_USER + 1, WM_USER + 1, WM_USER + 2}));
    EXPECT_EQ(sink.Unadvise(), S_OK);
}

TEST_F(AsyncEvents, EventsQueuedBeforeUnadviseAreHandledDuringItAndNoneAfter) {
    StartEventServer();
    Owner owner;
    CQvAsyncEventSink sink;
    ASSERT_EQ(sink.Create(&owner, Owner::GetQvEventMap()), S_OK);
    ASSERT_TRUE(connAfter.Advise(&after));
    const HWND window = sink.m_hWnd;

    CQvEventSource source;
    source.FireEvent(kEventA, 1, FALSE);
    source.FireEvent(kEventB, 2, FALSE);
    ASSERT_TRUE(after.WaitForLists(2));
    EXPECT_TRUE(owner.calls.empty());  // nothing ran the GUI thread's queue yet

    EXPECT_EQ(sink.Unadvise(), S_OK);
    EXPECT_EQ(owner.Log(), (std::vector<std::string>{"list 1", "A1 1", "A2 1", "list 1", "B 2"}));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(sink.m_hWnd, nullptr);

    source.FireEvent(kEventA, 3, FALSE);
    ASSERT_TRUE(after.WaitForLists(3));
    qv::ui::ProcessPending();
    EXPECT_EQ(owner.calls.size(), 5u);
}

TEST_F(AsyncEvents, WithoutAServerCreateFailsAfterTheMessageAndKeepsTheWindow) {
    Owner owner;
    CQvAsyncEventSink sink;
    backend.ExpectReport(L"Unable to connect QvEventServer: hr: 0x80004005");
    EXPECT_EQ(sink.Create(&owner, Owner::GetQvEventMap()), E_FAIL);
    EXPECT_EQ(backend.Pending(), 0u);
    const HWND window = sink.m_hWnd;
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(sink.Unadvise(), S_OK);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(AsyncEvents, MessagesWithoutTheirDataCallNoHandler) {
    StartEventServer();
    Owner owner;
    CQvAsyncEventSink sink;
    ASSERT_EQ(sink.Create(&owner, Owner::GetQvEventMap()), S_OK);
    ASSERT_TRUE(sink.PostMessage(WM_USER + 1, 0, 0));
    ASSERT_TRUE(sink.PostMessage(WM_USER + 2, 0, 0));
    GUID* id = new GUID(kEventA);
    ASSERT_TRUE(sink.PostMessage(WM_USER + 1, reinterpret_cast<WPARAM>(id), 0));
    qv::ui::ProcessPending();
    EXPECT_TRUE(owner.calls.empty());
    delete id;
    EXPECT_EQ(sink.Unadvise(), S_OK);
}

}  // namespace
