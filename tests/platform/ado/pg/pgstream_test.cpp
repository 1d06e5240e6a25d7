// Rows handed over as the server sends them: the first before the last is produced, other
// statements in between, a failure after some rows, and a result given up early.
#include "pgcluster.h"
#include "pgdb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>

namespace {

using qv::sql::PgDb;
using qv::sql::PgRow;
using qv::sql::PgRows;
using qv::sql::PgStream;

// Its last row waits for advisory lock 42, rows of 200 characters so that the first are sent
// long before.
constexpr const char* kBlockedAtTheEnd =
    "SELECT g, repeat('x', 200) AS pad, CASE WHEN g = $1::int THEN pg_advisory_lock(42)::text END AS last "
    "FROM generate_series(1, $1::int) g";

class PgStreaming : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(a_.Open(db_.url()), 0) << a_.LastError().description;
        ASSERT_EQ(b_.Open(db_.url()), 0) << b_.LastError().description;
        ASSERT_EQ(a_.Exec("CREATE TABLE t (id int PRIMARY KEY)"), 0) << a_.LastError().description;
    }
    std::shared_ptr<PgStream> Stream(const std::string& sql, const qv::sql::PgParams& params = {}) {
        std::shared_ptr<PgStream> s;
        EXPECT_EQ(a_.Stream(sql, params, std::vector<std::uint32_t>(params.size(), 0), &s), 0) << a_.LastError().description;
        return s;
    }
    // Reads to the end; the number of rows, or -1 on a failure.
    static int ReadAll(PgStream& s, int* before = nullptr) {
        int n = 0;
        for (;;) {
            PgRow row;
            bool got = false;
            if (s.Next(&row, &got) != 0) {
                if (before) *before = n;
                return -1;
            }
            if (!got) return n;
            ++n;
        }
    }
    std::string Scalar(PgDb& db, const std::string& sql) {
        PgRows rows;
        if (db.Query(sql, &rows) != 0) return "<error " + db.LastError().description + ">";
        return rows.rows.empty() ? "<no row>" : rows.rows[0][0].value_or("NULL");
    }

    qvtest::PgTestDatabase db_;
    PgDb a_, b_;
};

TEST_F(PgStreaming, TheFirstRowArrivesWhileTheLastCannotYetBeProduced) {
    ASSERT_EQ(Scalar(b_, "SELECT pg_advisory_lock(42)"), "");
    a_.SetLockTimeout(0);
    std::shared_ptr<PgStream> s = Stream(kBlockedAtTheEnd, {std::string("2000")});
    ASSERT_TRUE(s);
    ASSERT_EQ(s->Head().columns, (std::vector<std::string>{"g", "pad", "last"}));
    PgRow row;
    bool got = false;
    ASSERT_EQ(s->Next(&row, &got), 0);
    ASSERT_TRUE(got);
    EXPECT_EQ(row[0], "1");
    EXPECT_EQ(row[2], std::nullopt);
    EXPECT_EQ(Scalar(b_, "SELECT pg_advisory_unlock(42)"), "t");
    EXPECT_EQ(ReadAll(*s), 1999);
    EXPECT_EQ(Scalar(a_, "SELECT pg_advisory_unlock(42)"), "t");
    // An empty result ends at once and leaves the connection free.
    std::shared_ptr<PgStream> none = Stream("SELECT id FROM t");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->Head().columns, std::vector<std::string>{"id"});
    EXPECT_EQ(ReadAll(*none), 0);
    EXPECT_EQ(Scalar(a_, "SELECT 7"), "7");
}

