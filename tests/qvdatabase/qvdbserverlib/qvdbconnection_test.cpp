// The connection against a scripted database server: what Open applies and Close restores, the
// retry rule and its data-logger entries, no retry inside a transaction, the slow-statement log
// and the error text.
#include "fakedb.h"
#include "qvadoconnection.h"
#include "trace.h"

#include <gtest/gtest.h>

namespace {

using qvtest::Outcome;

constexpr HRESULT kDeadlockHr = MAKE_HR(0x80004005u);
const Outcome kDeadlock{kDeadlockHr, 1205, L"40001"};
const std::wstring kDeadlockGuid = L"F322E3E5-4677-4B37-85D8-BEE4392C19F1";
const std::wstring kTimeoutGuid = L"57DD0233-9E6A-422E-A7CB-7121C7FA4ECC";
const std::wstring kConnectGuid = L"9B0086C7-6E61-48BB-A290-6A7C532E24F0";
const std::wstring kFailedGuid = L"EDD64096-9B0D-4FF7-A784-89286EC5F107";
const std::wstring kSlowGuid = L"FB9F52D9-86CB-4311-AD64-B36EF1FD9146";

class Connection : public qvtest::ScriptedDatabase {
protected:
    // Opens a connection of the default profile that must work.
    void OpenOk(CQvADOConnection& c) { ASSERT_EQ(c.Open(L"Qovaro.NQ2", 0), S_OK); }
};

TEST_F(Connection, OpenAppliesTheProfileAndCloseRestoresWhatItChanged) {
    SetProfileValue(L"DefaultCommandTimeout [s]", 45);
    SetProfileValue(L"DefaultCursorLocation", 3);
    connection.isolation = 4096;
    const ULONG serverRefs = server.refs;
    {
        CQvADOConnection c;
        OpenOk(c);
        EXPECT_EQ(server.profiles, std::vector<std::wstring>{L"Qovaro.NQ2"});
        EXPECT_EQ(connection.timeout, 45);
        EXPECT_EQ(connection.cursorLocation, 3);
        EXPECT_EQ(c.m_lSavedCommandTimeout, 15);
        EXPECT_EQ(c.m_lSavedCursorLocation, 2);
        EXPECT_EQ(c.m_lSavedIsolationLevel, 4096);

        // The record search reads uncommitted rows; the next user gets the level back.
        ASSERT_EQ(c.SetIsolationLevel(256), S_OK);
        EXPECT_EQ(c.Close(0), S_OK);
        EXPECT_EQ(c.Close(0), S_OK) << "closing twice is harmless";
    }
    EXPECT_EQ(connection.isolation, 4096);
    EXPECT_EQ(connection.timeout, 15);
    EXPECT_EQ(connection.cursorLocation, 2);
    EXPECT_EQ(server.releaseFlags, std::vector<long>{0});
    EXPECT_EQ(connection.refs, 1u) << "every reference on the connection was given back";
    EXPECT_EQ(server.refs, serverRefs) << "the frame's server is only released";
}

TEST_F(Connection, ASavedClientCursorLocationIsNeverWrittenBack) {
    connection.cursorLocation = 3;
    SetProfileValue(L"DefaultCursorLocation", 2);
    CQvADOConnection c;
    OpenOk(c);
    EXPECT_EQ(connection.cursorLocation, 2);
    c.Close(0);
    EXPECT_EQ(connection.cursorLocation, 2);
}

TEST_F(Connection, OpeningAnOpenObjectKeepsItsConnectionAndSettings) {
    CQvADOConnection c;
    OpenOk(c);
    const int puts = connection.cursorPuts + connection.timeoutPuts;
    SetProfileValue(L"DefaultCommandTimeout [s]", 99);
    SetBaseValue(L"Command4LogFilter", L"KURS");
    EXPECT_EQ(c.Open(L"Qovaro.NQ2", 0), S_OK);
    EXPECT_EQ(server.profiles.size(), 1u);
    EXPECT_EQ(connection.cursorPuts + connection.timeoutPuts, puts);
    EXPECT_EQ(connection.timeout, 30);
    EXPECT_EQ(c.m_strCommand4LogFilter, L"kurs") << "the slow-statement settings are read again";
}

TEST_F(Connection, InternalProfilesAreHandedBackWithFlagOne) {
    {
        CQvADOConnection c;
        ASSERT_EQ(c.Open(L"QvInternalDBProfile_Places", 0), S_OK);
        c.Close(0);
        ASSERT_EQ(c.Open(L"QvInternalDBProfile_Places", 0), S_OK);
    }
    {
        CQvADOConnection c;
        OpenOk(c);
        c.Close(1);
    }
    EXPECT_EQ(server.releaseFlags, (std::vector<long>{1, 1, 1}));
}

TEST_F(Connection, WithoutAConnectionEverythingFailsButClose) {
    CQvADOConnection c;
    EXPECT_EQ(c.Close(0), S_OK);
    long l = 7;
    CString s = L"keep";
    EXPECT_EQ(c.Execute(L"UPDATE Kurs SET fActive = 1"), E_FAIL);
    EXPECT_EQ(c.BeginTrans(), E_FAIL);
    EXPECT_EQ(c.CommitTrans(), E_FAIL);
    EXPECT_EQ(c.RollbackTrans(), E_FAIL);
    EXPECT_EQ(c.GetCommandTimeout(&l), E_FAIL);
    EXPECT_EQ(c.GetErrorText(s), E_FAIL);
    EXPECT_EQ(l, 7);
    EXPECT_EQ(s, L"keep");
    EXPECT_TRUE(Entries().empty()) << "nothing is logged without a connection";

    server.handOut = false;
    EXPECT_EQ(c.Open(L"Qovaro.NQ2", 0), E_FAIL) << "a server without a connection";
    server.handOut = true;
    EXPECT_EQ(c.Open(L"Qovaro.NQ2", 0), S_OK) << "a later Open tries again";
}

TEST_F(Connection, StatementsRunWithoutRecords) {
    CQvADOConnection c;
    OpenOk(c);
    EXPECT_EQ(c.Execute(L"DELETE PersonKurs WHERE lPersonKursID = 3"), S_OK);
    EXPECT_EQ(connection.statements, std::vector<std::wstring>{L"DELETE PersonKurs WHERE lPersonKursID = 3"});
    EXPECT_EQ(connection.executeOptions, std::vector<long>{adExecuteNoRecords});
    EXPECT_TRUE(Entries().empty());
}

TEST_F(Connection, ThreeDeadlocksGiveThreeNumberedWarningsAndNoError) {
    CQvADOConnection c;
    OpenOk(c);
    connection.Script({kDeadlock, kDeadlock, kDeadlock, Outcome{}});
    EXPECT_EQ(c.Execute(L"UPDATE Kurs SET fActive = 1"), kDeadlockHr);
    EXPECT_EQ(connection.Calls(), 3u);
    const std::vector<std::wstring> expected = {
        L"4|" + kDeadlockGuid + L"|CQvADOConnection::Execute(): 1. Deadlock detected (error number: 0x80004005, nativ error 1205) for Statement 'UPDATE Kurs SET fActive = 1', it will be repeated",
        L"4|" + kDeadlockGuid + L"|CQvADOConnection::Execute(): 2. Deadlock detected (error number: 0x80004005, nativ error 1205) for Statement 'UPDATE Kurs SET fActive = 1', it will be repeated",
        L"4|" + kDeadlockGuid + L"|CQvADOConnection::Execute(): 3. Deadlock detected (error number: 0x80004005, nativ error 1205) for Statement 'UPDATE Kurs SET fActive = 1', it will be repeated",
    };
    EXPECT_EQ(Entries(), expected);
}

TEST_F(Connection, RetryCountsOfZeroAndOneGiveOneTry) {
    for (long retries : {0L, 1L}) {
        connection.statements.clear();
        host.logger.Clear();
        SetProfileValue(L"DefaultExecuteRetry", retries);
        CQvADOConnection c;
        OpenOk(c);
        connection.Script({kDeadlock, Outcome{}});
        EXPECT_EQ(c.Execute(L"UPDATE Kurs SET fActive = 1"), kDeadlockHr);
        EXPECT_EQ(connection.Calls(), 1u) << retries;
        EXPECT_EQ(Entries().size(), 1u);
        connection.script.clear();
    }
}

TEST_F(Connection, ARetryThatSucceedsReturnsSuccess) {
    CQvADOConnection c;
    OpenOk(c);
    connection.Script({Outcome{DB_E_ABORTLIMITREACHED, 0, L"HYT00"}, Outcome{}});
    EXPECT_EQ(c.Execute(L"UPDATE Kurs SET fActive = 1"), S_OK);
    EXPECT_EQ(connection.Calls(), 2u);
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0], L"4|" + kTimeoutGuid +
                                L"|CQvADOConnection::Execute(): 1. Timeout detected (hr: 0x80040E31, error number: "
                                L"0x80040E31, nativ error 0) for Statement 'UPDATE Kurs SET fActive = 1', it will be repeated");
}

