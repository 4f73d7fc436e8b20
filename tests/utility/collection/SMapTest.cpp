#include "library/utility/SString.h"
#include "library/utility/collection/SMap.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

using S::SResult;
using S::SString;
using NameMap = S::SMapT<SString, SString, S::LessCaseInsensitiveT<SString>>;
using NumberMap = S::SMapT<unsigned int, int, std::less<unsigned int>>;

std::vector<unsigned int> Keys(const NumberMap& map)
{
    std::vector<unsigned int> keys;
    NumberMap::IteratorPtr it;
    for (map.CreateIterator(it); !it->IsAtEnd(); it->Next(1))
        keys.push_back(it->GetKey());
    return keys;
}

TEST(SMap, KeysDifferingOnlyInAsciiCaseAreOneKey)
{
    NameMap map;
    SResult result;
    EXPECT_EQ(map.Insert(result, SString(L"Path"), SString(L"first")), SResult(0));
    EXPECT_EQ(map.Insert(result, SString(L"PATH"), SString(L"second")), SResult(0x800700B7u));
    EXPECT_EQ(result, SResult(0x800700B7u));
    EXPECT_EQ(map.Insert(result, SString(L"Pfad"), SString(L"third")), SResult(0));
    EXPECT_EQ(map.GetCount(), 2u);

    SString* stored = nullptr;
    ASSERT_EQ(map.Lookup(result, SString(L"pAtH"), &stored), SResult(0));
    EXPECT_EQ(*stored, SString(L"first"));
    // The pointer reaches the stored value itself.
    *stored = SString(L"changed");
    EXPECT_EQ(map.GetAt(SString(L"path")), SString(L"changed"));
    EXPECT_EQ(map.Lookup(result, SString(L"Paths"), &stored), SResult(0xA0040A43u));

    // Case folding is ASCII only: these two letters stay different keys.
    EXPECT_EQ(map.Insert(result, SString(L"\u00e9"), SString(L"e acute")), SResult(0));
    EXPECT_EQ(map.Insert(result, SString(L"\u00c9"), SString(L"E acute")), SResult(0));

    NameMap::IteratorPtr it;
    map.FindKey(it, SString(L"PFAD"));
    ASSERT_FALSE(it->IsAtEnd());
    EXPECT_EQ(it->GetKey(), SString(L"Pfad"));
    EXPECT_EQ(map.RemoveKey(SString(L"pfad")), 1u);
    EXPECT_EQ(map.RemoveKey(SString(L"pfad")), 0u);
    map.FindKey(it, SString(L"pfad"));
    EXPECT_TRUE(it->IsAtEnd());
}

TEST(SMap, IteratorsWalkInKeyOrderAndBack)
{
    NumberMap map;
    SResult result;
    for (unsigned int key : {30u, 10u, 20u})
        map.Insert(result, key, static_cast<int>(key) * 2);
    EXPECT_EQ(Keys(map), (std::vector<unsigned int>{10, 20, 30}));

    NumberMap::IteratorPtr it;
    map.CreateEndIterator(it);
    EXPECT_TRUE(it->IsAtEnd());
    EXPECT_EQ(it->Prev(1), 1u);
    EXPECT_EQ(it->GetKey(), 30u);
    EXPECT_EQ(it->Prev(5), 2u);
    EXPECT_TRUE(it->IsAtFirst());
    EXPECT_EQ(*it->GetValue(), 20);

    EXPECT_TRUE(it->SeekKey(30));
    EXPECT_TRUE(it->SeekKeyBackward(20));
    EXPECT_TRUE(it->FindNext(60, true));
    EXPECT_EQ(it->GetKey(), 30u);
    EXPECT_TRUE(it->FindPrev(20, true));
    EXPECT_EQ(it->GetKey(), 10u);
    EXPECT_FALSE(it->SeekKey(25));
    EXPECT_TRUE(it->IsAtEnd());
}

TEST(SMap, IteratorRemovalAndRefusedInsertion)
{
    NumberMap map;
    SResult result;
    for (unsigned int key : {1u, 2u, 3u})
        map.Insert(result, key, static_cast<int>(key));
    NumberMap::IteratorPtr it;
    map.CreateIterator(it);
    it->Next(1);
    EXPECT_TRUE(it->Remove());
    EXPECT_FALSE(it->Remove());
    // Reading between the removal and the next step is a programming error: the empty element.
    EXPECT_EQ(*it->GetValue(), 0);
    EXPECT_EQ(it->Next(1), 1u);
    EXPECT_EQ(it->GetKey(), 3u);
    EXPECT_FALSE(it->InsertBefore(9));
    EXPECT_FALSE(it->InsertAfter(9));
    EXPECT_EQ(Keys(map), (std::vector<unsigned int>{1, 3}));
    EXPECT_EQ(map.InsertBefore(result, 3, 9), SResult(0xA0040A40u));

    int removed = 0;
    EXPECT_EQ(map.Remove(result, 3, &removed), SResult(0));
    EXPECT_EQ(removed, 3);
    EXPECT_EQ(Keys(map), std::vector<unsigned int>{1});
}

TEST(SMap, AssignCompareAndBulkOperations)
{
    NumberMap a;
    NumberMap b;
    SResult result;
    a.Insert(result, 1u, 100);
    a.Insert(result, 2u, 200);
    EXPECT_EQ(b.Assign(result, a), SResult(0));
    EXPECT_TRUE(b.IsEqual(a));
    EXPECT_EQ(b.Assign(result, b), SResult(0));
    EXPECT_EQ(b.GetCount(), 2u);

    // Values decide the order, not keys.
    NumberMap c;
    c.Insert(result, 2u, 100);
    c.Insert(result, 0u, 300);
    EXPECT_TRUE(b.IsLess(c));
    EXPECT_TRUE(c.IsGreater(b));

    // Inserting a map with a key already present keeps the old value and reports it.
    EXPECT_EQ(b.Insert(result, static_cast<const NumberMap::Collection&>(c)), SResult(0x800700B7u));
    EXPECT_EQ(b.GetCount(), 3u);
    EXPECT_EQ(b.GetAt(0u), 300);
    EXPECT_TRUE(b.ContainsAll(a, true));
    EXPECT_EQ(b.Remove(result, static_cast<const NumberMap::Collection&>(a)), SResult(0));
    EXPECT_EQ(Keys(b), std::vector<unsigned int>{0});
    EXPECT_EQ(b.Remove(result, static_cast<const NumberMap::Collection&>(b)), SResult(0));
    EXPECT_TRUE(b.IsEmpty());
}

} // namespace
