// The searches of activities, agenda, material, devices, maintenance plans, groups, documents,
// accountings and work plans, each opened in the search popup over the demo database: columns,
// rows found by a typed term and the way rows are drawn; the date and state filters of activities
// and agenda entries, the rights on groups, and the grouping of documents under their type.
#include "searchtest.h"

#include "searchdlg.h"
#include "extensions.h"
#include "nqsearchcalls.h"
#include "qvregvalue.h"
#include "searchperipheryres.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "utf.h"
#include "wnd.h"

#include <QApplication>
#include <QMetaObject>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

using namespace qv::ui::test;
using searchtest::SearchTest;
using searchtest::U;

namespace {

constexpr COLORREF kYellow = 0xC8FFFF;
constexpr COLORREF kForeign = 0x00A000;

int Image(CSearchDlg& search, int row) {
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = row;
    search.m_lstResult.GetItem(&it);
    return it.iImage;
}

long Param(CSearchDlg& search, int row) {
    long value = -99;
    if (CQvListItem* item = search.m_lstResult.QvGetVisibleListItem(row)) item->GetParam(0, &value);
    return value;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

class Periphery : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
        options.Set(-4000, L"MaxSearchResults", 0);
        options.Set(-1030, L"ColorForeign", long(kForeign));
        // Dates far enough back that the demo's rows are all in.
        options.Set(-4000, L"AgendaDate", L"2000-01-01 00:00:00");
        options.Set(-4000, L"ArbeitsplanDate", L"2000-01-01 00:00:00");
    }

    // Opens the search of a table in the popup, waits for its first search, types the term and
    // hands the settled search to the check.
    void WithSearch(long table, const std::wstring& term, const std::function<void(CSearchDlg&)>& check) {
        CSearchPopupDlg popup(table, L"Test", -1, 0);
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            ASSERT_NE(dlg.m_pSearchDlg, nullptr) << table;
            CSearchDlg& search = *dlg.m_pSearchDlg;
            ASSERT_TRUE(Settled(search));
            if (!term.empty()) {
                Type(Edit(search), term);
                ASSERT_TRUE(Settled(search));
            }
            check(search);
        });
    }

    std::vector<std::string> Texts(CSearchDlg& search, int column) {
        std::vector<std::string> texts;
        for (const std::wstring& t : Column(List(search), column)) texts.push_back(U(t));
        return texts;
    }

    std::vector<std::string> Ids(CSearchDlg& search) {
        std::vector<std::string> ids;
        for (int row = 0; row < Rows(List(search)); ++row) ids.push_back(std::to_string(Param(search, row)));
        return ids;
    }
};

// Rows are checked for the texts of one column; `rows` is SQL on the demo database giving the
// texts that column must show, neither more nor fewer.
struct VariantCase {
    const char* name;
    long table;
    const wchar_t* term;
    std::vector<std::wstring> headers;
    int column;
    std::string rows;
    std::function<void(CSearchDlg&)> more;
};

int RowOf(CSearchDlg& search, int column, const std::wstring& text) {
    for (int row = 0; row < Rows(search.m_lstResult.m_hWnd); ++row)
        if (Cell(search.m_lstResult.m_hWnd, row, column) == text) return row;
    return -1;
}

}  // namespace

