// The recordset: the query retry rule with its wait, against a scripted connection; rows,
// values and row changes on the real database.
#include "fakedb.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcrackvariant.h"
#include "qvdblookup.h"
#include "sqlitedb.h"

#include <gtest/gtest.h>

namespace {

using qvtest::Outcome;

const std::wstring kNotSupportedGuid = L"94620D8A-6323-40F9-A0CB-D0E3EB6591D0";

class ScriptedRecordset : public qvtest::ScriptedDatabase {
protected:
    void SetUp() override {
        qvtest::ScriptedDatabase::SetUp();
        ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
    }
    CQvADOConnection conn;
};

TEST_F(ScriptedRecordset, UnsupportedPropertiesWaitASecondBeforeEachRepetition) {
    CQvADORecordset rs(&conn);
    const Outcome notSupported{DB_E_ERRORSOCCURRED, 0, L""};
    connection.Script({notSupported, notSupported, notSupported, Outcome{}});
    EXPECT_EQ(rs.OpenSQL(L"SELECT lKursID FROM Kurs", 1, 3), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(connection.Calls(), 3u);
    EXPECT_EQ(waits, (std::vector<DWORD>{1000, 1000, 1000})) << "the last try waits too";
    const auto entries = host.logger.Entries();
    ASSERT_EQ(entries.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[i].level, 4);
        EXPECT_EQ(entries[i].guid, kNotSupportedGuid);
        EXPECT_EQ(entries[i].text, L"CQvADORecordset::OpenSQL(): " + std::to_wstring(i + 1) +
                                       L". The requested properties cannot be supported detected (hr: 0x80040E21, "
                                       L"error number: 0x80040E21, nativ error 0) for Statement 'SELECT lKursID FROM "
                                       L"Kurs', it will be repeated");
    }
}

TEST_F(ScriptedRecordset, DeadlocksAreRepeatedAtOnceAndFailuresLoggedOnce) {
    CQvADORecordset rs(&conn);
    connection.Script({Outcome{E_FAIL, 1205, L"40001"}, Outcome{}});
    EXPECT_EQ(rs.OpenSQL(L"SELECT 1", 0, 1), S_OK);
    EXPECT_TRUE(waits.empty());
    ASSERT_EQ(host.logger.Entries().size(), 1u);
    EXPECT_EQ(host.logger.Entries()[0].guid, L"391F6E47-7BC2-48F2-9E56-05469B217C48");
    rs.Close();

    host.logger.Clear();
    connection.Script({Outcome{E_FAIL, 208, L"42S02"}});
    EXPECT_EQ(rs.OpenSQL(L"SELECT x FROM Nowhere", 0, 1), E_FAIL);
    ASSERT_EQ(host.logger.Entries().size(), 1u);
    EXPECT_EQ(host.logger.Entries()[0].level, 8);
    EXPECT_EQ(host.logger.Entries()[0].text,
              L"CQvADORecordset::OpenSQL(): failed (hr: 0x80004005, error number: 0x80004005, nativ error 208) for "
              L"Statement 'SELECT x FROM Nowhere'");

    // A query the program cancelled (a closed search) is no failure: tried once, nothing logged.
    rs.Close();
    host.logger.Clear();
    connection.statements.clear();
    connection.Script({Outcome{E_FAIL, 0, L"HY008"}, Outcome{}});
    EXPECT_EQ(rs.OpenSQL(L"SELECT lPersonID FROM Person", 0, 1), E_FAIL);
    EXPECT_EQ(connection.Calls(), 1u);
    EXPECT_TRUE(host.logger.Entries().empty());

    // Given up at the command timeout after it was sent, with an outcome unknown (a statement
    // that may have written): not repeated.
    rs.Close();
    connection.statements.clear();
    connection.script.clear();
    connection.Script({Outcome{DB_E_ABORTLIMITREACHED, 17, L"08S01"}, Outcome{}});
    EXPECT_EQ(rs.OpenSQL(L"SELECT lPersonID FROM Person", 0, 1), DB_E_ABORTLIMITREACHED);
    EXPECT_EQ(connection.Calls(), 1u);
}

TEST_F(ScriptedRecordset, NotRepeatedInsideATransaction) {
    ASSERT_EQ(conn.BeginTrans(), S_OK);
    CQvADORecordset rs(&conn);
    connection.Script({Outcome{DB_E_ERRORSOCCURRED, 0, L""}, Outcome{}});
    EXPECT_EQ(rs.OpenSQL(L"SELECT 1", 1, 3), DB_E_ERRORSOCCURRED);
    EXPECT_EQ(connection.Calls(), 1u);
    EXPECT_TRUE(waits.empty());
    conn.RollbackTrans();
}

TEST_F(ScriptedRecordset, SlowQueriesUseTheirOwnEntry) {
    SetBaseValue(L"Command4LogDuration [ms, 0=Disabled]", 500);
    CQvADOConnection slow;
    ASSERT_EQ(slow.Open(L"Qovaro.NQ2", 0), S_OK);
    CQvADORecordset rs(&slow);
    connection.Script({Outcome{S_OK, 0, L"", 2000.9}});
    EXPECT_EQ(rs.Open(L"SELECT * FROM Kurs"), S_OK);
    ASSERT_EQ(host.logger.Entries().size(), 1u);
    EXPECT_EQ(host.logger.Entries()[0].guid, L"D6740669-698B-47C1-8462-59FDC6AB5CE8");
    EXPECT_EQ(host.logger.Entries()[0].text, L" CQvADORecordset::OpenSQL: Command time: 2.000 sec for: select * from kurs");

    // A long one is cut: the entry holds no more than 2,000 characters of it (here one more).
    rs.Close();
    host.logger.Clear();
    const std::wstring words(1974, L'x');
    connection.Script({Outcome{S_OK, 0, L"", 2000.9}});
    EXPECT_EQ(rs.Open((L"SELECT * FROM Kurs WHERE '" + words + L"'").c_str()), S_OK);
    ASSERT_EQ(host.logger.Entries().size(), 1u);
    EXPECT_EQ(host.logger.Entries()[0].text, L" CQvADORecordset::OpenSQL: Command time: 2.000 sec for: select * from kurs "
                                             L"where '" + words.substr(0, 2000 - 26) + L"... [2000 of 2001 characters]");
}

TEST_F(ScriptedRecordset, WithoutAConnectionOpenFails) {
    CQvADORecordset rs(nullptr);
    EXPECT_EQ(rs.Open(L"SELECT 1"), E_FAIL);
}

// The real database, reached through the database server the client makes itself.
class Recordset : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
        ASSERT_TRUE(conn.m_fOwnServer);
        ASSERT_EQ(conn.Execute(L"INSERT INTO Kurs (lKursID, lTyp, strBezeichnung, fActive) VALUES (1, 3, 'Grundkurs', 1)"), S_OK);
        ASSERT_EQ(conn.Execute(L"INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, dtAnmeldenVon, strBezeichnung) "
                               L"VALUES (10, 1, '2024-05-04 08:30:00', '1899-12-30 00:00:00', 'Mai')"),
                  S_OK);
    }
    qvtest::ServerEnvironment env;
    CQvADOConnection conn;
};

