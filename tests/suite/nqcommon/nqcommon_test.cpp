// The platform library: installation kind and display names.
#include "nqcommon.h"
#include "qvdblookup.h"
#include "qvregvalue.h"
#include "servertest.h"
#include "tempdir.h"

#include <gtest/gtest.h>

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

}  // namespace
