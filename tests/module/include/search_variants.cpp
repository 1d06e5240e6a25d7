// The search variants over the demo database: contacts with their user image, Mandanten under
// their rights with the active one preselected, courses and runs in their three forms with fill
// levels and type icons, areas, municipalities, and the person page of the work plans.
#include "searchtest.h"

#include "ikursinstanz.h"
#include "nqsearchcalls.h"
#include "qvguid.h"
#include "searchkursdlg.h"
#include "searchpersonarbeitsplandlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "utf.h"

#include <map>

using namespace qv::ui::test;
using searchtest::SearchTest;
using searchtest::U;

namespace {

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

int Image(CSearchDlg& search, int row) {
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = row;
    search.m_lstResult.GetItem(&it);
    return it.iImage;
}

long Param(CQvListCtrl& list, int row, int index) {
    long value = -99;
    if (CQvListItem* item = list.QvGetVisibleListItem(row)) item->GetParam(index, &value);
    return value;
}

// The course window's fill levels, by run GUID.
class FakeKursView : public qvtest::StackObject<IKursinstanz, IID_IKursinstanz> {
public:
    HRESULT Reserved3() override { return E_NOTIMPL; }
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT GetFillLevel(GUID run, long* state, long* count, long* maximum) override {
        auto it = levels.find(qv::GuidToUtf8(run, false));
        if (it == levels.end()) return S_FALSE;
        *state = it->second;
        *count = 10;
        *maximum = 12;
        return S_OK;
    }
    std::map<std::string, long> levels;
};

class Variants : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
        options.Set(-4000, L"MaxSearchResults", 0);
        options.Set(-4000, L"KursTyp", L"x 1 1 1");
    }
    // The tables whose filter options the filter button asks for.
    std::vector<long> FilterAsked(CSearchDlg& search) {
        std::vector<long> asked;
        qv::nq::SetFilterDlgHandler([&](long table) {
            asked.push_back(table);
            return 0L;
        });
        Click(search.m_hWnd, IDC_SEARCH_FILTER);
        qv::nq::SetFilterDlgHandler(nullptr);
        return asked;
    }
};

}  // namespace

TEST_F(Variants, ContactsAreFoundWithTheImageOfTheUsersAmongThem) {
    const std::string user = Query("SELECT c.strName FROM Contact c JOIN QvSecUser u ON u.strUserID = c.guid "
                                   "WHERE u.lQvSecUserID = 2").front();
    const std::string contact = Query("SELECT min(lContactID) FROM ContactKategorie").front();
    Sql("INSERT INTO ContactKategorie (lContactID, lKategorieID) SELECT " + contact + ", max(lKategorieID) FROM "
        "Kategorie WHERE lKategorieID NOT IN (SELECT lKategorieID FROM ContactKategorie WHERE lContactID = " + contact + ")");
    CSearchPopupDlg popup(71, L"Test", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Headers(List(search)), (std::vector<std::wstring>{L"Name", L"Firma", L"Adresse", L"Ort", L"Rufnummern",
                                                                     L"Bemerkung", L"Kategorie"}));
        EXPECT_EQ(FilterAsked(search), std::vector<long>{71});
        EXPECT_EQ(Rows(List(search)), Int("SELECT count(*) FROM Contact"));
        // A contact's categories, without a separator after the last.
        const std::string categories = Query(
            "SELECT group_concat(strBezeichnung, ', ') FROM (SELECT k.strBezeichnung FROM ContactKategorie ck JOIN "
            "Kategorie k ON ck.lKategorieID = k.lKategorieID WHERE ck.lContactID = " + contact +
            " ORDER BY k.strBezeichnung, k.lKategorieID)").front();
        int rows = 0;
        for (int row = 0; row < Rows(List(search)); ++row) {
            if (std::to_string(Param(search.m_lstResult, row, 0)) != contact) continue;
            EXPECT_EQ(U(Cell(List(search), row, 6)), categories);
            ++rows;
        }
        EXPECT_EQ(rows, 1);
        Type(Edit(search), qv::FromUtf8(user));
        ASSERT_TRUE(Settled(search));
        int users = 0;
        for (int row = 0; row < Rows(List(search)); ++row) {
            EXPECT_TRUE(Contains(Cell(List(search), row, 0), qv::FromUtf8(user)));
            users += Image(search, row) == 1;
            EXPECT_FALSE(!Cell(List(search), row, 6).empty() && Cell(List(search), row, 6).back() == L',');
        }
        EXPECT_EQ(users, 1) << "exactly one of them is the course leader's user";
        // A place finds the contacts living there.
        const std::string place = Query("SELECT o.strPLZOrt FROM Contact c JOIN view_Ort o ON c.lOrtID = o.lOrtID "
                                        "ORDER BY c.lContactID LIMIT 1").at(0);
        Retype(Edit(search), qv::FromUtf8(place));
        ASSERT_TRUE(Settled(search));
        const std::string plz = place.substr(0, place.find(' ')), town = place.substr(place.find(' ') + 1);
        EXPECT_EQ(Rows(List(search)), Int("SELECT count(*) FROM Contact c JOIN view_Ort o ON c.lOrtID = o.lOrtID "
                                          "WHERE o.strPLZOrt LIKE '%" + plz + "%' AND o.strPLZOrt LIKE '%" + town + "%'"));
        for (int row = 0; row < Rows(List(search)); ++row)
            EXPECT_EQ(U(Cell(List(search), row, 3)).substr(0, plz.size()), plz);
        // With the call numbers and categories hidden the rows come whole, their image too.
        ResizeColumn(List(search), 4, 0);
        ResizeColumn(List(search), 6, 0);
        Retype(Edit(search), qv::FromUtf8(user));
        ASSERT_TRUE(Settled(search));
        users = 0;
        for (int row = 0; row < Rows(List(search)); ++row) users += Image(search, row) == 1;
        EXPECT_EQ(users, 1);
    });
}

