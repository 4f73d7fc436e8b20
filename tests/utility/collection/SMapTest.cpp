#include "library/utility/SString.h"
#include "library/utility/collection/SMap.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace
{

using S::SResult;
using S::SString;
using NameMap = S::SMapT<SString, SString, S::LessCaseInsensitiveT<SString>>;
using NumberMap = S::SMapT<unsigned int, int, std::less<unsigned int>>;
using Keys = std::vector<unsigned int>;

NumberMap MakeMap(std::initializer_list<std::pair<unsigned int, int>> entries)
{
    NumberMap map;
    SResult result;
    for (const auto& [key, value] : entries)
        map.Insert(result, key, value);
    return map;
}

Keys KeysOf(const NumberMap& map)
{
    Keys keys;
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
    SString* stored = nullptr;
    ASSERT_EQ(map.Lookup(result, SString(L"pAtH"), &stored), SResult(0));
    EXPECT_EQ(*stored, SString(L"first"));
    *stored = SString(L"changed"); // the pointer reaches the stored value itself
    EXPECT_EQ(map.GetAt(SString(L"path")), SString(L"changed"));
    EXPECT_EQ(map.Lookup(result, SString(L"Paths"), &stored), SResult(0xA0040A43u));
    // Case folding is ASCII only: these two letters stay different keys.
    EXPECT_EQ(map.Insert(result, SString(L"\u00e9"), SString(L"e acute")), SResult(0));
    EXPECT_EQ(map.Insert(result, SString(L"\u00c9"), SString(L"E acute")), SResult(0));
    NameMap::IteratorPtr it;
    map.FindKey(it, SString(L"PATH"));
    ASSERT_FALSE(it->IsAtEnd());
    EXPECT_EQ(it->GetKey(), SString(L"Path"));
    EXPECT_EQ(map.RemoveKey(SString(L"path")), 1u);
    EXPECT_EQ(map.RemoveKey(SString(L"path")), 0u);
    EXPECT_EQ(map.GetCount(), 2u);
}

TEST(SMap, IteratorsWalkInKeyOrderRemoveAndRefuseInsertion)
{
    NumberMap map = MakeMap({{30, 60}, {10, 20}, {20, 40}});
    EXPECT_EQ(KeysOf(map), (Keys{10, 20, 30}));
    NumberMap::IteratorPtr it;
    map.CreateEndIterator(it);
    EXPECT_EQ(it->Prev(1), 1u);
    EXPECT_EQ(it->GetKey(), 30u);
    EXPECT_EQ(it->Prev(5), 2u);
    EXPECT_TRUE(it->IsAtFirst());
    EXPECT_TRUE(it->SeekKey(20));

    EXPECT_TRUE(it->Remove());
    EXPECT_FALSE(it->Remove());
    EXPECT_EQ(*it->GetValue(), 0); // reading before the next step: the empty element
    EXPECT_EQ(it->Next(1), 1u);
    EXPECT_EQ(it->GetKey(), 30u);
    EXPECT_FALSE(it->InsertBefore(9));
    EXPECT_FALSE(it->InsertAfter(9));
    SResult result;
    EXPECT_EQ(map.InsertBefore(result, 60, 9), SResult(0xA0040A40u));
    EXPECT_EQ(KeysOf(map), (Keys{10, 30}));
}

TEST(SMap, AssignCompareAndBulkOperations)
{
    const NumberMap a = MakeMap({{1, 100}, {2, 200}});
    NumberMap b;
    SResult result;
    EXPECT_EQ(b.Assign(result, a), SResult(0));
    EXPECT_TRUE(b.IsEqual(a));
    EXPECT_EQ(b.Assign(result, b), SResult(0));
    // Values decide the order, not keys.
    const NumberMap c = MakeMap({{2, 100}, {0, 300}});
    EXPECT_TRUE(b.IsLess(c));
    EXPECT_TRUE(c.IsGreater(b));
    // Inserting a map with a key already present keeps the old value and reports it.
    EXPECT_EQ(b.Insert(result, static_cast<const NumberMap::Collection&>(c)), SResult(0x800700B7u));
    EXPECT_EQ(b.GetAt(0u), 300);
    EXPECT_EQ(b.GetAt(2u), 200);
    EXPECT_EQ(b.Remove(result, static_cast<const NumberMap::Collection&>(a)), SResult(0));
    EXPECT_EQ(KeysOf(b), Keys{0});
    EXPECT_EQ(b.Remove(result, static_cast<const NumberMap::Collection&>(b)), SResult(0));
    EXPECT_TRUE(b.IsEmpty());
}

} // namespace
