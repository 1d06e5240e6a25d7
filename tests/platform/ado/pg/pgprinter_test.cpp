// T-SQL printed for PostgreSQL and run on a private server: each statement's rows must be what
// SQL Server gives, text compared without regard to case.
#include "pgcluster.h"
#include "pgdb.h"
#include "pgexec.h"
#include "pgprinter.h"
#include "tsqlerror.h"
#include "tsqlparser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qv::sql::PgDb;
using qv::sql::PgRows;

class PgPrint : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db_.Open(database_.url()), 0) << db_.LastError().description;
        const char* schema =
            "CREATE COLLATION qvci (provider = icu, locale = 'und-u-ks-level2', deterministic = false);"
            "CREATE OPERATOR + (LEFTARG = text, RIGHTARG = text, FUNCTION = textcat);"
            "CREATE SCHEMA dbo;"
            "CREATE OPERATOR dbo.~~~ (LEFTARG = text, RIGHTARG = text, FUNCTION = textlike, RESTRICT = likesel,"
            "  JOIN = scalargtjoinsel);"
            "CREATE FUNCTION dbo.fn_double(x integer) RETURNS integer LANGUAGE sql AS 'SELECT x * 2';"
            "CREATE FUNCTION dbo.fn_add(x integer, y integer) RETURNS integer LANGUAGE sql AS 'SELECT x + y';"
            "CREATE TABLE kurs (lkursid integer PRIMARY KEY, strbezeichnung text COLLATE qvci NOT NULL,"
            "  ltyp integer, dtbeginn timestamp(3));"
            "CREATE TABLE personkurs (lpersonkursid integer PRIMARY KEY, lkursid integer, strname text COLLATE qvci,"
            "  lstatus integer);"
            "CREATE TABLE sortierung (\"order\" integer);"
            "CREATE TABLE system2 (lsystemid integer); INSERT INTO system2 VALUES (1);"
            "INSERT INTO kurs VALUES (1, 'Atemschutz', 1, '2024-01-31 08:00'), (2, 'brandschutz  ', 2, '2024-03-01 08:00'),"
            "  (3, 'Übungsleiter', 3, NULL);"
            "INSERT INTO personkurs VALUES (1, 1, 'Meier', 5), (2, 1, 'MEIER', 6), (3, 2, 'Müller', 7);"
            "INSERT INTO sortierung VALUES (3), (1);"
            "CREATE TABLE custfieldtype (lcftypeid integer, ltableid integer, lorder integer, fused4search integer);"
            "CREATE TABLE custfieldvalue (lcustfieldvalueid integer, lcftypeid integer, lid integer, strvalue text);"
            "INSERT INTO custfieldtype VALUES (1, 5, 2, 1), (2, 5, 1, 1), (3, 5, 0, 0), (4, 6, 0, 0);"
            "INSERT INTO custfieldvalue VALUES (1, 1, 1, 'zwei'), (2, 2, 1, 'eins'), (3, 3, 1, 'nie'), (4, 1, 2, ''),"
            "  (5, 4, 1, 'x');";
        ASSERT_EQ(db_.Exec(schema), 0) << db_.LastError().description;
    }

    // The first printable statement of `tsql`, run with `params`; rows as "a,b|c,d".
    std::string Run(const std::string& tsql, const qv::sql::PgParams& params = {}) {
        const qv::tsql::Batch batch = qv::tsql::ParseBatch(tsql);
        qv::tsql::PgPrinter printer(batch.variables, static_cast<int>(batch.variables.size()));
        std::string sql;
        for (const auto& s : batch.statements) {
            if (s->kind != qv::tsql::StmtKind::Declare) {
                sql = printer.Statement(*s);
                break;
            }
        }
        PgRows rows;
        if (db_.Query(sql, params, &rows) != 0) return "<error " + db_.LastError().description + " in " + sql + ">";
        std::string out;
        for (const auto& row : rows.rows) {
            if (!out.empty()) out += '|';
            for (std::size_t c = 0; c < row.size(); ++c) out += (c ? "," : "") + (row[c] ? *row[c] : std::string("NULL"));
        }
        return out;
    }

    qvtest::PgTestDatabase database_;
    PgDb db_;
};

