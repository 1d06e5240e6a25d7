// The person search in its popup over the demo database: typed words, the Mandant filter and
// the rights, the chosen and checked ids handed back, restarts by new keystrokes while the worker
// runs, the result limit and the remembered search text.
#include "searchtest.h"

#include "nqsearchcalls.h"
#include "qvbuttons.h"
#include "searchpersondlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "extensions.h"
#include "heaptrim.h"
#include "leftworkers.h"
#include "trace.h"

#include <QCollator>
#include <QLocale>
#include <QTimer>
#include <QWidget>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

using namespace qv::ui::test;
using searchtest::SearchTest;
using searchtest::U;

namespace {

const wchar_t kPersonFunction[] = L"9FFF9726-D906-4CE0-A627-93B93874A509";

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

long RowID(CSearchDlg& search, int row) {
    long id = 0;
    if (CQvListItem* item = search.m_lstResult.QvGetVisibleListItem(row)) item->GetParam(0, &id);
    return id;
}

class PersonSearch : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
        options.Set(-4000, L"MaxSearchResults", 0);
    }
    long long CountNamed(const std::string& part) {
        return Int("SELECT count(*) FROM Person WHERE (strName || ' ' || strVorname) LIKE '%" + part + "%'");
    }
};

}  // namespace

TEST_F(PersonSearch, TypedWordsFindThePersonsAndOkHandsTheChosenIdToTheCaller) {
    CSearchPopupDlg popup(4, L"Test", -1, 0);
    long chosen = 0;
    const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Headers(List(search)), (std::vector<std::wstring>{L"Personalnummer", L"Rang", L"Dienstgrad", L"Name",
                                                                     L"Adresse", L"Wohnort", L"Rufnummern",
                                                                     L"Eigene Daten", L"Mandant"}));
        EXPECT_EQ(Rows(List(search)), Int("SELECT count(*) FROM Person")) << "an empty text lists everybody";
        // The order the user sorted by holds for the next search: names from Z to A.
        ClickColumnHeader(List(search), 3);
        ClickColumnHeader(List(search), 3);
        Type(Edit(search), L" ");
        ASSERT_TRUE(Settled(search));
        const auto everybody = Column(List(search), 3);
        EXPECT_EQ(static_cast<long long>(everybody.size()), Int("SELECT count(*) FROM Person"));
        // In the order a German reader looks for names: "ä" beside "a", without regard to case.
        QCollator german(QLocale(QLocale::German, QLocale::Switzerland));
        german.setCaseSensitivity(Qt::CaseInsensitive);
        for (std::size_t row = 1; row < everybody.size(); ++row)
            ASSERT_GE(german.compare(QString::fromStdWString(everybody[row - 1]), QString::fromStdWString(everybody[row])), 0)
                << row;

        Type(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        const auto names = Column(List(search), 3);
        EXPECT_EQ(static_cast<long long>(names.size()), CountNamed("Crivelli"));
        for (const auto& name : names) EXPECT_TRUE(Contains(name, L"Crivelli")) << U(name);
        // The line under the list counts the rows found.
        Pump();
        std::wstring counted;
        for (QObject* child : Widget(List(search))->children())
            if (auto* line = qobject_cast<QWidget*>(child); line && line->isVisible() && line->inherits("QLabel"))
                counted = line->property("text").toString().toStdWString();
        EXPECT_EQ(counted, std::to_wstring(names.size()) + L" Einträge");

        // A second word must match too, here in the place column.
        const std::wstring place = Cell(List(search), 0, 5);
        const std::wstring plz = place.substr(0, place.find(L' '));
        Type(Edit(search), L" " + plz);
        ASSERT_TRUE(Settled(search));
        ASSERT_GT(Rows(List(search)), 0);
        EXPECT_LT(Rows(List(search)), static_cast<int>(names.size()) + 1);
        for (int row = 0; row < Rows(List(search)); ++row) {
            EXPECT_TRUE(Contains(Cell(List(search), row, 3), L"Crivelli"));
            EXPECT_TRUE(Contains(Cell(List(search), row, 5), plz));
        }
        EXPECT_TRUE(RowSelected(List(search), 0)) << "the first row is selected when the search ends";
        SelectRow(List(search), 0);
        chosen = RowID(search, 0);
        Click(dlg.m_hWnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    ASSERT_NE(popup.GetResultIDs(), nullptr);
    ASSERT_EQ(popup.GetResultIDs()->size(), 1u);
    EXPECT_EQ(popup.GetResultIDs()->front(), chosen);
    EXPECT_EQ(Int("SELECT count(*) FROM Person WHERE strName = 'Crivelli' AND lPersonID = " + std::to_string(chosen)), 1);
}

TEST_F(PersonSearch, OkWithoutAChosenRowKeepsThePopupOpen) {
    for (const BOOL multi : {FALSE, TRUE}) {
        CSearchPopupDlg popup(4, L"Test", -1, 0);
        popup.m_bMultiSelect = multi;
        const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            Type(Edit(search), L"Niemandsname");
            ASSERT_TRUE(Settled(search));
            EXPECT_EQ(Rows(List(search)), 0);
            Click(dlg.m_hWnd, IDOK);
            EXPECT_TRUE(Visible(dlg.m_hWnd)) << "multi " << multi;
            // Escape in the search text cancels as the button does.
            if (multi) PressKey(Edit(search), VK_ESCAPE);
            else Click(dlg.m_hWnd, IDCANCEL);
            EXPECT_FALSE(Visible(dlg.m_hWnd)) << "multi " << multi;
        });
        EXPECT_EQ(result, IDCANCEL);
    }
}

