// The occupancy overview of a course's runs and the filling of a run from its waiting list.
#include "kursbelegungdlg.h"
#include "kursresource.h"
#include "kurswintest.h"

namespace kurstest {
namespace {

using namespace qv::ui::test;

class KursBelegung : public KursWinTest {
protected:
    void SetUp() override {
        KursWinTest::SetUp();
        mandant = AddMandant("FW Nord");
        kurs = AddKurs(3, "GK");
        full = AddRun(kurs, "2031-03-01");
        open = AddRun(kurs, "2031-06-01");
        SetMax(full, 2);
        SetMax(open, 4);
        Sql("UPDATE Kursinstanz SET strBezeichnung = 'Frühling' WHERE lKursinstanzID = " + K(full));
        Sql("UPDATE Kursinstanz SET strBezeichnung = 'Sommer' WHERE lKursinstanzID = " + K(open));
        Book(full, 1, "2030-01-01");
        Book(full, 0, "2030-01-02");
        Book(full, 3, "2030-01-03");
        Book(open, 0, "2030-01-01");
        Book(open, 5, "2030-01-02");  // deregistered: holds no place
    }
    long Book(long run, long status, const std::string& registered) {
        const long person = AddPerson("P" + std::to_string(++persons), "V", mandant);
        const long reg = AddReg(person, kurs, run, status, "2031-01-01");
        Sql("UPDATE PersonKurs SET dtAnmeldung = '" + registered + " 00:00:00' WHERE lPersonKursID = " + K(reg));
        return reg;
    }
    long Status(long reg) { return static_cast<long>(Int("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + K(reg))); }
    long mandant = 0, kurs = 0, full = 0, open = 0;
    int persons = 0;
};

TEST_F(KursBelegung, EachRunShowsCountMaximumWaitingListAndFillState) {
    const long unlimited = AddRun(kurs, "2031-09-01");
    std::vector<CKursBelegungDlg::Run> runs;
    ASSERT_EQ(CKursBelegungDlg::LoadRuns(kurs, nullptr, runs), S_OK);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].lCount, 2);
    EXPECT_EQ(runs[0].lWaiting, 1);
    EXPECT_EQ(runs[0].eState, eFillLevelFull);
    EXPECT_EQ(runs[1].lCount, 1);
    EXPECT_EQ(runs[1].eState, eFillLevelNormal);
    EXPECT_EQ(runs[2].lKursinstanzID, unlimited);
    EXPECT_EQ(runs[2].eState, eFillLevelNormal) << "a run without maximum is never full";

    // The central installation's numbers win for the runs it keeps.
    CKursFillLevel cache;
    CQvGUID guid;
    guid.SetGUID(CString(qv::FromUtf8(Guid("Kursinstanz", open)).c_str()));
    cache.Set(guid, 37, 40);
    ASSERT_EQ(CKursBelegungDlg::LoadRuns(kurs, &cache, runs), S_OK);
    EXPECT_EQ(runs[1].lCount, 37);
    EXPECT_EQ(runs[1].lMax, 40);
    EXPECT_EQ(runs[1].eState, eFillLevelWarning);

    CKursBelegungDlg dlg(kurs, &cache);
    script.ExpectModal(IDD_KURSBELEGUNG, [&](qv::IModalDialog& modal) {
        const HWND list = Item(dlg, IDC_BELEGUNG_LIST);
        EXPECT_TRUE(WaitFor([&] { return HasFocus(list); }, 2000)) << "the runs take the first focus, not the help";
        ASSERT_EQ(qv::ui::test::Rows(list), 3);
        EXPECT_EQ(Cell(list, 0, 0) + L"|" + Cell(list, 0, 1) + L"|" + Cell(list, 0, 6), L"Frühling|01.03.2031|Nein");
        EXPECT_EQ(Cell(list, 0, 2), L"2");
        EXPECT_EQ(Cell(list, 0, 3), L"2");
        EXPECT_EQ(Cell(list, 0, 4), L"1");
        EXPECT_EQ(Cell(list, 0, 5), L"voll");
        EXPECT_EQ(CellBackColor(list, 0, 5), COLORREF(0x3232FF));
        EXPECT_EQ(Cell(list, 1, 5), L"fast voll");
        EXPECT_EQ(CellBackColor(list, 1, 5), COLORREF(0x00FFFF));
        EXPECT_EQ(CellBackColor(list, 2, 5), COLORREF(0x32FF64));
        EXPECT_FALSE(ToolTip(Item(dlg, IDC_BELEGUNG_HELP)).empty());
        std::wstring topic;
        qv::SetHelpHandler([&](const CString& t) {
            topic = t.GetString();
            return true;
        });
        Click(Item(dlg, IDC_BELEGUNG_HELP));
        qv::SetHelpHandler(nullptr);
        EXPECT_EQ(topic, L"HELP_KURS_BELEGUNG");
        Screen(dlg, "kursbelegungdlg");
        modal.EndModal(IDCANCEL);
    });
    dlg.DoModal();
}

TEST_F(KursBelegung, FillingTakesTheWaitingListInOrderUpToTheMaximum) {
    const long penalty = Book(open, 4, "2029-01-01");
    const long second = Book(open, 3, "2030-02-02");
    const long first = Book(open, 3, "2030-02-01");
    const long third = Book(open, 3, "2030-02-03");
    const long fourth = Book(open, 3, "2030-02-04");
    int moved = 0;
    ASSERT_EQ(CKursBelegungDlg::FillFromWarteliste(open, moved), S_OK);
    EXPECT_EQ(moved, 3);
    EXPECT_EQ(Status(first), 0);
    EXPECT_EQ(Status(second), 0);
    EXPECT_EQ(Status(third), 0);
    EXPECT_EQ(Status(fourth), 3);
    EXPECT_EQ(Status(penalty), 4) << "a penalty waits behind the plain waiting list";
    EXPECT_EQ(userLog.Entries().size(), 3u) << "each registration is logged by the course API";
    const auto events = eventServer.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(qv::GuidToUtf8(events.back().id, false), "4EF7DB46-118D-4C0B-9338-BE2434638F5B");
    EXPECT_EQ(events.back().value, kurs);

    const std::size_t announced = eventServer.Events().size();
    ASSERT_EQ(CKursBelegungDlg::FillFromWarteliste(open, moved), S_OK);
    EXPECT_EQ(moved, 0) << "the run is full now";
    EXPECT_EQ(eventServer.Events().size(), announced) << "nothing moved, nothing announced";
    // Overbooked above a maximum of one, nothing moves; without a maximum everyone does.
    for (const auto& [max, expected] : std::vector<std::pair<long, int>>{{1, 0}, {0, 2}}) {
        SetMax(open, max);
        ASSERT_EQ(CKursBelegungDlg::FillFromWarteliste(open, moved), S_OK);
        EXPECT_EQ(moved, expected) << max;
    }

    // One another user deregistered after the waiting list was read keeps his status, nothing of
    // him is logged, the user is told once, and his place goes to the next.
    const long w1 = Book(open, 3, "2030-03-01"), w2 = Book(open, 3, "2030-03-02"), w3 = Book(open, 3, "2030-03-03");
    SetMax(open, static_cast<long>(Int("SELECT count(*) FROM PersonKurs WHERE fTeilnehmer = 1 AND lStatus NOT IN "
                                       "(3, 4, 5) AND lKursinstanzID = " + K(open))) + 2);
    userLog.write = [&] {
        userLog.write = nullptr;
        // The other user's write is stored before the next registration is read: it goes with the
        // unit of the status change whose entry is written now.
        CQvADOConnection conn;
        HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
        const std::string sql = "UPDATE PersonKurs SET lStatus = 5 WHERE lPersonKursID = " + K(w2);
        if (SUCCEEDED(hr)) hr = conn.Execute(CString(sql.c_str()));
        return hr;
    };
    const std::size_t logged = userLog.Entries().size();
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    ASSERT_EQ(CKursBelegungDlg::FillFromWarteliste(open, moved), S_OK);
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(Status(w1), 0);
    EXPECT_EQ(Status(w2), 5);
    EXPECT_EQ(Status(w3), 0);
    EXPECT_EQ(userLog.Entries().size(), logged + 2);
    EXPECT_EQ(script.Pending(), 0u);
}

TEST_F(KursBelegung, RunsWhoseRegistrationsCannotChangeHereAreLeftAlone) {
    struct Case {
        const char* what;
        long typ;
        bool closed, central;
        std::wstring message;
        int moved;
    };
    const Case cases[] = {
        {"closed run of a local installation", 3, true, false, L"geschlossen", 0},
        {"cantonal course in a local installation", 2, false, false, L"Kantonsdatenbank", 0},
        {"closed run in the central installation", 3, true, true, L"", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Central(c.central);
        Sql("DELETE FROM PersonKurs WHERE lStatus = 3");
        Sql("UPDATE Kurs SET lTyp = " + K(c.typ));
        Sql(std::string("UPDATE Kursinstanz SET fGeschlossen = ") + (c.closed ? "1" : "0"));
        const long waiting = Book(open, 3, "2030-05-05");
        if (!c.message.empty()) script.ExpectMessageBox(IDOK, c.message);
        int moved = -1;
        EXPECT_EQ(CKursBelegungDlg::FillFromWarteliste(open, moved), c.message.empty() ? S_OK : S_FALSE);
        EXPECT_EQ(moved, c.moved);
        EXPECT_EQ(Status(waiting), c.moved ? 0 : 3);
    }
}

TEST_F(KursBelegung, TheOverviewFillsTheSelectedRunAndShowsTheNewCounts) {
    Book(open, 3, "2030-02-01");
    // The first run of a database has the number 1.
    for (const char* table : {"Kursinstanz", "PersonKurs"})
        Sql(std::string("UPDATE ") + table + " SET lKursinstanzID = 1 WHERE lKursinstanzID = " + K(open));
    CKursBelegungDlg dlg(kurs, nullptr);
    script.ExpectModal(IDD_KURSBELEGUNG, [&](qv::IModalDialog& modal) {
        const HWND list = Item(dlg, IDC_BELEGUNG_LIST);
        EXPECT_FALSE(Enabled(Item(dlg, IDC_BELEGUNG_FILL))) << "no run chosen";
        SelectRow(list, 0);
        EXPECT_FALSE(Enabled(Item(dlg, IDC_BELEGUNG_FILL))) << "a full run cannot be filled";
        SelectRow(list, 1);
        ASSERT_TRUE(Enabled(Item(dlg, IDC_BELEGUNG_FILL)));
        script.ExpectMessageBox(IDOK, L"1 Person(en) wurden von der Warteliste angemeldet.");
        Click(dlg, IDC_BELEGUNG_FILL);
        EXPECT_EQ(Cell(list, 1, 2), L"2");
        EXPECT_EQ(Cell(list, 1, 4), L"0");
        EXPECT_TRUE(RowSelected(list, 1));
        modal.EndModal(IDCANCEL);
    });
    dlg.DoModal();
}

}  // namespace
}  // namespace kurstest
