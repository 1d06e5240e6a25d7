// The translator's constructs, each run on SQLite and checked by its result.
#include "tsqlerror.h"
#include "tsqlprogram.h"
#include "tsqltestdb.h"

#include <malloc.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>

using qvtest::Rows;
using qvtest::TsqlDb;

namespace {

class Expressions : public TsqlDb {};

TEST_F(Expressions, ArithmeticFollowsTsqlPrecedence) {
    // + - & | ^ share one level in T-SQL; SQLite puts & and | below + and -.
    EXPECT_EQ(One("SELECT 6 & 3 + 8"), "10");
    EXPECT_EQ(One("SELECT 1 + 6 & 3"), "3");
    EXPECT_EQ(One("SELECT 2 + 3 * 4 - 10 / 4"), "12");
    EXPECT_EQ(One("SELECT 10 - 2 - 3"), "5");
    EXPECT_EQ(One("SELECT 7 % 4 * 2"), "6");
    EXPECT_EQ(One("SELECT 5 ^ 3"), "6");
    EXPECT_EQ(One("SELECT 12 ^ 10 | 1"), "7");
    EXPECT_EQ(One("SELECT ~5 & 7"), "2");
    EXPECT_EQ(One("SELECT -(2 - 5)"), "3");
    EXPECT_EQ(One("SELECT 3 - -1"), "4");
    EXPECT_EQ(One("SELECT 7 / 2"), "3");
}

TEST_F(Expressions, LogicalOperatorsBindAsInTsql) {
    EXPECT_EQ(One("SELECT CASE WHEN 1 = 1 OR 1 = 0 AND 1 = 0 THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN NOT 1 = 0 AND 2 = 2 THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN NOT (1 = 1 OR 1 = 0) THEN 1 ELSE 0 END"), "0");
    // Flat chains of any length, as a search of 10,000 words makes; the one differing operand is
    // found wherever it stands, and grouping a chain keeps what a NOT or OR next to it binds.
    std::string ands, ors, lastOr;
    for (int i = 0; i < 10000; ++i) {
        ands += (i ? " AND " : "") + std::string(i == 7777 ? "1 = 0" : "1 = 1");
        ors += (i ? " OR " : "") + std::string(i == 7777 ? "1 = 1" : "1 = 0");
        lastOr += (i ? " OR " : "") + std::string(i == 9999 ? "1 = 1" : "1 = 0");
    }
    EXPECT_EQ(One("SELECT CASE WHEN " + ands + " THEN 1 ELSE 0 END"), "0");
    EXPECT_EQ(One("SELECT CASE WHEN NOT (" + ands + ") THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN " + ors + " THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN " + lastOr + " THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN 1 = 0 AND (" + ors + ") THEN 1 ELSE 0 END"), "0");
    Sql("CREATE TABLE r (lRight INTEGER)");
    Sql("INSERT INTO r VALUES (256), (257), (1)");
    EXPECT_EQ(RowsOf("SELECT lRight FROM r WHERE lRight & 256 = 256 ORDER BY lRight"), (Rows{"256", "257"}));
    EXPECT_EQ(RowsOf("SELECT lRight FROM r WHERE lRight & 256 > 0 AND lRight | 1 = 257"), (Rows{"256", "257"}));
}

TEST_F(Expressions, PlusConcatenatesTextAndAddsNumbers) {
    Sql("CREATE TABLE p (s TEXT, n INTEGER, d TEXT)");
    Sql("INSERT INTO p VALUES ('Meier', 5, '12'), (NULL, 7, 'x')");
    EXPECT_EQ(One("SELECT 'a' + 'b' + N'c'"), "abc");
    EXPECT_EQ(One("SELECT 1 + 2.5"), "3.5");
    EXPECT_EQ(RowsOf("SELECT s + ' ' + 'Hans' FROM p ORDER BY n"), (Rows{"Meier Hans", "NULL"}));
    EXPECT_EQ(RowsOf("SELECT n + 1 FROM p ORDER BY n"), (Rows{"6", "8"}));
    EXPECT_EQ(One("SELECT n + d FROM p WHERE n = 5"), "17");
    EXPECT_EQ(One("SELECT 'Nr ' + convert(varchar, n) FROM p WHERE n = 7"), "Nr 7");
    // T-SQL converts the text to a number here and fails; it does not glue the two together.
    EXPECT_THROW(RowsOf("SELECT n + d FROM p WHERE n = 7"), qv::tsql::ExecError);
}

TEST_F(Expressions, LongPlusChainsFoldLeftToRight) {
    Sql("CREATE TABLE p (s TEXT, n INTEGER, d TEXT)");
    Sql("INSERT INTO p VALUES ('Meier', 5, '12'), (NULL, 7, 'x')");
    // (5 + 1) + '12' adds; the blank then converts to 0.
    EXPECT_EQ(One("SELECT n + 1 + d + ' ' FROM p WHERE n = 5"), "18");
    EXPECT_EQ(One("SELECT 'Nr ' + d + ' ' + s + '/' + convert(varchar, n) FROM p WHERE n = 5"), "Nr 12 Meier/5");
    EXPECT_EQ(One("SELECT 'a' + s + 'b' + d FROM p WHERE n = 7"), "NULL");
    EXPECT_THROW(RowsOf("SELECT s + ' ' + s + ' ' + n FROM p WHERE n = 5"), qv::tsql::ExecError);
    // A search text of many parts: nested calls would overflow SQLite's parser stack.
    std::string chain = "s";
    for (int i = 0; i < 60; ++i) chain += " + ' ' + isnull(s, '')";
    EXPECT_EQ(One("SELECT len(" + chain + ") FROM p WHERE n = 5"), std::to_string(5 + 60 * 6));
}

TEST_F(Expressions, PredicatesAndSubqueries) {
    Sql("CREATE TABLE t (id INTEGER, name TEXT COLLATE QVCI, grp INTEGER)");
    Sql("INSERT INTO t VALUES (1, 'Alpha', 1), (2, 'beta', 1), (3, 'Gamma', 2), (4, NULL, 2)");
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE id BETWEEN 2 AND 3"), (Rows{"2", "3"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE id NOT BETWEEN 2 AND 3 ORDER BY id"), (Rows{"1", "4"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE id IN (1,3)"), (Rows{"1", "3"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE id NOT IN (SELECT id FROM t WHERE grp = 1) ORDER BY id"),
              (Rows{"3", "4"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE name LIKE 'g%'"), (Rows{"3"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE name NOT LIKE '%ta' ORDER BY id"), (Rows{"1", "3"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE name IS NULL"), (Rows{"4"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE name IS NOT NULL AND grp = 2"), (Rows{"3"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t a WHERE EXISTS (SELECT 1 FROM t b WHERE b.grp = a.grp AND b.id > a.id)"),
              (Rows{"1", "3"}));
    EXPECT_EQ(RowsOf("SELECT id FROM t WHERE id = (SELECT max(id) FROM t WHERE grp = (SELECT min(grp) FROM t))"),
              (Rows{"2"}));
    EXPECT_EQ(RowsOf("SELECT id, (SELECT count(*) FROM t x WHERE x.grp = t.grp) AS n FROM t WHERE id < 3"),
              (Rows{"1|2", "2|2"}));
}

TEST_F(Expressions, CaseInBothForms) {
    Sql("CREATE TABLE k (f INTEGER, dtSent TEXT)");
    Sql("INSERT INTO k VALUES (1, '1899-12-30 00:00:00'), (0, '2031-06-15 00:00:00')");
    EXPECT_EQ(RowsOf("SELECT CASE f WHEN 1 THEN 'AHV' ELSE '' END FROM k ORDER BY f DESC"), (Rows{"AHV", ""}));
    EXPECT_EQ(RowsOf("SELECT case dtSent when '1899-12-30 00:00:00' then 1 else 2 end AS o FROM k ORDER BY o"),
              (Rows{"1", "2"}));
    EXPECT_EQ(One("SELECT CASE WHEN 1 = 0 THEN 'a' WHEN 2 = 2 THEN 'b' END"), "b");
    EXPECT_EQ(One("SELECT CASE WHEN 1 = 0 THEN 'a' END"), "NULL");
    EXPECT_EQ(One("SELECT CASE 'x' WHEN 'X' THEN 'ci' ELSE 'cs' END"), "ci");
}

TEST_F(Expressions, TextComparisonsIgnoreCaseUnlessCollatedCaseSensitive) {
    Sql("CREATE TABLE c (name TEXT COLLATE QVCI, guid TEXT COLLATE NOCASE)");
    Sql("INSERT INTO c VALUES ('Müller', '6f9619ff-8b86-d011-b42d-00c04fc964ff')");
    EXPECT_EQ(One("SELECT CASE WHEN 'abc' = 'ABC' THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN N'ÄRGER' = N'ärger' THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN 'abc' IN ('x', 'ABC') THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN 'a' + 'bc' = 'AB' + 'C' THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN 'abc' COLLATE Latin1_General_CS_AS = 'ABC' THEN 1 ELSE 0 END"), "0");
    EXPECT_EQ(One("SELECT CASE WHEN 'abc' = 'ABC' COLLATE Latin1_General_CS_AS THEN 1 ELSE 0 END"), "0");
    EXPECT_EQ(One("SELECT CASE WHEN 'abc' COLLATE Latin1_General_CI_AS = 'ABC' THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT count(*) FROM c WHERE name = 'MÜLLER'"), "1");
    // An index holds the next column right after the name.
    Sql("CREATE INDEX c_name ON c (name, guid)");
    EXPECT_EQ(One("SELECT count(*) FROM c WHERE name = 'Müller6'"), "0");
    EXPECT_EQ(One("DECLARE @a sysname = 'a', @b sysname = 'A' SELECT CASE WHEN @a = @b THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT count(*) FROM c WHERE isnull(name, '') = 'MÜLLER'"), "1");
    EXPECT_EQ(One("SELECT count(*) FROM c WHERE guid = '6F9619FF-8B86-D011-B42D-00C04FC964FF'"), "1");
    EXPECT_EQ(One("SELECT count(*) FROM c WHERE name COLLATE Latin1_General_CS_AS = 'MÜLLER'"), "0");
    // Trailing blanks do not count under any collation.
    EXPECT_EQ(One("SELECT CASE WHEN 'abc ' = 'ABC' THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN 'abc  ' COLLATE Latin1_General_CS_AS = 'abc' THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN 'abc' = 'abc ' COLLATE Latin1_General_BIN THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT count(*) FROM c WHERE name + ' ' COLLATE Latin1_General_CS_AS = 'Müller'"), "1");
}

TEST_F(Expressions, CharindexFollowsTheCollationOfItsArguments) {
    Sql("CREATE TABLE o (strPLZ TEXT, strOrt TEXT)");
    Sql("INSERT INTO o VALUES ('3000', 'Bern'), ('8400', 'Winterthur')");
    EXPECT_EQ(RowsOf("SELECT strOrt FROM o WHERE CHARINDEX(' bern', ' ' + strPLZ + ' ' + strOrt) > 0"),
              (Rows{"Bern"}));
    EXPECT_EQ(RowsOf("SELECT strOrt FROM o WHERE (CHARINDEX('bern', strPLZ + ' ' + strOrt + ' '  "
                   "COLLATE Latin1_General_CS_AS) > 0)"),
              Rows{});
    // The closing of the case-sensitive search runs straight into the next word condition.
    EXPECT_EQ(RowsOf("SELECT strOrt FROM o WHERE 1=1 AND (CHARINDEX('Bern', strOrt + ' '  COLLATE "
                   "Latin1_General_CS_AS) > 0)AND (CHARINDEX('3000', strPLZ + ' '  COLLATE Latin1_General_CS_AS) > 0)"),
              (Rows{"Bern"}));
}

TEST_F(Expressions, BuiltInFunctionsMapToTheRuntime) {
    EXPECT_EQ(One("SELECT isnull(NULL, 'x') + isnull('y', 'z')"), "xy");
    EXPECT_EQ(One("SELECT coalesce(NULL, NULL, 3)"), "3");
    EXPECT_EQ(One("SELECT convert(varchar(10), '2031-06-15 07:30:00', 104)"), "15.06.2031");
    EXPECT_EQ(One("SELECT CONVERT(datetime, '1899-12-30 00:00:00.000', 121)"), "1899-12-30 00:00:00");
    EXPECT_EQ(One("SELECT convert(datetime, 0)"), "1900-01-01 00:00:00");
    EXPECT_EQ(One("SELECT cast('42' AS int) + 1"), "43");
    EXPECT_EQ(One("SELECT year('2031-06-15 00:00:00') * 100 + month('2031-06-15 00:00:00')"), "203106");
    EXPECT_EQ(One("SELECT dateadd(year, -1, '2031-06-15 00:00:00')"), "2030-06-15 00:00:00");
    EXPECT_EQ(One("SELECT dateadd(dd, datediff(dd, 0, '2031-06-15 13:14:15'), 0)"), "2031-06-15 00:00:00");
    EXPECT_EQ(One("SELECT len('abc ') + CHARINDEX('c', 'abc')"), "6");
    EXPECT_EQ(One("SELECT upper(left('hello', 2)) + lower(right('WORLD', 2))"), "HEld");
    EXPECT_EQ(One("SELECT str(3.14159, 4, 2)"), "3.14");
    EXPECT_EQ(One("SELECT CASE WHEN getdate() > '2020-01-01 00:00:00' THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN CURRENT_TIMESTAMP > '2020-01-01 00:00:00' THEN 1 ELSE 0 END"), "1");
}

TEST_F(Expressions, DatabaseFunctionsAreCalledWithoutSchema) {
    sqlite3_create_function(
        db(), "fn_GetPersonBezeichnung", 2, SQLITE_UTF8, nullptr,
        [](sqlite3_context* ctx, int, sqlite3_value** argv) {
            std::string s = "P" + std::to_string(sqlite3_value_int(argv[0])) + "/" +
                            reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
            sqlite3_result_text(ctx, s.c_str(), -1, SQLITE_TRANSIENT);
        },
        nullptr, nullptr);
    EXPECT_EQ(One("SELECT dbo.fn_GetPersonBezeichnung(5, 'A') AS strPerson"), "P5/A");
    EXPECT_EQ(One("SELECT fn_GetPersonBezeichnung(6, 'B')"), "P6/B");
}

TEST_F(Expressions, LiteralsAndNames) {
    Sql("CREATE TABLE \"Order\" (\"Key\" INTEGER, [my col] TEXT)");
    Sql("INSERT INTO \"Order\" VALUES (1, 'O''Brien')");
    EXPECT_EQ(One("SELECT [my col] FROM [Order] WHERE [Key] = 1"), "O'Brien");
    EXPECT_EQ(One("SELECT count(*) FROM dbo.[Order] WHERE [my col] = N'O''Brien'"), "1");
    EXPECT_EQ(One("SELECT dbo.[Order].[Key] FROM dbo.[Order]"), "1");
    EXPECT_EQ(One("SELECT x$1 FROM (SELECT 2 AS x$1) d"), "2");
    EXPECT_EQ(One("SELECT a9 + z0 + A0 + Z9 FROM (SELECT 1 AS a9, 2 AS z0, 3 AS A0, 4 AS Z9) d"), "10");
    EXPECT_EQ(One("SELECT 0xFFFFFF"), "16777215");
    EXPECT_EQ(One("SELECT 1.500000 * 2"), "3");
    EXPECT_EQ(One("SELECT CASE WHEN 1e-2 = 0.01 AND 2E+3 = 2000 AND 5e1 = 50 THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT CASE WHEN 1 != 2 AND NOT 1 !< 2 AND 3 !> 3 THEN 1 ELSE 0 END"), "1");
    EXPECT_EQ(One("SELECT -- a comment\n 1 /* and /* nested */ one */ + 1"), "2");
    EXPECT_EQ(One("SELECT /**/ 1"), "1");
}

// ---- queries -------------------------------------------------------------------------------

class Queries : public TsqlDb {
protected:
    void SetUp() override {
        TsqlDb::SetUp();
        Sql("CREATE TABLE Person (lPersonID INTEGER PRIMARY KEY, strName TEXT COLLATE QVCI, lMandantID INTEGER)");
        Sql("CREATE TABLE Mandant (lMandantID INTEGER PRIMARY KEY, strMandantName TEXT COLLATE QVCI)");
        Sql("INSERT INTO Mandant VALUES (1, 'Uster'), (2, 'Bern'), (3, 'Leer')");
        Sql("INSERT INTO Person VALUES (1, 'Meier', 1), (2, 'Muster', 1), (3, 'Keller', 2), (4, 'Frei', 9)");
    }
};

TEST_F(Queries, TopBecomesLimitEverywhere) {
    EXPECT_EQ(RowsOf("SELECT TOP 2 lPersonID FROM Person ORDER BY lPersonID DESC"), (Rows{"4", "3"}));
    EXPECT_EQ(RowsOf("SELECT TOP (1) strName FROM Person ORDER BY strName"), (Rows{"Frei"}));
    EXPECT_EQ(RowsOf("SELECT strName FROM Person WHERE lPersonID IN (SELECT TOP 2 lPersonID FROM Person ORDER BY "
                   "strName DESC) ORDER BY strName"),
              (Rows{"Meier", "Muster"}));
    // TOP limits its own SELECT, not the whole UNION.
    EXPECT_EQ(RowsOf("SELECT TOP 1 strName FROM Person UNION ALL SELECT strMandantName FROM Mandant").size(), 4u);
    EXPECT_EQ(RowsOf("SELECT TOP 2 @@TRANCOUNT MyValue FROM Person"), (Rows{"0", "0"}));
}

TEST_F(Queries, SelectItemsAndColumnNames) {
    qv::tsql::Execution e = Run(
        "SELECT p.lPersonID, strName AS Name, lMandantID MyValue, strAHV = CASE lMandantID WHEN 1 THEN 'AHV' "
        "ELSE '' END, lPersonID + 1 FROM Person p WHERE lPersonID = 1");
    ASSERT_EQ(e.ColumnCount(), 5);
    EXPECT_EQ(e.ColumnName(0), "lPersonID");
    EXPECT_EQ(e.ColumnName(1), "Name");
    EXPECT_EQ(e.ColumnName(2), "MyValue");
    EXPECT_EQ(e.ColumnName(3), "strAHV");
    EXPECT_EQ(e.ColumnName(4), "");
    EXPECT_EQ(qvtest::Collect(e), (Rows{"1|Meier|1|AHV|2"}));

    qv::tsql::Execution star = Run("SELECT m.* FROM Mandant m WHERE lMandantID = 2");
    ASSERT_EQ(star.ColumnCount(), 2);
    EXPECT_EQ(star.ColumnName(1), "strMandantName");
    EXPECT_EQ(qvtest::Collect(star), (Rows{"2|Bern"}));
}

TEST_F(Queries, GroupingDistinctOrderingAndUnion) {
    EXPECT_EQ(RowsOf("SELECT DISTINCT lMandantID FROM Person ORDER BY lMandantID"), (Rows{"1", "2", "9"}));
    EXPECT_EQ(RowsOf("SELECT lMandantID, count(*) AS n FROM Person GROUP BY lMandantID HAVING count(*) > 1"),
              (Rows{"1|2"}));
    EXPECT_EQ(RowsOf("SELECT 1 AS lKind, lPersonID AS lID FROM Person WHERE lPersonID = 1 UNION ALL "
                   "SELECT 2 AS lKind, lMandantID AS lID FROM Mandant WHERE lMandantID <> 1 ORDER BY lID DESC"),
              (Rows{"2|3", "2|2", "1|1"}));
    EXPECT_EQ(RowsOf("SELECT lMandantID FROM Person UNION SELECT lMandantID FROM Mandant").size(), 4u);
    EXPECT_EQ(RowsOf("SELECT lMandantID FROM Person INTERSECT SELECT lMandantID FROM Mandant ORDER BY 1"),
              (Rows{"1", "2"}));
}

TEST_F(Queries, ComputedTextSortsGroupsAndDeduplicatesIgnoringCase) {
    Sql("CREATE TABLE r (strLabel TEXT, strReport TEXT)");
    Sql("INSERT INTO r VALUES ('b', '1'), ('A', '2'), ('a', '3'), ('C', '4'), ('B', '5')");
    EXPECT_EQ(RowsOf("SELECT strLabel + strReport AS strOrder FROM r ORDER BY strOrder"),
              (Rows{"A2", "a3", "b1", "B5", "C4"}));
    EXPECT_EQ(RowsOf("SELECT strLabel FROM r ORDER BY isnull(strLabel, '') DESC, strReport"),
              (Rows{"C", "b", "B", "A", "a"}));
    EXPECT_EQ(RowsOf("SELECT count(*) FROM r GROUP BY isnull(strLabel, '') + 'x' ORDER BY 1"),
              (Rows{"1", "2", "2"}));
    EXPECT_EQ(RowsOf("SELECT DISTINCT isnull(strLabel, '') FROM r").size(), 3u);
}

TEST_F(Queries, JoinsOfEveryKind) {
    EXPECT_EQ(RowsOf("SELECT strName, strMandantName FROM Person JOIN Mandant On Person.lMandantID = "
                   "Mandant.lMandantID WHERE strName LIKE 'M%' ORDER BY strName"),
              (Rows{"Meier|Uster", "Muster|Uster"}));
    EXPECT_EQ(RowsOf("SELECT strName, isnull(m.strMandantName, '-') FROM Person p LEFT OUTER JOIN Mandant m ON "
                   "p.lMandantID = m.lMandantID WHERE p.lPersonID > 2 ORDER BY strName"),
              (Rows{"Frei|-", "Keller|Bern"}));
    EXPECT_EQ(RowsOf("SELECT m.strMandantName FROM Person p RIGHT OUTER JOIN Mandant m ON p.lMandantID = "
                   "m.lMandantID WHERE p.lPersonID IS NULL"),
              (Rows{"Leer"}));
    EXPECT_EQ(One("SELECT count(*) FROM Person CROSS JOIN Mandant"), "12");
    EXPECT_EQ(One("SELECT count(*) FROM Person INNER JOIN dbo.Mandant AS m ON Person.lMandantID = m.lMandantID"),
              "3");
    EXPECT_EQ(RowsOf("SELECT m.strMandantName, x.n FROM Mandant m JOIN (SELECT lMandantID, count(*) AS n FROM "
                   "Person GROUP BY lMandantID) AS x ON x.lMandantID = m.lMandantID ORDER BY x.n DESC"),
              (Rows{"Uster|2", "Bern|1"}));
}

// ---- writing -------------------------------------------------------------------------------

class Writes : public TsqlDb {
protected:
    void SetUp() override {
        TsqlDb::SetUp();
        Sql("CREATE TABLE PersonKurs (lPersonKursID INTEGER PRIMARY KEY, lPersonID INTEGER, lKursID INTEGER, "
            "lStatus INTEGER, strBemerkung TEXT)");
        Sql("CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, lTyp INTEGER, strBezeichnung TEXT)");
        Sql("CREATE TABLE Person (lPersonID INTEGER PRIMARY KEY, strName TEXT)");
        Sql("INSERT INTO Kurs VALUES (1, 3, 'Grundkurs'), (2, 1, 'Atemschutz')");
        Sql("INSERT INTO Person VALUES (10, 'Meier'), (11, 'Muster'), (12, 'Keller')");
        Sql("INSERT INTO PersonKurs VALUES (1, 10, 1, 3, ''), (2, 11, 1, 4, ''), (3, 12, 2, 3, ''), "
            "(4, 10, 2, 0, ''), (5, 99, 1, 3, '')");
    }
};

TEST_F(Writes, InsertWithValuesAndWithSelect) {
    EXPECT_EQ(Exec("INSERT INTO Kurs (lKursID, lTyp, strBezeichnung) Values(3, 2, N'Maschinist')"), 1);
    EXPECT_EQ(Exec("INSERT Kurs (lKursID, lTyp, strBezeichnung) VALUES (4, 2, 'a'), (5, 2, 'b')"), 2);
    EXPECT_EQ(Exec("INSERT INTO Kurs (lKursID, lTyp, strBezeichnung) SELECT TOP 1 lKursID + 10, lTyp, "
                   "'Kopie von ' + strBezeichnung FROM Kurs ORDER BY lKursID"),
              1);
    EXPECT_EQ(Table("SELECT lKursID, strBezeichnung FROM Kurs WHERE lKursID IN (3, 11)"),
              (Rows{"3|Maschinist", "11|Kopie von Grundkurs"}));
}

TEST_F(Writes, DeleteWithoutFromAndInTheJoinForm) {
    EXPECT_EQ(Exec("Delete PersonKurs WHERE lPersonKursID = 5"), 1);
    EXPECT_EQ(Exec("DELETE PersonKurs FROM PersonKurs JOIN Kurs ON PersonKurs.lKursID = Kurs.lKursID WHERE "
                   "Kurs.lTyp = 1"),
              2);
    EXPECT_EQ(Table("SELECT lPersonKursID FROM PersonKurs ORDER BY 1"), (Rows{"1", "2"}));
    EXPECT_EQ(Exec("DELETE pk FROM Person p JOIN PersonKurs pk ON pk.lPersonID = p.lPersonID WHERE p.strName = "
                   "'Muster'"),
              1);
    EXPECT_EQ(Table("SELECT lPersonKursID FROM PersonKurs"), (Rows{"1"}));
    EXPECT_EQ(Exec("DELETE FROM PersonKurs"), 1);
}

TEST_F(Writes, UpdateFromChangesOnlyTheJoinedRows) {
    EXPECT_EQ(Exec("UPDATE PersonKurs SET lStatus = 0, strBemerkung = 'offen' FROM PersonKurs JOIN Kurs On "
                   "PersonKurs.lKursID = Kurs.lKursID WHERE lStatus IN (3,4) AND Kurs.lTyp = 3"),
              3);
    EXPECT_EQ(Table("SELECT lPersonKursID, lStatus, strBemerkung FROM PersonKurs ORDER BY 1"),
              (Rows{"1|0|offen", "2|0|offen", "3|3|", "4|0|", "5|0|offen"}));
}

TEST_F(Writes, UpdateFromWithTheTargetInTheMiddleOfTheJoins) {
    Sql("CREATE TABLE SecKurs (lSecKursID INTEGER PRIMARY KEY, lKursID INTEGER, lQvSecUserID INTEGER, "
        "lRight INTEGER, fValid INTEGER)");
    Sql("INSERT INTO SecKurs VALUES (1, 1, 7, 1, 0), (2, 2, 7, 1, 0), (3, 1, 8, 1, 0)");
    // Only the SecKurs rows of user 7 whose course Meier attends.
    EXPECT_EQ(Exec("UPDATE SecKurs SET fValid = 1, lRight = lRight | 256 FROM Person p JOIN PersonKurs pk ON "
                   "pk.lPersonID = p.lPersonID JOIN SecKurs ON SecKurs.lKursID = pk.lKursID JOIN Kurs k ON "
                   "k.lKursID = SecKurs.lKursID WHERE p.strName = 'Meier' AND SecKurs.lQvSecUserID = 7 AND "
                   "k.lTyp = 3"),
              1);
    EXPECT_EQ(Table("SELECT lSecKursID, lRight, fValid FROM SecKurs ORDER BY 1"),
              (Rows{"1|257|1", "2|1|0", "3|1|0"}));
}

TEST_F(Writes, UpdateFromThroughTheTargetsAlias) {
    // The UPDATE names the alias, and the value comes from the joined row.
    EXPECT_EQ(Exec("UPDATE pk SET strBemerkung = p.strName + '/' + k.strBezeichnung FROM Kurs k JOIN "
                   "PersonKurs pk ON pk.lKursID = k.lKursID JOIN Person p ON p.lPersonID = pk.lPersonID "
                   "WHERE k.lKursID = 2"),
              2);
    EXPECT_EQ(Table("SELECT lPersonKursID, strBemerkung FROM PersonKurs WHERE strBemerkung <> '' ORDER BY 1"),
              (Rows{"3|Keller/Atemschutz", "4|Meier/Atemschutz"}));
    // The table named in UPDATE with the alias only in FROM.
    EXPECT_EQ(Exec("UPDATE PersonKurs SET lStatus = 9 FROM Person p JOIN PersonKurs x ON x.lPersonID = "
                   "p.lPersonID WHERE p.strName = 'Muster'"),
              1);
    EXPECT_EQ(Table("SELECT lPersonKursID FROM PersonKurs WHERE lStatus = 9"), (Rows{"2"}));
}

TEST_F(Writes, UpdateFromADerivedTableAndFromAnOuterJoin) {
    EXPECT_EQ(Exec("UPDATE PersonKurs SET lStatus = x.n FROM PersonKurs JOIN (SELECT lKursID, count(*) AS n "
                   "FROM PersonKurs GROUP BY lKursID) x ON x.lKursID = PersonKurs.lKursID WHERE lPersonID = 10"),
              2);
    EXPECT_EQ(Table("SELECT lPersonKursID, lStatus FROM PersonKurs WHERE lPersonID = 10"), (Rows{"1|3", "4|2"}));
    // Rows without a partner keep their place in a LEFT JOIN and get NULL.
    EXPECT_EQ(Exec("UPDATE PersonKurs SET strBemerkung = isnull(p.strName, '?') FROM PersonKurs LEFT OUTER JOIN "
                   "Person p ON p.lPersonID = PersonKurs.lPersonID WHERE PersonKurs.lKursID = 1"),
              3);
    EXPECT_EQ(Table("SELECT strBemerkung FROM PersonKurs WHERE lKursID = 1 ORDER BY 1"),
              (Rows{"?", "Meier", "Muster"}));
}

TEST_F(Writes, UpdateAndDeleteFromWithoutTheTargetInFrom) {
    EXPECT_EQ(Exec("UPDATE PersonKurs SET strBemerkung = k.strBezeichnung FROM Kurs k WHERE k.lKursID = "
                   "PersonKurs.lKursID AND k.lTyp = 1"),
              2);
    EXPECT_EQ(Table("SELECT lPersonKursID FROM PersonKurs WHERE strBemerkung = 'Atemschutz' ORDER BY 1"),
              (Rows{"3", "4"}));
    EXPECT_EQ(Exec("DELETE PersonKurs FROM Kurs k WHERE k.lKursID = PersonKurs.lKursID AND k.lTyp = 3"), 3);
    EXPECT_EQ(Table("SELECT lPersonKursID FROM PersonKurs ORDER BY 1"), (Rows{"3", "4"}));
}

TEST_F(Writes, AmbiguousTargetIsRefused) {
    EXPECT_THROW(Exec("UPDATE PersonKurs SET lStatus = 1 FROM PersonKurs a JOIN PersonKurs b ON a.lPersonID = "
                      "b.lPersonID"),
                 qv::tsql::TranslateError);
    EXPECT_THROW(Exec("UPDATE PersonKurs SET Kurs.lTyp = 1 WHERE lPersonKursID = 1"), qv::tsql::TranslateError);
    EXPECT_EQ(Table("SELECT count(*) FROM PersonKurs WHERE lStatus = 1"), (Rows{"0"}));
}

// ---- translation ---------------------------------------------------------------------------

TEST(Translation, PlainStatementsKeepTheirShape) {
    EXPECT_EQ(qv::tsql::TranslateStatement("SELECT TOP 2 dtDatum MyValue FROM Kursinstanz WHERE (lKursinstanzID=1)"),
              "SELECT dtDatum AS \"MyValue\" FROM Kursinstanz WHERE lKursinstanzID = 1 LIMIT 2");
    EXPECT_EQ(qv::tsql::TranslateStatement("delete dbo.Kurs where lKursID = 1"), "DELETE FROM Kurs WHERE lKursID = 1");
    EXPECT_EQ(qv::tsql::TranslateStatement("SELECT ALL lKursID FROM Kurs"), "SELECT lKursID FROM Kurs");
    EXPECT_EQ(qv::tsql::TranslateStatement("SELECT 1Ex2"), "SELECT 1 AS \"Ex2\"");
    EXPECT_EQ(qv::tsql::TranslateStatement("SELECT strName + ' ' + strVorname FROM Person"),
              "SELECT tsql_addn(strName, ' ', strVorname) FROM Person");
    EXPECT_EQ(qv::tsql::TranslateStatement("SELECT 'a' + convert(varchar, 1) + 'b'"),
              "SELECT 'a' || tsql_convert('varchar', 1) || 'b'");
    EXPECT_THROW(qv::tsql::TranslateStatement("DECLARE @x int SELECT @x"), qv::tsql::TranslateError);
    EXPECT_THROW(qv::tsql::TranslateStatement("SELECT @@TRANCOUNT"), qv::tsql::TranslateError);
    // Only the given part of a longer text counts.
    EXPECT_EQ(qv::tsql::TranslateStatement(std::string_view("SELECT 1 AS N'a'").substr(0, 13)), "SELECT 1 AS \"N\"");
}

TEST(Translation, UnsupportedConstructsNameThemselvesAndTheirPlace) {
    struct Case {
        const char* sql;
        const char* construct;
        std::size_t offset;
    };
    const Case cases[] = {
        {"SELECT TOP 10 PERCENT a FROM t", "TOP ... PERCENT", 7},
        {"WITH x AS (SELECT 1) SELECT * FROM x", "statement 'WITH'", 0},
        {"SELECT soundex(a) FROM t", "function 'soundex'", 7},
        {"SELECT a FROM t WITH (NOLOCK)", "table hint", 16},
        {"SELECT a INTO #tmp FROM t", "SELECT ... INTO", 9},
        {"SELECT a FROM t WHERE b LIKE 'x' COLLATE Latin1_General_CS_AS", "case-sensitive LIKE", 24},
        {"BEGIN TRANSACTION UPDATE t SET a = 1", "BEGIN TRANSACTION", 0},
        {"SELECT @@IDENTITY", "@@IDENTITY", 7},
        {"SELECT a FROM t\n  WHERE b = @missing", "must declare the variable @missing", 28},
        {"SELECT 'abc", "unterminated string literal", 7},
        {"UPDATE t SET a = 1 WHERE", "expected an expression but found end of text", 24},
        {"SELECT getdate() + 1", "'+' on a date value", 17},
        {"SELECT datediff(day, a) FROM t", "wrong number of arguments for datediff()", 7},
        {"EXEC p 1, @x = 2", "named procedure argument @x", 10},
        {"SELECT a FROM s.d.dbo.t", "name with more than three parts", 22},
        {"SELECT a FROM t CROSS APPLY (SELECT 1 AS b) x", "CROSS APPLY", 16},
        {"SELECT a FROM t OUTER APPLY (SELECT 1 AS b) x", "OUTER APPLY", 16},
        {"INSERT INTO t (a) OUTPUT inserted.a VALUES (1)", "INSERT ... OUTPUT", 18},
        {"INSERT INTO t EXECUTE p", "INSERT ... EXECUTE", 14},
        {"SET NOCOUNT ON", "SET NOCOUNT", 4},
        {"SELECT a FROM #tmp", "temporary table #tmp", 14},
        {"SELECT a FROM @t", "table variable", 14},
        {"DECLARE @g xml", "type 'xml'", 11},
        {"SELECT a FROM t LEFT LOOP JOIN u ON 1 = 1", "join hint", 21},
        {"SELECT a FROM t FULL OUTER MERGE JOIN u ON 1 = 1", "join hint", 27},
    };
    for (const Case& c : cases) {
        try {
            qv::tsql::Translate(c.sql);
            ADD_FAILURE() << "no error for: " << c.sql;
        } catch (const qv::tsql::TranslateError& e) {
            EXPECT_NE(std::string(e.what()).find(c.construct), std::string::npos) << e.what();
            EXPECT_EQ(e.offset(), c.offset) << c.sql;
            EXPECT_NE(std::string(e.what()).find("offset " + std::to_string(c.offset)), std::string::npos);
        }
    }
}

// Text nested past what the stack holds fails with an error at the level that is too deep; the
// process lives on.
TEST(Translation, DeeplyNestedTextIsRefusedWithItsOffset) {
    auto repeat = [](std::string_view part, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += part;
        return out;
    };
    struct Case {
        const char* what;
        std::string sql;
    };
    const Case cases[] = {
        {"parentheses", "SELECT " + repeat("(", 8000) + "1" + repeat(")", 8000)},
        {"NOT", "SELECT 1 WHERE " + repeat("NOT ", 20000) + "1 = 1"},
        {"BEGIN", repeat("BEGIN ", 20000) + "SELECT 1 " + repeat("END ", 20000)},
        {"IF", repeat("IF 1 = 1 ", 20000) + "SELECT 1"},
        {"~", "SELECT " + repeat("~", 50000) + "1"},
        {"sub-queries", repeat("SELECT 1 WHERE EXISTS (", 3000) + "SELECT 1" + repeat(")", 3000)},
        {"+ chain", "SELECT 1" + repeat(" + 1", 30000)},
        {"* chain", "SELECT 1" + repeat(" * 1", 30000)},
        {"parenthesised ANDs", "SELECT 1 WHERE " + repeat("(1 = 1 AND ", 3000) + "1 = 1" + repeat(")", 3000)},
    };
    // Nesting well within the limit still translates.
    EXPECT_NO_THROW(qv::tsql::Translate("SELECT " + repeat("(", 100) + "1" + repeat(")", 100)));
    EXPECT_NO_THROW(qv::tsql::Translate(repeat("IF 1 = 1 BEGIN ", 60) + "SELECT 7" + repeat(" END", 60)));
    for (const Case& c : cases) {
        try {
            qv::tsql::Translate(c.sql);
            ADD_FAILURE() << "no error for nested " << c.what;
        } catch (const qv::tsql::TranslateError& e) {
            EXPECT_NE(e.detail().find("nested too deeply"), std::string::npos) << c.what << ": " << e.what();
            EXPECT_GT(e.offset(), 0u) << c.what;
            EXPECT_LT(e.offset(), c.sql.size() / 2) << c.what;
            EXPECT_NE(std::string(e.what()).find("offset " + std::to_string(e.offset())), std::string::npos);
        }
    }
}

TEST_F(Expressions, ExclusiveOrPrintsEachOperandOnce) {
    // 1 ^ 2 ^ ... ^ 40, left to right and nested to the right: the SQL grows with the text.
    std::string left = "1", right = "1";
    long long expected = 1;
    for (int i = 2; i <= 40; ++i) {
        left = "(" + left + " ^ " + std::to_string(i) + ")";
        right = std::to_string(i) + " ^ (" + right + ")";
        expected ^= i;
    }
    for (const std::string& e : {left, right}) {
        const std::string sql = qv::tsql::TranslateStatement("SELECT " + e);
        EXPECT_LT(sql.size(), 2 * e.size() + 400) << sql.size();
        EXPECT_EQ(One("SELECT " + e), std::to_string(expected));
    }
    EXPECT_EQ(One("SELECT NULL ^ 3"), "NULL");
    EXPECT_EQ(One("SELECT '6' ^ 3"), "5");
    EXPECT_EQ(One("SELECT -1 ^ 1"), "-2");
}

TEST(Translation, NulCharactersAreRefusedNotCut) {
    using namespace std::string_literals;
    struct Case {
        std::string sql;
        const char* message;
        std::size_t offset;
    };
    const Case cases[] = {
        {"DELETE FROM t WHERE s = 'a\0' OR 1 = 1"s, "NUL character in string literal", 26},
        {"SELECT N'x\0y'"s, "NUL character in string literal", 10},
        {"SELECT [a\0b] FROM t"s, "NUL character in quoted name", 9},
        {"SELECT 1\0 DELETE FROM t"s, "unexpected NUL character", 8},
    };
    for (const Case& c : cases) {
        try {
            qv::tsql::Translate(c.sql);
            ADD_FAILURE() << "no error for NUL at " << c.offset;
        } catch (const qv::tsql::TranslateError& e) {
            EXPECT_EQ(e.detail(), c.message);
            EXPECT_EQ(e.offset(), c.offset);
        }
    }
}

TEST(Translation, CacheReturnsTheSameProgramAndStaysBounded) {
    qv::tsql::ClearTranslationCache();
    auto a = qv::tsql::Translate("SELECT 1 AS x");
    auto b = qv::tsql::Translate("SELECT 1 AS x");
    EXPECT_EQ(a.get(), b.get());
    for (std::size_t i = 0; i < qv::tsql::kTranslationCacheCapacity + 50; ++i) {
        qv::tsql::Translate("SELECT " + std::to_string(i));
    }
    EXPECT_LE(qv::tsql::TranslationCacheSize(), qv::tsql::kTranslationCacheCapacity);
    // The evicted program stays valid for whoever still holds it.
    EXPECT_EQ(a->steps.at(0).sql, "SELECT 1 AS \"x\"");
    EXPECT_NE(qv::tsql::Translate("SELECT 1 AS x").get(), a.get());

    // A text asked for again right after it was evicted is translated anew.
    qv::tsql::ClearTranslationCache();
    qv::tsql::Translate("SELECT 2 AS y");
    for (std::size_t i = 1; i < qv::tsql::kTranslationCacheCapacity; ++i) qv::tsql::Translate("SELECT " + std::to_string(i));
    qv::tsql::Translate("SELECT 0");
    EXPECT_EQ(qv::tsql::Translate("SELECT 2 AS y")->steps.at(0).sql, "SELECT 2 AS \"y\"");
    EXPECT_EQ(qv::tsql::Translate("SELECT 1")->steps.at(0).sql, "SELECT 1");
    qv::tsql::TranslateShared("SELECT 3 AS z");
    qv::tsql::ClearTranslationCache();
    EXPECT_EQ(qv::tsql::TranslationCacheSize(), 0u) << "clearing lets go of every program";

    // Bounded by the heap too: the translation of a pasted page of words is not kept, on either
    // database, and texts of middling length hold no more than the bound.
    auto words = [](std::size_t bytes, int seed) {
        std::string sql = "SELECT lPersonID FROM Person WHERE strName <> '" + std::to_string(seed) + "'";
        for (int i = 0; sql.size() < bytes; ++i) sql += " AND (CHARINDEX('w" + std::to_string(i) + "', strName) > 0)";
        return sql;
    };
    const std::string page = words(300000, 0);
    for (int i = 0; i < 2; ++i) {
        qv::tsql::Translate(page);
        qv::tsql::TranslateShared(page);
        qv::tsql::TranslatePg(page);
    }
    EXPECT_EQ(qv::tsql::TranslationCacheBytes(), 0u);
    EXPECT_EQ(qv::tsql::TranslationCacheSize(), 0u);
    std::shared_ptr<const qv::tsql::Program> last;
    for (int i = 0; i < 200; ++i) last = qv::tsql::Translate(words(40000, i));
    EXPECT_LE(qv::tsql::TranslationCacheBytes(), qv::tsql::kTranslationCacheBytes);
    EXPECT_GT(qv::tsql::TranslationCacheBytes(), qv::tsql::kTranslationCacheBytes / 2);
    EXPECT_EQ(qv::tsql::Translate(words(40000, 199)).get(), last.get()) << "the newest text stays";
    qv::tsql::ClearTranslationCache();
    EXPECT_EQ(qv::tsql::TranslationCacheBytes(), 0u);
    // Shared translations of long texts of many shapes: what the caches keep is what they count.
    const std::size_t heapBefore = mallinfo2().uordblks;
    for (int i = 0; i < 100; ++i) {
        qv::tsql::TranslateShared("SELECT lPersonID AS c" + std::to_string(i) + words(150000, i).substr(16));
    }
    const std::size_t heapAfter = mallinfo2().uordblks;
    const std::size_t heapHeld = heapAfter - std::min(heapBefore, heapAfter);
    EXPECT_LE(qv::tsql::TranslationCacheBytes(), qv::tsql::kTranslationCacheBytes);
    EXPECT_LE(heapHeld, qv::tsql::TranslationCacheBytes() + (std::size_t(1) << 20));
    qv::tsql::ClearTranslationCache();

    // A translation its caller gives up ends at its next step, also when asked from another
    // thread while it runs, and keeps nothing.
    std::atomic<bool> stop{true};
    {
        qv::tsql::StopScope scope(&stop);
        EXPECT_THROW(qv::tsql::Translate(words(4000, 1)), qv::tsql::TranslateStopped);
        EXPECT_THROW(qv::tsql::TranslateShared(words(4000, 1)), qv::tsql::TranslateStopped);
        EXPECT_THROW(qv::tsql::TranslatePg(words(4000, 1)), qv::tsql::TranslateStopped);
    }
    EXPECT_NO_THROW(qv::tsql::Translate(words(4000, 1))) << "the scope has ended";
    const std::string large = words(3000000, 2);
    stop = false;
    std::thread asker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
    });
    {
        qv::tsql::StopScope scope(&stop);
        EXPECT_THROW(qv::tsql::Translate(large), qv::tsql::TranslateStopped);
    }
    asker.join();
    EXPECT_EQ(qv::tsql::TranslationCacheSize(), 1u);
    qv::tsql::ClearTranslationCache();
}

// ---- updatable recordsets ------------------------------------------------------------------

class ForUpdate : public TsqlDb {};

TEST_F(ForUpdate, SingleTableSelectCarriesTheRowid) {
    Sql("CREATE TABLE KursinstanzGruppe (lKursinstanzGruppeID INTEGER, strBezeichnung TEXT, lMaxTeilnehmer INTEGER)");
    Sql("INSERT INTO KursinstanzGruppe VALUES (5, 'A', 10), (6, 'B', 12)");
    auto p = qv::tsql::TranslateForUpdate(
        "SELECT lKursinstanzGruppeID, strBezeichnung, lMaxTeilnehmer \t\t\t\tFROM KursinstanzGruppe \t\t\t\tWHERE "
        "lKursinstanzGruppeID = 6");
    ASSERT_TRUE(p->updateTarget);
    EXPECT_EQ(p->updateTarget->table, "KursinstanzGruppe");
    qv::tsql::Execution e = qv::tsql::Execute(db(), p, options_);
    ASSERT_EQ(e.ColumnCount(), 4);
    EXPECT_EQ(e.ColumnName(3), p->updateTarget->rowidColumn);
    ASSERT_TRUE(e.Next());
    const std::int64_t rowid = std::get<std::int64_t>(e.Get(3));
    EXPECT_EQ(Table("SELECT strBezeichnung FROM KursinstanzGruppe WHERE rowid = " + std::to_string(rowid)),
              (Rows{"B"}));

    auto aliased = qv::tsql::TranslateForUpdate("SELECT g.* FROM dbo.KursinstanzGruppe g WHERE g.lMaxTeilnehmer = 10");
    ASSERT_TRUE(aliased->updateTarget);
    qv::tsql::Execution e2 = qv::tsql::Execute(db(), aliased, options_);
    EXPECT_EQ(qvtest::Collect(e2), (Rows{"5|A|10|1"}));
}

TEST(ForUpdateTranslation, OtherQueriesAreNotUpdatable) {
    for (const char* sql : {"SELECT a.x FROM a JOIN b ON a.id = b.id", "SELECT DISTINCT x FROM a",
                            "SELECT count(*) FROM a", "SELECT x FROM a UNION SELECT x FROM b",
                            "SELECT x FROM (SELECT x FROM a) d", "SELECT x FROM a GROUP BY x",
                            "UPDATE a SET x = 1", "SELECT CASE count(*) WHEN 1 THEN 2 END FROM a",
                            "SELECT CASE WHEN count(*) = 1 THEN 2 END FROM a", "SELECT CASE WHEN x = 1 THEN count(*) END FROM a",
                            "SELECT CASE WHEN x = 1 THEN 2 ELSE max(x) END FROM a", "SELECT CASE WHEN max(x) LIKE 'a' THEN 1 END FROM a",
                            "SELECT CASE WHEN 'a' LIKE max(x) THEN 1 END FROM a", "SELECT CASE WHEN max(x) IS NULL THEN 1 END FROM a",
                            "SELECT CASE WHEN 1 BETWEEN min(x) AND 2 THEN 1 END FROM a",
                            "SELECT CASE WHEN 1 BETWEEN 0 AND max(x) THEN 1 END FROM a"}) {
        auto p = qv::tsql::TranslateForUpdate(sql);
        EXPECT_FALSE(p->updateTarget) << sql;
        EXPECT_EQ(p->steps.back().sql.find("rowid"), std::string::npos) << sql;
    }
}

}  // namespace
