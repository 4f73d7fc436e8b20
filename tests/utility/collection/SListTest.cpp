#include "library/utility/collection/SList.h"

#include "utility/ExpectRows.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <tuple>
#include <vector>

using S::SResult;
using IntList = S::SListT<int>;
using Ints = std::vector<int>;

static IntList MakeList(std::initializer_list<int> values)
{
    IntList list;
    for (int value : values)
        list.PushBack(value);
    return list;
}

static Ints Contents(const IntList& list)
{
    return {list.GetItems().begin(), list.GetItems().end()};
}

TEST(SList, IteratorsPositionsOutOfRangeCollectionsWithThemselvesAndComparisons)
{
    IntList list = MakeList({10, 20, 30, 40});
    IntList::IteratorPtr it;
    list.CreateIterator(it);
    it->Next(1);
    EXPECT_TRUE(it->Remove());
    EXPECT_FALSE(it->Remove());       // a second Remove without Next does nothing
    EXPECT_EQ(*it->GetValue(), 0);    // before the next step: the empty element
    ASSERT_TRUE(it->InsertAfter(25)); // fills the gap, before the element the next step reaches
    EXPECT_EQ(it->Next(1), 1u);       // the pending step: no move
    EXPECT_EQ(*it->GetValue(), 30);
    EXPECT_EQ(it->GetKey(), 2u);
    // Removing the last element reaches the end only with the next step, which counts once.
    it->Next(1);
    ASSERT_TRUE(it->Remove());
    EXPECT_FALSE(it->IsAtEnd());
    EXPECT_EQ(it->Next(5), 1u);
    EXPECT_TRUE(it->IsAtEnd());
    EXPECT_FALSE(it->InsertAfter(9));
    EXPECT_EQ(Contents(list), (Ints{10, 25, 30}));

    list.CreateEndIterator(it);
    EXPECT_EQ(it->Prev(10), 3u); // stops at the first element
    it->Next(1);
    it->Remove(); // Prev after a removal goes to the element before the removed one
    EXPECT_EQ(it->Prev(1), 1u);
    EXPECT_EQ(*it->GetValue(), 10);

    IntList small = MakeList({1, 2, 2});
    SResult result;
    int out = -1;
    EXPECT_EQ(small.GetAt(result, 3, &out), S::kResultIndexOutOfRange);
    EXPECT_EQ(result, S::kResultIndexOutOfRange);
    EXPECT_EQ(small.Insert(result, 3u, 3), SResult(0)); // at the count: appends
    EXPECT_EQ(small.Insert(result, 5u, 8), S::kResultIndexOutOfRange);
    EXPECT_EQ(small.Remove(result, 9, &out), S::kResultElementNotFound);
    EXPECT_EQ(out, -1);

    EXPECT_EQ(small.Assign(result, small), SResult(0));
    small.SpliceBack(small);
    EXPECT_EQ(Contents(small), (Ints{1, 2, 2, 3}));
    // One removal per element of the other list; the missing 9 is no error.
    EXPECT_EQ(small.Remove(result, static_cast<const IntList::Collection&>(MakeList({2, 3, 9}))), SResult(0));
    EXPECT_EQ(Contents(small), (Ints{1, 2}));
    EXPECT_EQ(small.Remove(result, static_cast<const IntList::Collection&>(small)), SResult(0));
    EXPECT_TRUE(small.IsEmpty());

    // left, right, equal, less, greater
    const std::tuple<IntList, IntList, bool, bool, bool> cases[] = {
        {MakeList({}), MakeList({}), true, false, false},
        {MakeList({1}), MakeList({1, 2}), false, true, false},
        {MakeList({1, 3}), MakeList({1, 2, 9}), false, false, true},
        {MakeList({0, 9}), MakeList({1}), false, true, false}};
    for (const auto& [left, right, equal, less, greater] : cases)
    {
        SCOPED_TRACE(testing::Message() << left.GetCount() << " against " << right.GetCount() << " elements");
        EXPECT_EQ(left.IsEqual(right), equal);
        EXPECT_EQ(left.IsLess(right), less);
        EXPECT_EQ(left.IsGreater(right), greater);
        EXPECT_TRUE(left.IsEqual(left) && !left.IsLess(left));
    }
}

TEST(SList, CopyHookBackwardSearchesAndSplicingBetweenLists)
{
    const IntList source = MakeList({1, 2, 3});
    IntList copy = MakeList({99});
    copy.SetCopyElement([](int& buffer, const int& from) -> const int& { return buffer = from * 10; });
    SResult result;
    EXPECT_EQ(copy.Assign(result, source), SResult(0));
    EXPECT_EQ(Contents(copy), (Ints{10, 20, 30}));

    // Backwards from the end: the last match first, a match stays found, then on towards the front.
    IntList list = MakeList({5, 7, 5, 9});
    IntList::IteratorPtr it;
    list.CreateEndIterator(it);
    const int five = 5;
    STest::ExpectRows(
        {{it->FindPrev(five, true), true},
         {it->GetKey(), 2},
         {it->FindPrev(five, true), true},
         {it->GetKey(), 2},
         {it->Prev(1), 1},
         {it->FindPrev(five, true), true},
         {it->GetKey(), 0},
         {it->FindPrev(8, true), false},
         {(it->MoveToEnd(), it->GetKey()), 4},
         {it->FindPrev(*list.GetBack(), false), true}, // the element itself, without comparing values
         {it->GetKey(), 3},
         {it->SeekKeyBackward(1), true},
         {static_cast<size_t>(*it->GetValue()), 7},
         {it->FindPrev(five, false), false}, // an equal value elsewhere is no match
         {it->SeekKeyBackward(3), false}});
    IntList empty;
    empty.CreateEndIterator(it);
    EXPECT_FALSE(it->FindPrev(five, true) || it->SeekKeyBackward(0));

    // Nodes move between lists without copying: elements keep their addresses.
    IntList front = MakeList({1, 2}), back = MakeList({8, 9}), middle = MakeList({5});
    const int *first = front.GetFront(), *last = back.GetBack();
    middle.SpliceFront(front);
    middle.SpliceBack(back);
    EXPECT_EQ(Contents(middle), (Ints{1, 2, 5, 8, 9}));
    EXPECT_TRUE(front.IsEmpty() && back.IsEmpty() && middle.GetCount() == 5);
    EXPECT_TRUE(middle.GetFront() == first && middle.GetBack() == last);
}