TEST_F(Periphery, EveryVariantShowsItsColumnsAndFindsItsRows) {
    // A custom field of the maintenance plans that takes part in the search.
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, fUsed4Search) VALUES (9054, 54, 'Aufsicht', 1)");
    Sql("INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) SELECT 9054, lWartungsplanID, 'Feuerschau' FROM "
        "Wartungsplan WHERE strBezeichnung = 'Hydrantenkontrolle'");
    // And one each of an activity, an agenda entry and a work plan.
    for (const auto& [table, row] : {std::pair{"6", "lEinsatzID FROM Einsatz WHERE strEreignis LIKE 'Wasserschaden%'"},
                                     {"7", "lAgendaID FROM Agenda WHERE strBezeichnung LIKE 'Hauptübung%'"},
                                     {"149", "lArbeitsplanID FROM Arbeitsplan WHERE strBezeichnung LIKE 'Pikett%'"}}) {
        Sql(std::string("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, fUsed4Search) VALUES (9") +
            table + ", " + table + ", 'Anlass', 1)");
        Sql(std::string("INSERT INTO CustFieldValue (lCFTypeID, strValue, lID) SELECT 9") + table + ", 'Sonderanlass', " +
            row + " LIMIT 1");
    }
    const std::vector<VariantCase> cases = {
        {"einsatz", 6, L"Wasserschaden",
         {L"Status", L"Aktivitätsnummer", L"Bezeichnung", L"Aktivitätsart", L"Datum", L"Objekt/Ort", L"Eigene Daten",
          L"Mandant"},
         2, "SELECT strEreignis FROM Einsatz WHERE strEreignis LIKE 'Wasserschaden%'",
         [this](CSearchDlg& s) {
             // A place without address: the object, then the place, one separator between.
             const auto places = Query("SELECT o.strPLZOrt FROM Einsatz e JOIN view_Ort o ON o.lOrtID = e.lOrtID "
                                         "WHERE strEreignis LIKE 'Wasserschaden%' ORDER BY strEreignis");
             const auto names = Sorted(Texts(s, 2));
             for (std::size_t i = 0; i < names.size(); ++i) {
                 const int row = RowOf(s, 2, qv::FromUtf8(names[i]));
                 EXPECT_EQ(U(Cell(List(s), row, 5)), "Mehrfamilienhaus, " + places[i]);
                 EXPECT_EQ(Cell(List(s), row, 0), L"In Bearbeitung");
                 EXPECT_EQ(Image(s, row), 1);
                 EXPECT_EQ(Cell(List(s), row, 3), L"Brandeinsatz");
             }
         }},
        {"agenda", 7, L"Hauptübung",
         {L"Status", L"Bezeichnung", L"Aktivitätsart", L"Datum", L"Objekt/Ort", L"Lektionsart", L"Ausbildungsstufe",
          L"Eigene Daten", L"Mandant"},
         1, "SELECT strBezeichnung FROM Agenda WHERE strBezeichnung LIKE 'Hauptübung%'",
         [this](CSearchDlg& s) {
             // These entries already have their activity.
             for (int row = 0; row < Rows(List(s)); ++row) {
                 EXPECT_EQ(CellBackColor(List(s), row, 1), kYellow);
                 EXPECT_EQ(Cell(List(s), row, 6), L"Weiterbildung");
                 EXPECT_EQ(Image(s, row), 4);
             }
         }},
        {"agenda_plain", 7, L"Maschinistenübung", {}, 1,
         "SELECT strBezeichnung FROM Agenda WHERE strBezeichnung LIKE 'Maschinistenübung%'",
         [this](CSearchDlg& s) {
             for (int row = 0; row < Rows(List(s)); ++row) {
                 EXPECT_NE(CellBackColor(List(s), row, 1), kYellow);
                 // The latest of its two states.
                 EXPECT_EQ(Cell(List(s), row, 0), L"Erfasst");
                 EXPECT_EQ(Cell(List(s), row, 4), L"") << "no object, no address, no place";
             }
         }},
        {"artikel", 20, L"Pressluftatmer",
         {L"Artikelart", L"Kurzbezeichnung", L"Bezeichnung", L"Artikelnummer", L"Seriennummer", L"Identifikation",
          L"Bestellnummer", L"Standort", L"Spezifikation", L"akt. Menge", L"Status", L"Eigene Daten", L"Mandant"},
         4, "SELECT strSerienNr FROM Artikel WHERE strBezeichnung = 'Pressluftatmer'",
         [this](CSearchDlg& s) {
             for (int row = 0; row < Rows(List(s)); ++row) {
                 EXPECT_EQ(Cell(List(s), row, 0), L"Atemschutzgerät");
                 EXPECT_EQ(Cell(List(s), row, 10), L"In Reparatur");
                 EXPECT_EQ(Image(s, row), 115);
                 EXPECT_EQ(CellTextColor(List(s), row, 2), COLORREF(0));
             }
             // A word of another shown column finds the article too: its serial number.
             ASSERT_GT(Rows(List(s)), 0);
             const std::wstring serial = Cell(List(s), 0, 4);
             Retype(Edit(s), serial);
             ASSERT_TRUE(Settled(s));
             EXPECT_GE(RowOf(s, 4, serial), 0) << U(serial);
         }},
        {"artikel_material", 20, L"Schlauch", {}, 4, "SELECT '-' FROM Artikel WHERE strBezeichnung LIKE 'Schlauch%'",
         [this](CSearchDlg& s) {
             // Material has no serial number shown even though the demo gives it one.
             for (int row = 0; row < Rows(List(s)); ++row) EXPECT_EQ(Image(s, row), 50);
         }},
        {"artikel_funk", 20, L"Handfunkgerät", {}, 4,
         "SELECT strSerienNr FROM Artikel WHERE strBezeichnung = 'Handfunkgerät'", nullptr},
        {"artikel_every_word", 20, L"Motorspritze Hubretter", {}, 2, "SELECT 'x' WHERE 0", nullptr},
        {"artikel_colours", 20, L"", {}, 2, "SELECT strBezeichnung FROM Artikel",
         [this](CSearchDlg& s) {
             const int foreign = RowOf(s, 2, L"Hubretter der Stützpunktfeuerwehr");
             const int inactive = RowOf(s, 2, L"Motorspritze alt");
             ASSERT_GE(foreign, 0);
             ASSERT_GE(inactive, 0);
             EXPECT_EQ(CellTextColor(List(s), foreign, 2), kForeign);
             EXPECT_EQ(CellTextColor(List(s), inactive, 2), COLORREF(0x808080));
         }},
        {"device", 57, L"4711",
         {L"Typ", L"Gerät", L"Rufnummer/Adresse", L"Person", L"Status", L"Eigene Daten", L"Mandant"},
         2, "SELECT strNr FROM Devicenumber WHERE strNr LIKE '4711-%'",
         [this](CSearchDlg& s) {
             for (int row = 0; row < Rows(List(s)); ++row) {
                 EXPECT_EQ(Cell(List(s), row, 0), L"Funk");
                 EXPECT_EQ(Image(s, row), 4);
                 EXPECT_FALSE(Cell(List(s), row, 3).empty()) << "the commander carries it";
                 EXPECT_EQ(U(Cell(List(s), row, 3)),
                           Query("SELECT fn_GetPersonBezeichnung(lPersonID, 'A') FROM Device WHERE lDeviceID = " +
                                 std::to_string(Param(s, row)))
                               .at(0));
             }
         }},
        {"device_spare", 57, L"4799", {}, 2, "SELECT 'x' WHERE 0", nullptr},
        {"device_name", 57, L"Pikettgruppe", {}, 1, "SELECT strBezeichnung FROM Device WHERE strBezeichnung LIKE 'Pager%'",
         nullptr},
        {"wartungsplan", 54, L"Hydranten",
         {L"Bezeichnung", L"Bemerkung", L"Wartungszyklus", L"Eigene Daten", L"Mandant"},
         0, "SELECT strBezeichnung FROM Wartungsplan WHERE strBezeichnung = 'Hydrantenkontrolle'",
         [this](CSearchDlg& s) {
             for (int row = 0; row < Rows(List(s)); ++row) EXPECT_EQ(Cell(List(s), row, 2), L"alle 6 Monate");
             EXPECT_FALSE(Enabled(Item(s.m_hWnd, IDC_SEARCH_FILTER)));
         }},
        {"einsatz_own_data", 6, L"Sonderanlass", {}, 2,
         "SELECT strEreignis FROM Einsatz WHERE lEinsatzID IN (SELECT lID FROM CustFieldValue WHERE lCFTypeID = 96)", nullptr},
        {"agenda_own_data", 7, L"Sonderanlass", {}, 1,
         "SELECT strBezeichnung FROM Agenda WHERE lAgendaID IN (SELECT lID FROM CustFieldValue WHERE lCFTypeID = 97)",
         nullptr},
        {"arbeitsplan_own_data", 149, L"Sonderanlass", {}, 1,
         "SELECT strBezeichnung FROM Arbeitsplan WHERE lArbeitsplanID IN (SELECT lID FROM CustFieldValue WHERE "
         "lCFTypeID = 9149)", nullptr},
        {"wartungsplan_own_data", 54, L"Feuerschau", {}, 0,
         "SELECT strBezeichnung FROM Wartungsplan WHERE strBezeichnung = 'Hydrantenkontrolle'", nullptr},
        {"wartungsplan_foreign", 54, L"Expertise", {}, 0,
         "SELECT strBezeichnung FROM Wartungsplan WHERE strBezeichnung = 'Hubretter Expertise'",
         [this](CSearchDlg& s) {
             for (int row = 0; row < Rows(List(s)); ++row) {
                 EXPECT_EQ(CellTextColor(List(s), row, 0), kForeign);
                 EXPECT_EQ(Cell(List(s), row, 2), L"alle 2 Jahre");
             }
         }},
        {"gruppe", 33, L"Atemschutz", {L"Gruppe", L"Mandant"}, 0,
         "SELECT strBezeichnung FROM Gruppe WHERE strBezeichnung LIKE 'Atemschutz%'",
         [this](CSearchDlg& s) { EXPECT_TRUE(Enabled(Item(s.m_hWnd, IDC_SEARCH_FILTER))); }},
        {"dokument", 70, L"Kommandositzung", {L"Dokumentart", L"Bezeichnung", L"Visum", L"Überschrift"}, 1,
         "SELECT '' UNION ALL SELECT strBezeichnung FROM Dokument WHERE strBezeichnung LIKE '%Kommandositzung%'", nullptr},
        {"abrechnung", 122, L"Soldabrechnung", {L"Bezeichnung", L"Bemerkung", L"Datum", L"Zahlungsgrund", L"AHV"}, 0,
         "SELECT strBezeichnung FROM Abrechnung WHERE strBezeichnung LIKE 'Soldabrechnung%'",
         [this](CSearchDlg& s) {
             for (int row = 0; row < Rows(List(s)); ++row) {
                 EXPECT_EQ(Cell(List(s), row, 4), L"AHV");
                 EXPECT_EQ(CellBackColor(List(s), row, 0), kYellow);
                 const bool stale = Cell(List(s), row, 0).find(L"Halbjahr") != std::wstring::npos;
                 EXPECT_EQ(CellTextColor(List(s), row, 0) == COLORREF(0x0000FF), stale);
             }
         }},
        {"abrechnung_ahv", 122, L"AHV", {}, 0, "SELECT strBezeichnung FROM Abrechnung WHERE fAHVAbrechnung = 1", nullptr},
        {"arbeitsplan", 149, L"Pikett",
         {L"Arbeitsplannummer", L"Bezeichnung", L"Arbeitsgruppe", L"Datum", L"Eigene Daten", L"Mandant"}, 1,
         "SELECT strBezeichnung FROM Arbeitsplan WHERE strBezeichnung LIKE 'Pikett%'",
         [this](CSearchDlg& s) {
             for (int row = 0; row < Rows(List(s)); ++row) {
                 const bool ofActivity = Cell(List(s), row, 1).find(L"Hauptübung") != std::wstring::npos;
                 EXPECT_EQ(CellBackColor(List(s), row, 1) == kYellow, ofActivity) << U(Cell(List(s), row, 1));
             }
         }},
        {"arbeitsplan_time", 149, L"07:30:00", {}, 1, "SELECT strBezeichnung FROM Arbeitsplan", nullptr},
    };

    // The plans' first search has the colour of foreign plans.
    HoldAWhile(L"ColorForeign");
    WithSearch(54, L"", [&](CSearchDlg& search) {
        for (int row = 0; row < Rows(List(search)); ++row)
            EXPECT_EQ(CellTextColor(List(search), row, 0) == kForeign, Cell(List(search), row, 0) == L"Hubretter Expertise");
    });
    for (const VariantCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto expected = Sorted(Query(c.rows));
        WithSearch(c.table, c.term, [&](CSearchDlg& search) {
            for (std::size_t i = 0; i < c.headers.size(); ++i) EXPECT_EQ(Header(List(search), int(i)), c.headers[i]) << i;
            if (!c.headers.empty()) {
                EXPECT_EQ(Columns(List(search)), int(c.headers.size()));
                Screenshot(search.GetParent()->m_hWnd, std::string("search_") + c.name);
                // The filter options asked for are those of the searched table.
                std::vector<long> asked;
                qv::nq::SetFilterDlgHandler([&](long table) {
                    asked.push_back(table);
                    return 0L;
                });
                if (Enabled(Item(search.m_hWnd, IDC_SEARCH_FILTER))) {
                    Click(search.m_hWnd, IDC_SEARCH_FILTER);
                    EXPECT_EQ(asked, std::vector<long>{c.table});
                }
                qv::nq::SetFilterDlgHandler(nullptr);
            }
            EXPECT_EQ(Sorted(Texts(search, c.column)), expected);
            // Every row names its Mandant in the last column.
            if (!c.headers.empty() && c.headers.back() == L"Mandant")
                for (const std::string& mandant : Texts(search, int(c.headers.size()) - 1))
                    EXPECT_EQ(Int("SELECT count(*) FROM Mandant WHERE strMandantName = '" + mandant + "'"), 1) << mandant;
            if (c.more) c.more(search);
        });
    }
}