TEST_F(Variants, MandantenFollowTheRightsAndTheActiveOneIsPreselected) {
    // The active Mandant is preselected; with none active, the installation's own.
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", 3L, HKEY_LOCAL_MACHINE);
    for (const long active : {2L, 1L, 0L}) {
        ActivateMandant(active);
        CSearchPopupDlg popup(45, L"Test", -1, 0);
        popup.SetSecMandantTableID(L"0");
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            ASSERT_TRUE(Settled(search));
            EXPECT_EQ(Headers(List(search)), (std::vector<std::wstring>{L"Name", L"Typ", L"Ort", L"Eigene Daten"}));
            EXPECT_EQ(FilterAsked(search), std::vector<long>{45});
            ASSERT_EQ(Rows(List(search)), 3);
            int selected = -1;
            for (int row = 0; row < 3; ++row)
                if (RowSelected(List(search), row)) selected = row;
            ASSERT_GE(selected, 0) << active;
            EXPECT_EQ(Param(search.m_lstResult, selected, 0), active ? active : 3);
            if (active == 1) {
                // Sorted from Z to A, a new search selects the same Mandant again, not the first row.
                ClickColumnHeader(List(search), 0);
                ClickColumnHeader(List(search), 0);
                Type(Edit(search), L" ");
                ASSERT_TRUE(Settled(search));
                EXPECT_NE(Param(search.m_lstResult, 0, 0), 1);
                for (int row = 0; row < 3; ++row)
                    EXPECT_EQ(RowSelected(List(search), row), Param(search.m_lstResult, row, 0) == 1) << row;
            }
            // A Mandant is found by its type and place while they are shown (the widths stay).
            if (active) return;
            const std::wstring place = qv::FromUtf8(Query("SELECT strPLZOrt FROM view_Mandant WHERE lMandantID = 2").at(0));
            for (const auto& [words, hidden, found] : {std::tuple{std::wstring(L"Stützpunkt"), -1, 1}, {place, -1, 1},
                                                        {L"Feuerwehr " + place, -1, 1}, {place, 2, 0}}) {
                if (hidden >= 0) ResizeColumn(List(search), hidden, 0);
                Retype(Edit(search), words);
                ASSERT_TRUE(Settled(search));
                EXPECT_EQ(Rows(List(search)), found) << U(words);
            }
        });
    }

    // The course leader holds rights on table 39 for his own brigade only.
    security.userID = 2;
    CSearchPopupDlg leader(45, L"Test", -1, 0);
    leader.SetSecMandantTableID(L" 39 ");  // the host's text, blanks around the number
    RunPopup(leader, [&](CSearchPopupDlg& dlg) {
        ASSERT_TRUE(Settled(*dlg.m_pSearchDlg));
        EXPECT_EQ(Rows(List(*dlg.m_pSearchDlg)), 1);
    });
}

TEST_F(Variants, AMandantTableIdThatIsNoNumberNeverReachesTheStatement) {
    for (const wchar_t* text : {L"", L"0 OR 1=1"}) {
        CSearchPopupDlg popup(45, L"Test", -1, 0);
        popup.SetSecMandantTableID(text);
        script.AllowReports(true);
        script.Log().Clear();
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            ASSERT_TRUE(Settled(*dlg.m_pSearchDlg));
            EXPECT_EQ(Rows(List(*dlg.m_pSearchDlg)), 0) << U(text);
        });
        const auto reports = script.Log().Records(qv::InteractionKind::Report);
        ASSERT_EQ(reports.size(), 1u) << U(text);
        EXPECT_TRUE(Contains(reports[0].text, L"No OLEDB Error available!")) << U(reports[0].text);
    }
}

