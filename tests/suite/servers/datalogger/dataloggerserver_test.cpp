// The data logger: entries of the clients in its own database, and on stderr with QV_TRACE.
#include "hostfakes.h"
#include "qvdatalogger.h"
#include "servertest.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

namespace {

const CQvGUID kMessage(L"f322e3e5-4677-4b37-85d8-bee4392c19f1");

class DataLoggerServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qvtest::RegisterProgId(QVDATALOGGER_PROGID, CLSID_QvDataLogger));
        frame_.Offer(CLSID_QvDataLogger);
        ASSERT_EQ(qv::RegisterRunningServer(QV_FRAME_PROGID, &frame_), S_OK);
        ASSERT_EQ(qv::servers::StartRunningServer(QVDATALOGGER_PROGID), S_OK);
    }
    void TearDown() override {
        qv::servers::StopRunningServer(QVDATALOGGER_PROGID);
        qv::RevokeRunningServer(QV_FRAME_PROGID);
    }

    // "source|level|guid|text|thread" per stored entry, in order.
    std::vector<std::string> Stored() {
        std::vector<std::string> rows;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(env_.LoggerDatabase().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return rows;
        }
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT strSource || '|' || lLevel || '|' || guidMessage || '|' || strText || '|' || lThreadID"
                           " FROM QvDataLog ORDER BY lQvDataLogID",
                           -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            rows.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return rows;
    }

    qvtest::ServerEnvironment env_;
    qvtest::FakeFrame frame_;
};

TEST_F(DataLoggerServer, KeepsTheClientsEntriesInItsDatabase) {
    CQvDataLogger log(L"QvDBServerLib");
    EXPECT_EQ(log.Warning(&kMessage, L"%d. Deadlock for Statement '%s'", 1, L"UPDATE Kurs SET x = 'ä'"), S_OK);
    EXPECT_EQ(log.Error(&kMessage, L"failed"), S_OK);
    const std::string thread = std::to_string(GetCurrentThreadId());
    const std::vector<std::string> expected = {
        "QvDBServerLib|4|F322E3E5-4677-4B37-85D8-BEE4392C19F1|1. Deadlock for Statement 'UPDATE Kurs SET x = 'ä''|" + thread,
        "QvDBServerLib|8|F322E3E5-4677-4B37-85D8-BEE4392C19F1|failed|" + thread,
    };
    EXPECT_EQ(Stored(), expected);
}

TEST_F(DataLoggerServer, WithTraceOnEveryEntryAlsoGoesToStderr) {
    qvtest::ScopedEnv trace{"QV_TRACE", "1"};
    CQvDataLogger log(L"Qovaro.Ostrel.Kurs");
    testing::internal::CaptureStderr();
    log.Info(&kMessage, L"run %d closed", 42);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("QvDataLogger Info: "), std::string::npos) << err;
    EXPECT_NE(err.find("; F322E3E5-4677-4B37-85D8-BEE4392C19F1; Qovaro.Ostrel.Kurs; 0x"), std::string::npos) << err;
    EXPECT_NE(err.find("; run 42 closed\n"), std::string::npos) << err;
    EXPECT_EQ(Stored().size(), 1u);
}

}  // namespace