// Reports shown as the program shows them, by the GUI thread, which a report of another thread
// waits for: here at most 5 s, after which it counts as a wait that would never have ended.
class GuiThreadReports : public qv::IInteraction {
public:
    explicit GuiThreadReports(qv::IInteraction& inner) : inner_(inner) {}
    int ShowMessageBox(const qv::MessageBoxRequest& r) override { return inner_.ShowMessageBox(r); }
    void ShowReport(const qv::ReportRequest& r) override {
        if (qv::ui::IsGuiThread()) return inner_.ShowReport(r);
        auto shown = std::make_shared<std::atomic<bool>>(false);
        QMetaObject::invokeMethod(qApp, [this, r, shown] {
            inner_.ShowReport(r);
            *shown = true;
        }, Qt::QueuedConnection);
        for (int i = 0; i < 500 && !*shown; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!*shown) ++unanswered;
    }
    int ShowSelection(const qv::SelectionRequest& r) override { return inner_.ShowSelection(r); }
    void OpenWait(qv::WaitWindow& w) override { inner_.OpenWait(w); }
    void UpdateWait(qv::WaitWindow& w) override { inner_.UpdateWait(w); }
    void CloseWait(qv::WaitWindow& w) override { inner_.CloseWait(w); }
    INT_PTR RunModal(qv::IModalDialog& d) override { return inner_.RunModal(d); }
    std::atomic<int> unanswered{0};

private:
    qv::IInteraction& inner_;
};