// A search whose database server does not answer says why, once, and ends; the next search tries again.
TEST_F(Variants, ASearchThatCannotReachItsDatabaseSaysWhyOnceAndEnds) {
    const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
    CString reachable;  // none: the installation's own database
    CQvRegistry::GetValue(profile, L"DBConnection", reachable);
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", L"postgresql://qvtest@127.0.0.1:1/nq2"));
    CSearchPopupDlg popup(45, L"Test", -1, 0);
    popup.SetSecMandantTableID(L"0");
    script.AllowReports(true);
    script.Log().Clear();
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report).size(), 1u);
        Type(Edit(search), L" ");
        ASSERT_TRUE(Settled(search));
        const auto reports = script.Log().Records(qv::InteractionKind::Report);
        ASSERT_EQ(reports.size(), 2u);
        for (const auto& report : reports) EXPECT_TRUE(Contains(report.text, L"127.0.0.1")) << U(report.text);
        ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", reachable));
        Type(Edit(search), L" ");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 3);
        EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report).size(), 2u);
    });
    CQvRegistry::SetValue(profile, L"DBConnection", reachable);
}

TEST_F(Variants, CourseSearchFormsAndRights) {
    // A new course without runs and of type 0 (no type label), on which the administrator holds rights.
    Sql("INSERT INTO Kurs (lKursID, lTyp, strKurzbezeichnung, strBezeichnung) VALUES (9001, 0, 'NEU', 'Kurs ohne Austragung')");
    Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (9001, -1, 1, -2013262079)");
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, fUsed4Search) VALUES (901, 39, 'Art', 1)");
    Sql("INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (901, 9001, 'Pilotkurs')");
    const long long runs = Int("SELECT count(*) FROM Kursinstanz");
    const long long courses = Int("SELECT count(*) FROM Kurs");
    const long long leaderRuns = Int(
        "SELECT count(*) FROM Kursinstanz ki JOIN SecKurs secI ON secI.lKursinstanzID = ki.lKursinstanzID AND "
        "secI.lQvSecUserID = 2 AND (secI.lRight & 256) > 0 JOIN SecKurs secK ON secK.lKursID = ki.lKursID AND "
        "secK.lQvSecUserID = 2");
    // Runs before the date are left out.
    const std::string june = std::to_string(kYear) + "-06-01 00:00:00";
    const long long fromJune = Int("SELECT count(*) FROM Kursinstanz WHERE dtDatum >= '" + june + "'");
    ASSERT_LT(fromJune, runs);
    // A run dated exactly on the date is found.
    const std::string firstFromJune = Query("SELECT min(dtDatum) FROM Kursinstanz WHERE dtDatum >= '" + june + "'").at(0);
    const long long fromFirst = Int("SELECT count(*) FROM Kursinstanz WHERE dtDatum >= '" + firstFromJune + "'");
    struct Case {
        const char* mode;
        long user;
        DWORD mask;
        const wchar_t* types;
        long active;  // KursActive
        long long expected;
        std::string date = {};  // KursInstanzDate (empty: unset)
    } cases[] = {
        {"", 1, 1, L"x 1 1 1", 0, runs + 1},
        {"ONLYKURS", 1, 0x100, L"x 1 1 1", 0, courses},
        {"onlyKurs", 1, 0x100, L"x 1 1 1", 1, Int("SELECT count(*) FROM Kurs WHERE fActive = 1")},
        {"onlyInstanz", 1, 0x100, L"x 1 1 1", 0, runs},
        {"onlyInstanz", 2, 0x100, L"x 1 1 1", 0, leaderRuns},
        {"onlyInstanz", 1, 0x100, L"x 1 1 1", 0, fromJune, june},
        {"onlyInstanz", 1, 0x100, L"x 1 1 1", 0, fromFirst, firstFromJune},
        {"onlyKurs", 1, 1, L"", 0, 1},
        {"onlyKurs", 1, 1, L"x 0 0 1", 0, Int("SELECT count(*) FROM Kurs WHERE lTyp IN (0, 3)")},
        {"onlyKurs", 1, 1, L"x 0 0 11", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " user " + std::to_string(c.user));
        security.userID = c.user;
        options.Set(-4000, L"KursTyp", c.types);
        options.Set(-4000, L"KursActive", c.active);
        options.Set(-4000, L"KursInstanzDate", qv::FromUtf8(c.date));
        CSearchPopupDlg popup(39, L"Test", -1, 0);
        popup.SetSecMandantTableID(qv::FromUtf8(c.mode).c_str());
        popup.m_dwRightMask = c.mask;
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            ASSERT_TRUE(Settled(*dlg.m_pSearchDlg));
            EXPECT_EQ(Rows(List(*dlg.m_pSearchDlg)), c.expected);
        });
    }

    // The course without runs is found by a word, in one row without a run, greyed.
    security.userID = 1;
    options.Set(-4000, L"KursTyp", L"x 1 1 1");
    options.Set(-4000, L"KursActive", 0);
    CSearchPopupDlg popup(39, L"Test", -1, 0);
    long course = 0, run = -1;
    const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        Type(Edit(search), L"Pilotkurs");
        ASSERT_TRUE(Settled(search));
        ASSERT_EQ(Rows(List(search)), 1);
        EXPECT_EQ(Headers(List(search)), (std::vector<std::wstring>{L"Typ", L"Kurs", L"Austragung", L"Datum", L"Kursdauer",
                                                                     L"Kursort", L"Kursleitung", L"Eigene Daten"}));
        EXPECT_EQ(FilterAsked(search), std::vector<long>{39});
        EXPECT_EQ(Cell(List(search), 0, 1), L"NEU, Kurs ohne Austragung");
        EXPECT_TRUE(Contains(Cell(List(search), 0, 7), L"Pilotkurs")) << "its own custom fields are shown";
        EXPECT_EQ(Cell(List(search), 0, 4), L"0.00");
        EXPECT_EQ(CellTextColor(List(search), 0, 2), COLORREF(0xDCDCDC));
        EXPECT_EQ(CellTextColor(List(search), 0, 7), COLORREF(0xDCDCDC));
        EXPECT_NE(CellTextColor(List(search), 0, 1), COLORREF(0xDCDCDC));
        EXPECT_NE(CellTextColor(List(search), 0, 1), COLORREF(0x808080)) << "an active course is not greyed";
        Sql("UPDATE Kurs SET fActive = 0 WHERE lKursID = 9001");
        Type(Edit(search), L" ");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(CellTextColor(List(search), 0, 1), COLORREF(0x808080)) << "an inactive one is";
        Sql("UPDATE Kurs SET fActive = 1 WHERE lKursID = 9001");
        SelectRow(List(search), 0);
        Click(dlg.m_hWnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    course = popup.m_pSearchDlg->m_arSelectedIDs.at(0);
    run = popup.m_pSearchDlg->m_arSelectedIDs2.at(0);
    EXPECT_EQ(course, 9001);
    EXPECT_EQ(run, 0);
    EXPECT_EQ(*popup.GetResultIDs(), std::vector<long>{9001}) << "the caller is handed the course";

    // A run is found by its place, leader, date and duration, each shown in its own column and
    // searched while that column is shown, whichever other column is hidden.
    const std::string placed = Query("SELECT min(lKursinstanzID) FROM Kursinstanz").at(0);
    Sql("UPDATE Kursinstanz SET strOrt = 'Zentrum Andelfingen', strAdresse = '', lOrtID = 0, strLeitung = "
        "'Hptm Kellerhals', dblDauer = 7.25, dtDatum = '2039-02-03 00:00:00' WHERE lKursinstanzID = " + placed);
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, fUsed4Search) VALUES (902, 42, 'Woche', 1)");
    Sql("INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (902, " + placed + ", 'Vorkurswoche')");
    const struct {
        const wchar_t* word;
        int hidden;
        int rows;
    } byRun[] = {{L"Andelfingen", 6, 1}, {L"Kellerhals", 7, 1}, {L"03.02.2039", 4, 1}, {L"7.25", 5, 1},
                 {L"Andelfingen", 5, 0}, {L"Vorkurswoche", 6, 1}, {L"Vorkurswoche", 7, 0}};
    for (const auto& c : byRun) {
        // A list of its own: the widths of the columns are kept per list.
        CSearchPopupDlg popup(39, CString(L"Run") + c.word, -1, 0);
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            if (c.hidden >= 0) ResizeColumn(List(search), c.hidden, 0);
            Retype(Edit(search), c.word);
            ASSERT_TRUE(Settled(search));
            ASSERT_EQ(Rows(List(search)), c.rows) << U(c.word) << " column " << c.hidden << " hidden";
            if (!c.rows) return;
            EXPECT_EQ(std::to_string(Param(search.m_lstResult, 0, 1)), placed);
            EXPECT_EQ(Cell(List(search), 0, 5), L"Zentrum Andelfingen");
            EXPECT_EQ(Cell(List(search), 0, 6), L"Hptm Kellerhals");
        });
    }
}

