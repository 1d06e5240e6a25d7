// The platform library: installation kind, display names, the active Mandant and the navigation
// history.
#include "nqcommon.h"
#include "qvdblookup.h"
#include "qvregvalue.h"
#include "servertest.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <vector>

enum EPersonKursStatus : LONG { eStatusPlanned = 0, eStatusWaiting = 3, eStatusDeregistered = 5 };

namespace {

class InstallationKind : public ::testing::Test {
protected:
    void SetUp() override { qv::nq::SetEnterpriseEdition(std::nullopt); }
    void TearDown() override { qv::nq::SetEnterpriseEdition(std::nullopt); }
    qvtest::TempDir dir_;
    qvtest::ScopedEnv env_{"QV_REGISTRY", dir_.file("registry.db")};
};

TEST_F(InstallationKind, LocalUnlessTheMachineSaysCentral) {
    EXPECT_FALSE(NQ_IsEnterpriseEdition());
    qv::nq::SetEnterpriseEdition(std::nullopt);
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", 1L, HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(NQ_IsEnterpriseEdition());
}

TEST_F(InstallationKind, FixedWhileTheProcessRuns) {
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", 1L, HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(NQ_IsEnterpriseEdition());
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", 0L, HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(NQ_IsEnterpriseEdition()) << "a changed setting waits for the next start";
    qv::nq::SetEnterpriseEdition(false);
    EXPECT_FALSE(NQ_IsEnterpriseEdition());
}

TEST(StatusNames, DependOnRunAndRole) {
    EXPECT_EQ(NQ_GetPersonKursStatusBezeichnung(eStatusPlanned, -1, TRUE, L""), L"Geplant");
    EXPECT_EQ(NQ_GetPersonKursStatusBezeichnung(eStatusPlanned, 17, TRUE, L""), L"Angemeldet");
    EXPECT_EQ(NQ_GetPersonKursStatusBezeichnung(eStatusWaiting, 17, TRUE, L""), L"auf Warteliste");
    EXPECT_EQ(NQ_GetPersonKursStatusBezeichnung(eStatusWaiting, 17, FALSE, L""), L"Reserve");
    EXPECT_EQ(NQ_GetPersonKursStatusBezeichnung(eStatusDeregistered, 17, FALSE, L""), L"Abgemeldet");
    EXPECT_EQ(NQ_GetPersonKursStatusBezeichnung(static_cast<EPersonKursStatus>(8), 17, TRUE, L"?"), L"?");
}

TEST(PersonNames, FromTheSuitesDatabase) {
    qvtest::ServerEnvironment env;
    ASSERT_EQ(QvDBExecute(L"INSERT INTO Person (lPersonID, strName, strVorname) VALUES (7, 'Muster', 'Hans')",
                          L"Qovaro.NQ2"),
              S_OK);
    const CString name = NQ_GetPersonBezeichnung(7, L"");
    EXPECT_NE(name.Find(L"Muster"), -1) << name.ToUtf8();
    EXPECT_NE(name.Find(L"Hans"), -1) << name.ToUtf8();
    EXPECT_EQ(NQ_GetPersonBezeichnung(8, L"?"), L"?") << "no such person";
}

TEST(ActiveMandant, IsTheChosenOneOnlyWhileTheDatabaseHoldsItAsActive) {
    qvtest::ServerEnvironment env;
    ASSERT_EQ(QvDBExecute(L"INSERT INTO Mandant (lMandantID, strMandantName, fActive) VALUES (7, 'Talwil', 1), "
                          L"(8, 'Bergwil', 0)",
                          L"Qovaro.NQ2"),
              S_OK);
    EXPECT_EQ(NQ_GetActMandantID(), 0);
    EXPECT_FALSE(NQ_IsMandantSelected(false));
    struct Case {
        long chosen;
        long active;
    };
    for (const Case c : {Case{7, 7}, Case{8, 0}, Case{99, 0}, Case{0, 0}}) {
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", c.chosen);
        long id = -1;
        EXPECT_EQ(NQ_GetActMandantID(id), c.active) << c.chosen;
        EXPECT_EQ(id, c.active);
        EXPECT_EQ(NQ_IsMandantSelected(false) != FALSE, c.active != 0);
    }
    // The installation's own Mandant need not be active.
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", 8L, HKEY_LOCAL_MACHINE);
    long master = -1;
    EXPECT_EQ(NQ_GetMasterMandantID(master), 8);
    EXPECT_EQ(master, 8);
}

TEST(NavigationHistory, StepsBackAndForwardAndANewEntryDropsTheStepsAhead) {
    qv::nq::ClearNavigationHistory();
    std::vector<NQNavigateEntry> visited;
    qv::nq::SetNavigator([&](const NQNavigateEntry& e) -> long {
        visited.push_back(e);
        NQ_AddIDToNavigate(e.strView, 999, 0);  // what the view records again while it navigates
        return S_OK;
    });
    EXPECT_EQ(NQ_NavigateBackward(), S_FALSE);
    NQ_AddViewToNavigate(L"Qovaro.NQ2.KursView");
    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 12, 0);
    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 12, 0);  // the same again is no new step
    NQ_AddTabToNavigate(L"Kurs", L"Daten");
    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 13, 4);
    int current = -1;
    ASSERT_EQ(qv::nq::NavigationHistory(&current).size(), 4u);
    EXPECT_EQ(current, 3);

    EXPECT_EQ(NQ_NavigateBackward(), S_OK);
    EXPECT_EQ(NQ_NavigateBackward(), S_OK);
    ASSERT_EQ(visited.size(), 2u);
    EXPECT_EQ(visited[0].kind, NQNavigateEntry::Tab);
    EXPECT_EQ(visited[0].strTab, L"Daten");
    EXPECT_EQ(visited[1].kind, NQNavigateEntry::Record);
    EXPECT_EQ(visited[1].lID, 12);
    EXPECT_EQ(NQ_NavigateForward(), S_OK);
    EXPECT_EQ(visited.back().kind, NQNavigateEntry::Tab);

    NQ_AddIDToNavigate(L"Qovaro.NQ2.KursView", 14, 0);
    const auto history = qv::nq::NavigationHistory(&current);
    ASSERT_EQ(history.size(), 4u);
    EXPECT_EQ(history.back().lID, 14);
    EXPECT_EQ(current, 3);
    EXPECT_EQ(NQ_NavigateForward(), S_FALSE);
    qv::nq::SetNavigator(nullptr);
    qv::nq::ClearNavigationHistory();
}

}  // namespace