TEST_F(Periphery, ADeviceSearchClosedWhileARowsPersonCannotBeNamedEndsWithoutAskingTheGuiThread) {
    // The person's name of the database: while armed, its first call stands still until 300 ms
    // after the close began, then fails, as on a server that went away.
    static std::mutex lock;
    static std::condition_variable change;
    static bool armed = false, holding = false, failNow = false;
    qv::sql::RegisterConnectionInitializer("periphery-failing-person", [](sqlite3* h) {
        sqlite3_create_function(h, "fn_GetPersonBezeichnung", 2, SQLITE_UTF8, nullptr,
                                [](sqlite3_context* c, int, sqlite3_value**) {
                                    std::unique_lock l(lock);
                                    if (!armed) return sqlite3_result_text(c, "Person", -1, SQLITE_STATIC);
                                    armed = false;
                                    holding = true;
                                    change.notify_all();
                                    change.wait(l, [] { return failNow; });
                                    holding = false;
                                    sqlite3_result_error(c, "the server went away", -1);
                                },
                                nullptr, nullptr);
    });
    GuiThreadReports reports(script);
    qv::ScopedInteraction throughTheGuiThread(&reports);
    script.AllowReports(true);
    std::thread failing;
    CSearchPopupDlg popup(57, L"Test", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        {
            std::lock_guard g(lock);
            armed = true;
        }
        Type(Edit(search), L"4711");
        ASSERT_TRUE(WaitFor([&] {
            std::lock_guard g(lock);
            return holding;
        }, 30000)) << "a row's person is named";
        failing = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::lock_guard g(lock);
            failNow = true;
            change.notify_all();
        });
        dlg.m_pSearchDlg->DestroyWindow();
    });
    failing.join();
    CSearchDlg::WaitForLeftWorkers();
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(reports.unanswered, 0) << "the worker asked the GUI thread for a box while it held the window";
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u) << "a failure was shown after its window went";
}

