// The data-logger client: entries through the frame's data logger, the echo without one, and the
// end of connection attempts.
#include "hostfakes.h"
#include "qvdatalogger.h"
#include "qvregvalue.h"
#include "tempdir.h"
#include "trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

namespace {

const CQvGUID kMessage(L"ce6d9d23-e9ca-4266-93e9-c6e59964a935");

class DataLogger : public ::testing::Test {
protected:
    void SetUp() override { qv::ClearTrace(); }
    void EchoOn(long on) {
        ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDataLogger", L"LogToConsoleEnabled", on));
    }
    static std::vector<std::wstring> EchoLines() {
        std::vector<std::wstring> lines;
        for (const auto& l : qv::TraceLines()) {
            if (l.rfind(L"CQvDataLogger ", 0) == 0) lines.push_back(l);
        }
        return lines;
    }

    qvtest::TempDir dir_;
    qvtest::ScopedEnv env_{"QV_REGISTRY", dir_.file("registry.db")};
};

TEST_F(DataLogger, EntriesGoToTheFramesDataLogger) {
    qvtest::FrameWithLogger host;
    CQvDataLogger log(L"Qovaro.Ostrel.Kurs");
    EXPECT_EQ(log.Warning(&kMessage, L"%d. Deadlock for Statement '%s'", 2, CString(L"UPDATE Kurs")), S_OK);
    EXPECT_EQ(log.Error(kMessage, L"100%% failed"), S_OK);
    EXPECT_EQ(log.Info(nullptr, L"plain"), S_OK);
    EXPECT_EQ(log.Debug(&kMessage, L"dbg %s", L"x"), S_OK);

    const auto entries = host.logger.Entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].source, L"Qovaro.Ostrel.Kurs");
    EXPECT_EQ(entries[0].level, 4);
    EXPECT_EQ(entries[0].guid, L"CE6D9D23-E9CA-4266-93E9-C6E59964A935");
    EXPECT_EQ(entries[0].text, L"2. Deadlock for Statement 'UPDATE Kurs'");
    EXPECT_EQ(entries[0].threadId, long(GetCurrentThreadId()));
    EXPECT_EQ(entries[1].level, 8);
    EXPECT_EQ(entries[1].text, L"100% failed");
    EXPECT_EQ(entries[2].level, 2);
    EXPECT_EQ(entries[2].guid, L"00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(entries[3].level, 32);
    EXPECT_EQ(host.frame.Asked(), 1) << "connected once, for the object's life";
    EXPECT_TRUE(EchoLines().empty()) << "no echo while the data logger takes the entries";
}

TEST_F(DataLogger, TheDestructorReleasesTheServer) {
    qvtest::FrameWithLogger host;
    const ULONG before = host.logger.refs;
    {
        CQvDataLogger log(L"QvDBServerLib");
        log.Info(&kMessage, L"x");
        EXPECT_EQ(host.logger.refs, before + 1);
    }
    EXPECT_EQ(host.logger.refs, before);
}

TEST_F(DataLogger, WithoutADataLoggerTheEchoWritesOneLinePerEntry) {
    EchoOn(1);
    CQvDataLogger log(L"QvDBServerLib");
    EXPECT_LT(log.Warning(&kMessage, L"Command time: %0.3f sec for: %s", 1.2346, L"select 1"), 0)
        << "no frame: the connection attempt fails";
    log.Error(&kMessage, L"second");
    const auto lines = EchoLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::wregex form(LR"(CQvDataLogger Warning: \d\d\.\d\d\.\d{4}( \d\d:\d\d:\d\d)?; )"
                           LR"(\{CE6D9D23-E9CA-4266-93E9-C6E59964A935\}; QvDBServerLib; 0x[0-9A-F]+; )"
                           LR"(Command time: 1\.235 sec for: select 1)");
    EXPECT_TRUE(std::regex_match(lines[0], form)) << qv::ToUtf8(lines[0]);
    EXPECT_EQ(lines[1].rfind(L"CQvDataLogger Error: ", 0), 0u);
}

TEST_F(DataLogger, WithTheEchoOffNothingIsWritten) {
    EchoOn(0);
    CQvDataLogger log(L"QvDBServerLib");
    log.Warning(&kMessage, L"dropped");
    EXPECT_TRUE(EchoLines().empty());
}

TEST_F(DataLogger, AfterTenAttemptsTheHostIsNotAskedAgain) {
    // The frame runs but does not offer a data logger.
    qvtest::FakeFrame frame;
    ASSERT_TRUE(qvtest::RegisterProgId(QVDATALOGGER_PROGID, CLSID_QvDataLogger));
    ASSERT_EQ(qv::RegisterRunningServer(QV_FRAME_PROGID, &frame), S_OK);
    CQvDataLogger log(L"QvDBServerLib");
    for (int i = 0; i < 10; ++i) EXPECT_EQ(log.Info(&kMessage, L"%d", i), S_FALSE);
    EXPECT_EQ(frame.Asked(), 10);
    EXPECT_EQ(log.Info(&kMessage, L"eleventh"), S_FALSE);
    EXPECT_EQ(log.Info(&kMessage, L"twelfth"), S_FALSE);
    EXPECT_EQ(frame.Asked(), 10);

    // Even once the frame offers it, this object has given up; a new one connects.
    qvtest::RecordingLogger logger;
    frame.Offer(CLSID_QvDataLogger);
    ASSERT_EQ(qv::RegisterRunningServer(QVDATALOGGER_PROGID, &logger), S_OK);
    EXPECT_EQ(log.Info(&kMessage, L"late"), S_FALSE);
    CQvDataLogger fresh(L"QvDBServerLib");
    EXPECT_EQ(fresh.Info(&kMessage, L"late"), S_OK);
    EXPECT_EQ(logger.Entries().size(), 1u);
    qv::RevokeAllRunningServers();
}

TEST_F(DataLogger, OneObjectServesSeveralThreads) {
    qvtest::FrameWithLogger host;
    CQvDataLogger log(L"QvDBServerLib");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 50; ++i) log.Info(&kMessage, L"%d:%d", t, i);
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(host.logger.Entries().size(), 200u);
    EXPECT_EQ(host.frame.Asked(), 1);
}

}  // namespace
