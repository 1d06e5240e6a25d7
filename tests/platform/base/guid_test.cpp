#include "guid.h"
#include <gtest/gtest.h>
#include <set>

TEST(Guid, TextFormsRoundTripInBothCases) {
    constexpr GUID iid = qv::MakeGuid("11AC6A60-7D57-11D2-A7A6-0060087BF908");
    EXPECT_EQ(qv::GuidToString(iid), L"{11AC6A60-7D57-11D2-A7A6-0060087BF908}");
    EXPECT_EQ(qv::GuidToUtf8(iid, false), "11AC6A60-7D57-11D2-A7A6-0060087BF908");
    EXPECT_EQ(qv::GuidToUtf8(iid, false, false), "11ac6a60-7d57-11d2-a7a6-0060087bf908");
    GUID g;
    ASSERT_TRUE(qv::GuidFromString(L"{11ac6a60-7d57-11d2-a7a6-0060087bf908}", g));
    EXPECT_EQ(g, iid);
    ASSERT_TRUE(qv::GuidFromString(" 11AC6A60-7D57-11D2-A7A6-0060087BF908 ", g));
    EXPECT_EQ(g, iid);
}

TEST(Guid, MalformedTextIsRejectedAndLeavesTargetAlone) {
    GUID g = qv::MakeGuid("00000000-0000-0000-0000-000000000001");
    const GUID before = g;
    for (const char* bad : {"", "{11AC6A60-7D57-11D2-A7A6-0060087BF908", "11AC6A60-7D57-11D2-A7A6-0060087BF90",
                            "11AC6A60-7D57-11D2-A7A6-0060087BF90G", "11AC6A60x7D57-11D2-A7A6-0060087BF908",
                            "(11AC6A60-7D57-11D2-A7A6-0060087BF908)"}) {
        EXPECT_FALSE(qv::GuidFromString(bad, g)) << bad;
        EXPECT_EQ(g, before);
    }
}

TEST(Guid, GeneratedGuidsAreDistinctVersion4) {
    std::set<GUID> seen;
    for (int i = 0; i < 10000; ++i) {
        GUID g = qv::NewGuid();
        EXPECT_EQ(g.Data3 >> 12, 4);
        EXPECT_EQ(g.Data4[0] & 0xC0, 0x80);
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 10000u);
    EXPECT_NE(qv::NewGuid(), GUID_NULL);
}

TEST(Guid, OrderingIsByFieldsNotBytes) {
    GUID a = qv::MakeGuid("00000001-0000-0000-0000-000000000000");
    GUID b = qv::MakeGuid("00000000-FFFF-0000-0000-000000000000");
    EXPECT_TRUE(b < a);
    EXPECT_FALSE(a < b);
    EXPECT_TRUE(FAILED(E_ABORT));
    EXPECT_EQ(E_ABORT, static_cast<HRESULT>(0x80004004u));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

#include "utf.h"

TEST(Utf, UmlautsAndAstralCharactersRoundTrip) {
    const std::wstring w = L"Grüße aus Zürich \U0001F692";
    const std::string u = qv::ToUtf8(w);
    EXPECT_EQ(u, "Gr\xC3\xBC\xC3\x9F" "e aus Z\xC3\xBCrich \xF0\x9F\x9A\x92");
    EXPECT_EQ(qv::FromUtf8(u), w);
}

TEST(Utf, BrokenSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(qv::FromUtf8("a\xC3"), L"a\uFFFD");
    EXPECT_EQ(qv::FromUtf8("\xC3(b"), L"\uFFFD(b");
    EXPECT_EQ(qv::FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(qv::FromUtf8("\xFF"), L"\uFFFD");
}
