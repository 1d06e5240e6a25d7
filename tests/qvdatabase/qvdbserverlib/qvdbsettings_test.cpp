// The settings of a database profile.
#include "qvdbsettings.h"
#include "qvregvalue.h"
#include "tempdir.h"

#include <gtest/gtest.h>

namespace {

class Settings : public ::testing::Test {
protected:
    void Set(const wchar_t* key, const wchar_t* name, long value) { ASSERT_TRUE(CQvRegistry::SetValue(key, name, value)); }
    qvtest::TempDir dir;
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    static constexpr const wchar_t* kNQ2Key = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
    static constexpr const wchar_t* kBaseKey = L"Software\\Qovaro\\QvDBServer";
};

TEST_F(Settings, DefaultsWithoutRegistryValues) {
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 0), 30);
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 1), 180);
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 2), 600);
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 7), 30);
    EXPECT_EQ(QvDBGetDefaultCursorLocation(L"Qovaro.NQ2"), 3);
    EXPECT_EQ(QvDBGetDefaultCursorType(L"Qovaro.NQ2"), 3);
    EXPECT_EQ(QvDBGetDefaultLockType(L"Qovaro.NQ2"), 3);
    EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 3);
}

// Recordsets on a server database change no rows: its profile reads read-only unless it says.
TEST_F(Settings, AServerProfileReadsReadOnlyUnlessItNamesALockType) {
    for (const wchar_t* cs : {L"postgresql://qv@127.0.0.1:5432/nq2", L"POSTGRES://db/nq2"}) {
        ASSERT_TRUE(CQvRegistry::SetValue(kNQ2Key, L"DBConnection", CString(cs)));
        EXPECT_EQ(QvDBGetDefaultLockType(L"Qovaro.NQ2"), 1);
    }
    ASSERT_TRUE(CQvRegistry::SetValue(kNQ2Key, L"DBConnection", CString(L"sqlite:/data/nq2.sqlite")));
    EXPECT_EQ(QvDBGetDefaultLockType(L"Qovaro.NQ2"), 3);
    ASSERT_TRUE(CQvRegistry::SetValue(kNQ2Key, L"DBConnection", CString(L"postgresql://db/nq2")));
    Set(kNQ2Key, L"DefaultLockType", 4);
    EXPECT_EQ(QvDBGetDefaultLockType(L"Qovaro.NQ2"), 4);
}

TEST_F(Settings, EachProfileReadsItsOwnKeyAndInternalProfilesTheBase) {
    EXPECT_EQ(QvDBGetProfileKey(L"Qovaro.NQ2"), kNQ2Key);
    EXPECT_EQ(QvDBGetProfileKey(L"QvInternalDBProfile_Places"), kBaseKey);
    EXPECT_EQ(QvDBGetProfileKey(L"xQvInternalDBProfile_"), L"Software\\Qovaro\\QvDBServer\\xQvInternalDBProfile_");
    Set(kNQ2Key, L"DefaultExecuteRetry", 5);
    Set(kBaseKey, L"DefaultExecuteRetry", 2);
    EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 5);
    EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"QvInternalDBProfile_Places"), 2);
    EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.QvPool"), 3);
}

TEST_F(Settings, AZeroTimeoutMeansTheLongOne) {
    Set(kNQ2Key, L"DefaultCommandTimeout [s]", 0);
    Set(kNQ2Key, L"DefaultMidCommandTimeout [s]", 0);
    Set(kNQ2Key, L"DefaultLongCommandTimeout [s]", 900);
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 0), 900);
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 1), 900);
    Set(kNQ2Key, L"DefaultLongCommandTimeout [s]", 0);
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 0), 600);
    EXPECT_EQ(QvDBGetDefaultCommandTimeout(L"Qovaro.NQ2", 2), 600);
}

TEST_F(Settings, ValuesAreReadAfreshEachTime) {
    EXPECT_EQ(QvDBGetDefaultCursorType(L"Qovaro.NQ2"), 3);
    Set(kNQ2Key, L"DefaultCursorType", 1);
    EXPECT_EQ(QvDBGetDefaultCursorType(L"Qovaro.NQ2"), 1);
    Set(kNQ2Key, L"DefaultExecuteRetry", 0);
    EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 0);
}

// The settings are kept between reads, so a write must still show at once, however quickly it
// follows the last one, and a registry in another file is a registry of its own.
TEST_F(Settings, KeptValuesFollowEveryWriteAndTheRegistryFile) {
    for (long i = 1; i <= 25; ++i) {
        Set(kNQ2Key, L"DefaultExecuteRetry", i);
        ASSERT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), i) << "write " << i;
        ASSERT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), i) << "kept after write " << i;
    }
    {
        qvtest::ScopedEnv other{"QV_REGISTRY", dir.file("other.db")};
        EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 3);
        Set(kNQ2Key, L"DefaultExecuteRetry", 9);
        EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 9);
    }
    EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 25);

    // Inside one scope the registry is looked at once: the values read belong together.
    {
        const QvDBSettingsScope scope;
        EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 25);
        Set(kNQ2Key, L"DefaultExecuteRetry", 26);
        EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 25);
    }
    EXPECT_EQ(QvDBGetDefaultExecuteRetry(L"Qovaro.NQ2"), 26) << "the next look sees the write";
}

}  // namespace