TEST_F(Periphery, ActivityAndAgendaFollowTheirDateAndStateFilters) {
    // One agenda entry from yesterday and one from tomorrow, whatever day the test runs on.
    Sql("INSERT INTO Agenda (lAgendaID, lMandantID, lEinsatzartID, dtAktivitaet, strBezeichnung) "
        "SELECT 9001, lMandantID, 2, datetime('now', 'localtime', '-1 day'), 'Gestern' FROM Mandant LIMIT 1");
    Sql("INSERT INTO Agenda (lAgendaID, lMandantID, lEinsatzartID, dtAktivitaet, strBezeichnung) "
        "SELECT 9002, lMandantID, 2, datetime('now', 'localtime', '+1 day'), 'Morgen' FROM Mandant LIMIT 1");
    Sql("INSERT INTO Agendastatus (lAgendaID, lStatus, lOrder) VALUES (9001, 0, 1), (9002, 0, 1), (9002, 6, 2)");
    // Work plans from yesterday and from tomorrow.
    for (const char* day : {"-1 day", "+1 day"})
        Sql(std::string("INSERT INTO Arbeitsplan (lMandantID, lFormationID, dtStart, dtEnde, strBezeichnung) SELECT "
                        "lMandantID, lFormationID, datetime('now', 'localtime', '") + day +
            "'), datetime('now', 'localtime', '+2 days'), 'Tagesplan' FROM Arbeitsplan LIMIT 1");
    // The last state, 6, is a state like the others.
    Sql("INSERT INTO Einsatzstatus (lEinsatzID, lStatus, lOrder) VALUES (1, 6, 3)");
    // An activity and an agenda entry dated exactly at the limits of the cases below.
    Sql("INSERT INTO Einsatz (lEinsatzID, lMandantID, lEinsatzartID, lOrtID, dtEinsatz, dtErfassung, strEreignis, "
        "strEinsatzort, strAdresse) SELECT 9003, lMandantID, 1, 0, '" + std::to_string(kYear) + "-06-01 00:00:00', '" +
        std::to_string(kYear) + "-06-01 00:00:00', 'Grenzfall', '', '' FROM Mandant LIMIT 1");
    Sql("INSERT INTO Agenda (lAgendaID, lMandantID, lEinsatzartID, dtAktivitaet, strBezeichnung) "
        "SELECT 9003, lMandantID, 2, '2000-01-01 00:00:00', 'Grenzfall' FROM Mandant LIMIT 1");
    Sql("INSERT INTO Einsatzstatus (lEinsatzID, lStatus, lOrder) VALUES (9003, 0, 1)");
    Sql("INSERT INTO Agendastatus (lAgendaID, lStatus, lOrder) VALUES (9003, 0, 1)");

    const std::string latestEinsatz =
        "SELECT e.lEinsatzID FROM Einsatz e JOIN Einsatzstatus s ON s.lEinsatzID = e.lEinsatzID AND s.lOrder = "
        "(SELECT max(lOrder) FROM Einsatzstatus WHERE lEinsatzID = e.lEinsatzID) ";
    const std::string latestAgenda =
        "SELECT a.lAgendaID FROM Agenda a JOIN Agendastatus s ON s.lAgendaID = a.lAgendaID AND s.lOrder = "
        "(SELECT max(lOrder) FROM Agendastatus WHERE lAgendaID = a.lAgendaID) ";
    const std::string june = std::to_string(kYear) + "-06-01 00:00:00";
    struct Case {
        const char* name;
        long table;
        const wchar_t* dateOption;
        std::wstring date;  // empty: unset
        long statusArea;
        long statusEnabled;
        const wchar_t* flagsOption;
        const wchar_t* flags;
        std::string expected;
    };
    const Case cases[] = {
        {"all activities", 6, L"ActivityDate", L"", -1080, 0, L"ActivityState", L"1 1 1 1 1 1 1", latestEinsatz},
        {"activities from June", 6, L"ActivityDate", qv::FromUtf8(june), -1080, 0, L"ActivityState", L"",
         latestEinsatz + "WHERE e.dtEinsatz >= '" + june + "'"},
        {"activities in states 1 and 5", 6, L"ActivityDate", L"", -1080, 1, L"ActivityState", L"1 1 0 0 0 1 0",
         latestEinsatz + "WHERE s.lStatus IN (0, 1, 5)"},
        {"activities in state 6", 6, L"ActivityDate", L"", -1080, 1, L"ActivityState", L"0 0 0 0 0 0 1",
         latestEinsatz + "WHERE s.lStatus IN (0, 6)"},
        {"flags without a set one: state 0 only", 6, L"ActivityDate", L"", -1080, 1, L"ActivityState", L"",
         latestEinsatz + "WHERE s.lStatus = 0"},
        {"flags ignored while the states are off", 7, L"AgendaDate", L"2000-01-01 00:00:00", -1070, 0, L"AgendaStatus",
         L"0 0 0 0 0 0 0", latestAgenda},
        {"agenda in states 2 and 6", 7, L"AgendaDate", L"2000-01-01 00:00:00", -1070, 1, L"AgendaStatus",
         L"0 0 1 0 0 0 1", latestAgenda + "WHERE s.lStatus IN (0, 2, 6)"},
        {"agenda from today when unset", 7, L"AgendaDate", L"", -1070, 0, L"AgendaStatus", L"",
         latestAgenda + "WHERE a.dtAktivitaet >= date('now', 'localtime')"},
        {"work plans from today when unset", 149, L"ArbeitsplanDate", L"", -1070, 0, L"AgendaStatus", L"",
         "SELECT lArbeitsplanID FROM Arbeitsplan WHERE dtStart >= date('now', 'localtime')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options.Set(-4000, c.dateOption, c.date);
        options.Set(c.statusArea, L"StatusEnabled", c.statusEnabled);
        options.Set(-4000, c.flagsOption, c.flags);
        const auto expected = Sorted(Query(c.expected));
        WithSearch(c.table, L"", [&](CSearchDlg& search) { EXPECT_EQ(Sorted(Ids(search)), expected); });
    }
    // The filtered states remove rows the dates let in: the cases above are not all the same.
    EXPECT_NE(Query(latestEinsatz + "WHERE s.lStatus IN (0, 1, 5)").size(), Query(latestEinsatz).size());
    EXPECT_NE(Query(latestEinsatz + "WHERE s.lStatus IN (0, 6)").size(), Query(latestEinsatz + "WHERE s.lStatus = 0").size());
}

TEST_F(Periphery, StatusFiveTakesTheIconOfTheInstallationsCanton) {
    const struct {
        const wchar_t* kanton;
        int icon;
    } cases[] = {{L"ZG", 12}, {L"SH", 7}, {L"ZH", 5}};
    // Every picture of the rows is drawn.
    for (const auto& [strip, count] : {std::pair{IDB_SEARCH_STATUS, 14}, {IDB_SEARCH_ARTIKEL, 119}, {IDB_SEARCH_DEVICE, 8}})
        for (int icon = 0; icon < count; ++icon) EXPECT_TRUE(searchtest::IconDrawn(strip, icon)) << strip << " " << icon;
    for (const auto& c : cases) {
        SCOPED_TRACE(U(c.kanton));
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"Kanton", CString(c.kanton), HKEY_LOCAL_MACHINE);
        WithSearch(6, L"Brand Einfamilienhaus", [&](CSearchDlg& search) {
            ASSERT_GT(Rows(List(search)), 0);
            for (int row = 0; row < Rows(List(search)); ++row) EXPECT_EQ(Image(search, row), c.icon);
        });
    }
}

