// The course selector: the course search's popup through the course window's call, the search
// text, the rows the user may choose, and what OK and Cancel hand back.
#include "kursresource.h"
#include "extensions.h"
#include "kursselectdlg.h"
#include "leftworkers.h"
#include "qvregvalue.h"
#include "kurswintest.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "utf.h"
#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgfaultproxy.h"
#endif

#include <algorithm>

#include <QClipboard>
#include <QGuiApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <thread>

namespace kurstest {
namespace {

using namespace qv::ui::test;

class KursSelectPopup : public KursWinTest {
protected:
    void SetUp() override {
        KursWinTest::SetUp();
        // Local courses are offered once the course-type filter admits them.
        optionServer.Set(-4000, L"KursTyp", L"x 1 1 1");
        gk = AddKurs(3, "GK");
        ak = AddKurs(3, "AK");
        spring = AddRun(gk, "2031-03-01");
        autumn = AddRun(gk, "2031-09-01");
        Sql("UPDATE Kursinstanz SET strBezeichnung = 'Frühling' WHERE lKursinstanzID = " + K(spring));
        Sql("UPDATE Kursinstanz SET strBezeichnung = 'Herbst O''Neill' WHERE lKursinstanzID = " + K(autumn));
        for (long kurs : {gk, ak}) Right(kurs, -1, 0x101);
        Right(-1, spring, 0x101);
        Right(-1, autumn, 0x001);
    }
    // The user's rights row on a course (run -1) or a run (course -1).
    void Right(long kurs, long run, long mask, long user = 5) {
        Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (" + K(kurs) + ", " + K(run) +
            ", " + K(user) + ", " + K(mask) + ")");
    }
    // Runs the selector through the course window's call; the script acts on the popup's search
    // once the search shows its rows.
    BOOL Select(long& kurs, long& run, const std::function<void(CSearchPopupDlg&, CSearchDlg&)>& act) {
        script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            ASSERT_NE(popup.m_pSearchDlg, nullptr);
            ASSERT_TRUE(Settled(*popup.m_pSearchDlg));
            act(popup, *popup.m_pSearchDlg);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        return KursSelect(nullptr, kurs, run);
    }
    static bool Settled(CSearchDlg& search) {
        return WaitFor([&] { return !search.IsSearching(); }, 10000);
    }
    static void Search(CSearchDlg& search, const std::wstring& text) {
        Retype(Item(search.m_hWnd, IDC_SEARCH_TEXT), text);
        ASSERT_TRUE(Settled(search));
    }
    // The row whose run column holds the text.
    static int RowOf(CSearchDlg& search, const std::wstring& course, const std::wstring& run) {
        for (int i = 0; i < qv::ui::test::Rows(search.m_lstResult.m_hWnd); ++i)
            if (Cell(search.m_lstResult.m_hWnd, i, 1) == course && Cell(search.m_lstResult.m_hWnd, i, 2) == run) return i;
        return -1;
    }
    long gk = 0, ak = 0, spring = 0, autumn = 0;
};

TEST_F(KursSelectPopup, ARunOrACourseWithoutRunsIsChosenAndCancelChangesNothing) {
    long kurs = 0, run = 0;
    ASSERT_TRUE(Select(kurs, run, [&](CSearchPopupDlg& popup, CSearchDlg& search) {
        EXPECT_EQ(qv::ui::test::Text(popup.m_hWnd), L"Kurs/Austragung suchen");
        const HWND list = search.m_lstResult.m_hWnd;
        // AK without runs in one row, GK once per run.
        ASSERT_EQ(qv::ui::test::Rows(list), 3);
        const int row = RowOf(search, L"GK, GK Kurs", L"Frühling");
        ASSERT_GE(row, 0);
        EXPECT_EQ(Cell(list, row, 3), L"01.03.2031");
        EXPECT_EQ(CellTextColor(list, RowOf(search, L"GK, GK Kurs", L"Herbst O'Neill"), 2), COLORREF(0xDCDCDC))
            << "a run the user may not edit is greyed";
        SelectRow(list, row);
        Click(popup.m_hWnd, IDOK);
    }));
    EXPECT_EQ(kurs, gk);
    EXPECT_EQ(run, spring);

    ASSERT_TRUE(Select(kurs, run, [&](CSearchPopupDlg&, CSearchDlg& search) {
        Search(search, L"AK");
        ASSERT_EQ(qv::ui::test::Rows(search.m_lstResult.m_hWnd), 1);
        DoubleClickRow(search.m_lstResult.m_hWnd, 0);
    }));
    EXPECT_EQ(kurs, ak);
    EXPECT_EQ(run, 0) << "a course row has no run";

    EXPECT_FALSE(Select(kurs, run, [&](CSearchPopupDlg& popup, CSearchDlg& search) {
        SelectRow(search.m_lstResult.m_hWnd, 0);
        Click(popup.m_hWnd, IDCANCEL);
    }));
    EXPECT_EQ(kurs, ak);
    EXPECT_EQ(run, 0);

#ifdef QV_KURS_PG
    // The server process of the window's own connection stops: with a command timeout of 1 s the
    // selector is free again within its bound and says once that the server does not answer; once
    // the server goes on it lists the courses again.
    const CString profile(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2");
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultCommandTimeout [s]", 1L));
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 1L));
    script.AllowReports(true);
    script.Log().Clear();
    const auto rowsShown = [&](int& shown) {
        return [&](CSearchPopupDlg& popup, CSearchDlg& search) {
            shown = qv::ui::test::Rows(search.m_lstResult.m_hWnd);
            Click(popup.m_hWnd, IDCANCEL);
        };
    };
    int shown = -1;
    const int pid = StopOwnServerProcess(*pg);
    ASSERT_GT(pid, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Select(kurs, run, rowsShown(shown)));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(pid, SIGCONT);
    Pump();
    EXPECT_LT(took, 1.0 + 1.0 + 1.0);
    const auto reports = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find(L"Der Datenbankserver antwortet nicht."), std::wstring::npos)
        << W2U(reports[0].text);
    script.Log().Clear();
    EXPECT_FALSE(Select(kurs, run, rowsShown(shown)));
    EXPECT_EQ(shown, 3);
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty());

    // A server that takes no connections: the selector's search says so, over no rows.
    CString url;
    CQvRegistry::GetValue(profile, L"DBConnection", url);
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", CString(L"postgresql://qv@127.0.0.1:1/nq2")));
    EXPECT_FALSE(Select(kurs, run, rowsShown(shown)));
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", url));
    Pump();
    const auto refused = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].text.find(L"Der Datenbankserver antwortet nicht."), std::wstring::npos)
        << W2U(refused[0].text);
    EXPECT_NE(refused[0].text.find(L"Source:       QvADO PostgreSQL"), std::wstring::npos)
        << "the report names another database: " << W2U(refused[0].text);
    EXPECT_EQ(shown, 0);
    script.Log().Clear();

    // The whole server stands still behind the window's connection, its listener too: the
    // selector gives up within the command timeout times the tries, the connections its reads
    // would make again included.
    {
        qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection",
                                          CString(proxy.Through(qv::ToUtf8(url.GetString())).c_str())));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 2L));
        EXPECT_FALSE(Select(kurs, run, rowsShown(shown)));
        EXPECT_EQ(shown, 3) << "through the proxy";
        const int frozen = StopOwnServerProcess(*pg);
        ASSERT_GT(frozen, 0);
        proxy.Listen(false);
        script.Log().Clear();
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_FALSE(Select(kurs, run, rowsShown(shown)));
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        kill(frozen, SIGCONT);
        proxy.Listen(true);
        Pump();
        EXPECT_LT(waited, 1.0 * 2 + 0.5) << "the command timeout times the tries";
        std::printf("Kurs waehlen, listener and process stopped, timeout 1 s, 2 tries: %.2f s\n", waited);
        EXPECT_FALSE(script.Log().Records(qv::InteractionKind::Report).empty());
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", url));
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 1L));
        Pump();
        script.Log().Clear();
    }
    script.AllowReports(false);
