// The filter options, the Mandant filter and the rights of the material, device, accounting and
// work-plan searches, and the article types a host reads beside the chosen ids.
#include "searchtest.h"

#include "searchartikeldlg.h"
#include "searchpopupdlg.h"
#include "utf.h"

#include <algorithm>
#include <variant>

using namespace qv::ui::test;
using searchtest::SearchTest;

namespace {

class PeripheryOptions : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
        options.Set(-4000, L"MaxSearchResults", 0);
        options.Set(-4000, L"ArbeitsplanDate", L"2000-01-01 00:00:00");
    }

    std::vector<std::string> Ids(CSearchDlg& search) {
        std::vector<std::string> ids;
        for (int row = 0; row < Rows(List(search)); ++row) {
            long id = -1;
            if (CQvListItem* item = search.m_lstResult.QvGetVisibleListItem(row)) item->GetParam(0, &id);
            ids.push_back(std::to_string(id));
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }
};

struct Option {
    long area;
    const wchar_t* name;
    std::variant<long, std::wstring> value;
};

}  // namespace

TEST_F(PeripheryOptions, OptionsMandantFilterAndRightsDecideWhatIsFound) {
    const std::string from = std::to_string(kYear) + "-05-01 00:00:00";
    const long second = long(Int("SELECT lMandantID FROM Mandant ORDER BY lMandantID LIMIT 1 OFFSET 1"));
    const std::string mandant2 = std::to_string(second);
    // User 77 may see the maintenance plans of the first Mandant that has any, and the devices of
    // another Mandant: the plans follow the rights on plans.
    const std::string planMandant = Query("SELECT min(lMandantID) FROM Wartungsplan").at(0);
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + planMandant + ", 54, 77, 1)");
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) SELECT lMandantID, 57, 77, 1 FROM Mandant "
        "WHERE lMandantID <> " + planMandant);
    // Likewise his activities (6) and, of other Mandanten, agenda entries (7).
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + planMandant + ", 6, 77, 1)");
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) SELECT lMandantID, 7, 77, 1 FROM Mandant "
        "WHERE lMandantID <> " + planMandant);
    struct Case {
        const char* name;
        long table;
        std::vector<Option> set;
        long user;
        bool active;  // the second Mandant is the active one
        std::string expected;
    };
    const Case cases[] = {
        {"all articles", 20, {{-4000, L"ArtikelActive", 0L}}, 1, false, "SELECT lArtikelID FROM Artikel"},
        {"active articles", 20, {{-4000, L"ArtikelActive", 1L}}, 1, false, "SELECT lArtikelID FROM Artikel WHERE fActive = 1"},
        // One row per number in use; spare numbers (kind 1) never.
        {"all devices", 57, {{-4000, L"DeviceInUse", 0L}}, 1, false,
         "SELECT d.lDeviceID FROM Device d JOIN Devicenumber n ON n.lDeviceID = d.lDeviceID WHERE n.lTyp = 0"},
        {"devices in use", 57, {{-4000, L"DeviceInUse", 1L}}, 1, false,
         "SELECT d.lDeviceID FROM Device d JOIN Devicenumber n ON n.lDeviceID = d.lDeviceID WHERE n.lTyp = 0 AND "
         "d.lPersonID <> -1"},
        {"accountings without a date", 122, {{-4000, L"AbrechnungDate", L""}}, 1, false, "SELECT lAbrechnungID FROM Abrechnung"},
        {"accountings from May", 122, {{-4000, L"AbrechnungDate", qv::FromUtf8(from)}}, 1, false,
         "SELECT lAbrechnungID FROM Abrechnung WHERE dtDatum >= '" + from + "'"},
        {"work plans from May", 149, {{-4000, L"ArbeitsplanDate", qv::FromUtf8(from)}}, 1, false,
         "SELECT lArbeitsplanID FROM Arbeitsplan WHERE dtStart >= '" + from + "'"},
        {"work plans of the active Mandant", 149, {{-1000, L"ApplyMandantFilterOnAddItems", 1L}}, 1, true,
         "SELECT lArbeitsplanID FROM Arbeitsplan WHERE lMandantID = " + mandant2},
        {"activities of the active Mandant", 6, {{-1000, L"ApplyMandantFilterOnAddItems", 1L}}, 1, true,
         "SELECT lEinsatzID FROM Einsatz WHERE lMandantID = " + mandant2},
        {"the active Mandant without the filter", 149, {{-1000, L"ApplyMandantFilterOnAddItems", 0L}}, 1, true,
         "SELECT lArbeitsplanID FROM Arbeitsplan"},
        {"maintenance plans by the rights on them", 54, {}, 77, false,
         "SELECT lWartungsplanID FROM Wartungsplan WHERE lMandantID = " + planMandant},
        {"activities by the rights on them", 6, {}, 77, false,
         "SELECT lEinsatzID FROM Einsatz WHERE lMandantID = " + planMandant},
        // The course leader holds no rights on work plans.
        {"work plans without rights", 149, {}, 2, false, "SELECT 1 WHERE 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Option& o : c.set) {
            if (const long* n = std::get_if<long>(&o.value)) options.Set(o.area, o.name, *n);
            else options.Set(o.area, o.name, std::get<std::wstring>(o.value));
        }
        security.userID = c.user;
        ActivateMandant(c.active ? second : 0);
        auto expected = Query(c.expected);
        std::sort(expected.begin(), expected.end());
        CSearchPopupDlg popup(c.table, L"Test", -1, 0);
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            ASSERT_TRUE(Settled(*dlg.m_pSearchDlg));
            EXPECT_EQ(Ids(*dlg.m_pSearchDlg), expected);
        });
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
        options.Set(-4000, L"ArbeitsplanDate", L"2000-01-01 00:00:00");
    }
}

