// The record lock in a row's strLock column: taking, renewing and releasing it, other users'
// locks, the stale rule and the lock time's fixed form; and the page background's shade.
#include "childdlg.h"
#include "framework_fixture.h"
#include "lockdbrecord.h"
#include "utf.h"

#include "adosession.h"
#include "extensions.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>

namespace fwtest {
namespace {

// lock_race(strLock) gives its argument; its first call since `raceArmed` was set stands for
// another user who takes the row at that moment: his lock is written on the test's connection.
sqlite3* raceDb = nullptr;
bool raceArmed = false;
void LockRace(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (raceArmed) {
        raceArmed = false;
        sqlite3_exec(raceDb, "UPDATE Kurs SET strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime') || '|WS98|neu'",
                     nullptr, nullptr, nullptr);
    }
    sqlite3_result_value(ctx, argv[0]);
}

class RecordLock : public Framework {
protected:
    void SetUp() override {
        Framework::SetUp();
        kurs = AddKurs("Atemschutz");
    }
    std::string Lock() { return SqlText("SELECT strLock FROM Kurs WHERE lKursID = " + std::to_string(kurs)); }
    // Another user's lock, taken the given minutes ago by the database's clock.
    void ForeignLock(int minutes) {
        Sql("UPDATE Kurs SET strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime','-" + std::to_string(minutes) +
            " minutes') || '|WS99|fremd' WHERE lKursID = " + std::to_string(kurs));
    }
    long kurs = 0;
};

TEST_F(RecordLock, AFreeRowIsTakenRenewedAndReleasedByItsOwner) {
    CLockDbRecord lock;
    CString owner;
    EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", kurs, &owner), eRecordEditing);
    const std::string taken = Lock();
    ASSERT_EQ(taken.size(), 19u + U(lock.m_strOwnerTag).size());
    EXPECT_EQ(taken.substr(19), U(lock.m_strOwnerTag));
    EXPECT_EQ(U(owner), taken);
    EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", kurs, &owner), eRecordEditing);
    EXPECT_EQ(lock.CheckDbRecordLock(L"Kurs", L"lKursID", kurs, nullptr), eRecordEditing);
    EXPECT_EQ(lock.UnlockDbRecord(L"Kurs", L"lKursID", kurs), eRecordUnchanged);
    EXPECT_EQ(Lock(), "");
}

TEST_F(RecordLock, AnotherUsersLockHoldsUntilItIsOlderThanTheStaleLimit) {
    struct Case {
        int minutes;
        long retries;
        long expected;
        bool foreignLeft;
    };
    const Case cases[] = {
        {5, 3, eRecordLockedByOther, true},
        {720, 3, eRecordLockedByOther, true},  // exactly the limit: still valid
        {721, 3, eRecordEditing, false},       // cleared by the first check, taken by the second try
        {721, 1, eRecordUnchanged, false},     // cleared, but no try left to take it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.minutes);
        ForeignLock(c.minutes);
        options.Set(-3010, L"LockRecordRetries", c.retries);
        CLockDbRecord lock;
        CString owner;
        EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", kurs, &owner), c.expected);
        EXPECT_EQ(Lock().find("|WS99|fremd") != std::string::npos, c.foreignLeft) << Lock();
        // The owner's release never clears someone else's lock.
        lock.UnlockDbRecord(L"Kurs", L"lKursID", kurs);
        EXPECT_EQ(Lock().find("|WS99|fremd") != std::string::npos, c.foreignLeft);
        Sql("UPDATE Kurs SET strLock = ''");
    }
    // Another user takes the row between the check's reading of a stale lock and its clearing:
    // his lock stays. The view reads the course through lock_race.
    raceDb = db->Handle();
    qv::sql::RegisterConnectionInitializer("lock-race", [](sqlite3* h) {
        sqlite3_create_function_v2(h, "lock_race", 1, SQLITE_UTF8, nullptr, LockRace, nullptr, nullptr, nullptr);
    });
    qv::ado::Session::ReleasePool();  // the next connection comes with lock_race
    Sql("CREATE VIEW KursRace AS SELECT lKursID, lock_race(strLock) AS strLock FROM Kurs");
    Sql("CREATE TRIGGER KursRaceLock INSTEAD OF UPDATE ON KursRace BEGIN "
        "UPDATE Kurs SET strLock = NEW.strLock WHERE lKursID = OLD.lKursID; END");
    ForeignLock(721);
    raceArmed = true;
    CLockDbRecord late;
    EXPECT_EQ(late.CheckDbRecordLock(L"KursRace", L"lKursID", kurs, nullptr), eRecordUnchanged);
    EXPECT_FALSE(raceArmed) << "the check read the row";
    EXPECT_NE(Lock().find("|WS98|neu"), std::string::npos) << "his lock was wiped: '" << Lock() << "'";
    qv::sql::RegisterConnectionInitializer("lock-race", [](sqlite3*) {});
    Sql("UPDATE Kurs SET strLock = ''");

    // Every try that finds the other user's lock is followed by the pause, the last one too.
    ForeignLock(5);
    options.Set(-3010, L"LockRecordRetries", 2);
    options.Set(-3010, L"LockRecordTimeout", 150);
    CLockDbRecord paused;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(paused.LockDbRecord(L"Kurs", L"lKursID", kurs, nullptr), eRecordLockedByOther);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(RecordLock, UnreadableLockTextsAreStaleAndAMissingRowIsDeleted) {
    CLockDbRecord lock;
    for (const char* text : {"05.03.2024 14:07:31|WS99|fremd", "2024-02-30 10:00:00|WS99|fremd", "ohne Trennstrich"}) {
        SCOPED_TRACE(text);
        Sql(std::string("UPDATE Kurs SET strLock = '") + text + "'");
        CString owner;
        EXPECT_EQ(lock.CheckDbRecordLock(L"Kurs", L"lKursID", kurs, &owner), eRecordUnchanged);
        EXPECT_EQ(U(owner), text);
        EXPECT_EQ(Lock(), "");
    }
    // One's own lock stays one's own without its time.
    Sql("UPDATE Kurs SET strLock = '" + U(lock.m_strOwnerTag) + "'");
    EXPECT_EQ(lock.CheckDbRecordLock(L"Kurs", L"lKursID", kurs, nullptr), eRecordEditing);
    Sql("UPDATE Kurs SET strLock = ''");
    CString owner = L"alt";
    EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", 999, &owner), eRecordDeleted);
    EXPECT_EQ(lock.CheckDbRecordLock(L"Kurs", L"lKursID", 999, &owner), eRecordDeleted);
    EXPECT_EQ(U(owner), "");
    EXPECT_EQ(lock.UnlockDbRecord(L"Kurs", L"lKursID", 999), eRecordLockedByOther);

    options.Set(-3010, L"LockRecordRetries", 0);
    CLockDbRecord untried;
    EXPECT_EQ(untried.LockDbRecord(L"Kurs", L"lKursID", kurs, &owner), S_OK);
    EXPECT_EQ(Lock(), "");
}

TEST_F(RecordLock, AnApostropheInTheUserNameIsLeftOutOfTheOwnerTagWhichIsComparedExactly) {
    {
        qvtest::ScopedEnv user("USER", "o'brien");
        CLockDbRecord lock;
        EXPECT_EQ(lock.m_strOwnerTag.Find(L'\''), -1);
        EXPECT_NE(lock.m_strOwnerTag.Find(L"|obrien"), -1);
        EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", kurs, nullptr), eRecordEditing);
        EXPECT_EQ(Lock().substr(19), U(lock.m_strOwnerTag));
        Sql("UPDATE Kurs SET strLock = ''");
    }
    // A fresh lock of a user whose name differs only in case, or matches where this user's name
    // holds a LIKE wildcard, is another user's: neither taken nor released.
    const std::pair<const char*, const char*> users[] = {{"hans_m", "hans.m"}, {"anna", "ANNA"}, {"max%", "maxi"}};
    for (const auto& [me, him] : users) {
        SCOPED_TRACE(me);
        qvtest::ScopedEnv user("USER", me);
        CLockDbRecord lock;
        const std::string tag = U(lock.m_strOwnerTag);
        const std::string his = tag.substr(0, tag.rfind('|') + 1) + him;
        Sql("UPDATE Kurs SET strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime') || '" + his + "'");
        EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", kurs, nullptr), eRecordLockedByOther);
        EXPECT_EQ(lock.UnlockDbRecord(L"Kurs", L"lKursID", kurs), eRecordLockedByOther);
        EXPECT_EQ(Lock().substr(19), his);
        Sql("UPDATE Kurs SET strLock = ''");
    }
    // Trailing blanks do not count, as the server compares texts: an own lock stored with them is
    // released, the user "anna " holds his own lock, and "anna" meeting a fresh lock of "anna "
    // takes the row as his own instead of editing beside it. The last case starts on a free row.
    options.Set(-3010, L"LockRecordTimeout", 0);
    const std::pair<const char*, const char*> blanks[] = {
        {"anna", "anna "}, {"anna ", "anna "}, {"anna ", "anna"}, {"anna", "anna  "}, {"anna ", ""}};
    for (const auto& [me, stored] : blanks) {
        SCOPED_TRACE(std::string("'") + me + "' meets '" + stored + "'");
        qvtest::ScopedEnv user("USER", me);
        CLockDbRecord lock;
        const std::string tag = U(lock.m_strOwnerTag);
        const std::string taken = "UPDATE Kurs SET strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime') || '" +
                                  tag.substr(0, tag.rfind('|') + 1) + stored + "'";
        if (*stored) {
            Sql(taken);
            EXPECT_EQ(lock.CheckDbRecordLock(L"Kurs", L"lKursID", kurs, nullptr), eRecordEditing);
            EXPECT_EQ(lock.UnlockDbRecord(L"Kurs", L"lKursID", kurs), eRecordUnchanged);
            EXPECT_EQ(Lock(), "");
            Sql(taken);
        }
        EXPECT_EQ(lock.LockDbRecord(L"Kurs", L"lKursID", kurs, nullptr), eRecordEditing);
        EXPECT_EQ(Lock().substr(19), tag);
        EXPECT_EQ(lock.UnlockDbRecord(L"Kurs", L"lKursID", kurs), eRecordUnchanged);
        EXPECT_EQ(Lock(), "");
        Sql("UPDATE Kurs SET strLock = ''");
    }
}

TEST(LockTime, OnlyTheServersFixedFormIsReadWhateverTheLocale) {
    struct Case {
        const wchar_t* text;
        bool read;
    };
    const Case cases[] = {{L"2024-03-05 14:07:31", true},  {L"05.03.2024 14:07:31", false},
                          {L"2024-02-30 10:00:00", false}, {L"2024-03-05T14:07:31", false},
                          {L"2024-3-5 14:07:31", false},   {L"2024-03-05 14:07", false},
                          {L"2024-03-05 00:00:00", true},  {L"2024-12-31 23:59:59", true},
                          {L"2024-03-05 1x:07:31", false}, {L"2024-03-05 14:07:3x", false}};
    for (const Case& c : cases) {
        COleDateTime dt;
        EXPECT_EQ(qv::nq::ParseLockTime(c.text, dt), c.read) << qv::ToUtf8(c.text);
    }
    COleDateTime dt;
    ASSERT_TRUE(qv::nq::ParseLockTime(L"2024-03-05 14:07:31", dt));
    EXPECT_EQ(dt.GetDay(), 5);
    EXPECT_EQ(dt.GetMonth(), 3);
    EXPECT_EQ(dt.GetSecond(), 31);
    // Whole minutes after rounding to the second.
    const COleDateTime later = dt + COleDateTimeSpan(0, 12, 0, 0);
    EXPECT_EQ(qv::nq::LockAgeMinutes(dt, later), 720);
    EXPECT_EQ(qv::nq::LockAgeMinutes(dt, later - COleDateTimeSpan(0, 0, 0, 1)), 719);
    EXPECT_EQ(qv::nq::LockAgeMinutes(later, dt), -720);
}

TEST(PageBackground, TheDarkerShadeStopsAtBlackInEachChannel) {
    EXPECT_EQ(qv::nq::DarkenColor(RGB(0xF0, 0xF0, 0xF0), 0x14), RGB(0xDC, 0xDC, 0xDC));
    EXPECT_EQ(qv::nq::DarkenColor(RGB(0x10, 0x80, 0x05), 0x14), RGB(0x00, 0x6C, 0x00));
    EXPECT_EQ(qv::nq::DarkenColor(RGB(0, 0, 0), 0x14), RGB(0, 0, 0));
}

}  // namespace
}  // namespace fwtest