TEST_F(PersonSearch, ATableWithoutASearchGivesAnEmptyPopupThatOnlyCancels) {
    for (const long table : {3L, 5L, 197L}) {
        CSearchPopupDlg popup(table, L"Test", -1, 0);
        const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            EXPECT_EQ(dlg.m_pSearchDlg, nullptr);
            Click(dlg.m_hWnd, IDOK);
            EXPECT_TRUE(Visible(dlg.m_hWnd)) << table;
            Click(dlg.m_hWnd, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(popup.GetResultIDs(), nullptr);
    }
}

TEST_F(PersonSearch, TheMandantFilterAndTheRightsDecideWhosePersonsAreFound) {
    const long long leaderMandant =
        Int("SELECT lMandantID FROM SecMandant WHERE lQvSecUserID = 2 AND lTableID = 4 AND lRight = 257");
    const long long all = Int("SELECT count(*) FROM Person");
    auto perMandant = [&](long long mandant) {
        return Int("SELECT count(*) FROM Person WHERE lMandantID = " + std::to_string(mandant));
    };
    struct Case {
        const char* what;
        long user;
        long filter;      // ApplyMandantFilterOnAddItems
        long active;      // the host's Mandant
        DWORD mask;
        long personRight;  // rights on the person function (mask 0 only)
        long long expected;
    } cases[] = {
        {"filter on, Mandant 3 active", 1, 1, 3, 1, 0, perMandant(3)},
        {"filter on, no Mandant active", 1, 1, 0, 1, 0, all},
        {"filter off, Mandant 3 active", 1, 0, 3, 1, 0, all},
        {"course leader, change right only on his brigade", 2, 0, 0, 0x100, 0, perMandant(leaderMandant)},
        {"course leader, read right everywhere", 2, 0, 0, 1, 0, all},
        {"user without rows, mask 0, no function right", 9, 0, 0, 0, 0, 0},
        {"user without rows, mask 0, function right", 9, 0, 0, 0, 1, all},
        {"course leader, mask 0, no function right: his read rights", 2, 0, 0, 0, 0, all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        security.userID = c.user;
        security.Answer(kPersonFunction, c.personRight);
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", c.filter);
        ActivateMandant(c.active);
        CSearchPopupDlg popup(4, L"Rights", -1, 0);
        popup.m_dwRightMask = c.mask;
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            ASSERT_TRUE(Settled(search));
            EXPECT_EQ(Rows(List(search)), c.expected);
            if (c.filter && c.active) {
                const auto mandants = Column(List(search), 8);
                const std::string name = Query("SELECT strMandantName FROM Mandant WHERE lMandantID = 3").front();
                EXPECT_TRUE(std::all_of(mandants.begin(), mandants.end(),
                                        [&](const std::wstring& m) { return U(m) == name; }));
            }
        });
    }

    // A search of its own, in no popup, follows the option at each refresh.
    security.userID = 1;
    for (const long filter : {1L, 0L}) {
        SCOPED_TRACE(filter);
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", filter);
        ActivateMandant(3);
        CSearchPersonDlg own(L"Own");
        ASSERT_TRUE(own.Create(IDD_SEARCH, nullptr));
        ASSERT_TRUE(Settled(own));
        EXPECT_EQ(Rows(List(own)), filter ? perMandant(3) : all);
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", 1 - filter);
        own.Refresh();
        ASSERT_TRUE(Settled(own));
        EXPECT_EQ(Rows(List(own)), filter ? all : perMandant(3));
        EXPECT_EQ(Text(Item(own.m_hWnd, IDC_SEARCH_STATUS)), L"");
        own.DestroyWindow();
    }
    {
        // Without a popup its own line tells of the limit.
        options.Set(-4000, L"MaxSearchResults", 1);
        CSearchPersonDlg limited(L"Own");
        ASSERT_TRUE(limited.Create(IDD_SEARCH, nullptr));
        ASSERT_TRUE(Settled(limited));
        EXPECT_EQ(Rows(List(limited)), 1);
        EXPECT_EQ(Text(Item(limited.m_hWnd, IDC_SEARCH_STATUS)), L"weitere Daten sind vorhanden!");
        limited.DestroyWindow();
        options.Set(-4000, L"MaxSearchResults", 0);
    }

    // The caller's condition narrows the persons found.
    options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
    ActivateMandant(0);
    security.userID = 1;
    CSearchPopupDlg women(4, L"Rights", -1, 0);
    women.SetJoinAndWhere(L"JOIN Ort wo ON wo.lOrtID = vp.lOrtID", L"vp.fWeiblich = 1");
    RunPopup(women, [&](CSearchPopupDlg& dlg) {
        ASSERT_TRUE(Settled(*dlg.m_pSearchDlg));
        EXPECT_EQ(Rows(List(*dlg.m_pSearchDlg)),
                  Int("SELECT count(*) FROM Person p JOIN Ort o ON o.lOrtID = p.lOrtID WHERE p.fWeiblich = 1"));
    });

    // The caller's choice of the Mandant filter, not the option, holds in the popup's search, also
    // when the search is refreshed.
    security.userID = 1;
    ActivateMandant(3);
    for (const BOOL filter : {TRUE, FALSE}) {
        SCOPED_TRACE(filter);
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", !filter);
        CSearchPopupDlg popup(4, L"Rights", -1, 0);
        popup.m_bApplyMandantFilter = filter;
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            ASSERT_TRUE(Settled(search));
            EXPECT_EQ(Rows(List(search)), filter ? perMandant(3) : all);
            search.Refresh();
            ASSERT_TRUE(Settled(search));
            EXPECT_EQ(Rows(List(search)), filter ? perMandant(3) : all);
        });
    }
}

