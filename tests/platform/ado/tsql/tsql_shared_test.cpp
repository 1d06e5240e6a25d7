// Texts that differ only in their values share one translation; each still gets its own rows,
// and literals that mean more than a value keep programs of their own.
#include "tsqlprogram.h"
#include "tsqltestdb.h"

using qvtest::Rows;
using qvtest::TsqlDb;

namespace {

class SharedTexts : public TsqlDb {
protected:
    void SetUp() override {
        TsqlDb::SetUp();
        Sql("CREATE TABLE t (id INTEGER PRIMARY KEY, a INTEGER, s TEXT, d TEXT)");
        Sql("INSERT INTO t VALUES (1, 30, 'x', '2031-06-15 00:00:00'), (2, 20, 'it''s', '2030-01-02 00:00:00'), "
            "(3, 10, 'z', NULL)");
    }

    Rows Shared(std::string_view tsql) {
        qv::tsql::Execution e = qv::tsql::Execute(db(), qv::tsql::TranslateShared(tsql), options_);
        return qvtest::Collect(e);
    }
};

TEST_F(SharedTexts, EachTextGetsItsOwnRowsAndOnlyPureValuesShareATranslation) {
    struct Case {
        const char* first;
        Rows firstRows;
        const char* second;
        Rows secondRows;
        bool shared;
    };
    // More literals than SQLite numbers parameters: all stay in the text.
    std::string many[2];
    for (int id = 1; id <= 2; ++id) {
        many[id - 1] = "SELECT id FROM t WHERE id = " + std::to_string(id);
        for (int i = 0; i < 40000; ++i) many[id - 1] += " AND s <> 'q'";
    }
    const Case cases[] = {
        {many[0].c_str(), {"1"}, many[1].c_str(), {"2"}, false},
        {"SELECT s FROM t WHERE id = 1", {"x"}, "SELECT s FROM t WHERE id =3", {"z"}, true},
        {"SELECT id FROM t WHERE s = 'x'", {"1"}, "SELECT id FROM t WHERE s = 'it''s'", {"2"}, true},
        {"SELECT id FROM t WHERE a > 15.5 ORDER BY id", {"1", "2"}, "SELECT id FROM t WHERE a > 25.5 ORDER BY id",
         {"1"}, true},
        {"SELECT id FROM t WHERE d >= '2031-01-01' ORDER BY id", {"1"},
         "SELECT id FROM t WHERE d >= '2030-01-01' ORDER BY id", {"1", "2"}, true},
        {"SELECT id FROM t WHERE s LIKE 'x%'", {"1"}, "SELECT id FROM t WHERE s LIKE 'it%'", {"2"}, true},
        {"SELECT isnull(d, 'none') FROM t WHERE id = 3", {"none"}, "SELECT isnull(d, '-') FROM t WHERE id = 3", {"-"},
         true},
        {"UPDATE t SET a = a WHERE id = 2 SELECT count(*) FROM t WHERE a = 20", {"1"},
         "UPDATE t SET a = a WHERE id = 9 SELECT count(*) FROM t WHERE a = 99", {"0"}, true},
        // An ORDER BY or GROUP BY number is a column position.
        {"SELECT id, a FROM t ORDER BY 1", {"1|30", "2|20", "3|10"}, "SELECT id, a FROM t ORDER BY 2",
         {"3|10", "2|20", "1|30"}, false},
        {"SELECT TOP 1 id FROM t ORDER BY id", {"1"}, "SELECT TOP 2 id FROM t ORDER BY id", {"1", "2"}, false},
        // A bare constant names and types its column.
        {"SELECT 1 AS x FROM t WHERE id = 1", {"1"}, "SELECT 2 AS x FROM t WHERE id = 1", {"2"}, false},
        {"SELECT convert(varchar(10), d, 104) FROM t WHERE id = 1", {"15.06.2031"},
         "SELECT convert(varchar(10), d, 120) FROM t WHERE id = 1", {"2031-06-15"}, false},
        {"SELECT convert(varchar(2), s) FROM t WHERE id = 2", {"it"}, "SELECT convert(varchar(4), s) FROM t WHERE id = 2",
         {"it's"}, false},
        {"SELECT id FROM t WHERE id IN (1, 2) ORDER BY id", {"1", "2"}, "SELECT id FROM t WHERE id IN (3) ORDER BY id",
         {"3"}, false},
        {"SELECT id FROM t WHERE a > -1 AND id < 2", {"1"}, "SELECT id FROM t WHERE a > -25 AND id < 3", {"1", "2"},
         false},
        {"DECLARE @v int SET @v = 2 SELECT s FROM t WHERE id = @v", {"it's"},
         "DECLARE @v int SET @v = 3 SELECT s FROM t WHERE id = @v", {"z"}, true},
        // A variable takes the value as its type makes it.
        {"DECLARE @v varchar(2) = 'x' SELECT id FROM t WHERE s = @v", {"1"},
         "DECLARE @v varchar(2) = 'it''s' SELECT id FROM t WHERE s = @v", {}, true},
        {"SELECT id FROM t WHERE a < 99999999999999999999 AND id = 1", {"1"},
         "SELECT id FROM t WHERE a < 99999999999999999998 AND id = 1", {"1"}, false},
        {"SELECT id FROM t WHERE s = 'x' OR s IS NULL", {"1"}, "SELECT id FROM t WHERE s = N'z' OR s IS NULL", {"3"},
         false},
    };
    for (const Case& c : cases) {
        // Twice each, so that the second run of a text comes from the cache.
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(Shared(c.first), c.firstRows) << c.first;
            EXPECT_EQ(Shared(c.second), c.secondRows) << c.second;
        }
        EXPECT_EQ(RowsOf(c.first), c.firstRows) << c.first;
        const bool same =
            qv::tsql::TranslateShared(c.first).program == qv::tsql::TranslateShared(c.second).program;
        EXPECT_EQ(same, c.shared) << c.first << "\n" << c.second;
    }
}