TEST_F(Periphery, GroupsAreFoundUnderTheRightsOnMaterial) {
    // The course leader reads the material of every brigade (table 20); his rights on table 33
    // cover his own brigade only and do not narrow the groups.
    security.userID = 2;
    const auto material = Query("SELECT strBezeichnung FROM Gruppe WHERE lMandantID IN (SELECT lMandantID FROM "
                                "SecMandant WHERE lQvSecUserID = 2 AND lTableID = 20)");
    ASSERT_GT(material.size(), Query("SELECT strBezeichnung FROM Gruppe WHERE lMandantID IN (SELECT lMandantID FROM "
                                     "SecMandant WHERE lQvSecUserID = 2 AND lTableID = 33)").size());
    WithSearch(33, L"", [&](CSearchDlg& search) { EXPECT_EQ(Sorted(Texts(search, 0)), Sorted(material)); });
    WithSearch(20, L"", [&](CSearchDlg& search) { EXPECT_EQ(Rows(List(search)), Int("SELECT count(*) FROM Artikel")); });

    // With the Mandant column hidden a Mandant's name no longer finds its groups, nor its material.
    security.userID = 1;
    const std::wstring mandant = qv::FromUtf8(Query("SELECT strMandantName FROM Mandant LIMIT 1").front());
    for (const auto& [table, column] : {std::pair{33L, 1}, {20L, 12}}) {
        WithSearch(table, mandant, [&](CSearchDlg& search) {
            if (table == 33) EXPECT_EQ(Rows(List(search)), 3);
            else EXPECT_GT(Rows(List(search)), 0);
            ResizeColumn(List(search), column, 0);
            Type(Edit(search), L" ");
            ASSERT_TRUE(Settled(search));
            EXPECT_EQ(Rows(List(search)), 0) << table;
        });
    }
}

