// Opening and closing runs by their registration windows, in a local and in the central
// installation, with the data-logger and user-log entries of a closed run and the daily touch.
#include "kurstest.h"

namespace kurstest {
namespace {

class KursAutoOpen : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        frame.Offer(CLSID_QvDataLogger);
        logger_ = std::make_unique<qvtest::ScopedRunningServer>(QVDATALOGGER_PROGID, &dataLogger);
        lokal = AddKurs(3, "LK");
        kantonal = AddKurs(2, "KK");
    }
    void TearDown() override {
        logger_.reset();
        KursTest::TearDown();
    }
    // A run whose dates are given as day offsets from today ("" leaves the column unset).
    long Window(long kurs, bool closed, const std::string& von, const std::string& bis, int datum = 7,
                const std::string& abgesagt = "") {
        const long run = AddRun(kurs, "2031-01-01", closed);
        std::string set = "dtDatum = " + Day(datum);
        if (!von.empty()) set += ", dtAnmeldenVon = " + Day(std::stoi(von));
        if (!bis.empty()) set += ", dtAnmeldenBis = " + Day(std::stoi(bis));
        if (!abgesagt.empty()) set += ", dtAbgesagt = " + Day(std::stoi(abgesagt));
        Sql("UPDATE Kursinstanz SET " + set + " WHERE lKursinstanzID = " + K(run));
        return run;
    }
    static std::string Day(int offset) {
        return "datetime('now', 'localtime', '" + std::to_string(offset) + " days')";
    }
    bool Closed(long run) {
        return Int("SELECT fGeschlossen FROM Kursinstanz WHERE lKursinstanzID = " + K(run)) == 1;
    }
    std::vector<DataLoggerEntry> Logged() { return dataLogger.Entries(L"Qovaro.Ostrel.Kurs"); }

    FakeDataLogger dataLogger;
    long lokal = 0, kantonal = 0;

private:
    std::unique_ptr<qvtest::ScopedRunningServer> logger_;
};

TEST_F(KursAutoOpen, LocalInstallationOpensItsOwnRunsWhoseWindowRuns) {
    const long open = Window(lokal, true, "-1", "");
    const long openUntil = Window(lokal, true, "-1", "1");
    const long cancelled = Window(lokal, true, "-1", "", 7, "-2");
    const long notYet = Window(lokal, true, "1", "");
    const long noStart = Window(lokal, true, "", "3");
    const long over = Window(lokal, true, "-5", "-1");
    const long foreign = Window(kantonal, true, "-1", "");
    Sql("UPDATE Kursinstanz SET dtTimestamp = '2020-01-01 00:00:00'");
    ASSERT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(0), S_OK);
    // An opened run counts as changed now, stamped in the database's own form; the others not.
    std::string stamped = "SELECT count(*) FROM Kursinstanz WHERE dtTimestamp >= date('now', 'localtime')";
#ifndef QV_KURS_PG
    stamped += " AND length(dtTimestamp) = 19";  // a typed column on PostgreSQL
#endif
    EXPECT_EQ(Int(stamped), 2);
    EXPECT_EQ(Int(stamped + " AND lKursinstanzID IN (" + K(open) + ", " + K(openUntil) + ")"), 2);
    EXPECT_FALSE(Closed(open));
    EXPECT_FALSE(Closed(openUntil));
    EXPECT_TRUE(Closed(cancelled));
    EXPECT_TRUE(Closed(notYet));
    EXPECT_TRUE(Closed(noStart));
    EXPECT_TRUE(Closed(over));
    EXPECT_TRUE(Closed(foreign));
    // Opening is no closing: nothing logged.
    EXPECT_TRUE(Logged().empty());
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursAutoOpen, LocalInstallationClosesItsOwnRunsWhoseWindowEndedAndLogsEach) {
    const long ended = Window(lokal, false, "-9", "-1");
    const long endless = Window(lokal, false, "-9", "", -3);
    const long running = Window(lokal, false, "-9", "2");
    const long foreign = Window(kantonal, false, "-9", "-1");
    ASSERT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(0), S_OK);
    EXPECT_TRUE(Closed(ended));
    EXPECT_FALSE(Closed(endless));
    EXPECT_FALSE(Closed(running));
    EXPECT_FALSE(Closed(foreign));

    const auto logged = Logged();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].level, QVDATALOGGER_INFO);
    EXPECT_EQ(logged[0].message, L"CE6D9D23-E9CA-4266-93E9-C6E59964A935");
    EXPECT_EQ(logged[0].text, L"VRQ_CheckAutoOpenAutoCloseKursinstanz() Kursinstanz automatisch geschlossen! "
                              L"(lKursinstanzID: " + qv::FromUtf8(K(ended)) + L")");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 1);
    EXPECT_EQ(entries[0].text, L"Kursinstanz automatisch geschlossen.");
    EXPECT_EQ(entries[0].detail, L"");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Instanz");
    EXPECT_EQ(entries[0].value, 0);
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", ended));
    EXPECT_EQ(entries[0].parent, GUID_NULL);
}