TEST_F(SharedTexts, ResultColumnsKeepTheirNamesAndTypesAndErrorsTheirText) {
    const char* const kText = "SELECT 1 AS x, 2.5, 'a' + s AS y, * FROM t WHERE id = 1";
    qv::tsql::Execution e = qv::tsql::Execute(db(), qv::tsql::TranslateShared(kText), options_);
    qv::tsql::Execution plain = Run(kText);
    ASSERT_TRUE(e.Next());
    ASSERT_EQ(e.ColumnCount(), 7);
    ASSERT_EQ(plain.ColumnCount(), 7);
    for (int c = 0; c < 7; ++c) EXPECT_EQ(e.ColumnName(c), plain.ColumnName(c)) << c;
    EXPECT_THROW(e.ColumnName(7), std::out_of_range);
    EXPECT_THROW(qv::tsql::Execution().ColumnName(0), std::out_of_range);
    EXPECT_EQ(e.ColumnName(0), "x");
    EXPECT_TRUE(std::holds_alternative<std::int64_t>(e.Get(0)));
    EXPECT_TRUE(std::holds_alternative<double>(e.Get(1)));
    EXPECT_EQ(qvtest::Render(e.Get(2)), "ax");
    EXPECT_FALSE(e.Next());
    EXPECT_THROW(e.Get(0), std::out_of_range) << "past the last row";

    // A value that fails at run time fails with its own text, whichever text shaped the program.
    EXPECT_EQ(Shared("SELECT id FROM t WHERE a = convert(int, '30')"), (Rows{"1"}));
    std::string plainError, sharedError;
    try {
        RowsOf("SELECT id FROM t WHERE a = convert(int, 'abc')");
    } catch (const qv::tsql::ExecError& err) {
        plainError = err.message();
    }
    try {
        Shared("SELECT id FROM t WHERE a = convert(int, 'abc')");
    } catch (const qv::tsql::ExecError& err) {
        sharedError = err.message();
    }
    EXPECT_FALSE(plainError.empty());
    EXPECT_EQ(sharedError, plainError);
}