TEST_F(Periphery, DocumentsStandUnderAHeadingOfTheirTypeInEverySearch) {
    WithSearch(70, L"", [&](CSearchDlg& search) {
        const std::vector<std::wstring> types = {L"Merkblatt", L"", L"Protokoll", L"", L"", L"Reglement", L"", L""};
        const std::vector<std::wstring> names = {L"", L"Merkblatt Atemschutz", L"", L"Protokoll Kommandositzung Januar",
                                                 L"Protokoll Kommandositzung Juni", L"", L"Feuerwehrreglement",
                                                 L"Soldreglement"};
        EXPECT_EQ(Column(List(search), 0), types);
        EXPECT_EQ(Column(List(search), 1), names);
        for (int row = 0; row < Rows(List(search)); ++row) {
            const bool heading = !Cell(List(search), row, 0).empty();
            EXPECT_EQ(CellBackColor(List(search), row, 0) == kYellow, heading) << row;
            // A heading stands for the first document of its type.
            if (heading) {
                EXPECT_EQ(Param(search, row), Param(search, row + 1)) << row;
            }
        }
        ClickColumnHeader(List(search), 1);
        EXPECT_EQ(Column(List(search), 1), names) << "the grouping cannot be sorted away";
        EXPECT_FALSE(Enabled(Item(search.m_hWnd, IDC_SEARCH_FILTER)));

        // A search that begins with the type the last one ended with still has its heading: the
        // same text searched again, case-sensitively.
        Type(Edit(search), L"Soldreglement");
        ASSERT_TRUE(Settled(search));
        Click(search.m_hWnd, IDC_SEARCH_CASESENSITIVE);
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Column(List(search), 0), (std::vector<std::wstring>{L"Reglement", L""}));
        EXPECT_EQ(Column(List(search), 1), (std::vector<std::wstring>{L"", L"Soldreglement"}));
        Screenshot(search.GetParent()->m_hWnd, "search_dokument_grouped");
    });
    // Documents belong to no Mandant: a user without any rights finds them all the same.
    security.userID = 99;
    WithSearch(70, L"reglement", [&](CSearchDlg& search) { EXPECT_EQ(Rows(List(search)), 3); });
}