TEST_F(Connection, WhichFailuresAreRepeated) {
    struct Case {
        Outcome outcome;
        std::size_t tries;
        std::wstring guid;  // empty: nothing logged
    };
    const Case cases[] = {
        {{E_FAIL, 0, L"HY008"}, 1, L""},  // cancelled on the program's request: no failure
        {{E_FAIL, 17, L"08001"}, 3, kConnectGuid},
        {{E_FAIL, 0, L"HYT00"}, 3, kConnectGuid},
        {{E_FAIL, 17, L"08S01"}, 1, kFailedGuid},
        // Given up at the command timeout after it was sent: whether it was stored is unknown.
        {{DB_E_ABORTLIMITREACHED, 17, L"08S01"}, 1, kFailedGuid},
        // Given up before it had all been sent, or a read: repeated.
        {{DB_E_ABORTLIMITREACHED, 17, L"08001"}, 3, kTimeoutGuid},
        {{E_FAIL, 0, L"hyt00"}, 1, kFailedGuid},
        {{DB_E_ERRORSINCOMMAND, 1205, L"42000"}, 3, kDeadlockGuid},
        {{DB_E_ERRORSOCCURRED, 0, L""}, 1, kFailedGuid},  // only queries wait and try again
        {{E_FAIL, 2627, L"23000"}, 1, kFailedGuid},
    };
    for (const Case& k : cases) {
        connection.statements.clear();
        host.logger.Clear();
        CQvADOConnection c;
        OpenOk(c);
        connection.Script({k.outcome, k.outcome, k.outcome});
        EXPECT_EQ(c.Execute(L"UPDATE Kurs SET fActive = 1"), k.outcome.hr);
        EXPECT_EQ(connection.Calls(), k.tries) << k.outcome.native << " " << qv::ToUtf8(k.outcome.state);
        const auto entries = host.logger.Entries();
        ASSERT_EQ(entries.size(), k.guid.empty() ? 0u : k.tries);
        if (!entries.empty()) {
            EXPECT_EQ(entries.back().guid, k.guid);
            EXPECT_EQ(entries.back().level, k.tries == 1 ? 8 : 4);
        }
        connection.script.clear();
    }

    // A connection lost after the statement was sent is repeated only when the caller says the
    // statement may run twice.
    connection.statements.clear();
    CQvADOConnection c;
    OpenOk(c);
    const Outcome lost{E_FAIL, 17, L"08S01"};
    const Outcome givenUp{DB_E_ABORTLIMITREACHED, 17, L"08S01"};
    connection.Script({lost, givenUp, Outcome{}});
    EXPECT_EQ(c.Execute(L"UPDATE Kurs SET fActive = 1", TRUE), S_OK);
    EXPECT_EQ(connection.Calls(), 3u);
}

