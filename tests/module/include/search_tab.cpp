// The search tab in the popup: its pages by the caller's bits and the user's rights, the tree
// loaded on its first showing, and the persons checked on every page merged without duplicates.
#include "searchtest.h"

#include "searchpersondlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "searchtabdlg.h"
#include "utf.h"

#include <algorithm>

using namespace qv::ui::test;
using searchtest::SearchTest;
using searchtest::U;

namespace {

const wchar_t kTreeFunction[] = L"CEE77DFE-AA1F-4CE7-9903-3BC6D2448E7F";
const wchar_t kArbeitsplanFunction[] = L"2D41ACEA-EF7C-415A-A641-9DB9649A385C";

class SearchTab : public SearchTest {
protected:
    void SetUp() override {
        SearchTest::SetUp();
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
        options.Set(-4000, L"MaxSearchResults", 0);
    }
    static HWND Tabs(CSearchTabDlg& tab) { return tab.m_tabCtrl.m_hWnd; }
};

}  // namespace

TEST_F(SearchTab, PagesFollowTheCallersBitsAndTheRights) {
    const struct {
        long pages, start, treeRight, planRight;
        std::vector<std::wstring> labels;
        int active;
    } cases[] = {
        {0, 0, 1, 1, {L"Person", L"Organisation"}, 0},
        {0, 0, 0, 1, {L"Person"}, 0},
        {7, 4, 1, 1, {L"Person", L"Organisation", L"Arbeitsplan"}, 2},
        {6, 0, 1, 1, {L"Organisation", L"Arbeitsplan"}, 0},
        {6, 0, 1, 0, {L"Organisation"}, 0},
        {2, 2, 0, 0, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.pages) + "/" + std::to_string(c.treeRight));
        security.Answer(kTreeFunction, c.treeRight);
        security.Answer(kArbeitsplanFunction, c.planRight);
        CSearchPopupDlg popup(4, L"Tab", c.pages, c.start);
        popup.m_bMultiSelect = TRUE;
        popup.SetSecMandantTableID(L"1");
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            ASSERT_EQ(dlg.m_pSearchDlg, nullptr);
            ASSERT_NE(dlg.m_pSearchTabDlg, nullptr);
            CSearchTabDlg& tab = *dlg.m_pSearchTabDlg;
            EXPECT_EQ(TabLabels(Tabs(tab)), c.labels);
            EXPECT_EQ(tab.m_tabCtrl.GetActiveTab(), c.active);
            // The shown page takes the first key: the person search's text, the tree, the plans.
            ASSERT_TRUE(Activated(dlg));
            if (c.active >= 0) {
                const std::wstring& page = c.labels[std::size_t(c.active)];
                EXPECT_TRUE(HasFocus(page == L"Person"         ? Item(tab.m_pPersonDlg->m_hWnd, IDC_SEARCH_TEXT)
                                     : page == L"Organisation" ? tab.m_treeOrg.m_hWnd
                                                               : tab.m_dlgArbeitsplan.m_lstArbeitsplan.m_hWnd))
                    << U(page);
                // Escape in the tree cancels the popup.
                if (page == L"Organisation") {
                    PressKey(nullptr, VK_ESCAPE);
                    EXPECT_FALSE(Visible(dlg.m_hWnd));
                }
            }
            if (c.labels.empty()) {
                Click(dlg.m_hWnd, IDOK);
                EXPECT_TRUE(Visible(dlg.m_hWnd)) << "without a page nothing can be checked";
            }
            if (c.labels.size() == 3) {
                // Each page shows alone; a page whose right was taken meanwhile gives way to the first.
                ClickTab(Tabs(tab), tab.m_nTreePage);
                EXPECT_TRUE(Visible(tab.m_treeOrg.m_hWnd));
                EXPECT_FALSE(Visible(tab.m_pPersonDlg->m_hWnd));
                EXPECT_FALSE(Visible(tab.m_dlgArbeitsplan.m_hWnd));
                security.Answer(kArbeitsplanFunction, 0);
                ClickTab(Tabs(tab), tab.m_nArbeitsplanPage);
                EXPECT_EQ(tab.m_tabCtrl.GetActiveTab(), 0);
                EXPECT_TRUE(Visible(tab.m_pPersonDlg->m_hWnd));
                EXPECT_FALSE(Visible(tab.m_treeOrg.m_hWnd));
                EXPECT_FALSE(Visible(tab.m_dlgArbeitsplan.m_hWnd));
            }
        });
    }
}