TEST_F(PersonSearch, CheckedPersonsSurviveNewSearchesAndAreHandedBack) {
    CSearchPopupDlg popup(4, L"Multi", -1, 0);
    popup.m_bMultiSelect = TRUE;
    std::set<long> checked;
    const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        Type(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        ASSERT_GE(Rows(List(search)), 2);
        for (int row : {0, 1}) {
            ClickRowCheckBox(List(search), row);
            checked.insert(RowID(search, row));
        }
        Retype(Edit(search), L"Favre");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), CountNamed("Favre") + 2) << "the checked rows stay";
        std::set<long> kept;
        for (int row = 0; row < Rows(List(search)); ++row)
            if (search.m_lstResult.QvGetCheck(row)) kept.insert(RowID(search, row));
        EXPECT_EQ(kept, checked);

        Retype(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), CountNamed("Crivelli")) << "a kept row that matches is not listed twice";
        Click(dlg.m_hWnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    const auto& ids = popup.m_pSearchDlg->m_arCheckedIDs;
    EXPECT_EQ(std::set<long>(ids.begin(), ids.end()), checked);
    EXPECT_EQ(ids.size(), checked.size());
}

TEST_F(PersonSearch, ANewKeystrokeRestartsTheSearchWhileTheGuiKeepsAnswering) {
    // "Slow()" is 1 while the test holds the persons back (and counts its calls), else 0.
    static std::atomic<bool> slow{false};
    static std::atomic<long> slowCalls{0};
    slow = false;
    // "Passes(x)" is 1 for as many calls as armed, then fails; 1 always while not armed (-1).
    static std::atomic<int> passes{-1};
    passes = -1;
    // "Stuck()" keeps the first thread that calls it while armed inside the call, where no cancel
    // reaches it, until released; every other call is 1 at once.
    static std::mutex stuckLock;
    static std::condition_variable stuckChange;
    static bool armed = false, released = false;
    static std::thread::id stuckThread;
    static int stuckNow = 0;
    // "Paced(x)" lets as many rows through as armed, each after 30 ms, then holds the next until
    // disarmed (-1); 1 always.
    static int pacedLeft = -1;
    static bool pacedHeld = false;
    // "Held()" keeps every caller while holding, in the order they came, except the one let
    // through once; 1.
    static bool holding = false;
    static std::vector<std::thread::id> heldNow;
    static std::thread::id letThrough;
    {
        std::lock_guard g(stuckLock);
        armed = released = false;
        stuckThread = {};
        stuckNow = 0;
        pacedLeft = -1;
        pacedHeld = false;
        holding = false;
        heldNow.clear();
        letThrough = {};
    }
    qv::sql::RegisterConnectionInitializer("search-test-slow", [](sqlite3* handle) {
        sqlite3_create_function(handle, "Slow", 0, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    ++slowCalls;
                                    sqlite3_result_int(c, slow ? 1 : 0);
                                },
                                nullptr, nullptr);
        sqlite3_create_function(handle, "Passes", 1, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    if (passes == 0) return sqlite3_result_error(c, "no more rows", -1);
                                    if (passes > 0) --passes;
                                    sqlite3_result_int(c, 1);
                                },
                                nullptr, nullptr);
        sqlite3_create_function(handle, "Stuck", 0, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    std::unique_lock l(stuckLock);
                                    if (armed && stuckThread == std::thread::id()) stuckThread = std::this_thread::get_id();
                                    if (stuckThread == std::this_thread::get_id() && !released) {
                                        ++stuckNow;
                                        stuckChange.notify_all();
                                        stuckChange.wait(l, [] { return released; });
                                        --stuckNow;
                                        stuckChange.notify_all();
                                    }
                                    sqlite3_result_int(c, 1);
                                },
                                nullptr, nullptr);
        sqlite3_create_function(handle, "Paced", 1, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    std::unique_lock l(stuckLock);
                                    if (pacedLeft > 0) {
                                        --pacedLeft;
                                        l.unlock();
                                        std::this_thread::sleep_for(std::chrono::milliseconds(30));
                                    } else if (pacedLeft == 0) {
                                        pacedHeld = true;
                                        stuckChange.notify_all();
                                        stuckChange.wait(l, [] { return pacedLeft < 0; });
                                        pacedHeld = false;
                                    }
                                    sqlite3_result_int(c, 1);
                                },
                                nullptr, nullptr);
        sqlite3_create_function(handle, "Held", 0, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    std::unique_lock l(stuckLock);
                                    const auto self = std::this_thread::get_id();
                                    if (holding && letThrough != self) {
                                        heldNow.push_back(self);
                                        stuckChange.notify_all();
                                        stuckChange.wait(l, [&] { return !holding || letThrough == self; });
                                        heldNow.erase(std::find(heldNow.begin(), heldNow.end(), self));
                                    }
                                    if (letThrough == self) letThrough = {};
                                    stuckChange.notify_all();
                                    sqlite3_result_int(c, 1);
                                },
                                nullptr, nullptr);
    });
    // The popup's close, and a watch that lets a held statement go if the close waits for it.
    std::atomic<bool> closed{false}, waited{false};
    std::thread giveUp;
    auto stuck = [] {
        std::lock_guard g(stuckLock);
        return stuckNow;
    };
    auto release = [] {
        std::lock_guard g(stuckLock);
        released = true;
        pacedLeft = -1;
        holding = false;
        stuckChange.notify_all();
    };
    struct Release {
        std::function<void()> release;
        ~Release() { release(); }
    };
    CSearchPopupDlg popup(4, L"Restart", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        // However the script ends, the held statement goes on before the window closes.
        Release releaseAtEnd{release};
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        // The worker stands still inside the next search while the user goes on typing.
        options.Hold(L"PersonActive");
        Type(Edit(search), L"Fav");
        ASSERT_TRUE(WaitFor([&] { return options.Waiting() >= 1; }));
        Type(Edit(search), L"re");
        EXPECT_EQ(Text(Edit(search)), L"Favre") << "typing goes on while the worker runs";
        Click(search.m_hWnd, IDC_SEARCH_CASESENSITIVE);
        EXPECT_TRUE(Checked(Item(search.m_hWnd, IDC_SEARCH_CASESENSITIVE)));
        Click(search.m_hWnd, IDC_SEARCH_CASESENSITIVE);
        EXPECT_TRUE(search.IsSearching());
        EXPECT_TRUE(Contains(Text(dlg.m_hWnd), L"die Daten werden gesucht und angezeigt...")) << U(Text(dlg.m_hWnd));
        options.Unhold();
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), CountNamed("Favre"));
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen");
        // A search reads its statement's option once, before its worker takes the window.
        const int reads = options.Reads(L"PersonActive");
        Type(Edit(search), L" ");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(options.Reads(L"PersonActive"), reads + 1);

        // Typing while the rows of a long search arrive: only the rows of the last text remain.
        Retype(Edit(search), L"");
        ASSERT_TRUE(WaitFor([&] { return Rows(List(search)) > 0 && search.IsSearching(); }, 5000) ||
                    Rows(List(search)) > 0);
        Retype(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        const auto names = Column(List(search), 3);
        EXPECT_EQ(static_cast<long long>(names.size()), CountNamed("Crivelli"));
        for (const auto& name : names) EXPECT_TRUE(Contains(name, L"Crivelli")) << U(name);

        // The rows of a slow statement are shown as they are read, not all at its end: here one
        // that reads a row every 30 ms, then stands still.
        Retype(Edit(search), L"");
        ASSERT_TRUE(Settled(search));
        Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; CREATE VIEW Person AS "
            "SELECT p.* FROM PersonHeld p WHERE Paced(p.lPersonID)");
        {
            std::lock_guard g(stuckLock);
            pacedLeft = 6;
        }
        const HWND withCase = Item(search.m_hWnd, IDC_SEARCH_CASESENSITIVE);
        Click(withCase);
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard g(stuckLock);
            return pacedHeld;
        }, 30000)) << "the statement runs";
        EXPECT_TRUE(WaitFor([&] { return Rows(List(search)) >= 4; }, 5000)) << Rows(List(search)) << " rows shown";
        EXPECT_TRUE(search.IsSearching());
        {
            std::lock_guard g(stuckLock);
            pacedLeft = -1;
            stuckChange.notify_all();
        }
        ASSERT_TRUE(Settled(search));
        Sql("DROP VIEW Person; ALTER TABLE PersonHeld RENAME TO Person");
        Click(withCase);
        Retype(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));

        // A statement that fails is reported once, and the next keystroke searches again.
        Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Mandant RENAME TO MandantWeg");
        script.AllowReports(true);
        script.Log().Clear();
        Type(Edit(search), L"x");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report).size(), 1u);
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen") << "a failed search claims no further rows";
        Sql("ALTER TABLE MandantWeg RENAME TO Mandant");
        PressKey(Edit(search), VK_BACK);
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), CountNamed("Crivelli"));
        EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report).size(), 1u);
        // One that fails half-way keeps the rows read before it, and is reported once too.
        Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; CREATE VIEW Person AS "
            "SELECT p.* FROM PersonHeld p WHERE Passes(p.lPersonID)");
        passes = 30;
        script.Log().Clear();
        Retype(Edit(search), L"");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report).size(), 1u);
        EXPECT_GT(Rows(List(search)), 1);
        EXPECT_LE(Rows(List(search)), 30);
        passes = -1;
        Sql("DROP VIEW Person; ALTER TABLE PersonHeld RENAME TO Person");
        Retype(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));

        // A text of 10,000 words is searched as its two distinct words are.
        Sql("UPDATE Person SET strName = 'Qxzq' WHERE lPersonID = (SELECT min(lPersonID) FROM Person WHERE fActive = 1)");
        script.Log().Clear();
        std::wstring words;
        for (int i = 0; i < 10000; ++i) words += std::wstring(i ? L" " : L"") + (i % 2 ? L"zq" : L"qx");
        SetWindowTextW(Edit(search), words.c_str());
        ASSERT_TRUE(Settled(search, 60000));
        EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty());
        EXPECT_EQ(Text(Edit(search)), words);
        ASSERT_EQ(Rows(List(search)), 1);
        EXPECT_TRUE(Contains(Cell(List(search), 0, 3), L"Qxzq")) << U(Cell(List(search), 0, 3));

        // A statement still running when the text changes is ended at once, not waited for: here
        // one that would read no person until the test lets it.
        const long long crivelli = CountNamed("Crivelli");
        Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; CREATE VIEW Person AS "
            "SELECT p.* FROM PersonHeld p WHERE (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
            "WHERE Slow()) SELECT count(*) FROM n) > 0");
        qv::ClearTrace();
        slow = true;
        slowCalls = 0;
        Retype(Edit(search), L"Favre");
        ASSERT_TRUE(WaitFor([&] { return slowCalls > 0; }, 30000)) << "the statement runs";
        Retype(Edit(search), L"Crivelli");
        const bool interrupted = WaitFor(
            [&] {
                for (const auto& line : qv::TraceLines())
                    if (Contains(line, L"was interrupted for a newer one")) return true;
                return false;
            },
            30000);
        slow = false;
        EXPECT_TRUE(interrupted) << "the statement of the old text ran on";
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), crivelli);
        Sql("DROP VIEW Person; ALTER TABLE PersonHeld RENAME TO Person");
        auto shown = [&] {
            auto texts = Column(List(search), 3);
            std::sort(texts.begin(), texts.end());
            return texts;
        };
        const auto crivelliNames = shown();
        ASSERT_EQ(static_cast<long long>(crivelliNames.size()), crivelli);

        // A statement held where no cancel reaches it (inside a function of the database, as in
        // the preparing of a long text's statement) keeps no newer text waiting: that one's rows
        // come while the old statement is still held, and the old one's rows, once it goes on,
        // are never shown.
        Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; CREATE VIEW Person AS "
            "SELECT p.* FROM PersonHeld p WHERE Stuck()");
        {
            std::lock_guard g(stuckLock);
            armed = true;
        }
        Retype(Edit(search), L"Favre");
        ASSERT_TRUE(WaitFor([&] { return stuck() == 1; }, 30000)) << "the statement runs";
        Retype(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(stuck(), 1);
        EXPECT_EQ(shown(), crivelliNames);
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen");
        release();
        ASSERT_TRUE(WaitFor([&] { return stuck() == 0; }));
        EXPECT_FALSE(WaitFor([&] { return shown() != crivelliNames || search.IsSearching(); }, 1000))
            << "rows of the old text came after the new text's";
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen");
        Sql("DROP VIEW Person; ALTER TABLE PersonHeld RENAME TO Person");

        // With every worker held, the newest text goes to the worker of the text before it; the
        // cancel of that one ends only the search it was sent for, however it meets the worker's
        // going on: here first a cancel that lets the worker go on and waits a while for it to be
        // held in the newest text's statement, later one that comes only after that.
        Retype(Edit(search), L"");
        ASSERT_TRUE(Settled(search));
        Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; CREATE VIEW Person AS "
            "SELECT p.* FROM PersonHeld p WHERE (SELECT Held()) = 1");
        auto held = [] {
            std::lock_guard g(stuckLock);
            return heldNow.size();
        };
        // Lets the newest held worker go on; true when it is held again within the time.
        auto letNewestGoOn = [](std::unique_lock<std::mutex>& l, std::chrono::seconds within) {
            const std::size_t all = heldNow.size();
            letThrough = heldNow.back();
            stuckChange.notify_all();
            return stuckChange.wait_for(l, within,
                                        [&] { return letThrough == std::thread::id() && heldNow.size() == all; });
        };
        struct Cancels {
            std::atomic<int> interrupts{0};
            std::atomic<bool> late{false}, takenMeanwhile{false};
            bool go = false;  // under stuckLock
            std::atomic<bool> stalled{false}, stallDone{false};
        };
        auto cancels = std::make_shared<Cancels>();
        // Counted last: once the count is seen, the hook may go.
        CSearchDlg::beforeInterrupt = [cancels, letNewestGoOn] {
            if (cancels->late.exchange(false)) {
                std::unique_lock l(stuckLock);
                cancels->takenMeanwhile = letNewestGoOn(l, std::chrono::seconds(3));
            }
            ++cancels->interrupts;
        };
        Release noHookAfter{[] {
            if (CSearchDlg::beforeInterrupt) CSearchDlg::beforeInterrupt = {};
        }};
        {
            std::lock_guard g(stuckLock);
            holding = true;
        }
        script.Log().Clear();
        const std::wstring typed = L"Crivelli   ";
        constexpr std::size_t kWorkers = 8;
        for (std::size_t i = 0; i < kWorkers; ++i) {
            Type(Edit(search), typed.substr(i, 1));
            ASSERT_TRUE(WaitFor([&] { return held() == i + 1; }, 30000)) << "worker " << i + 1 << " is held";
        }
        // The cancels of the texts given up so far are made; then the next key.
        ASSERT_TRUE(WaitFor([&] { return cancels->interrupts == int(kWorkers) - 1; }, 30000)) << cancels->interrupts;
        cancels->late = true;
        Type(Edit(search), typed.substr(kWorkers, 1));
        ASSERT_TRUE(WaitFor([&] { return cancels->interrupts == int(kWorkers); }, 30000));
        ASSERT_TRUE(WaitFor([&] { return held() == kWorkers; }, 30000)) << "the newer text is searched";
        EXPECT_FALSE(cancels->takenMeanwhile) << "the worker took the newer search while the older one's cancel was under way";
        {
            std::unique_lock l(stuckLock);
            letThrough = heldNow.back();
            stuckChange.notify_all();
        }
        ASSERT_TRUE(Settled(search, 30000));
        EXPECT_EQ(Rows(List(search)), crivelli);
        EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty()) << "the newer search failed";
        Type(Edit(search), typed.substr(kWorkers + 1, 1));
        ASSERT_TRUE(WaitFor([&] { return held() == kWorkers; }, 30000)) << "the next text is searched";
        // The cancels' sender, busy until the worker has gone on to the last key's search.
        CLeftWorkers::Cancel(
            [cancels, letNewestGoOn] {
                std::unique_lock l(stuckLock);
                if (stuckChange.wait_for(l, std::chrono::seconds(30), [&] { return cancels->go; }))
                    cancels->stalled = letNewestGoOn(l, std::chrono::seconds(30));
                cancels->stallDone = true;
            },
            nullptr);
        Type(Edit(search), typed.substr(kWorkers + 2));
        {
            std::lock_guard g(stuckLock);
            cancels->go = true;
            stuckChange.notify_all();
        }
        ASSERT_TRUE(WaitFor([&] { return cancels->stallDone.load(); }, 60000));
        EXPECT_TRUE(cancels->stalled) << "the worker went on to the last key's search";
        {
            std::lock_guard g(stuckLock);
            holding = false;
            stuckChange.notify_all();
        }
        ASSERT_TRUE(Settled(search, 30000));
        // The later searches' cancels find no hook.
        CSearchDlg::beforeInterrupt = {};
        EXPECT_EQ(cancels->interrupts, int(kWorkers)) << "a cancel that came late ended the search after its own";
        EXPECT_EQ(Rows(List(search)), crivelli);
        EXPECT_TRUE(script.Log().Records(qv::InteractionKind::Report).empty()) << "the newer search failed";
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen");
        Sql("DROP VIEW Person; ALTER TABLE PersonHeld RENAME TO Person");

        // Closed while a statement runs, the window ends it instead of waiting for it: here one
        // that would run until the test gave up on the window.
        Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Person RENAME TO PersonHeld; CREATE VIEW Person AS "
            "SELECT p.* FROM PersonHeld p WHERE (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
            "WHERE Slow()) SELECT count(*) FROM n) > 0");
        slow = true;
        slowCalls = 0;
        Retype(Edit(search), L"Favre");
        ASSERT_TRUE(WaitFor([&] { return slowCalls > 0; }, 30000)) << "the statement runs";
        giveUp = std::thread([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!closed && std::chrono::steady_clock::now() - start < std::chrono::seconds(15))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            waited = !closed;
            slow = false;
        });
    });
    closed = true;
    if (giveUp.joinable()) giveUp.join();
    EXPECT_FALSE(waited) << "the window waited for its statement";
    slow = false;

    // Closed while its worker is held where no cancel reaches it (as in the preparing of a long
    // paste's statement), the window does not wait either: the worker, once let go, ends by
    // itself and touches nothing of the window that went.
    Sql("DROP VIEW Person; CREATE VIEW Person AS SELECT p.* FROM PersonHeld p WHERE Stuck()");
    {
        std::lock_guard g(stuckLock);
        released = false;
        stuckThread = {};
    }
    closed = waited = false;
    CSearchPopupDlg held(4, L"Restart", -1, 0);
    bool turnTaken = false;
    RunPopup(held, [&](CSearchPopupDlg& dlg) {
        ASSERT_TRUE(WaitFor([&] { return stuck() == 1; }, 30000)) << "the statement runs";
        giveUp = std::thread([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!closed && std::chrono::steady_clock::now() - start < std::chrono::seconds(15))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            waited = !closed;
            if (waited) release();
        });
        // Not even for a moment: the close takes none of the window's messages.
        QTimer::singleShot(0, [&] { turnTaken = true; });
        dlg.m_pSearchDlg->DestroyWindow();
        closed = true;
        EXPECT_FALSE(turnTaken) << "the close waited for its worker while taking the window's messages";
    });
    closed = true;
    if (giveUp.joinable()) giveUp.join();
    EXPECT_FALSE(waited) << "the window waited for its held worker";
    EXPECT_EQ(stuck(), 1);
    release();
    CSearchDlg::WaitForLeftWorkers();
    EXPECT_EQ(stuck(), 0);
    Sql("DROP VIEW Person; ALTER TABLE PersonHeld RENAME TO Person");

    // Nor while its worker reads an option of the next statement (held here, as behind a lock).
    closed = waited = false;
    CSearchPopupDlg reading(4, L"Restart", -1, 0);
    RunPopup(reading, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        options.Hold(L"PersonActive");
        Type(Edit(search), L"Fav");
        ASSERT_TRUE(WaitFor([&] { return options.Waiting() >= 1; }));
        giveUp = std::thread([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!closed && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            waited = !closed;
            if (waited) options.Unhold();
        });
        dlg.m_pSearchDlg->DestroyWindow();
        closed = true;
    });
    closed = true;
    if (giveUp.joinable()) giveUp.join();
    EXPECT_FALSE(waited) << "the window waited for its worker's option read";
    EXPECT_GE(options.Waiting(), 1) << "the read was held all along";
    options.Unhold();
    CSearchDlg::WaitForLeftWorkers();
}

