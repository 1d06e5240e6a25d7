// The fill-level cache of runs: the state by count, maximum and warning level, lookups that leave
// nothing behind for unknown runs, and the central installation's answer taken into the cache.
#include "kursfilllevel.h"
#include "kurswintest.h"

namespace kurstest {
namespace {

const wchar_t* const kRunA = L"6B1E5E2C-0C1F-4C0E-9F66-1A2B3C4D5E6F";
const wchar_t* const kRunB = L"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9";
const wchar_t* const kRunC = L"5C4D3E2F-1A0B-4C9D-8E7F-6A5B4C3D2E1F";

CQvGUID RunGuid(const wchar_t* text) {
    CQvGUID guid;
    guid.SetGUID(text);
    return guid;
}

using KursFillLevel = KursWinTest;

TEST_F(KursFillLevel, StateByCountMaximumAndWarningLevel) {
    struct Case {
        long count, max, percent;
        EFillLevelState state;
    };
    const Case cases[] = {
        {5, 0, 90, eFillLevelNormal},    {0, 10, 90, eFillLevelNormal},  {8, 10, 90, eFillLevelNormal},
        {9, 10, 90, eFillLevelWarning}, {10, 10, 90, eFillLevelFull},  {12, 10, 90, eFillLevelFull},
        {5, 10, 50, eFillLevelWarning}, {4, 10, 50, eFillLevelNormal},  {2147483000, 2147483600, 90, eFillLevelWarning},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CKursFillLevel::State(c.count, c.max, c.percent), c.state) << c.count << "/" << c.max << " " << c.percent;
}

TEST_F(KursFillLevel, LookupAnswersFromTheCacheWithTheWarningLevelOfTheSettings) {
    CKursFillLevel cache;
    long state = 7, count = 7, max = 7;
    EXPECT_FALSE(cache.Lookup(RunGuid(kRunA), &state, &count, &max));
    EXPECT_EQ(state + count + max, 0) << "an unknown run zeroes the outputs";

    cache.Set(RunGuid(kRunA), 6, 10);
    ASSERT_TRUE(cache.Lookup(RunGuid(kRunA), &state, &count, &max));
    EXPECT_EQ(count, 6);
    EXPECT_EQ(max, 10);
    EXPECT_EQ(state, eFillLevelNormal) << "90 percent when the option is not set";
    optionServer.Set(-1060, L"FillLevelPercentWarning", 60);
    ASSERT_TRUE(cache.Lookup(RunGuid(kRunA), &state, nullptr, nullptr));
    EXPECT_EQ(state, eFillLevelWarning);
    EXPECT_FALSE(cache.Lookup(RunGuid(kRunB), &state, &count, &max));
}

TEST_F(KursFillLevel, TheCentralAnswerReplacesTheCacheAndMalformedItemsAreSkipped) {
    CKursFillLevel cache;
    cache.Set(RunGuid(kRunB), 1, 1);
    const std::vector<CString> items = {
        CString(L"ok;") + kRunA + L";12;20",
        L"ok;kein-guid;3;4",
        CString(L"ok;") + kRunB + L";x;4",
        L"kurz",
        CString(L" ") + kRunC + L" ;3;4",  // the bare triple, the GUID padded
    };
    EXPECT_EQ(cache.Update(items), 2);
    long state = 0, count = 0, max = 0;
    ASSERT_TRUE(cache.Lookup(RunGuid(kRunA), &state, &count, &max));
    EXPECT_EQ(count, 12);
    EXPECT_EQ(max, 20);
    EXPECT_FALSE(cache.Lookup(RunGuid(kRunB), &state, &count, &max)) << "the old entry is gone";
    ASSERT_TRUE(cache.Lookup(RunGuid(kRunC), &state, &count, &max));
    EXPECT_EQ(count * 100 + max, 304);
}

}  // namespace
}  // namespace kurstest