#endif

    // Cancelled while the statement of a pasted text runs, the popup ends the statement instead
    // of waiting for it, and tells the user nothing, nor the data log: here one that would run for
    // a minute.
    FakeDataLogger dataLogger;
    frame.Offer(CLSID_QvDataLogger);
    qvtest::ScopedRunningServer logger(QVDATALOGGER_PROGID, &dataLogger);
    static std::atomic<bool> held;
    static std::atomic<int> heldCalls;
    held = true;
    heldCalls = 0;
#ifdef QV_KURS_PG
    Sql("CREATE FUNCTION Held() RETURNS boolean LANGUAGE sql VOLATILE AS 'SELECT true FROM pg_sleep(60)'");
    const char* heldWhere = "Held()";
    const char* rename = "ALTER TABLE SecKurs RENAME TO SecKursHeld";
#else
    const char* rename = "PRAGMA legacy_alter_table = ON; ALTER TABLE SecKurs RENAME TO SecKursHeld";
    qv::sql::RegisterConnectionInitializer("kurs-select-held", [](sqlite3* h) {
        sqlite3_create_function(h, "Held", 0, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    ++heldCalls;
                                    sqlite3_result_int(c, held ? 1 : 0);
                                },
                                nullptr, nullptr);
    });
    const char* heldWhere = "(WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE Held()) SELECT "
                            "count(*) FROM n) > 0";