TEST_F(Variants, RunsShowTheFillLevelOfTheOpenCourseWindowAndTheTypeIcon) {
    const auto open = Query("SELECT lKursinstanzID || '|' || guid FROM Kursinstanz WHERE fGeschlossen = 0 LIMIT 3");
    ASSERT_EQ(open.size(), 3u);
    FakeKursView view;
    std::map<long, COLORREF> expected;
    const COLORREF colours[] = {0x32FF64, 0x00FFFF, 0x3232FF};
    for (int i = 0; i < 3; ++i) {
        const auto bar = open[std::size_t(i)].find('|');
        view.levels[open[std::size_t(i)].substr(bar + 1)] = i + 1;
        expected[std::stol(open[std::size_t(i)].substr(0, bar))] = colours[i];
    }
    qvtest::ScopedRunningServer running(KURSVIEW_PROGID, &view);
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"Kanton", CString(L"TI"), HKEY_LOCAL_MACHINE);

    CSearchPopupDlg popup(39, L"Fill", -1, 0);
    long chosenRun = 0;
    popup.SetSecMandantTableID(L"onlyInstanz");
    popup.m_dwRightMask = 0x100;
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        // The buttons beside the text keep their place at the right edge.
        const auto fromRight = [&](int id) {
            CRect box, button;
            ::GetWindowRect(search.m_hWnd, &box);
            ::GetWindowRect(Item(search.m_hWnd, id), &button);
            return std::make_pair(box.right - button.right, button.Width());
        };
        const auto filter = fromRight(IDC_SEARCH_FILTER), cases = fromRight(IDC_SEARCH_CASESENSITIVE);
        // The text and the list grow with the popup, its buttons stay at its bottom corners.
        const auto box = [&](HWND wnd) {
            CRect popupBox, r;
            ::GetWindowRect(dlg.m_hWnd, &popupBox);
            ::GetWindowRect(wnd, &r);
            r.OffsetRect(-popupBox.left, -popupBox.top);
            return r;
        };
        const HWND help = Item(dlg.m_hWnd, IDC_SEARCH_HELP), ok = Item(dlg.m_hWnd, IDOK), cancel = Item(dlg.m_hWnd, IDCANCEL);
        const CRect popupBefore = box(dlg.m_hWnd), textBefore = box(Edit(search)), listBefore = box(List(search)),
                    helpBefore = box(help), okBefore = box(ok), cancelBefore = box(cancel);
        ResizeWindow(dlg.m_hWnd, 1000, 480);
        EXPECT_EQ(fromRight(IDC_SEARCH_FILTER), filter);
        EXPECT_EQ(fromRight(IDC_SEARCH_CASESENSITIVE), cases);
        const CSize grown(box(dlg.m_hWnd).Width() - popupBefore.Width(), box(dlg.m_hWnd).Height() - popupBefore.Height());
        ASSERT_GT(grown.cx, 0);
        ASSERT_GT(grown.cy, 0);
        EXPECT_EQ(box(Edit(search)).Size(), textBefore.Size() + CSize(grown.cx, 0));
        EXPECT_EQ(box(List(search)).Size(), listBefore.Size() + grown);
        EXPECT_EQ(box(help).TopLeft(), helpBefore.TopLeft() + CPoint(0, grown.cy));
        EXPECT_EQ(box(ok).TopLeft(), okBefore.TopLeft() + CPoint(grown));
        EXPECT_EQ(box(cancel).TopLeft(), cancelBefore.TopLeft() + CPoint(grown));
        EXPECT_EQ(box(ok).Size(), okBefore.Size());
        ASSERT_TRUE(Settled(search));
        int closed = 0;
        for (int row = 0; row < Rows(List(search)); ++row) {
            const long run = Param(search.m_lstResult, row, 1);
            const COLORREF back = CellBackColor(List(search), row, 2);
            if (expected.count(run)) {
                EXPECT_EQ(back, expected[run]) << run;
            }
            EXPECT_EQ(CellBackColor(List(search), row, 7), back) << run;
            // On a coloured run, an active course's text stays as it is, an inactive one's turns white.
            if (back == 0xC8C8C8 || expected.count(run)) {
                const bool active = Query("SELECT fActive FROM Kurs WHERE lKursID = " +
                                          std::to_string(Param(search.m_lstResult, row, 0))).front() == "1";
                EXPECT_EQ(CellTextColor(List(search), row, 2) == 0xFFFFFF, !active) << run;
            }
            closed += back == 0xC8C8C8;
            const long typ = std::stol(Query("SELECT lTyp FROM Kurs WHERE lKursID = " +
                                             std::to_string(Param(search.m_lstResult, row, 0))).front());
            EXPECT_EQ(Image(search, row), typ == 1 ? 0 : typ == 2 ? 52 : 54);
        }
        EXPECT_EQ(closed, Int("SELECT count(*) FROM Kursinstanz WHERE fGeschlossen = 1"));
        Pump();
        Screenshot(dlg.m_hWnd, "search_popup_kurs");
        chosenRun = Param(search.m_lstResult, 0, 1);
        SelectRow(List(search), 0);
        Click(dlg.m_hWnd, IDOK);
    });
    ASSERT_NE(popup.GetResultIDs(), nullptr);
    EXPECT_EQ(*popup.GetResultIDs(), std::vector<long>{chosenRun}) << "the caller of the runs form is handed the run";
}

