// Batches: variables, control flow, procedure calls, results, errors and statement reuse.
#include "extensions.h"
#include "tsqlfunctions.h"
#include "tsqlruntime.h"
#include "tsqltestdb.h"

#include <atomic>
#include <thread>

using qvtest::Rows;
using qvtest::TsqlDb;

namespace {

class Batches : public TsqlDb {
protected:
    void SetUp() override {
        TsqlDb::SetUp();
        Sql("CREATE TABLE t (id INTEGER PRIMARY KEY, a INTEGER, s TEXT)");
        Sql("INSERT INTO t VALUES (1, 10, 'x'), (2, 20, 'y'), (3, 30, 'z')");
    }
};

TEST_F(Batches, StatementsFollowEachOtherWithoutSemicolons) {
    EXPECT_EQ(Exec("UPDATE t SET a = 0 WHERE id = 1 UPDATE t SET a = 1 WHERE id = 2\tuPdAtE t\nSET a = 2 "
                   "wHeRe id = 3"),
              3);
    EXPECT_EQ(Table("SELECT a FROM t ORDER BY id"), (Rows{"0", "1", "2"}));
    EXPECT_EQ(Exec("delete t where id = 1; DELETE FROM t WHERE id = 2;;"), 2);
    EXPECT_EQ(Table("SELECT id FROM t"), (Rows{"3"}));
}

TEST_F(Batches, VariablesAreDeclaredSetAndRead) {
    EXPECT_EQ(RowsOf("DECLARE @ID INT \t\t\tSET @ID = 2 \t\t\tSELECT s FROM t WHERE id =@ID"), (Rows{"y"}));
    EXPECT_EQ(RowsOf("DECLARE @a int = 1, @b as int = 3 DECLARE @c varchar(10) SELECT id FROM t WHERE id BETWEEN @a "
                   "AND @b AND @c IS NULL ORDER BY id DESC"),
              (Rows{"3", "2", "1"}));
    EXPECT_EQ(One("DECLARE @x int SET @x = (SELECT max(a) FROM t) SET @x = @x + 1 SELECT @x AS x"), "31");
    EXPECT_EQ(One("DECLARE @x int SELECT @x"), "NULL");
}

TEST_F(Batches, AssignmentConvertsToTheDeclaredType) {
    qv::tsql::Execution e = Run("DECLARE @s varchar(3) = 'abcdef' DECLARE @i int = 2.9 DECLARE @t varchar(10) "
                                "SET @t = 42 DECLARE @one varchar SET @one = 'ab' DECLARE @b bit = 5");
    EXPECT_EQ(qvtest::Render(*e.Variable("s")), "abc");
    EXPECT_EQ(std::get<std::int64_t>(*e.Variable("@i")), 2);
    EXPECT_EQ(std::get<std::string>(*e.Variable("t")), "42");
    EXPECT_EQ(qvtest::Render(*e.Variable("one")), "a");
    EXPECT_EQ(std::get<std::int64_t>(*e.Variable("b")), 1);
    EXPECT_THROW(Run("DECLARE @big bigint = 1e19"), qv::tsql::ExecError);
    EXPECT_EQ(One("DECLARE @u nvarchar(2) = N'äöü' SELECT @u + '!'"), "äö!");
    EXPECT_EQ(One("DECLARE @n sysname SET @n = '" + std::string(130, 'x') + "' SELECT len(@n)"), "128");
    // A date variable holds the stored form, so that it compares with date columns.
    EXPECT_EQ(One("DECLARE @d datetime = '2031-06-15' SELECT @d"), "2031-06-15 00:00:00");
    EXPECT_EQ(One("DECLARE @d datetime = '15.06.2031 13:45:00' SELECT @d"), "2031-06-15 13:45:00");
}

TEST_F(Batches, SelectAssignsTheLastRowAndKeepsValuesWithoutRows) {
    qv::tsql::Execution e = Run("DECLARE @id int = -1, @s varchar(5) SELECT @id = id, @s = s FROM t ORDER BY id "
                                "DECLARE @none int = 7 SELECT @none = id FROM t WHERE id > 100");
    EXPECT_FALSE(e.HasResult());
    EXPECT_EQ(qvtest::Render(*e.Variable("id")), "3");
    EXPECT_EQ(qvtest::Render(*e.Variable("s")), "z");
    EXPECT_EQ(qvtest::Render(*e.Variable("none")), "7");
    EXPECT_THROW(Run("DECLARE @sum int = 0 SELECT @sum = @sum + a FROM t"), qv::tsql::TranslateError);
    EXPECT_THROW(Run("DECLARE @x int SELECT @x = a, s FROM t"), qv::tsql::TranslateError);
}

TEST_F(Batches, IfRunsOneBranch) {
    const char* upsert =
        "IF EXISTS (SELECT 1 FROM t WHERE id = %d) UPDATE t SET a = a + 1 WHERE id = %d ELSE BEGIN INSERT INTO t "
        "(id, a, s) VALUES (%d, 0, 'new') END";
    char sql[512];
    std::snprintf(sql, sizeof sql, upsert, 2, 2, 2);
    EXPECT_EQ(Exec(sql), 1);
    std::snprintf(sql, sizeof sql, upsert, 7, 7, 7);
    EXPECT_EQ(Exec(sql), 1);
    EXPECT_EQ(Table("SELECT id, a, s FROM t WHERE id IN (2, 7) ORDER BY id"), (Rows{"2|21|y", "7|0|new"}));

    const char* remark =
        "if not exists (SELECT 1 FROM t WHERE s = 'q') begin UPDATE t SET s = 'q' WHERE id = 1 end else begin "
        "UPDATE t SET s = 'r' WHERE s = 'q' end";
    Exec(remark);
    EXPECT_EQ(Table("SELECT s FROM t WHERE id = 1"), (Rows{"q"}));
    Exec(remark);
    EXPECT_EQ(Table("SELECT s FROM t WHERE id = 1"), (Rows{"r"}));
}

TEST_F(Batches, IfConditionsCombineAndTreatUnknownAsFalse) {
    EXPECT_EQ(One("DECLARE @k int = -1 DECLARE @i int = 1 IF (EXISTS (SELECT 1 FROM t WHERE id = @k) OR @k = -1) "
                  "AND (EXISTS (SELECT 1 FROM t WHERE id = @i) OR @i = -1) SELECT 'yes' ELSE SELECT 'no'"),
              "yes");
    EXPECT_EQ(One("DECLARE @n int IF @n = 1 SELECT 'yes' ELSE SELECT 'no'"), "no");
    EXPECT_EQ(One("DECLARE @n int IF NOT (@n = 1) SELECT 'yes' ELSE SELECT 'no'"), "no");
    const char* nested =
        "IF 1 = 1 BEGIN IF 1 = 0 SELECT 'inner' ELSE BEGIN SELECT 'nested else' END END ELSE SELECT 'outer'";
    qv::tsql::Execution e = Run(nested);
    const qv::tsql::Program& program = *qv::tsql::Translate(nested);
    EXPECT_EQ(program.steps.at(e.ResultStep()).sql, "SELECT 'nested else'");
    EXPECT_EQ(qvtest::Collect(e), (Rows{"nested else"}));
    // Without ELSE nothing runs and nothing returns.
    EXPECT_FALSE(Run("IF 1 = 0 SELECT 1").HasResult());
}

TEST_F(Batches, ExecCallsTheRegisteredProcedureAndWritesOutputBack) {
    qv::sql::RegisterProcedure("sp_TestNextKey", [](sqlite3* db, std::vector<qv::sql::Value>& args) {
        ASSERT_EQ(args.size(), 3u);
        const std::string sql = "SELECT ifnull(max(" + std::get<std::string>(args[1]) + "), 0) + 1 FROM " +
                                std::get<std::string>(args[0]);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
        sqlite3_step(stmt);
        // Handed back as text: the variable's type decides what it becomes.
        args[2] = qv::sql::Value(std::to_string(sqlite3_column_int64(stmt, 0)));
        sqlite3_finalize(stmt);
    });
    qv::tsql::Execution e = Run("DECLARE @newID INT \t\t\t\t\t  EXECUTE dbo.sp_TestNextKey 't', 'id', @newID "
                                "OUTPUT \t\t\t\t\t  SELECT @newID AS newID");
    ASSERT_EQ(e.ColumnCount(), 1);
    EXPECT_EQ(e.ColumnName(0), "newID");
    ASSERT_TRUE(e.Next());
    EXPECT_EQ(std::get<std::int64_t>(e.Get(0)), 4);

    EXPECT_EQ(Exec("DECLARE @k int exec SP_TESTNEXTKEY 't', 'id', @k out INSERT INTO t (id, a, s) VALUES (@k, -1, "
                   "'k')"),
              1);
    EXPECT_EQ(Table("SELECT id FROM t WHERE a = -1"), (Rows{"4"}));
}

TEST_F(Batches, FailingAndMissingProceduresStopTheBatch) {
    qv::sql::RegisterProcedure("sp_TestFails", [](sqlite3*, std::vector<qv::sql::Value>&) {
        throw qv::sql::ProcedureError("no key for table");
    });
    try {
        Run("UPDATE t SET a = 99 WHERE id = 1 EXEC sp_TestFails 1 UPDATE t SET a = 99 WHERE id = 2");
        ADD_FAILURE() << "no error";
    } catch (const qv::tsql::ExecError& e) {
        EXPECT_EQ(e.message(), "no key for table");
        EXPECT_EQ(e.step(), 1u);
    }
    EXPECT_EQ(Table("SELECT id FROM t WHERE a = 99"), (Rows{"1"}));
    try {
        Run("EXEC dbo.sp_NobodyRegisteredThis 1, 'x'");
        ADD_FAILURE() << "no error";
    } catch (const qv::tsql::ExecError& e) {
        EXPECT_NE(e.message().find("sp_NobodyRegisteredThis"), std::string::npos);
        EXPECT_EQ(e.code(), SQLITE_ERROR);
    }
}

TEST_F(Batches, TrancountComesFromTheCaller) {
    Sql("CREATE TABLE System (lSystemID INTEGER)");
    Sql("INSERT INTO System VALUES (1)");
    EXPECT_EQ(One("SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), "0");
    ASSERT_EQ(db_.Begin(), SQLITE_OK);
    ASSERT_EQ(db_.Begin(), SQLITE_OK);
    options_.tranCount = [this] { return db_.Depth(); };
    EXPECT_EQ(One("SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), "2");
    EXPECT_EQ(One("IF @@TRANCOUNT > 0 SELECT 'inside' ELSE SELECT 'outside'"), "inside");
    ASSERT_EQ(db_.Rollback(), SQLITE_OK);
    EXPECT_EQ(One("SELECT @@trancount"), "0");
}

TEST_F(Batches, TheFirstSelectIsTheResultAndLaterStatementsStillRun) {
    qv::tsql::Execution e = Run("SELECT id, a FROM t WHERE id < 3 UPDATE t SET a = 0 SELECT 'second'");
    EXPECT_EQ(e.RowsAffected(), 3);
    EXPECT_EQ(qvtest::Collect(e), (Rows{"1|10", "2|20"}));
    EXPECT_EQ(Table("SELECT sum(a) FROM t"), (Rows{"0"}));

    qv::tsql::Execution none = Run("UPDATE t SET a = 1 WHERE id = 1 INSERT INTO t (id) VALUES (9)");
    EXPECT_FALSE(none.HasResult());
    EXPECT_FALSE(none.Next());
    EXPECT_EQ(none.RowsAffected(), 2);

    qv::tsql::Execution empty = Run("SELECT id FROM t WHERE id > 100");
    EXPECT_TRUE(empty.HasResult());
    EXPECT_EQ(empty.ColumnCount(), 1);
    EXPECT_FALSE(empty.Next());
}

TEST_F(Batches, ErrorsCarryTheEngineCodeMessageAndStep) {
    try {
        Run("UPDATE t SET a = 5 WHERE id = 1\nINSERT INTO t (id, a) VALUES (2, 0)");
        ADD_FAILURE() << "no error";
    } catch (const qv::tsql::ExecError& e) {
        EXPECT_EQ(e.code(), SQLITE_CONSTRAINT_PRIMARYKEY);
        EXPECT_EQ(e.step(), 1u);
        EXPECT_NE(e.message().find("UNIQUE"), std::string::npos);
        EXPECT_EQ(e.statement(), "INSERT INTO t (id, a) VALUES (2, 0)");
    }
    EXPECT_EQ(Table("SELECT a FROM t WHERE id = 1"), (Rows{"5"}));
    try {
        Run("SELECT x FROM NoSuchTable");
        ADD_FAILURE() << "no error";
    } catch (const qv::tsql::ExecError& e) {
        EXPECT_EQ(e.code(), SQLITE_ERROR);
        EXPECT_NE(e.message().find("NoSuchTable"), std::string::npos);
        EXPECT_EQ(e.step(), 0u);
    }
}

TEST_F(Batches, NestedRunsOfTheSameStatementEachGetTheirOwn) {
    const char* sql = "SELECT id FROM t ORDER BY id";
    qv::tsql::Execution outer = Run(sql);
    Rows pairs;
    while (outer.Next()) {
        qv::tsql::Execution inner = Run(sql);
        while (inner.Next()) {
            pairs.push_back(qvtest::Render(outer.Get(0)) + qvtest::Render(inner.Get(0)));
        }
    }
    EXPECT_EQ(pairs.size(), 9u);
    EXPECT_EQ(pairs.back(), "33");
    // Both statements went back to the connection's cache for the next run.
    ASSERT_NE(db_.Statements(), nullptr);
    EXPECT_GE(db_.Statements()->Size(), 1u);
    EXPECT_EQ(RowsOf(sql), (Rows{"1", "2", "3"}));
}

TEST(BatchesWithoutDriver, RunOnAPlainConnection) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    ASSERT_EQ(qv::sql::RegisterTsqlRuntime(db), SQLITE_OK);
    ASSERT_EQ(qv::tsql::RegisterFunctions(db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (s TEXT); INSERT INTO t VALUES ('b'), ('c')", nullptr, nullptr, nullptr),
              SQLITE_OK);
    for (int run = 0; run < 2; ++run) {
        qv::tsql::Execution e = qv::tsql::Execute(db, "SELECT TOP 1 'a' + s + s + s AS x FROM t ORDER BY s DESC");
        EXPECT_EQ(qvtest::Collect(e), (Rows{"accc"}));
    }
    // Every statement was finalized: the connection closes cleanly.
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);
}

TEST(Translation, ConcurrentTranslationsAgree) {
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&mismatches, t] {
            for (int i = 0; i < 300; ++i) {
                const std::string sql = "SELECT TOP 2 a MyValue FROM t WHERE (id = " + std::to_string((i * 7 + t) % 50) + ")";
                auto p = qv::tsql::Translate(sql);
                if (p->steps.size() != 1 || p->source != sql) ++mismatches;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