TEST_F(SearchTab, PersonsCheckedOnEveryPageAreHandedBackOnce) {
    security.Answer(kTreeFunction, 1);
    security.Answer(kArbeitsplanFunction, 1);
    // A person whose name no other person carries, of an active brigade.
    const std::string name = Query("SELECT strName || ' ' || strVorname FROM Person WHERE fActive = 1 GROUP BY "
                                   "strName || ' ' || strVorname HAVING count(*) = 1 LIMIT 1").front();
    const long person = long(Int("SELECT lPersonID FROM Person WHERE strName || ' ' || strVorname = '" + name + "'"));
    const std::string cleared = Query("SELECT strName || ' ' || strVorname FROM Person p JOIN Mandant m ON "
                                      "p.lMandantID = m.lMandantID WHERE p.fActive = 1 AND m.fActive = 1 GROUP BY "
                                      "strName || ' ' || strVorname HAVING count(*) = 1 ORDER BY 1 DESC LIMIT 1").front();
    CSearchPopupDlg popup(4, L"Tab", 7, 1);
    popup.m_bMultiSelect = TRUE;
    popup.SetSecMandantTableID(L"1");
    const std::string second = Query("SELECT strName || ' ' || strVorname FROM Person WHERE fActive = 1 GROUP BY "
                                     "strName || ' ' || strVorname HAVING count(*) = 1 LIMIT 1 OFFSET 1").front();
    std::vector<long> checkedInPlan, onPage;
    const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchTabDlg& tab = *dlg.m_pSearchTabDlg;
        CSearchDlg& search = *tab.m_pPersonDlg;
        ASSERT_TRUE(Visible(search.m_hWnd));
        Type(Edit(search), qv::FromUtf8(name));
        ASSERT_TRUE(Settled(search));
        ASSERT_EQ(Rows(List(search)), 1);
        ClickRowCheckBox(List(search), 0);
        // Another person is checked on this page only.
        Retype(Edit(search), qv::FromUtf8(second));
        ASSERT_TRUE(Settled(search));
        ASSERT_EQ(Rows(List(search)), 2);
        for (int row = 0; row < 2; ++row) {
            if (search.m_lstResult.QvGetCheck(row) != 1) ClickRowCheckBox(List(search), row);
            long id = 0;
            search.m_lstResult.QvGetVisibleListItem(row)->GetParam(0, &id);
            onPage.push_back(id);
        }

        const HWND tree = tab.m_treeOrg.m_hWnd;
        EXPECT_EQ(tab.m_treeOrg.GetCount(), 0u) << "the tree loads when its page is first shown";
        ClickTab(Tabs(tab), tab.m_nTreePage);
        // The tree fills over several turns of the GUI thread, in its order, with every element.
        const long long elements = Int("SELECT count(*) FROM Mandant WHERE fActive = 1") +
                                   Int("SELECT count(*) FROM Person p JOIN Mandant m ON p.lMandantID = m.lMandantID "
                                       "WHERE p.fActive = 1 AND m.fActive = 1");
        ASSERT_TRUE(WaitFor([&] { return static_cast<long long>(tab.m_treeOrg.GetCount()) >= elements; }, 30000));
        EXPECT_EQ(static_cast<long long>(tab.m_treeOrg.GetCount()), elements);
        EXPECT_TRUE(ClickTreeCheckBox(tree, qv::FromUtf8(name)));
        EXPECT_TRUE(TreeItemChecked(tree, qv::FromUtf8(name)));
        // A person checked and cleared again is not handed back.
        EXPECT_TRUE(ClickTreeCheckBox(tree, qv::FromUtf8(cleared)));
        EXPECT_TRUE(ClickTreeCheckBox(tree, qv::FromUtf8(cleared)));
        EXPECT_FALSE(TreeItemChecked(tree, qv::FromUtf8(cleared)));

        ClickTab(Tabs(tab), tab.m_nArbeitsplanPage);
        SelectRow(tab.m_dlgArbeitsplan.m_lstArbeitsplan.m_hWnd, 0);
        const HWND persons = tab.m_dlgArbeitsplan.m_lstPerson.m_hWnd;
        ASSERT_GE(Rows(persons), 2);
        for (int row : {0, 1}) {
            ClickRowCheckBox(persons, row);
            long id = 0;
            tab.m_dlgArbeitsplan.m_lstPerson.QvGetVisibleListItem(row)->GetParam(0, &id);
            checkedInPlan.push_back(id);
        }
        Pump();
        Screenshot(dlg.m_hWnd, "search_tab_arbeitsplan");
        Click(dlg.m_hWnd, IDOK);
    });
    ASSERT_EQ(result, IDOK);
    std::vector<long> expected = onPage;
    ASSERT_NE(std::find(expected.begin(), expected.end(), person), expected.end());
    for (long id : checkedInPlan)
        if (std::find(expected.begin(), expected.end(), id) == expected.end()) expected.push_back(id);
    EXPECT_EQ(popup.m_pSearchTabDlg->m_arCheckedIDs, expected);
}