TEST_F(PgPrint, QueriesGiveWhatSqlServerGives) {
    struct Case {
        const char* tsql;
        const char* rows;
    } cases[] = {
        // TOP, aliases, case-insensitive comparison, LIKE and order (with umlauts)
        {"SELECT TOP 2 strBezeichnung MyValue FROM Kurs ORDER BY lKursID DESC", "Übungsleiter|brandschutz  "},
        {"SELECT COUNT(*) FROM dbo.Kurs WHERE strBezeichnung = 'ATEMSCHUTZ'", "1"},
        {"SELECT lKursID FROM Kurs WHERE strBezeichnung LIKE 'üBUNG%' OR strBezeichnung LIKE '_rand%'", "2|3"},
        {"SELECT lKursID FROM Kurs WHERE strBezeichnung LIKE 'a_emschutz' AND strBezeichnung NOT LIKE '%x%'", "1"},
        {"SELECT lKursID FROM Kurs ORDER BY strBezeichnung", "1|2|3"},
        {"SELECT COUNT(DISTINCT strName) FROM PersonKurs", "2"},
        // case-sensitive comparisons, which ignore trailing blanks as every T-SQL comparison does
        {"SELECT lKursID FROM Kurs WHERE strBezeichnung COLLATE Latin1_General_CS_AS = 'brandschutz'", "2"},
        {"SELECT lKursID FROM Kurs WHERE strBezeichnung COLLATE Latin1_General_CS_AS = 'Brandschutz'", ""},
        {"SELECT lKursID FROM Kurs WHERE 'brandschutz ' = strBezeichnung COLLATE Latin1_General_BIN "
         "AND NOT strBezeichnung COLLATE Latin1_General_CS_AS > 'brandschutz'",
         "2"},
        {"SELECT lKursID FROM Kurs WHERE strBezeichnung IN ('atemSCHUTZ', 'x') OR lKursID BETWEEN 3 AND 9", "1|3"},
        {"SELECT UPPER(strName) + 'x' n FROM PersonKurs GROUP BY UPPER(strName) + 'x' ORDER BY n", "MEIERx|MÜLLERx"},
        // functions
        {"SELECT LEN(strBezeichnung), LEFT(strBezeichnung, 3), SUBSTRING(strBezeichnung, 0, 3), "
         "CHARINDEX('SCHUTZ', strBezeichnung) FROM Kurs WHERE lKursID = 2",
         "11,bra,br,6"},
        // a word of ASCII counts the characters before it, umlauts too; one with an umlaut as well
        {"SELECT CHARINDEX('LEIT', strBezeichnung), CHARINDEX('ÜBUNG', strBezeichnung), CHARINDEX('ungsk', "
         "strBezeichnung), CHARINDEX('STRAßE', 'hauptstraße'), CHARINDEX('x', NULL) FROM Kurs WHERE lKursID = 3",
         "7,1,0,6,NULL"},
        // a word searched for (> 0) is a text, not a pattern
        {"SELECT lKursID FROM Kurs WHERE CHARINDEX('_', strBezeichnung) > 0 OR CHARINDEX('%', strBezeichnung) > 0 "
         "OR CHARINDEX('a!', strBezeichnung + 'A!') > 0 AND lKursID = 2 OR CHARINDEX('\\', strBezeichnung) > 0 "
         "OR CHARINDEX('', strBezeichnung) > 0",
         "2"},
        {"SELECT ISNULL(dtBeginn, '1899-12-30'), YEAR(ISNULL(dtBeginn, '1899-12-30')) FROM Kurs WHERE lKursID = 3",
         "1899-12-30 00:00:00,1899"},
        {"SELECT DATEADD(month, 1, dtBeginn), DATEDIFF(day, dtBeginn, '2024-02-01 00:00'), "
         "DATEDIFF(month, dtBeginn, '2024-02-01'), DATEDIFF(hour, dtBeginn, '2024-01-31 09:59'), "
         "DATEPART(dw, '2024-01-07'), DATEPART(dd, dtBeginn) FROM Kurs WHERE lKursID = 1",
         "2024-02-29 08:00:00,1,1,1,1,31"},
        {"SELECT CONVERT(varchar(3), strBezeichnung), CONVERT(int, '42') + 1, dbo.fn_double(lTyp), 5 ^ 3, ~0, 7 % 4 "
         "FROM Kurs WHERE lKursID = 1",
         "Ate,43,2,6,-1,3"},
        // a float as text in style 0: six significant digits, the exponent as T-SQL writes it
        {"SELECT CONVERT(varchar(20), CAST(1234567 AS float), 0), CONVERT(varchar(20), CAST(0.5 AS float), 0) "
         "FROM Kurs WHERE lKursID = 1",
         "1.23457e+006,0.5"},
        {"SELECT CONVERT(varchar(10), dtBeginn, 104), CONVERT(varchar(20), dtBeginn, 120), CONVERT(char(8), dtBeginn, 108), "
         "CONVERT(varchar(6), dtBeginn, 112), CONVERT(varchar(30), dtBeginn, 113) FROM Kurs WHERE lKursID = 1",
         "31.01.2024,2024-01-31 08:00:00,08:00:00,202401,31 Jan 2024 08:00:00:000"},
        {"SELECT CONVERT(varchar(30), dtBeginn, 1), CONVERT(varchar(30), dtBeginn, 101), CONVERT(varchar(30), dtBeginn, 2), "
         "CONVERT(varchar(30), dtBeginn, 102), CONVERT(varchar(30), dtBeginn, 3), CONVERT(varchar(30), dtBeginn, 103), "
         "CONVERT(varchar(30), dtBeginn, 4), CONVERT(varchar(30), dtBeginn, 5), CONVERT(varchar(30), dtBeginn, 105), "
         "CONVERT(varchar(30), dtBeginn, 10), CONVERT(varchar(30), dtBeginn, 110), CONVERT(varchar(30), dtBeginn, 11), "
         "CONVERT(varchar(30), dtBeginn, 111), CONVERT(varchar(30), dtBeginn, 12), CONVERT(varchar(30), dtBeginn, 14), "
         "CONVERT(varchar(30), dtBeginn, 121), CONVERT(varchar(30), dtBeginn, 23) FROM Kurs WHERE lKursID = 1",
         "01/31/24,01/31/2024,24.01.31,2024.01.31,31/01/24,31/01/2024,31.01.24,31-01-24,31-01-2024,01-31-24,01-31-2024,"
         "24/01/31,2024/01/31,240131,08:00:00:000,2024-01-31 08:00:00.000,2024-01-31"},
        {"SELECT CONVERT(datetime, 0), DATEADD(dd, DATEDIFF(dd, 0, dtBeginn), 0), CONVERT(datetime, '2024-02-03 04:05:06.007', 121), "
         "DATEADD(day, 2, 1) FROM Kurs WHERE lKursID = 1",
         "1900-01-01 00:00:00,2024-01-31 00:00:00,2024-02-03 04:05:06.007,1900-01-04 00:00:00"},
        {"SELECT strName + ' (' + strBezeichnung + ')' FROM PersonKurs pk JOIN Kurs k ON k.lKursID = pk.lKursID "
         "WHERE pk.lPersonKursID = 3",
         "Müller (brandschutz  )"},
        {"SELECT CASE strName WHEN 'meier' THEN 'm' ELSE 'o' END FROM PersonKurs ORDER BY lPersonKursID", "m|m|o"},
        // compound with TOP per part, sub-queries, a reserved word as a column
        {"SELECT TOP 1 lKursID FROM Kurs WHERE lKursID > 1 UNION ALL SELECT lPersonKursID FROM PersonKurs WHERE "
         "lPersonKursID = 3 ORDER BY 1",
         "2|3"},
        {"SELECT lKursID FROM Kurs k WHERE EXISTS (SELECT 1 FROM PersonKurs WHERE lKursID = k.lKursID) AND "
         "lKursID NOT IN (SELECT lKursID FROM PersonKurs WHERE lStatus = 7)",
         "1"},
        {"SELECT [Order] FROM Sortierung ORDER BY [order]", "1|3"},
        // an alias ordered by, in another case or a reserved word
        {"SELECT lKursID AS Nr FROM Kurs ORDER BY nr DESC", "3|2|1"},
        {"SELECT lKursID AS [Order] FROM Kurs ORDER BY [ORDER] DESC", "3|2|1"},
        // a derived table's aliases as the outer query names them
        {"SELECT x.lCount, x.lTyp FROM (SELECT lTyp, COUNT(*) AS lCount FROM Kurs GROUP BY lTyp) x "
         "WHERE x.LCOUNT > 0 ORDER BY x.lTyp DESC",
         "1,3|1,2|1,1"},
        {"SELECT COUNT(*) FROM Kurs WHERE dtBeginn IS NOT NULL AND NOT (lTyp = 2)", "1"},
        {"SELECT COUNT(*) FROM Kurs WHERE strBezeichnung COLLATE Latin1_General_CI_AS LIKE 'ATEM%'", "1"},
        // the custom fields a search reads, as a query of its own in the statement (the function is
        // missing here)
        {"SELECT k.lKursID, dbo.fn_GetCustFieldValuesUsed4Search(5, k.lKursID), "
         "dbo.fn_GetCustFieldValuesUsed4Search(6, k.lKursID) FROM Kurs k ORDER BY k.lKursID",
         "1,eins zwei,|2,,|3,,"},
        {"SELECT dbo.fn_add(10, k.lKursID), STR(k.lKursID, 4, -1) FROM Kurs k WHERE k.lKursID = 1", "11,NULL"},
        {"SELECT STR(123.4, 3), STR(1234.5, 3), STR(7), STR(2.5, 6, 1)", "123,***,         7,   2.5"},
        // a column's value, fewer decimals where they do not fit, and no value
        {"SELECT STR(k.lKursID, 2, 1), STR(p.lStatus, 4, 2) FROM Kurs k LEFT JOIN PersonKurs p ON p.lKursID = k.lKursID "
         "AND p.lStatus = 7 ORDER BY k.lKursID",
         " 1,NULL| 2,7.00| 3,NULL"},
        // conversions to every type name; the average of whole numbers is one
        {"SELECT CAST(lTyp AS ntext) + 'x', CAST(2.345 AS decimal(5,2)), CAST(lTyp AS numeric(3,1)), "
         "CAST('6F9619FF-8B86-D011-B42D-00C04FC964FF' AS uniqueidentifier), CAST(lTyp AS money) FROM Kurs WHERE lKursID = 1",
         "1x,2.35,1.0,6F9619FF-8B86-D011-B42D-00C04FC964FF,1.0000"},
        // text in the ISO styles as a date; seconds added
        {"SELECT CONVERT(datetime, '2024-02-03 04:05:06', 120), CONVERT(datetime, '2024-02-03 04:05:06', 20), "
         "CONVERT(datetime, '2024-02-03', 23), CONVERT(datetime, '2024-02-03T04:05:06', 126), DATEADD(ss, 90, dtBeginn) "
         "FROM Kurs WHERE lKursID = 1",
         "2024-02-03 04:05:06,2024-02-03 04:05:06,2024-02-03 00:00:00,2024-02-03 04:05:06,2024-01-31 08:01:30"},
        {"SELECT AVG(CAST(lStatus AS tinyint)) FROM PersonKurs WHERE lKursID = 1", "5"},
    };
    for (const Case& c : cases) EXPECT_EQ(Run(c.tsql), c.rows) << c.tsql;

    // A word is found where LIKE (folded by ICU) finds it, beside every character of the Basic
    // Multilingual Plane: the Kelvin sign, the capital I with dot, ß, umlauts; at the place in the
    // text, or for a word with an i, in the text as ICU folds it.
    ASSERT_EQ(db_.Exec("CREATE TABLE zeichen AS SELECT chr(i) COLLATE qvci AS c FROM generate_series(128, 65535) i "
                       "WHERE i NOT BETWEEN 55296 AND 57343"),
              0)
        << db_.LastError().description;
    const struct {
        const char *word, *text;
    } words[] = {{"k", "c + 'x' + c"},   {"I", "c + 'x' + c"},     {"xi", "c + 'x' + c"},
                 {"Kx", "c + 'x' + c"},  {"ss", "c + 'x' + c"},    {"Kxiä", "c + 'xiä' + c"},
                 {"ÄIxK", "'ä' + c + 'xk'"}};
    for (const auto& [word, text] : words) {
        const std::string w = word, t = text;
        EXPECT_EQ(Run("SELECT COUNT(*) FROM Zeichen WHERE CHARINDEX('" + w + "', " + t + ") = 0 AND " + t + " LIKE '%" + w +
                      "%' OR CHARINDEX('" + w + "', " + t + ") > 0 AND NOT " + t + " LIKE '%" + w + "%' OR CHARINDEX('" +
                      w + "x', c + '" + w + "x') <> LEN(" + (w.find_first_of("iI") != std::string::npos ? "LOWER(c)" : "c") +
                      ") + 1"),
                  "0")
            << word;
    }
}