// Indexes that compare a column with a constant (a partial index's WHERE, an indexed
// expression) serve a statement only with that constant in its text; ids stay shared.
class IndexedConstants : public SharedTexts {
protected:
    void SetUp() override {
        SharedTexts::SetUp();
        Sql("CREATE TABLE runs (id INTEGER PRIMARY KEY, kurs INTEGER, fClosed INTEGER, dtUntil TEXT, dtDay TEXT)");
        Sql("CREATE INDEX runs_open ON runs (kurs) WHERE fClosed = 0");
        Sql("CREATE INDEX runs_planned ON runs (kurs) WHERE fClosed = -1");
        Sql("CREATE INDEX runs_by_day ON runs ((CASE WHEN '2099-01-01' = dtDay THEN id END))");
        Sql("CREATE INDEX runs_window ON runs ((CASE WHEN dtUntil = '1899-12-30' THEN dtDay ELSE dtUntil END)) "
            "WHERE fClosed = 1");
        Sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
            "INSERT INTO runs SELECT i, i % 50, CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END, "
            "CASE WHEN i % 3 = 0 THEN '1899-12-30' ELSE '2020-' || (10 + i % 2) || '-01' END, '2099-01-01' FROM n");
        Sql("ANALYZE");
    }

    // What SQLite's plan for the shared translation of the text says.
    std::string Plan(std::string_view tsql) {
        std::string plan;
        for (const std::string& row : Table("EXPLAIN QUERY PLAN " + qv::tsql::TranslateShared(tsql).program->steps[0].sql))
            plan += row + "\n";
        return plan;
    }
};

TEST_F(IndexedConstants, StatementsKeepTheirIndexAndIdsStayShared) {
    // Learnt from the schema when SQLite first prepares such a statement again for its values.
    EXPECT_EQ(Shared("SELECT count(*) FROM runs WHERE kurs = 7 AND fClosed = 0"), (Rows{"0"}));
    struct Case {
        const char* text;
        const char* otherId;  // the same with another id: shares the translation
        Rows rows;
        const char* index;
    };
    const Case cases[] = {
        {"SELECT count(*) FROM runs WHERE kurs = 10 AND fClosed = 0",
         "SELECT count(*) FROM runs WHERE kurs = 20 AND fClosed = 0", {"40"}, "runs_open"},
        {"SELECT count(*) FROM runs WHERE 0 = fClosed AND kurs = 10",
         "SELECT count(*) FROM runs WHERE 0 = fClosed AND kurs = 30", {"40"}, "runs_open"},
        {"SELECT count(*) FROM runs WHERE kurs = 10 AND fClosed = -1",
         "SELECT count(*) FROM runs WHERE kurs = 20 AND fClosed = -1", {"0"}, "runs_planned"},
        {"SELECT count(*) FROM runs WHERE CASE WHEN '2099-01-01' = dtDay THEN id END = 57", nullptr, {"1"},
         "runs_by_day"},
        {"SELECT count(*) FROM runs WHERE fClosed = 1 AND kurs <> 7 AND "
         "CASE WHEN dtUntil = '1899-12-30' THEN dtDay ELSE dtUntil END > getdate()",
         "SELECT count(*) FROM runs WHERE fClosed = 1 AND kurs <> 8 AND "
         "CASE WHEN dtUntil = '1899-12-30' THEN dtDay ELSE dtUntil END > getdate()",
         {"587"}, "runs_window"},
        {"UPDATE runs SET fClosed = 0 WHERE fClosed = 1 AND id <> 5 AND "
         "CASE WHEN dtUntil = '1899-12-30' THEN dtDay ELSE dtUntil END > getdate() SELECT count(*) FROM runs "
         "WHERE fClosed = 0",
         nullptr, {"800"}, "runs_window"},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 2; ++round) {
            Sql("SAVEPOINT s");
            EXPECT_EQ(Shared(c.text), c.rows) << c.text;
            Sql("ROLLBACK TO s");
            Sql("RELEASE s");
        }
        EXPECT_NE(Plan(c.text).find(c.index), std::string::npos)
            << qv::tsql::TranslateShared(c.text).program->steps[0].sql << "\n" << Plan(c.text);
        if (c.otherId) {
            EXPECT_EQ(qv::tsql::TranslateShared(c.text).program, qv::tsql::TranslateShared(c.otherId).program)
                << c.otherId;
        }
    }
    // The other constant of the flag is a value like any: a statement of its own, shared by its ids.
    EXPECT_EQ(Shared("SELECT count(*) FROM runs WHERE kurs = 10 AND fClosed = 1"), (Rows{"0"}));
    EXPECT_EQ(qv::tsql::TranslateShared("SELECT id FROM runs WHERE kurs = 1 AND fClosed = 1").program,
              qv::tsql::TranslateShared("SELECT id FROM runs WHERE kurs = 2 AND fClosed = 1").program);
}

}  // namespace