TEST_F(SearchTab, CheckingABrigadeInTheTreeChecksItsPersons) {
    // The tree and the work plans offer only the persons the person page may list: the caller's
    // narrowing, the rights on persons and the Mandant filter hold on every page.
    security.Answer(kTreeFunction, 1);
    security.Answer(kArbeitsplanFunction, 1);
    const long planned = long(Int(
        "SELECT min(pa.lPersonID) FROM PersonArbeitsplan pa JOIN Taetigkeit t ON t.lTaetigkeitID = pa.lTaetigkeitID "
        "JOIN Person p ON p.lPersonID = pa.lPersonID JOIN Arbeitsplan a ON a.lArbeitsplanID = pa.lArbeitsplanID "
        "JOIN Einsatz e ON e.lEinsatzID = 1 WHERE t.fSoldrelevant = 1 AND p.fActive = 1 AND a.dtStart <= "
        "e.dtEinsatzBis AND a.dtEnde >= e.dtEinsatz"));
    const std::string mandant = std::to_string(Int("SELECT lMandantID FROM Person WHERE lPersonID = " + std::to_string(planned)));
    const std::string own = std::to_string(
        Int("SELECT lMandantID FROM SecMandant WHERE lQvSecUserID = 2 AND lTableID = 4 AND lRight & 256"));
    const long long persons = Int("SELECT count(*) FROM Person WHERE fActive = 1 AND lMandantID = " + mandant);
    // With the filter off another Mandant is the active one: it must not narrow the tree.
    const long other = long(Int("SELECT min(lMandantID) FROM Mandant WHERE fActive = 1 AND lMandantID NOT IN (" +
                                mandant + ", " + own + ")"));
    ASSERT_GT(other, 0);
    // A Mandant given up, with an active person the administrator may see: neither is offered.
    Sql("INSERT INTO Mandant (lMandantID, strMandantName, fActive) VALUES (990, 'Feuerwehr Aufgelöst', 0)");
    Sql("INSERT INTO Person (lPersonID, lMandantID, strName, strVorname, fActive) VALUES (990001, 990, 'Zuletzt', "
        "'Ida', 1)");
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (990, 4, 1, 257)");
    // User 77 holds the person right on the brigade only, and not the right on every Mandant's persons.
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + mandant + ", 4, 77, 1)");
    const struct {
        const char* name;
        long user, filter;
        DWORD mask;
        std::string where;
        long long items;    // Mandanten and persons in the tree (-1: not counted)
        long long checked;  // persons handed back after the brigade was checked (-1: not checked)
    } cases[] = {
        {"everybody", 1, 0, 1, "", -1, persons},
        {"one person", 1, 0, 0, " vp.lPersonID = " + std::to_string(planned), 2, 1},
        {"the rights", 2, 0, 0x100, "", 1 + Int("SELECT count(*) FROM Person WHERE fActive = 1 AND lMandantID = " + own), -1},
        {"the Mandant filter", 1, 1, 1, "", 1 + persons, persons},
        {"mask 0 without the right on every Mandant's persons", 77, 0, 0, "", 1 + persons, persons},
    };
    const long long all = Int("SELECT count(*) FROM Mandant WHERE fActive = 1") +
                          Int("SELECT count(*) FROM Person p JOIN Mandant m ON p.lMandantID = m.lMandantID "
                              "WHERE p.fActive = 1 AND m.fActive = 1");
    const std::wstring brigade =
        qv::FromUtf8(Query("SELECT strMandantName FROM Mandant WHERE lMandantID = " + mandant).front());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        security.userID = c.user;
        options.Set(-1000, L"ApplyMandantFilterOnAddItems", c.filter);
        // The work plans offered are those of the active Mandant, filter or not.
        ActivateMandant(c.filter || !c.where.empty() ? std::stol(mandant) : other);
        CSearchPopupDlg popup(4, L"Tree", c.where.empty() ? 2 : 6, 2);
        popup.m_bMultiSelect = TRUE;
        popup.m_dwRightMask = c.mask;
        popup.SetSecMandantTableID(L"1");
        if (!c.where.empty()) popup.SetJoinAndWhere(CString(), qv::FromUtf8(c.where).c_str());
        bool plansListed = false;
        const INT_PTR result = RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchTabDlg& tab = *dlg.m_pSearchTabDlg;
            ASSERT_TRUE(WaitFor([&] { return tab.m_treeOrg.GetCount() > 0; }));
            if (c.checked >= 0) {
                // Checked while its persons still arrive: those that come later are checked with it.
                EXPECT_TRUE(TreeItemBold(tab.m_treeOrg.m_hWnd, brigade));
                EXPECT_TRUE(ClickTreeCheckBox(tab.m_treeOrg.m_hWnd, brigade));
            }
            const long long elements = c.items >= 0 ? c.items : all;
            ASSERT_TRUE(WaitFor([&] { return static_cast<long long>(tab.m_treeOrg.GetCount()) >= elements; }, 30000));
            EXPECT_EQ(static_cast<long long>(tab.m_treeOrg.GetCount()), elements);
            if (c.checked < 0) return;
            Pump();
            if (c.user == 1 && !c.filter && c.where.empty()) Screenshot(dlg.m_hWnd, "search_tab_organisation");
            if (tab.m_nArbeitsplanPage >= 0) {
                // Every person of every work plan of the activity, checked.
                ClickTab(Tabs(tab), tab.m_nArbeitsplanPage);
                const HWND plans = tab.m_dlgArbeitsplan.m_lstArbeitsplan.m_hWnd;
                const HWND listed = tab.m_dlgArbeitsplan.m_lstPerson.m_hWnd;
                for (int plan = 0; plan < Rows(plans); ++plan) {
                    SelectRow(plans, plan);
                    plansListed = plansListed || Rows(listed) > 0;
                    for (int row = 0; row < Rows(listed); ++row)
                        if (tab.m_dlgArbeitsplan.m_lstPerson.QvGetCheck(row) != 1) ClickRowCheckBox(listed, row);
                }
            }
            Click(dlg.m_hWnd, IDOK);
        });
        if (c.checked < 0) continue;
        ASSERT_EQ(result, IDOK);
        EXPECT_EQ(static_cast<long long>(popup.m_pSearchTabDlg->m_arCheckedIDs.size()), c.checked);
        EXPECT_EQ(popup.m_pSearchTabDlg->m_arCheckedOther, std::vector<long>{std::stol(mandant)});
        if (!c.where.empty()) {
            EXPECT_EQ(popup.m_pSearchTabDlg->m_arCheckedIDs, std::vector<long>{planned});
            EXPECT_TRUE(plansListed) << "the person is offered in his work plan";
        }
    }
}