TEST_F(Recordset, ReadsRowsAndValuesOfEachType) {
    CQvADORecordset rs(&conn);
    BOOL eof = FALSE;
    EXPECT_EQ(rs.IsEOF(&eof), S_OK);
    EXPECT_TRUE(eof) << "not opened yet";
    ASSERT_EQ(rs.Open(L"SELECT k.lKursID, k.strBezeichnung, k.fActive, k.guid, i.dtDatum, i.dtAnmeldenVon, "
                      L"k.dblProzOverbook + 1.5 AS dbl FROM Kurs k JOIN Kursinstanz i ON i.lKursID = k.lKursID"),
              S_OK);
    ASSERT_EQ(rs.IsEOF(&eof), S_OK);
    ASSERT_FALSE(eof);
    long id = 0;
    CString name;
    BOOL active = FALSE;
    CQvGUID guid;
    COleDateTime date, from;
    double dbl = 0;
    COleVariant raw;
    EXPECT_EQ(rs.GetFieldValue(L"lKursID", &id), S_OK);
    EXPECT_EQ(rs.GetFieldValue(L"STRBEZEICHNUNG", &name), S_OK);
    EXPECT_EQ(rs.GetFieldValue(L"fActive", &active), S_OK);
    EXPECT_EQ(rs.GetFieldValue(L"guid", &guid), S_OK);
    EXPECT_EQ(rs.GetFieldValue(L"dtDatum", &date), S_OK);
    EXPECT_EQ(rs.GetFieldValue(L"dtAnmeldenVon", &from), S_OK);
    EXPECT_EQ(rs.GetFieldValue(L"dbl", &dbl), S_OK);
    EXPECT_EQ(rs.GetFieldValue(L"lKursID", &raw), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(name, L"Grundkurs");
    EXPECT_TRUE(active);
    EXPECT_FALSE(guid.IsNULL()) << "the database gives every course a GUID";
    EXPECT_EQ(date, COleDateTime(2024, 5, 4, 8, 30, 0));
    EXPECT_EQ(date.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(from.GetStatus(), COleDateTime::null) << "the zero date reads as no date";
    EXPECT_DOUBLE_EQ(dbl, 1.5);
    EXPECT_EQ(CrackLongVariant(raw), 1);
    // The same values by the columns' positions.
    long idAt = 0;
    CString nameAt;
    BOOL activeAt = FALSE;
    COleDateTime dateAt, fromAt;
    double dblAt = 0;
    EXPECT_EQ(rs.GetFieldValue(0L, &idAt), S_OK);
    EXPECT_EQ(rs.GetFieldValue(1L, &nameAt), S_OK);
    EXPECT_EQ(rs.GetFieldValue(2L, &activeAt), S_OK);
    EXPECT_EQ(rs.GetFieldValue(4L, &dateAt), S_OK);
    EXPECT_EQ(rs.GetFieldValue(5L, &fromAt), S_OK);
    EXPECT_EQ(rs.GetFieldValue(6L, &dblAt), S_OK);
    EXPECT_EQ(idAt, id);
    EXPECT_EQ(nameAt, name);
    EXPECT_EQ(activeAt, active);
    EXPECT_EQ(dateAt, date);
    EXPECT_EQ(fromAt.GetStatus(), COleDateTime::null);
    EXPECT_DOUBLE_EQ(dblAt, dbl);
    EXPECT_LT(rs.GetFieldValue(7L, &idAt), 0) << "no such column";
    EXPECT_EQ(idAt, 0);
    EXPECT_EQ(rs.MoveNext(&eof), S_OK);
    EXPECT_TRUE(eof);
    EXPECT_EQ(rs.Close(), S_OK);
    EXPECT_EQ(rs.Close(), S_OK) << "a second Close does nothing";
}

TEST_F(Recordset, AMissingColumnFailsAndStoresTheEmptyConversion) {
    CQvADORecordset rs(&conn);
    ASSERT_EQ(rs.Open(L"SELECT lKursID FROM Kurs"), S_OK);
    long l = 42;
    CString s = L"x";
    CQvGUID g(L"F322E3E5-4677-4B37-85D8-BEE4392C19F1");
    EXPECT_LT(rs.GetFieldValue(L"lNoSuchColumn", &l), 0);
    EXPECT_LT(rs.GetFieldValue(L"strNoSuchColumn", &s), 0);
    EXPECT_LT(rs.GetFieldValue(L"guidNoSuchColumn", &g), 0);
    EXPECT_EQ(l, 0);
    EXPECT_EQ(s, L"");
    EXPECT_FALSE(g.IsNULL()) << "a GUID is set only from text that was read";
}

TEST_F(Recordset, AStatementWithoutRowsLeavesItClosed) {
    CQvADORecordset rs(&conn);
    ASSERT_EQ(rs.OpenSQL(L"UPDATE Kurs SET fActive = 0 WHERE lKursID = 1", 0, 1), S_OK);
    long state = -1;
    EXPECT_EQ(rs.GetState(&state), S_OK);
    EXPECT_EQ(state, 0);
    BOOL eof = FALSE;
    EXPECT_EQ(rs.IsEOF(&eof), S_OK);
    EXPECT_TRUE(eof);

    ASSERT_EQ(rs.Open(L"SELECT lKursID FROM Kurs WHERE lKursID = 99"), S_OK);
    EXPECT_EQ(rs.IsEOF(&eof), S_OK);
    EXPECT_TRUE(eof) << "no rows";
}

TEST_F(Recordset, ChangesTheCurrentRowThroughAKeysetCursor) {
    {
        CQvADORecordset rs(&conn);
        ASSERT_EQ(rs.OpenSQL(L"SELECT fActive, strBezeichnung FROM Kurs WHERE lKursID = 1", 1, 3), S_OK);
        BOOL eof = TRUE;
        ASSERT_EQ(rs.IsEOF(&eof), S_OK);
        ASSERT_FALSE(eof);
        EXPECT_EQ(rs.SetFieldValue(L"fActive", BOOL(FALSE)), S_OK);
        EXPECT_EQ(rs.SetFieldValue(L"strBezeichnung", CString(L"O'Brien-Kurs")), S_OK);
        EXPECT_EQ(rs.Update(), S_OK);
        ASSERT_EQ(rs.Close(), S_OK);
        ASSERT_EQ(rs.OpenSQL(L"SELECT fActive FROM Kurs WHERE lKursID = 1", 1, 3), S_OK);
        EXPECT_EQ(rs.SetFieldValue(L"fActive", BOOL(TRUE)), S_OK);
        EXPECT_EQ(rs.Update(), S_OK);
    }
    long active = -1;
    CString name;
    EXPECT_EQ(QvDBLookupLong(L"fActive", L"Kurs", L"lKursID = 1", &active, L"Qovaro.NQ2"), S_OK);
    EXPECT_EQ(QvDBLookupString(L"strBezeichnung", L"Kurs", L"lKursID = 1", &name, L"Qovaro.NQ2"), S_OK);
    EXPECT_EQ(active, 1) << "TRUE is stored as the integer 1";
    EXPECT_EQ(name, L"O'Brien-Kurs");
}

TEST_F(Recordset, NewKeysComeFromTheDatabase) {
    long first = 0, second = 0;
    ASSERT_EQ(conn.GetUniqueID(L"Kursinstanz", L"lKursinstanzID", &first), S_OK);
    ASSERT_EQ(conn.GetUniqueID(L"Kursinstanz", L"lKursinstanzID", &second), S_OK);
    EXPECT_GT(first, 10) << "above the largest key in the table";
    EXPECT_EQ(second, first + 1);
}

TEST_F(Recordset, NestedWorkSharesTheOwnersTransaction) {
    long depth = -1;
    ASSERT_EQ(conn.BeginTrans(), S_OK);
    EXPECT_TRUE(conn.IsInTransaction());
    EXPECT_EQ(QvDBLookupLong(L"@@TRANCOUNT", L"System", L"", &depth, L"Qovaro.NQ2"), S_OK);
    EXPECT_EQ(depth, 1) << "the lookup runs inside the caller's transaction";
    EXPECT_EQ(QvDBExecute(L"UPDATE Kurs SET strBezeichnung = 'Geändert' WHERE lKursID = 1", L"Qovaro.NQ2"), S_OK);
    ASSERT_EQ(conn.RollbackTrans(), S_OK);
    CString name;
    EXPECT_EQ(QvDBLookupString(L"strBezeichnung", L"Kurs", L"lKursID = 1", &name, L"Qovaro.NQ2"), S_OK);
    EXPECT_EQ(name, L"Grundkurs") << "the nested statement was rolled back with the owner's transaction";
    EXPECT_EQ(QvDBLookupLong(L"@@TRANCOUNT", L"System", L"", &depth, L"Qovaro.NQ2"), S_OK);
    EXPECT_EQ(depth, 0);
}

TEST_F(Recordset, AWriterWaitingForALockTimesOutAndTriesAgain) {
    qvtest::FrameWithLogger host;
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DefaultCommandTimeout [s]", 1L));
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DefaultExecuteRetry", 2L));
    // Another process holds the write lock.
    qv::sql::SqliteDb other;
    ASSERT_EQ(other.Open("sqlite:" + env.SuiteDatabase()), 0);
    ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), 0);

    CQvADOConnection writer;
    ASSERT_EQ(writer.Open(L"Qovaro.NQ2", 0), S_OK);
    EXPECT_EQ(writer.Execute(L"UPDATE Kurs SET fActive = 0 WHERE lKursID = 1"), DB_E_ABORTLIMITREACHED);
    const auto entries = host.logger.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].guid, L"57DD0233-9E6A-422E-A7CB-7121C7FA4ECC");
    EXPECT_EQ(entries[0].text.rfind(L"CQvADOConnection::Execute(): 1. Timeout detected (hr: 0x80040E31", 0), 0u);
    EXPECT_EQ(entries[1].text.rfind(L"CQvADOConnection::Execute(): 2. Timeout detected", 0), 0u);

    other.Exec("ROLLBACK");
    EXPECT_EQ(writer.Execute(L"UPDATE Kurs SET fActive = 0 WHERE lKursID = 1"), S_OK);
}

}  // namespace