#endif
    std::atomic<bool> closed{false}, waited{false};
    std::thread giveUp;
    EXPECT_FALSE(Select(kurs, run, [&](CSearchPopupDlg& popup, CSearchDlg& search) {
        Sql(rename);
        Sql(std::string("CREATE VIEW SecKurs AS SELECT s.* FROM SecKursHeld s WHERE ") + heldWhere);
        QGuiApplication::clipboard()->setText(QStringLiteral("GK Kurs Frühling"));
        ASSERT_TRUE(PressKey(Item(search.m_hWnd, IDC_SEARCH_TEXT), 'V', Qt::ControlModifier));
        ASSERT_TRUE(search.IsSearching());
        if (kOnPg) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        else ASSERT_TRUE(WaitFor([&] { return heldCalls > 0; }, 30000)) << "the statement runs";
        giveUp = std::thread([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!closed && std::chrono::steady_clock::now() - start < std::chrono::seconds(15))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            waited = !closed;
            held = false;
        });
        Click(popup.m_hWnd, IDCANCEL);
    }));
    closed = true;
    if (giveUp.joinable()) giveUp.join();
    EXPECT_FALSE(waited) << "the popup waited for its statement";
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty());
    EXPECT_EQ(kurs, ak);
    ASSERT_TRUE(CLeftWorkers::End(30000)) << "the cancelled statement ends";
    for (const DataLoggerEntry& e : dataLogger.Entries(L"QvDBServerLib"))
        EXPECT_NE(e.level, QVDATALOGGER_ERROR) << qv::ToUtf8(e.text);
}

TEST_F(KursSelectPopup, TheSearchTextNarrowsTheRowsAQuoteIsJustATextAndOkWantsARow) {
    // A course of which the user holds no rights row is never offered.
    const long other = AddKurs(3, "GX");
    Right(other, -1, 0x101, 6);
    long kurs = 0, run = 0;
    ASSERT_TRUE(Select(kurs, run, [&](CSearchPopupDlg& popup, CSearchDlg& search) {
        const HWND list = search.m_lstResult.m_hWnd;
        Search(search, L"G");
        EXPECT_EQ(qv::ui::test::Rows(list), 2) << "the runs of GK, not GX";
        Search(search, L"o'neill");
        ASSERT_EQ(qv::ui::test::Rows(list), 1);
        EXPECT_EQ(Cell(list, 0, 2), L"Herbst O'Neill");
        Search(search, L"Zwischenkurs");
        ASSERT_EQ(qv::ui::test::Rows(list), 0);
        // Each word is looked for in the course's name and type and in the run's name, date,
        // duration (as many decimals as fit in four places), place with its address on one line
        // and leadership; the rows are the courses and runs that hold every word.
        Sql("UPDATE Kursinstanz SET dblDauer = 2.5, strOrt = 'Depot', strAdresse = 'Hauptstrasse 1\r\nHof', "
            "strLeitung = 'Hptm Gerber' WHERE lKursinstanzID = " + K(spring));
        Sql("UPDATE Kursinstanz SET dblDauer = 12.25 WHERE lKursinstanzID = " + K(autumn));
        const std::wstring both = L"GK, GK Kurs|Frühling\nGK, GK Kurs|Herbst O'Neill\n";
        const struct {
            const wchar_t* words;
            std::wstring rows;
        } byWords[] = {
            {L"kurs", L"AK, AK Kurs|\n" + both},
            {L"LOKAL gk", both},
            {L"01.09.2031", L"GK, GK Kurs|Herbst O'Neill\n"},
            {L"2.50", L"GK, GK Kurs|Frühling\n"},
            {L"12.3", L"GK, GK Kurs|Herbst O'Neill\n"},
            {L"12.25", L""},
            {L"depot, strasse 1, hof gerber", L"GK, GK Kurs|Frühling\n"},
            {L"zwyq", L""},
        };
        for (const auto& c : byWords) {
            Search(search, c.words);
            std::vector<std::wstring> rows;
            for (int i = 0; i < qv::ui::test::Rows(list); ++i) rows.push_back(Cell(list, i, 1) + L"|" + Cell(list, i, 2) + L"\n");
            std::sort(rows.begin(), rows.end());
            std::wstring all;
            for (const std::wstring& row : rows) all += row;
            EXPECT_EQ(all, c.rows) << qv::ToUtf8(c.words);
        }
        Click(popup.m_hWnd, IDOK);
        EXPECT_FALSE(popup.IsModalEnded()) << "nothing chosen";
        Search(search, L"o'neill");
        SelectRow(list, 0);
        PressKey(Item(search.m_hWnd, IDC_SEARCH_TEXT), VK_RETURN);
    }));
    EXPECT_EQ(kurs, gk);
    EXPECT_EQ(run, autumn);

    // Opened again, the last text is offered in the search field, which has the focus with the text
    // selected: what the user types replaces it.
    optionServer.Set(-4000, L"RestoreLastSearchtext", 1);
    ASSERT_FALSE(Select(kurs, run, [&](CSearchPopupDlg&, CSearchDlg& search) {
        const HWND edit = Item(search.m_hWnd, IDC_SEARCH_TEXT);
        EXPECT_EQ(qv::ui::test::Text(edit), L"o'neill");
        EXPECT_TRUE(HasFocus(edit));
        PressKey(nullptr, 'G');
        EXPECT_EQ(qv::ui::test::Text(edit), L"g");
    }));
}

}  // namespace
}  // namespace kurstest