TEST_F(PgPrint, VariablesAndTrancountAreTypedParameters) {
    EXPECT_EQ(Run("DECLARE @id int, @name varchar(20) SELECT lKursID FROM Kurs WHERE lKursID = @id OR strBezeichnung = @name",
                  {"1", "BRANDSCHUTZ  "}),
              "1|2");
    EXPECT_EQ(Run("SELECT TOP 2 @@TRANCOUNT MyValue FROM Kurs", {"3"}), "3|3");
    const qv::tsql::Batch batch = qv::tsql::ParseBatch("DECLARE @d datetime SELECT 1 FROM Kurs WHERE dtBeginn > @d");
    qv::tsql::PgPrinter printer(batch.variables, 1);
    EXPECT_NE(printer.Statement(*batch.statements[1]).find("$1::timestamp(3)"), std::string::npos);
    EXPECT_EQ(printer.TakeUsedSlots(), std::vector<int>{0});
    EXPECT_FALSE(printer.UsesTrancount());
}

TEST_F(PgPrint, WritesReachTheRowsTheJoinsName) {
    EXPECT_EQ(Run("UPDATE k SET lTyp = pk.lStatus FROM Kurs k JOIN PersonKurs pk ON pk.lKursID = k.lKursID "
                  "WHERE pk.strName = 'müller'"),
              "");
    EXPECT_EQ(Run("UPDATE Kurs SET strBezeichnung = strBezeichnung + '!' WHERE lKursID = 1"), "");
    EXPECT_EQ(Run("SELECT lKursID, lTyp, strBezeichnung FROM Kurs ORDER BY lKursID"),
              "1,1,Atemschutz!|2,7,brandschutz  |3,3,Übungsleiter");
    EXPECT_EQ(Run("DELETE pk FROM PersonKurs pk JOIN Kurs k ON k.lKursID = pk.lKursID WHERE k.lTyp = 1 AND pk.lStatus = 6"), "");
    EXPECT_EQ(Run("DELETE FROM PersonKurs WHERE strName = 'MÜLLER'"), "");
    EXPECT_EQ(Run("INSERT INTO PersonKurs (lPersonKursID, lKursID, strName) SELECT 9, lKursID, strBezeichnung FROM Kurs "
                  "WHERE lKursID = 3"),
              "");
    EXPECT_EQ(Run("SELECT lPersonKursID FROM PersonKurs ORDER BY lPersonKursID"), "1|9");
}