TEST_F(Variants, CourseTypeIconsFollowTheInstallationsCanton) {
    const struct {
        long typ;
        const wchar_t* canton;
        int icon;
    } cases[] = {{1, L"ZH", 0}, {2, L"GE", 2}, {2, L"ZH", 36}, {2, L"TI", 52}, {2, L"ti", -1},
                 {2, L"XX", -1}, {3, L"", 54},  {0, L"ZH", -1}, {4, L"ZH", -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(CSearchKursDlg::KursTypIcon(c.typ, c.canton), c.icon) << c.typ << " " << U(c.canton);
        if (c.icon >= 0) EXPECT_TRUE(searchtest::IconDrawn(IDB_SEARCH_KURSTYP, c.icon)) << c.icon;
    }
    for (int icon : {0, 1}) EXPECT_TRUE(searchtest::IconDrawn(IDB_SEARCH_CONTACT, icon)) << icon;
}

TEST_F(Variants, AreasAndMunicipalities) {
    for (const long active : {0L, 1L}) {
        options.Set(-4000, L"AreaActive", active);
        CSearchPopupDlg popup(196, L"Test", -1, 0);
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            ASSERT_TRUE(Settled(search));
            EXPECT_EQ(Headers(List(search)),
                      (std::vector<std::wstring>{L"Kurzbezeichnung", L"Bezeichnung", L"Gebietsart", L"Eigene Daten"}));
            EXPECT_EQ(FilterAsked(search), std::vector<long>{196});
            EXPECT_EQ(Rows(List(search)), Int(std::string("SELECT count(*) FROM Area") + (active ? " WHERE fActive = 1" : "")));
            int grey = 0;
            for (int row = 0; row < Rows(List(search)); ++row) {
                grey += CellTextColor(List(search), row, 1) == 0x808080;
                EXPECT_EQ(U(Cell(List(search), row, 0) + L"|" + Cell(List(search), row, 2)),
                          Query("SELECT strKurzbezeichnung || '|' || strAreaart FROM view_Area WHERE lAreaID = " +
                                std::to_string(Param(search.m_lstResult, row, 0))).at(0));
            }
            EXPECT_EQ(grey, active ? 0 : 1);
            // Every word must be found, in the name or a shown column (the widths stay for the next).
            if (!active) return;
            for (const auto& [words, hidden, found] : {std::tuple{L"Einsatzgebiet", -1, 3}, {L"Übungsgelände 2", -1, 1},
                                                        {L"eg2", -1, 1}, {L"Alarmierungskreis", -1, 0}, {L"EG2", 0, 0}}) {
                if (hidden >= 0) ResizeColumn(List(search), hidden, 0);
                Retype(Edit(search), words);
                ASSERT_TRUE(Settled(search));
                EXPECT_EQ(Rows(List(search)), found) << U(words);
            }
        });
    }

    const std::string sg = Query("SELECT strBezeichnung FROM Gemeinde WHERE strKanton = 'SG' LIMIT 1").front();
    CSearchPopupDlg popup(193, L"Test", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        Type(Edit(search), L"SG");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Headers(List(search)), (std::vector<std::wstring>{L"Gemeinde", L"Kanton"}));
        EXPECT_EQ(FilterAsked(search), std::vector<long>{193});
        EXPECT_EQ(Rows(List(search)), Int("SELECT count(*) FROM Gemeinde WHERE strKanton = 'SG'"));
        Type(Edit(search), L" " + qv::FromUtf8(sg));
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 1) << "both words must match";
        ResizeColumn(List(search), 1, 0);
        Retype(Edit(search), L"SG");
        ASSERT_TRUE(Settled(search));
        EXPECT_EQ(Rows(List(search)), 0) << "the hidden canton column is not searched";
    });
}