TEST_F(PgStreaming, AnotherStatementInBetweenReadsTheRestAheadAndChangesNothingOfIt) {
    ASSERT_EQ(a_.Begin(), 0);
    std::shared_ptr<PgStream> s = Stream("SELECT g FROM generate_series(1, 5000) g");
    PgRow row;
    bool got = false;
    ASSERT_EQ(s->Next(&row, &got), 0);
    EXPECT_EQ(row[0], "1");
    // Statements and transaction calls of the same connection in the middle of the rows.
    ASSERT_EQ(a_.Exec("INSERT INTO t VALUES (1)"), 0) << a_.LastError().description;
    ASSERT_EQ(a_.Begin(), 0);
    EXPECT_EQ(a_.Depth(), 2);
    ASSERT_EQ(a_.Commit(), 0);
    EXPECT_EQ(Scalar(a_, "SELECT count(*) FROM t"), "1");
    int expected = 2, ordered = 0;
    while (s->Next(&row, &got) == 0 && got) ordered += row[0] == std::to_string(expected++);
    EXPECT_EQ(ordered, 4999);
    EXPECT_EQ(a_.Depth(), 1);
    ASSERT_EQ(a_.Commit(), 0);
    EXPECT_EQ(Scalar(b_, "SELECT count(*) FROM t"), "1");
}

TEST_F(PgStreaming, AFailureAfterSomeRowsReachesTheReaderAndUndoesOnlyItsStatement) {
    struct Case {
        bool inTransaction;
        bool interrupted;  // another statement reads ahead before the failure is reached
    } cases[] = {{false, false}, {true, false}, {true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.inTransaction) + std::to_string(c.interrupted));
        ASSERT_EQ(a_.Exec("DELETE FROM t"), 0);
        if (c.inTransaction) {
            ASSERT_EQ(a_.Begin(), 0);
            ASSERT_EQ(a_.Exec("INSERT INTO t VALUES (1)"), 0);
        }
        std::shared_ptr<PgStream> s = Stream("SELECT g, repeat('x', 200), 10 / (3000 - g) FROM generate_series(1, 4000) g");
        ASSERT_TRUE(s);
        if (c.interrupted) {
            EXPECT_EQ(Scalar(a_, "SELECT count(*) FROM t"), c.inTransaction ? "1" : "0");
        }
        int before = -1;
        EXPECT_EQ(ReadAll(*s, &before), -1);
        EXPECT_GT(before, 0);
        EXPECT_LT(before, 3000);
        EXPECT_NE(a_.LastError().description.find("division by zero"), std::string::npos) << a_.LastError().description;
        // Reported once; after it the rows have ended.
        PgRow row;
        bool got = true;
        EXPECT_EQ(s->Next(&row, &got), 0);
        EXPECT_FALSE(got);
        EXPECT_EQ(a_.Depth(), c.inTransaction ? 1 : 0);
        if (c.inTransaction) {
            ASSERT_EQ(a_.Commit(), 0) << a_.LastError().description;
        }
        EXPECT_EQ(Scalar(b_, "SELECT count(*) FROM t"), c.inTransaction ? "1" : "0");
    }
}

TEST_F(PgStreaming, AResultGivenUpEarlyIsCancelledAndTheConnectionWorksOn) {
    for (bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction);
        ASSERT_EQ(a_.Exec("DELETE FROM t"), 0);
        ASSERT_EQ(Scalar(b_, "SELECT pg_advisory_lock(42)"), "");
        a_.SetLockTimeout(0);  // only the cancel can end the wait
        if (inTransaction) {
            ASSERT_EQ(a_.Begin(), 0);
            ASSERT_EQ(a_.Exec("INSERT INTO t VALUES (1)"), 0);
        }
        std::shared_ptr<PgStream> s = Stream(kBlockedAtTheEnd, {std::string("2000")});
        PgRow row;
        bool got = false;
        ASSERT_EQ(s->Next(&row, &got), 0);
        auto dropped = std::async(std::launch::async, [&] { s.reset(); });
        ASSERT_EQ(dropped.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "not cancelled";
        EXPECT_EQ(a_.Depth(), inTransaction ? 1 : 0);
        EXPECT_EQ(Scalar(a_, "SELECT count(*) FROM t"), inTransaction ? "1" : "0");
        if (inTransaction) {
            ASSERT_EQ(a_.Commit(), 0) << a_.LastError().description;
        }
        EXPECT_EQ(Scalar(b_, "SELECT count(*) FROM t"), inTransaction ? "1" : "0");
        EXPECT_EQ(Scalar(b_, "SELECT pg_advisory_unlock(42)"), "t");
        a_.SetLockTimeout(5000);
    }
}

}  // namespace
