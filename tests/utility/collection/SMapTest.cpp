#include "library/utility/SString.h"
#include "library/utility/collection/SMap.h"

#include <gtest/gtest.h>

#include <functional>

using S::SResult;
using S::SString;
using NameMap = S::SMapT<SString, SString, S::LessCaseInsensitiveT<SString>>;
using NumberMap = S::SMapT<unsigned int, int, std::less<unsigned int>>;

TEST(SMap, CaseInsensitiveKeysIteratorsAndBulkOperationsKeepOldValues)
{
    NameMap map;
    SResult result;
    EXPECT_EQ(map.Insert(result, SString(L"Path"), SString(L"first")), SResult(0));
    EXPECT_EQ(map.Insert(result, SString(L"PATH"), SString(L"second")), S::kResultAlreadyExists);
    EXPECT_EQ(result, S::kResultAlreadyExists);
    SString* stored = nullptr;
    ASSERT_EQ(map.Lookup(result, SString(L"pAtH"), &stored), SResult(0));
    EXPECT_EQ(*stored, SString(L"first"));
    EXPECT_EQ(map.Lookup(result, SString(L"Paths"), &stored), S::kResultElementNotFound);
    // Case folding is ASCII only: these two letters stay different keys.
    EXPECT_EQ(map.Insert(result, SString(L"\u00e9"), SString(L"e acute")), SResult(0));
    EXPECT_EQ(map.Insert(result, SString(L"\u00c9"), SString(L"E acute")), SResult(0));
    EXPECT_EQ(map.RemoveKey(SString(L"path")), 1u);
    EXPECT_EQ(map.GetCount(), 2u);

    NumberMap numbers, other;
    for (unsigned key : {30u, 10u, 20u})
        numbers.Insert(result, key, static_cast<int>(key) * 2);
    NumberMap::IteratorPtr it;
    numbers.CreateEndIterator(it);
    // Backwards by key and by value (the value 20 is at key 10), then past the first entry.
    EXPECT_TRUE(it->SeekKeyBackward(20u) && it->GetKey() == 20u);
    EXPECT_TRUE(it->FindPrev(20, true) && it->GetKey() == 10u);
    EXPECT_FALSE(it->SeekKeyBackward(30u));
    it->MoveToEnd();
    EXPECT_EQ(it->Prev(5), 3u);
    EXPECT_EQ(it->GetKey(), 10u);
    EXPECT_TRUE(it->Remove());
    EXPECT_FALSE(it->Remove());
    EXPECT_EQ(it->Next(1), 1u);
    EXPECT_EQ(it->GetKey(), 20u);
    EXPECT_FALSE(it->InsertBefore(9));
    EXPECT_EQ(numbers.InsertBefore(result, 60, 9), S::kResultInsertFailed);

    other.Insert(result, 20u, 99);
    other.Insert(result, 5u, 1);
    // Inserting a map with a key already present keeps the old value and reports it.
    EXPECT_EQ(numbers.Insert(result, static_cast<const NumberMap::Collection&>(other)),
              S::kResultAlreadyExists);
    EXPECT_EQ(numbers.GetAt(20u), 40);
    EXPECT_EQ(numbers.Assign(result, numbers), SResult(0));
    EXPECT_EQ(numbers.GetCount(), 3u);
    EXPECT_EQ(numbers.Remove(result, static_cast<const NumberMap::Collection&>(numbers)), SResult(0));
    EXPECT_TRUE(numbers.IsEmpty());
}