TEST_F(Variants, WorkPlansOfAnActivityOfferTheirPersonsToCheck) {
    // Activity 1 (brigade 1, 2 to 4 May): its brigade's plans of 1 to 3 and 3 to 10 May cover
    // it; plans of the other brigades overlap too, but the active Mandant keeps them out.
    ActivateMandant(1);
    options.Set(-1000, L"ColorFemale", 0x0000C0);
    CSearchPersonArbeitsplanDlg page(L"Test");
    page.m_strEinsatzID = L"1";
    ASSERT_TRUE(page.Create(IDD_SEARCHPERSONARBEITSPLAN, nullptr));
    page.MoveWindow(0, 0, 700, 420);
    page.ShowWindow(SW_SHOW);
    {
        // The persons' list takes the page below the plans.
        CRect client, list;
        page.GetClientRect(&client);
        ::GetWindowRect(page.m_lstPerson.m_hWnd, &list);
        page.ScreenToClient(&list);
        EXPECT_EQ(list.BottomRight(), client.BottomRight());
    }
    const HWND plans = page.m_lstArbeitsplan.m_hWnd;
    const HWND persons = page.m_lstPerson.m_hWnd;
    ASSERT_EQ(Rows(plans), 2);
    EXPECT_EQ(Headers(plans), std::vector<std::wstring>{L"Tätigkeit"});
    EXPECT_EQ(Headers(persons), (std::vector<std::wstring>{L"Tätigkeit", L"Name", L"Adresse", L"Ort"}));
    EXPECT_TRUE(Contains(Cell(plans, 0, 0), L"Pikett Hauptübung 1")) << U(Cell(plans, 0, 0));
    EXPECT_TRUE(Contains(Cell(plans, 1, 0), L"Pikett Mai 1")) << U(Cell(plans, 1, 0));
    EXPECT_EQ(Rows(persons), 0);

    auto paid = [&](long plan) {
        return Int("SELECT count(*) FROM PersonArbeitsplan pa JOIN Taetigkeit t ON pa.lTaetigkeitID = t.lTaetigkeitID "
                   "WHERE t.fSoldrelevant = 1 AND pa.lArbeitsplanID = " + std::to_string(plan));
    };
    const long first = Param(page.m_lstArbeitsplan, 0, 0);
    const long second = Param(page.m_lstArbeitsplan, 1, 0);
    SelectRow(plans, 0);
    ASSERT_EQ(Rows(persons), paid(first));
    for (int row = 0; row < Rows(persons); ++row) {
        const bool woman =
            Int("SELECT fWeiblich FROM Person WHERE lPersonID = " + std::to_string(Param(page.m_lstPerson, row, 0))) == 1;
        EXPECT_EQ(CellTextColor(persons, row, 1) == COLORREF(0x0000C0), woman) << row;
    }
    ClickRowCheckBox(persons, 0);
    const long kept = Param(page.m_lstPerson, 0, 0);
    const long keptFunction = Param(page.m_lstPerson, 0, 1);
    // In the second plan the checked person also holds another paid function: a row of its own.
    Sql("INSERT INTO PersonArbeitsplan (lPersonID, lArbeitsplanID, lTaetigkeitID) SELECT " + std::to_string(kept) + ", " +
        std::to_string(second) + ", lTaetigkeitID FROM Taetigkeit WHERE fSoldrelevant = 1 AND lTaetigkeitID <> " +
        std::to_string(keptFunction) + " LIMIT 1");
    // And the function he is checked for: that row is the one he keeps.
    Sql("INSERT INTO PersonArbeitsplan (lPersonID, lArbeitsplanID, lTaetigkeitID) SELECT " + std::to_string(kept) + ", " +
        std::to_string(second) + ", " + std::to_string(keptFunction) + " WHERE NOT EXISTS (SELECT 1 FROM "
        "PersonArbeitsplan WHERE lPersonID = " + std::to_string(kept) + " AND lArbeitsplanID = " +
        std::to_string(second) + " AND lTaetigkeitID = " + std::to_string(keptFunction) + ")");
    ASSERT_EQ(Int("SELECT count(*) FROM PersonArbeitsplan pa JOIN Taetigkeit t ON pa.lTaetigkeitID = t.lTaetigkeitID "
                  "WHERE t.fSoldrelevant = 1 AND pa.lTaetigkeitID <> " + std::to_string(keptFunction) +
                  " AND pa.lArbeitsplanID = " + std::to_string(second) + " AND pa.lPersonID = " + std::to_string(kept)),
              1);
    Pump();
    Screenshot(page.m_hWnd, "search_arbeitsplan");

    SelectRow(plans, 1);
    const long long both = paid(second) + 1 -
                           Int("SELECT count(*) FROM PersonArbeitsplan WHERE lArbeitsplanID = " + std::to_string(second) +
                               " AND lPersonID = " + std::to_string(kept) + " AND lTaetigkeitID = " +
                               std::to_string(keptFunction));
    EXPECT_EQ(Rows(persons), both) << "the checked person stays, and is not listed twice";
    bool found = false;
    for (int row = 0; row < Rows(persons); ++row)
        if (Param(page.m_lstPerson, row, 0) == kept && page.m_lstPerson.QvGetCheck(row)) found = true;
    EXPECT_TRUE(found);

    // Without a chosen plan only the checked persons remain.
    page.m_lstArbeitsplan.SetItemState(1, 0, LVIS_SELECTED);
    Pump();
    EXPECT_EQ(Rows(persons), 1);
    page.DestroyWindow();

    // A plan's persons cannot be read: said once as well.
    Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Taetigkeit RENAME TO TaetigkeitWeg");
    script.AllowReports(true);
    CSearchPersonArbeitsplanDlg noPersons(L"Test");
    noPersons.m_strEinsatzID = L"1";
    ASSERT_TRUE(noPersons.Create(IDD_SEARCHPERSONARBEITSPLAN, nullptr));
    noPersons.ShowWindow(SW_SHOW);
    SelectRow(noPersons.m_lstArbeitsplan.m_hWnd, 0);
    EXPECT_EQ(Rows(noPersons.m_lstPerson.m_hWnd), 0);
    EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report).size(), 1u);
    noPersons.DestroyWindow();
    Sql("ALTER TABLE TaetigkeitWeg RENAME TO Taetigkeit");

    // The plans cannot be read: the page says so once, with the database's words.
    Sql("PRAGMA legacy_alter_table = ON; ALTER TABLE Arbeitsplan RENAME TO ArbeitsplanWeg");
    script.AllowReports(true);
    script.Log().Clear();
    CSearchPersonArbeitsplanDlg unread(L"Test");
    unread.m_strEinsatzID = L"1";
    ASSERT_TRUE(unread.Create(IDD_SEARCHPERSONARBEITSPLAN, nullptr));
    EXPECT_EQ(Rows(unread.m_lstArbeitsplan.m_hWnd), 0);
    const auto unreadReports = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(unreadReports.size(), 1u);
    EXPECT_EQ(unreadReports[0].caption, L"OLEDB Errormessage");
    EXPECT_NE(unreadReports[0].text.find(L"Arbeitsplan"), std::wstring::npos) << U(unreadReports[0].text);
    unread.DestroyWindow();
    Sql("ALTER TABLE ArbeitsplanWeg RENAME TO Arbeitsplan");

    // The active Mandant cannot be read: the page says so and offers no work plan of any Mandant.
    Sql("PRAGMA foreign_keys = OFF");
    Sql("DROP TABLE Mandant");
    script.AllowReports(true);
    CSearchPersonArbeitsplanDlg failing(L"Test");
    failing.m_strEinsatzID = L"1";
    ASSERT_TRUE(failing.Create(IDD_SEARCHPERSONARBEITSPLAN, nullptr));
    EXPECT_EQ(Rows(failing.m_lstArbeitsplan.m_hWnd), 0);
    const auto reports = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().caption, L"CSearchPersonArbeitsplanDlg::OnInitDialog");
    failing.DestroyWindow();
}