TEST_F(Connection, TheErrorEntryNamesTheFailure) {
    CQvADOConnection c;
    OpenOk(c);
    connection.Script({Outcome{E_FAIL, 2627, L"23000"}});
    EXPECT_EQ(c.Execute(L"INSERT INTO Kurs (lKursID) VALUES (1)"), E_FAIL);
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0], L"8|" + kFailedGuid +
                                L"|CQvADOConnection::Execute() failed (hr: 0x80004005, error number: 0x80004005, nativ "
                                L"error 2627, SQLState: 23000) for Statement 'INSERT INTO Kurs (lKursID) VALUES (1)'");

    // A long statement (a pasted text) is cut to its first 2,000 characters, and says so.
    host.logger.Clear();
    const std::wstring values(6000, L'x');
    connection.Script({Outcome{E_FAIL, 2627, L"23000"}});
    EXPECT_EQ(c.Execute((L"INSERT INTO Kurs (strName) VALUES ('" + values + L"')").c_str()), E_FAIL);
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0], L"8|" + kFailedGuid +
                                L"|CQvADOConnection::Execute() failed (hr: 0x80004005, error number: 0x80004005, nativ "
                                L"error 2627, SQLState: 23000) for Statement 'INSERT INTO Kurs (strName) VALUES ('" +
                                values.substr(0, 2000 - 36) + L"... [2000 of 6038 characters]'");
}