TEST_F(KursAutoOpen, CentralInstallationHandlesEveryCourseTypeAndTouchesTodaysPublications) {
    Central(true);
    const long opens = Window(kantonal, true, "-1", "");
    const long closes = Window(kantonal, false, "-9", "-1");
    const long closesToo = Window(lokal, false, "-9", "-2");
    const long today = AddRun(lokal, "2031-01-01");
    const long yesterday = AddRun(lokal, "2031-01-01");
    Sql("UPDATE Kursinstanz SET dtPublish = date('now', 'localtime') || ' 00:00:00', dtTimestamp = "
        "'2020-01-01 00:00:00' WHERE lKursinstanzID = " +
        K(today));
    Sql("UPDATE Kursinstanz SET dtPublish = date('now', 'localtime', '-1 days') || ' 00:00:00', dtTimestamp = "
        "'2020-01-01 00:00:00' WHERE lKursinstanzID = " +
        K(yesterday));
    ASSERT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(0), S_OK);
    EXPECT_FALSE(Closed(opens));
    EXPECT_TRUE(Closed(closes));
    EXPECT_TRUE(Closed(closesToo));
    EXPECT_EQ(Logged().size(), 2u);
    EXPECT_EQ(userLog.Entries().size(), 2u);
    EXPECT_EQ(Int("SELECT date(dtTimestamp) = date('now', 'localtime') FROM Kursinstanz WHERE lKursinstanzID = " +
                  K(today)),
              1);
    EXPECT_EQ(Text("SELECT dtTimestamp FROM Kursinstanz WHERE lKursinstanzID = " + K(yesterday)),
              "2020-01-01 00:00:00");
}

TEST_F(KursAutoOpen, OneRunIsLookedAtAloneAndNotTouched) {
    Central(true);
    const long mine = Window(kantonal, false, "-9", "-1");
    const long other = Window(kantonal, false, "-9", "-1");
    const long otherClosed = Window(kantonal, true, "-1", "");
    Sql("UPDATE Kursinstanz SET dtPublish = date('now', 'localtime') || ' 00:00:00', dtTimestamp = "
        "'2020-01-01 00:00:00' WHERE lKursinstanzID = " +
        K(mine));
    ASSERT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(mine), S_OK);
    EXPECT_TRUE(Closed(mine));
    EXPECT_FALSE(Closed(other));
    EXPECT_TRUE(Closed(otherClosed));
    EXPECT_EQ(Logged().size(), 1u);
    // Closing renewed the stamp of the row itself; the touch would have renewed it only today.
    Sql("UPDATE Kursinstanz SET dtTimestamp = '2020-01-01 00:00:00' WHERE lKursinstanzID = " + K(mine));
    ASSERT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(mine), S_OK);
    EXPECT_EQ(Text("SELECT dtTimestamp FROM Kursinstanz WHERE lKursinstanzID = " + K(mine)), "2020-01-01 00:00:00");

    // The run the course window shows changes alone too, when it is due to.
    const long shownEnded = Window(kantonal, false, "-9", "-1");
    ASSERT_EQ(kurs::CheckShownKursinstanz(shownEnded), S_OK);
    ASSERT_EQ(kurs::CheckShownKursinstanz(otherClosed), S_OK);
    EXPECT_TRUE(Closed(shownEnded));
    EXPECT_FALSE(Closed(otherClosed));
    EXPECT_FALSE(Closed(other));
    EXPECT_EQ(userLog.Entries().size(), 2u);
}

TEST_F(KursAutoOpen, AFailedLogEntryLeavesEveryRunOpenAndIsReportedOnceWithItsCause) {
    for (const bool central : {false, true}) {
        Central(central);
        const long first = Window(lokal, false, "-9", "-1");
        const long second = Window(lokal, false, "-9", "-1");
        userLog.fail = E_ACCESSDENIED;
        script.ExpectReport(L"No OLEDB Error available!");
        EXPECT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(0), E_ACCESSDENIED) << central;
        // The closings go back with their refused entry; the data log names no closing either.
        EXPECT_FALSE(Closed(first)) << central;
        EXPECT_FALSE(Closed(second)) << central;
        EXPECT_TRUE(Logged().empty()) << central;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << central;

        // The log server's own cause is what the report says.
        userLog.refusal = L"Das Benutzerprotokoll nimmt keine Einträge an.";
        script.ExpectReport(userLog.refusal);
        EXPECT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(first), E_ACCESSDENIED) << central;
        EXPECT_FALSE(Closed(first)) << central;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 2u) << central;

        // Once the log takes entries again, the next check closes both, each with its entry.
        userLog.fail = S_OK;
        userLog.refusal.clear();
        ASSERT_EQ(VRQ_CheckAutoOpenAutoCloseKursinstanz(0), S_OK) << central;
        EXPECT_TRUE(Closed(first) && Closed(second)) << central;
        EXPECT_EQ(userLog.Entries().size(), 2u) << central;
        EXPECT_EQ(Logged().size(), 2u) << central;
        Sql("DELETE FROM Kursinstanz");
        userLog.entries.clear();
        dataLogger.entries.clear();
        script.Log().Clear();
    }
}

}  // namespace
}  // namespace kurstest