TEST_F(PersonSearch, TheLimitCutsTheResultAndSaysSo) {
    options.Set(-4000, L"MaxSearchResults", 50);
    CSearchPopupDlg popup(4, L"Limit", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 50);
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen, weitere Daten sind vorhanden!");
        Type(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), CountNamed("Crivelli"));
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen");
    });
    // Exactly as many matches as the limit: all are shown, and nothing more is said to exist.
    options.Set(-4000, L"MaxSearchResults", long(CountNamed("Crivelli")));
    CSearchPopupDlg exact(4, L"Limit", -1, 0);
    RunPopup(exact, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        Type(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), CountNamed("Crivelli"));
        EXPECT_EQ(Text(dlg.m_hWnd), L"Person suchen");
    });
}

TEST_F(PersonSearch, ApostrophesHiddenColumnsAndTheActiveOptionShapeTheStatement) {
    Sql("UPDATE Person SET strName = 'O''Brien' WHERE lPersonID = (SELECT min(lPersonID) FROM Person WHERE fActive = 1)");
    const std::string personNr =
        Query("SELECT strPersonNr FROM Person WHERE strPersonNr <> '' AND fActive = 1 LIMIT 1").front();
    CSearchPopupDlg popup(4, L"Statement", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        Type(Edit(search), L"O'Brien");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 1);
        EXPECT_TRUE(RowSelected(List(search), 0)) << "a single row found is selected";

        Retype(Edit(search), qv::FromUtf8(personNr));
        ASSERT_TRUE(Settled(search));
        EXPECT_GE(Rows(List(search)), 1) << "the personnel number is searched while its column is shown";
        ResizeColumn(List(search), 0, 0);
        Retype(Edit(search), qv::FromUtf8(personNr));
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 0) << "a hidden column is not searched";

        // Inactive persons are listed in grey unless the option leaves them out.
        Retype(Edit(search), L"");
        ASSERT_TRUE(Settled(search));
        int grey = 0;
        for (int row = 0; row < Rows(List(search)); ++row) grey += CellTextColor(List(search), row, 0) == 0x808080;
        EXPECT_EQ(grey, Int("SELECT count(*) FROM Person WHERE fActive = 0"));
        options.Set(-4000, L"PersonActive", 1);
        Retype(Edit(search), L" ");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), Int("SELECT count(*) FROM Person WHERE fActive = 1"));
    });
}