TEST_F(PgPrint, BatchesRunWithTheirVariablesBranchesAndTrancount) {
    using qv::sql::RunBatch;
    auto first = [](const qv::sql::PgRun& r) { return r.result.rows.at(0).at(0).value_or("NULL"); };
    EXPECT_EQ(first(RunBatch(db_, "DECLARE @n int SET @n = 2 SELECT strBezeichnung FROM Kurs WHERE lKursID = @n")),
              "brandschutz  ");
    const auto counted = RunBatch(db_,
                                  "DECLARE @c int SELECT @c = COUNT(*) FROM PersonKurs WHERE strName = 'meier' "
                                  "IF @c > 1 UPDATE Kurs SET lTyp = @c WHERE lKursID = 1 ELSE UPDATE Kurs SET lTyp = 0 "
                                  "SELECT lTyp FROM Kurs WHERE lKursID = 1");
    EXPECT_EQ(counted.rowsAffected, 1);
    EXPECT_EQ(counted.Variable("@c"), std::optional<std::optional<std::string>>(std::string("2")));
    EXPECT_EQ(counted.Variable("c"), counted.Variable("@c"));
    EXPECT_EQ(first(counted), "2");
    const auto text = RunBatch(db_, "DECLARE @s varchar(20) SET @s = 'x' SELECT @s + strName AS Name FROM PersonKurs "
                                    "WHERE lPersonKursID = 3");
    EXPECT_EQ(first(text), "xMüller");
    EXPECT_EQ(text.result.columns.at(0), "Name");
    ASSERT_EQ(db_.Begin(), 0);
    ASSERT_EQ(db_.Begin(), 0);
    const auto depth = RunBatch(db_, "SELECT TOP 2 @@TRANCOUNT MyValue FROM System2");
    EXPECT_EQ(first(depth), "2");
    EXPECT_EQ(depth.result.columns.at(0), "MyValue");
    ASSERT_EQ(db_.Rollback(), 0);
    EXPECT_THROW(RunBatch(db_, "SELECT lKursID FROM Kurs WHERE strBezeichnung = 1/0"), qv::tsql::ExecError);
    EXPECT_THROW(RunBatch(db_, "EXEC [fn_double(1)--]"), qv::tsql::ExecError) << "a name is never SQL";
}

TEST_F(PgPrint, WhatPostgreSqlCannotSayIsRefusedByName) {
    for (const char* tsql : {"SELECT STR(1.5, lKursID) FROM Kurs", "SELECT CONVERT(varchar(30), GETDATE(), 109)",
                             "SELECT ISNUMERIC('1')",
                             "SELECT CONVERT(varchar(10), 1.5, 1)",
                             "SELECT CONVERT(varchar(10), MIN(CAST(lTyp AS money)), 1) FROM Kurs",
                             "SELECT GETDATE() + 1", "SELECT * FROM other.dbo.Kurs",
                             "SELECT DATEDIFF(day, GETDATE())", "SELECT STR(1.5, 1234567)", "SELECT SUBSTRING('abc', 1)",
                             "SELECT CONVERT(datetime, '03.02.2024', 104)", "SELECT DATEADD(ms, 1, GETDATE())"}) {
        const qv::tsql::Batch batch = qv::tsql::ParseBatch(tsql);
        qv::tsql::PgPrinter printer(batch.variables, 0);
        EXPECT_THROW(printer.Statement(*batch.statements[0]), qv::tsql::TranslateError) << tsql;
    }
}

}  // namespace