TEST_F(Variants, TheContactMenuFollowsItsRightsAndCreatesContacts) {
    const wchar_t kContactFunction[] = L"B358A8C3-4EB1-4646-8C69-095D3D0C45EF";
    std::vector<BOOL> created;
    qv::nq::SetContactEditDlgHandler([&](long id, long, BOOL fromPerson) {
        EXPECT_EQ(id, -1);
        created.push_back(fromPerson);
        return 1L;
    });
    const struct {
        long rights;
        bool shown, enabled;
    } cases[] = {{0, false, false}, {1, true, false}, {0x101, true, true}};
    for (const auto& c : cases) {
        security.Answer(kContactFunction, c.rights);
        CSearchPopupDlg popup(71, L"Menu", -1, 0);
        popup.m_bShowMenu = TRUE;
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            const HWND menu = Item(search.m_hWnd, IDC_SEARCH_MENU);
            EXPECT_EQ(Visible(menu), c.shown) << c.rights;
            EXPECT_EQ(Enabled(menu), c.enabled) << c.rights;
            if (!c.enabled) return;
            ASSERT_TRUE(Settled(search));
            AnswerNextPopupMenu(IDS_SEARCH_CONTACTFROMPERSON);
            Click(menu);
            EXPECT_EQ(LastPopupMenuItems(),
                      (std::vector<std::wstring>{L"Neuer Kontakt hinzufügen...", L"Kontakt aus Persondaten hinzufügen..."}));
            ASSERT_TRUE(Settled(search));
        });
    }
    EXPECT_EQ(created, std::vector<BOOL>{TRUE});
}