TEST_F(PersonSearch, EachCallerKeepsItsLastSearchText) {
    options.Set(-4000, L"RestoreLastSearchtext", 1);
    // The first also searches with case, which is kept for it too.
    for (const wchar_t* name : {L"KursInstruktor", L"KursTeilnehmer"}) {
        CSearchPopupDlg popup(4, name, -1, 0);
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            Type(Edit(*dlg.m_pSearchDlg), name);
            if (name != std::wstring(L"KursInstruktor")) return;
            Click(dlg.m_pSearchDlg->m_hWnd, IDC_SEARCH_CASESENSITIVE);
            ResizeColumn(List(*dlg.m_pSearchDlg), 3, 222);
        });
    }
    DWORD stored = 0;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\Common\\SearchPersonList_PopupKursInstruktor", L"CaseSensitiv", stored);
    EXPECT_EQ(stored, 1u) << "the option is stored as the flag the suite's searches share";
    CSearchPopupDlg again(4, L"KursInstruktor", -1, 0);
    RunPopup(again, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        EXPECT_EQ(Text(Edit(search)), L"KursInstruktor");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 0) << "the restored text is searched at once";
        const HWND withCase = Item(search.m_hWnd, IDC_SEARCH_CASESENSITIVE);
        EXPECT_TRUE(Checked(withCase));
        EXPECT_EQ(search.m_lstResult.GetColumnWidth(3), 222) << "and its widths";
        Retype(Edit(search), L"CRIVELLI");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 0) << "searched with case";
        Click(withCase);
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), CountNamed("Crivelli"));
    });
    CSearchPopupDlg other(4, L"KursTeilnehmer", -1, 0);
    const std::size_t trims = QvFreeHeapReleases(true);
    RunPopup(other, [&](CSearchPopupDlg& dlg) {
        EXPECT_EQ(Text(Edit(*dlg.m_pSearchDlg)), L"KursTeilnehmer");
        EXPECT_FALSE(Checked(Item(dlg.m_pSearchDlg->m_hWnd, IDC_SEARCH_CASESENSITIVE)));
        EXPECT_NE(dlg.m_pSearchDlg->m_lstResult.GetColumnWidth(3), 222);
    });
    // What its workers' statements held goes back to the system, once.
    EXPECT_TRUE(WaitFor([&] { return QvFreeHeapReleases() > trims; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(QvFreeHeapReleases(true), trims + 1);
}

TEST_F(PersonSearch, ThePopupWithRowsIsDrawn) {
    options.Set(-1000, L"ColorFemale", 0x0000C0);
    HoldAWhile(L"ColorFemale");
    CSearchPopupDlg popup(4, L"Screen", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        // The rows of the first search already have the women's colour.
        ASSERT_TRUE(Settled(search));
        int women = 0;
        for (int row = 0; row < Rows(List(search)); ++row) women += CellTextColor(List(search), row, 3) == 0x0000C0;
        EXPECT_EQ(women, Int("SELECT count(*) FROM Person WHERE fWeiblich = 1"));
        ResizeWindow(dlg.m_hWnd, 900, 480);
        Type(Edit(search), L"Crivelli");
        ASSERT_TRUE(Settled(search));
        for (int row = 0; row < Rows(List(search)); ++row) {
            const long id = RowID(search, row);
            const bool woman = Int("SELECT fWeiblich FROM Person WHERE lPersonID = " + std::to_string(id)) == 1;
            EXPECT_EQ(CellTextColor(List(search), row, 3), woman ? COLORREF(0x0000C0) : CellTextColor(List(search), row, 0))
                << id;
        }
        Pump();
        Screenshot(dlg.m_hWnd, "search_popup_person");
    });
}

TEST_F(PersonSearch, KeysAndButtonsOfTheSearchActOnItsPopup) {
    std::vector<std::wstring> topics;
    qv::SetHelpHandler([&](const CString& topic) {
        topics.push_back(topic.GetString());
        return true;
    });
    std::vector<long> filtered;
    qv::nq::SetFilterDlgHandler([&](long table) {
        filtered.push_back(table);
        return 1L;
    });
    CSearchPopupDlg popup(4, L"Keys", -1, 0);
    const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        // The popup opens ready for typing: the first key goes into the search text.
        ASSERT_TRUE(Activated(dlg));
        EXPECT_TRUE(HasFocus(Edit(search)));
        PressKey(nullptr, 'C');
        EXPECT_EQ(Text(Edit(search)), L"c");
        Type(Edit(search), L"rivelli");
        ASSERT_TRUE(Settled(search));
        PressKey(Edit(search), VK_F1);
        EXPECT_EQ(topics, std::vector<std::wstring>{L"HELP_GENERAL_SEARCH"}) << "F1 in the search shows the popup's help";

        // Changed filter options search again.
        const int rows = Rows(List(search));
        search.m_lstResult.DeleteAllItems();
        Click(search.m_hWnd, IDC_SEARCH_FILTER);
        EXPECT_EQ(filtered, std::vector<long>{4});
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), rows);
        EXPECT_TRUE(HasFocus(Edit(search)));

        // Enter in the search edit closes the popup with the selected row.
        PressKey(Edit(search), VK_RETURN);
    });
    qv::SetHelpHandler(nullptr);
    ASSERT_EQ(result, IDOK);
    EXPECT_EQ(popup.GetResultIDs()->size(), 1u);
}