TEST_F(Connection, InsideATransactionAFailedStatementGoesBackToItsOwner) {
    CQvADOConnection owner;
    OpenOk(owner);
    ASSERT_EQ(owner.BeginTrans(), S_OK);
    {
        // A piece of work called by the owner, on its own connection object.
        CQvADOConnection callee;
        OpenOk(callee);
        connection.Script({kDeadlock, Outcome{}});
        EXPECT_EQ(callee.Execute(L"UPDATE PersonKurs SET lStatus = 5"), kDeadlockHr);
    }
    EXPECT_EQ(connection.Calls(), 1u) << "the statement must not run again outside the transaction";
    ASSERT_EQ(Entries().size(), 1u);
    EXPECT_EQ(Entries()[0].substr(0, 2), L"8|");
    EXPECT_EQ(owner.RollbackTrans(), S_OK);

    // Outside the transaction the rule applies again.
    connection.script.clear();
    connection.Script({kDeadlock, Outcome{}});
    EXPECT_EQ(owner.Execute(L"UPDATE PersonKurs SET lStatus = 5"), S_OK);
    EXPECT_EQ(connection.Calls(), 3u);
}

TEST_F(Connection, SlowStatementsAreLoggedAboveTheThreshold) {
    // Off by default.
    {
        CQvADOConnection c;
        OpenOk(c);
        connection.Script({Outcome{S_OK, 0, L"", 99999}});
        c.Execute(L"UPDATE Kurs SET fActive = 1");
        EXPECT_TRUE(Entries().empty());
    }
    SetBaseValue(L"Command4LogDuration [ms, 0=Disabled]", 500);
    CQvADOConnection c;
    OpenOk(c);
    connection.Script({Outcome{S_OK, 0, L"", 1234.7}, Outcome{S_OK, 0, L"", 500.0}, Outcome{S_OK, 0, L"", 500.5}});
    c.Execute(L"UPDATE Kurs SET strBezeichnung = 'Grundkurs'");
    c.Execute(L"UPDATE Kurs SET fActive = 0");
    c.Execute(L"UPDATE Ort SET fActive = 0");
    const std::vector<std::wstring> expected = {
        L"4|" + kSlowGuid + L"|CQvADOConnection::Execute(): Command time: 1.234 sec for: update kurs set strbezeichnung = 'grundkurs'",
        L"4|" + kSlowGuid + L"|CQvADOConnection::Execute(): Command time: 0.500 sec for: update ort set factive = 0",
    };
    EXPECT_EQ(Entries(), expected) << "exactly 500 ms is not slow";
}

