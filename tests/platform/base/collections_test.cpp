// The class library's collections as the forms use them: id arrays that grow, insert and remove
// ranges; rows of strings; a map of kept ids walked in a stable order.
#include "afxcoll.h"
#include <gtest/gtest.h>

namespace {

TEST(Collections, ArraysGrowInsertAndRemoveRanges) {
    CArray<long, long> ids;
    EXPECT_TRUE(ids.IsEmpty());
    EXPECT_EQ(ids.Add(7), 0);
    EXPECT_EQ(ids.Add(9), 1);
    ids.SetAtGrow(4, 11);
    EXPECT_EQ(ids.GetSize(), 5);
    EXPECT_EQ(ids.GetAt(2), 0) << "the gap is filled with zeros";
    ids.InsertAt(1, 8, 2);
    ids.RemoveAt(3, 3);
    EXPECT_EQ(std::vector<long>(ids.begin(), ids.end()), (std::vector<long>{7, 8, 8, 11}));
    ids.RemoveAt(3, 10);
    ids.RemoveAt(9);
    EXPECT_EQ(ids.GetUpperBound(), 2) << "a range past the end removes what is there, nothing more";

    CArray<long, long> more;
    more.Add(1);
    more.Add(2);
    EXPECT_EQ(ids.Append(more), 3);
    ids[0] = 70;
    CArray<long, long> copy;
    copy.Copy(ids);
    EXPECT_EQ(std::vector<long>(copy.begin(), copy.end()), (std::vector<long>{70, 8, 8, 1, 2}));
    EXPECT_THROW(ids.GetAt(5), std::out_of_range);
}

// A row of a multi-column list: the texts and the caller's data.
struct Row : CStringArray {
    DWORD_PTR m_dwItemData = 0;
};

TEST(Collections, RowsOfStringsAndAMapOfKeptIds) {
    Row row;
    row.Add(L"3000");
    row.Add(nullptr);
    row.Add(CString(L"Bern"));
    row.m_dwItemData = 42;
    ASSERT_EQ(row.GetSize(), 3);
    EXPECT_EQ(row[1], CString(L""));
    EXPECT_EQ(row.GetAt(2), CString(L"Bern"));

    CMap<long, long, long, long> kept(10);
    kept.InitHashTable(17);
    kept.SetAt(30, 1);
    kept[10] = 2;
    kept.SetAt(20, 3);
    kept.SetAt(30, 4);
    long value = 0;
    EXPECT_TRUE(kept.Lookup(30, value));
    EXPECT_EQ(value, 4);
    EXPECT_FALSE(kept.Lookup(40, value));
    EXPECT_TRUE(kept.RemoveKey(20));
    EXPECT_FALSE(kept.RemoveKey(20));
    std::vector<std::pair<long, long>> walked;
    for (POSITION pos = kept.GetStartPosition(); pos;) {
        long key = 0;
        kept.GetNextAssoc(pos, key, value);
        walked.push_back({key, value});
    }
    EXPECT_EQ(walked, (std::vector<std::pair<long, long>>{{10, 2}, {30, 4}}));
    kept.RemoveAll();
    EXPECT_EQ(kept.GetStartPosition(), nullptr);
}

}  // namespace