TEST_F(PeripheryOptions, ChosenArticlesComeWithTheirTypes) {
    // A type without a picture of its own gets none.
    for (const auto& [typ, icon] : {std::pair{-1L, -1}, {0L, 46}, {6L, 117}, {7L, -1}})
        EXPECT_EQ(CSearchArtikelDlg::ArtikelTypIcon(typ), icon) << typ;
    options.Set(-1030, L"ColorForeign", 0x00A000);
    HoldAWhile(L"ColorForeign");
    CSearchPopupDlg popup(20, L"Test", -1, 0);
    popup.m_bMultiSelect = TRUE;
    std::vector<int> wanted;
    EXPECT_EQ(RunPopup(popup,
                       [&](CSearchPopupDlg& dlg) {
                           CSearchDlg& search = *dlg.m_pSearchDlg;
                           ASSERT_TRUE(Settled(search));
                           // The first search's rows already have the colour of foreign material.
                           for (int row = 0; row < Rows(List(search)); ++row)
                               EXPECT_EQ(CellTextColor(List(search), row, 2) == 0x00A000,
                                         Cell(List(search), row, 2) == L"Hubretter der Stützpunktfeuerwehr");
                           // Two generators and a jacket.
                           for (int row = 0; row < Rows(List(search)) && wanted.size() < 3; ++row) {
                               const std::wstring name = Cell(List(search), row, 2);
                               const int generators = int(std::count_if(wanted.begin(), wanted.end(), [&](int r) {
                                   return Cell(List(search), r, 2) == L"Stromerzeuger";
                               }));
                               if ((name == L"Stromerzeuger" && generators < 2) ||
                                   (name == L"Einsatzjacke" && int(wanted.size()) - generators < 1))
                                   wanted.push_back(row);
                           }
                           ASSERT_EQ(wanted.size(), 3u);
                           for (int row : wanted) ClickRowCheckBox(List(search), row);
                           Click(dlg.m_hWnd, IDOK);
                       }),
              IDOK);
    CSearchDlg& search = *popup.m_pSearchDlg;
    ASSERT_EQ(search.m_arCheckedIDs.size(), 3u);
    ASSERT_EQ(search.m_arCheckedTypes.size(), 3u);
    std::vector<long> types;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(long(search.m_arCheckedTypes[i]),
                  Int("SELECT lArtikeltypID FROM Artikel WHERE lArtikelID = " + std::to_string(search.m_arCheckedIDs[i])));
        types.push_back(long(search.m_arCheckedTypes[i]));
    }
    std::sort(types.begin(), types.end());
    EXPECT_EQ(types, (std::vector<long>{eArtikelTypGeraet, eArtikelTypGeraet, eArtikelTypBekleidung}));
    // The selected row's type comes beside its id as well.
    EXPECT_EQ(search.m_arSelectedTypes.size(), search.m_arSelectedIDs.size());
}

TEST_F(PeripheryOptions, AnActivityOrAgendaEntryWhosePlaceIsGoneIsFoundAndShown) {
    // Place 987654 does not exist: the place part of the address is empty, not the whole text.
    Sql("INSERT INTO Einsatz (lEinsatzID, lMandantID, lEinsatzartID, lOrtID, dtEinsatz, dtErfassung, strEreignis, "
        "strEinsatzort, strAdresse) SELECT 9001, lMandantID, 1, 987654, '2026-04-01 10:00:00', '2026-04-01 10:00:00', "
        "'Brand Lagerhalle', 'Lagerhalle', 'Industriestrasse 5' FROM Mandant LIMIT 1");
    Sql("INSERT INTO Einsatzstatus (lEinsatzID, lStatus, lOrder) VALUES (9001, 0, 1)");
    Sql("INSERT INTO Agenda (lAgendaID, lMandantID, lEinsatzartID, lOrtID, dtAktivitaet, strBezeichnung, strObjekt) "
        "SELECT 9001, lMandantID, 2, 987654, '2030-01-01 19:00:00', 'Übung Lagerhalle', 'Lagerhalle' FROM Mandant LIMIT 1");
    Sql("INSERT INTO Agendastatus (lAgendaID, lStatus, lOrder) VALUES (9001, 0, 1)");
    options.Set(-4000, L"AgendaDate", L"2000-01-01 00:00:00");
    const struct {
        long table;
        int column;
        const wchar_t* address;
    } cases[] = {{6, 5, L"Lagerhalle, Industriestrasse 5"}, {7, 4, L"Lagerhalle"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        CSearchPopupDlg popup(c.table, L"Test", -1, 0);
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            ASSERT_TRUE(Settled(search));
            Type(Edit(search), L"Lagerhalle");
            ASSERT_TRUE(Settled(search));
            ASSERT_EQ(Rows(List(search)), 1);
            EXPECT_EQ(Cell(List(search), 0, c.column), c.address);
        });
    }
}