TEST_F(Connection, TheFilterPicksSlowStatementsInAnyCase) {
    SetBaseValue(L"Command4LogDuration [ms, 0=Disabled]", 500);
    SetBaseValue(L"Command4LogFilter", L"KURS");
    CQvADOConnection c;
    OpenOk(c);
    connection.Script({Outcome{S_OK, 0, L"", 800}, Outcome{S_OK, 0, L"", 800}, Outcome{S_OK, 0, L"", 800}});
    c.Execute(L"UPDATE PersonKurs SET lStatus = 1");
    c.Execute(L"UPDATE Ort SET fActive = 0");
    c.Execute(L"update KURSINSTANZ set fGeschlossen = 1");
    const auto entries = host.logger.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(entries[0].text.find(L"update personkurs"), std::wstring::npos);
    EXPECT_NE(entries[1].text.find(L"update kursinstanz"), std::wstring::npos);
}

TEST_F(Connection, OnlyTheSuccessfulTryIsTimed) {
    SetBaseValue(L"Command4LogDuration [ms, 0=Disabled]", 500);
    CQvADOConnection c;
    OpenOk(c);
    connection.Script({Outcome{kDeadlock.hr, 1205, L"40001", 400}, Outcome{S_OK, 0, L"", 300}});
    EXPECT_EQ(c.Execute(L"UPDATE Kurs SET fActive = 1"), S_OK);
    ASSERT_EQ(host.logger.Entries().size(), 1u) << "two tries of 700 ms in all, but each below the threshold";
    EXPECT_EQ(host.logger.Entries()[0].guid, kDeadlockGuid);
}

TEST_F(Connection, ErrorTextListsEveryErrorAndReportsTheCodes) {
    CQvADOConnection c;
    OpenOk(c);
    CString text = L"old";
    EXPECT_EQ(c.GetErrorText(text), S_OK);
    EXPECT_EQ(text, L"") << "an empty collection gives empty text";
    EXPECT_TRUE(server.reported.empty());

    connection.errors = {{long(0x80040E14), 156, L"42000", L"Incorrect syntax near 'FROM'.", L"Microsoft OLE DB"},
                         {long(0x80004005), 0, L"01000", L"The statement has been terminated.", L"Microsoft OLE DB"}};
    EXPECT_EQ(c.GetErrorText(text), S_OK);
    EXPECT_EQ(text, L"Description:  Incorrect syntax near 'FROM'.\n"
                    L"Source:       Microsoft OLE DB\n"
                    L"Number:       0x80040E14\n"
                    L"SQLState:     42000\n"
                    L"Native Error: 156\n\n"
                    L"Description:  The statement has been terminated.\n"
                    L"Source:       Microsoft OLE DB\n"
                    L"Number:       0x80004005\n"
                    L"SQLState:     01000\n"
                    L"Native Error: 0");
    EXPECT_EQ(server.reported, std::vector<std::wstring>{L"0x80040E14;42000;156;0x80004005;01000;0;"});

    long number = 0, native = 0;
    CString state;
    EXPECT_EQ(c.GetLastErrorInfo(&number, &native, state), S_OK);
    EXPECT_EQ(number, long(0x80040E14));
    EXPECT_EQ(native, 156);
    EXPECT_EQ(state, L"42000");
}

TEST_F(Connection, CommandTimeoutZeroMeansTheLongOne) {
    SetProfileValue(L"DefaultLongCommandTimeout [s]", 900);
    CQvADOConnection c;
    OpenOk(c);
    ASSERT_EQ(c.SetCommandTimeout(0), S_OK);
    long t = 0;
    EXPECT_EQ(c.GetCommandTimeout(&t), S_OK);
    EXPECT_EQ(t, 900);
}

TEST_F(Connection, ConnectingWithoutAFrameTracesIt) {
    qv::RevokeRunningServer(QVDBSERVER_PROGID);
    qv::ClearTrace();
    CQvADOConnection c;
    // Nothing is registered under the server's ProgID here, so the own server cannot be made.
    EXPECT_LT(c.Open(L"Qovaro.NQ2", 0), 0);
    EXPECT_FALSE(c.m_fOwnServer);
    bool traced = false;
    for (const auto& line : qv::TraceLines()) {
        traced = traced || (line.rfind(L"QvDBServerLib: ", 0) == 0 &&
                            line.find(L"; Connecting to QvDBServer without QvFrame!") != std::wstring::npos);
    }
    EXPECT_TRUE(traced);
}

}  // namespace