TEST(LeftWorkers, TheEndKeepsItsBoundWhileACancelHangsAndSendsEachCancelAgainTwiceASecond) {
    // A worker that no cancel ends, whose first cancel hangs (as one to a server that does not
    // answer) until the test lets it go, 5 s at most.
    static std::atomic<bool> stop{false};
    stop = false;
    CWinThread* thread = AfxBeginThread(
        [](LPVOID) -> UINT {
            while (!stop) Sleep(5);
            return 0;
        },
        nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    std::mutex lock;
    std::condition_variable change;
    bool hanging = false, let = false;
    std::atomic<int> cancels{0};
    const auto left = std::chrono::steady_clock::now();
    CLeftWorkers::Leave(thread, [&] {
        if (++cancels > 1) return;
        std::unique_lock l(lock);
        hanging = true;
        change.notify_all();
        change.wait_for(l, std::chrono::seconds(5), [&] { return let; });
    });
    EXPECT_LT(std::chrono::steady_clock::now() - left, std::chrono::seconds(1)) << "the cancel was sent by the one who left";
    {
        std::unique_lock l(lock);
        ASSERT_TRUE(change.wait_for(l, std::chrono::seconds(10), [&] { return hanging; }));
    }
    const auto end = std::chrono::steady_clock::now();
    EXPECT_FALSE(CLeftWorkers::End(800));
    EXPECT_LT(std::chrono::steady_clock::now() - end, std::chrono::seconds(3)) << "the end waited for the hanging cancel";
    {
        std::lock_guard g(lock);
        let = true;
    }
    change.notify_all();
    // Once sent, a cancel is sent again at the end, every half second while the worker runs.
    EXPECT_FALSE(CLeftWorkers::End(1300));
    EXPECT_GE(cancels.load(), 3);
    stop = true;
    EXPECT_TRUE(CLeftWorkers::End(INFINITE));
    EXPECT_EQ(CLeftWorkers::Count(), 0u);
}
