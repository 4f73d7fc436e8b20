#include "library/utility/collection/SList.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace
{

using S::SResult;
using IntList = S::SListT<int>;
using IteratorPtr = IntList::IteratorPtr;

IntList MakeList(std::initializer_list<int> values)
{
    IntList list;
    for (int value : values)
        list.PushBack(value);
    return list;
}

std::vector<int> Contents(const IntList& list)
{
    return {list.GetItems().begin(), list.GetItems().end()};
}

TEST(SListIterator, RemoveThenNextStaysOnTheFollowingElement)
{
    IntList list = MakeList({10, 20, 30});
    IteratorPtr it;
    list.CreateIterator(it);
    ASSERT_EQ(it->Next(1), 1u);
    ASSERT_EQ(*it->GetValue(), 20);

    EXPECT_TRUE(it->Remove());
    EXPECT_EQ(list.GetCount(), 2u);
    // Between the removal and the next step the iterator yields the empty element.
    EXPECT_EQ(*it->GetValue(), 0);
    EXPECT_FALSE(it->IsAtEnd());

    EXPECT_EQ(it->Next(1), 1u);
    EXPECT_EQ(*it->GetValue(), 30);
    EXPECT_EQ(it->GetKey(), 1u);
    EXPECT_EQ(Contents(list), (std::vector<int>{10, 30}));
}

TEST(SListIterator, SecondRemoveWithoutNextDoesNothing)
{
    IntList list = MakeList({1, 2, 3});
    IteratorPtr it;
    list.CreateIterator(it);
    EXPECT_TRUE(it->Remove());
    EXPECT_FALSE(it->Remove());
    EXPECT_EQ(Contents(list), (std::vector<int>{2, 3}));
}

TEST(SListIterator, RemovingTheLastElementReachesTheEndOnlyAfterNext)
{
    IntList list = MakeList({1, 2});
    IteratorPtr it;
    list.CreateIterator(it);
    it->Next(1);
    ASSERT_TRUE(it->Remove());
    EXPECT_FALSE(it->IsAtEnd());
    EXPECT_EQ(it->Next(1), 1u);
    EXPECT_TRUE(it->IsAtEnd());
    EXPECT_EQ(it->GetKey(), 1u);
    EXPECT_EQ(it->Next(1), 0u);
}

TEST(SListIterator, NextAfterRemoveCountsThePendingStep)
{
    IntList list = MakeList({1, 2, 3, 4});
    IteratorPtr it;
    list.CreateIterator(it);
    it->Remove();
    // One step is the pending one, the other a real move: from 2 to 3.
    EXPECT_EQ(it->Next(2), 2u);
    EXPECT_EQ(*it->GetValue(), 3);
    EXPECT_EQ(it->GetKey(), 1u);
    // Only two steps remain to the end.
    EXPECT_EQ(it->Next(5), 2u);
    EXPECT_TRUE(it->IsAtEnd());
}

TEST(SListIterator, EndIteratorWalksBack)
{
    IntList list = MakeList({1, 2, 3});
    IteratorPtr it;
    list.CreateEndIterator(it);
    EXPECT_TRUE(it->IsAtEnd());
    EXPECT_EQ(it->GetKey(), 3u);

    EXPECT_EQ(it->Prev(1), 1u);
    EXPECT_EQ(*it->GetValue(), 3);
    EXPECT_EQ(it->GetKey(), 2u);
    // Stops at the first element.
    EXPECT_EQ(it->Prev(10), 2u);
    EXPECT_TRUE(it->IsAtFirst());
    EXPECT_EQ(*it->GetValue(), 1);
    EXPECT_EQ(it->GetKey(), 0u);
    EXPECT_EQ(it->Prev(1), 0u);

    it->MoveToEnd();
    EXPECT_TRUE(it->IsAtEnd());
    EXPECT_EQ(it->GetKey(), 3u);
    it->MoveToFirst();
    EXPECT_EQ(*it->GetValue(), 1);
}

TEST(SListIterator, EndIteratorOfAnEmptyListCannotMove)
{
    IntList list;
    IteratorPtr it;
    list.CreateEndIterator(it);
    EXPECT_TRUE(it->IsAtEnd());
    EXPECT_TRUE(it->IsAtFirst());
    EXPECT_EQ(it->Prev(1), 0u);
    EXPECT_EQ(it->Next(1), 0u);
    EXPECT_FALSE(it->FindPrev(0, true));
}

TEST(SListIterator, PrevAfterRemoveGoesToTheElementBeforeTheRemovedOne)
{
    IntList list = MakeList({1, 2, 3});
    IteratorPtr it;
    list.CreateIterator(it);
    it->Next(1);
    it->Remove();
    EXPECT_EQ(it->Prev(1), 1u);
    EXPECT_EQ(*it->GetValue(), 1);
    EXPECT_EQ(it->GetKey(), 0u);
}

TEST(SListIterator, InsertionKeepsPositionsTrue)
{
    IntList list = MakeList({1, 3});
    IteratorPtr it;
    list.CreateIterator(it);
    it->Next(1);
    ASSERT_TRUE(it->InsertBefore(2));
    EXPECT_EQ(it->GetKey(), 2u);
    EXPECT_EQ(*it->GetValue(), 3);
    ASSERT_TRUE(it->InsertAfter(4));
    EXPECT_EQ(*it->GetValue(), 3);
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 2, 3, 4}));

    it->MoveToEnd();
    EXPECT_FALSE(it->InsertAfter(9));
    EXPECT_TRUE(it->InsertBefore(5));
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(SListIterator, InsertAfterARemovalFillsTheGap)
{
    IntList list = MakeList({1, 2, 3});
    IteratorPtr it;
    list.CreateIterator(it);
    it->Next(1);
    it->Remove();
    ASSERT_TRUE(it->InsertAfter(7));
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 7, 3}));
    EXPECT_EQ(it->Next(1), 1u);
    EXPECT_EQ(*it->GetValue(), 3);
    EXPECT_EQ(it->GetKey(), 2u);
}

TEST(SListIterator, FindAndSeekInBothDirections)
{
    IntList list = MakeList({5, 6, 5, 7});
    IteratorPtr it;
    list.CreateIterator(it);
    ASSERT_TRUE(it->FindNext(5, true));
    EXPECT_EQ(it->GetKey(), 0u);
    it->Next(1);
    ASSERT_TRUE(it->FindNext(5, true));
    EXPECT_EQ(it->GetKey(), 2u);
    // Without value comparison only the element object itself matches.
    EXPECT_FALSE(it->FindNext(7, false));
    EXPECT_TRUE(it->IsAtEnd());

    ASSERT_TRUE(it->FindPrev(6, true));
    EXPECT_EQ(it->GetKey(), 1u);
    EXPECT_FALSE(it->FindPrev(7, true));
    EXPECT_TRUE(it->IsAtFirst());

    EXPECT_TRUE(it->SeekKey(3));
    EXPECT_EQ(*it->GetValue(), 7);
    EXPECT_TRUE(it->SeekKeyBackward(1));
    EXPECT_EQ(*it->GetValue(), 6);
    EXPECT_FALSE(it->SeekKey(4));
    EXPECT_TRUE(it->IsAtEnd());

    IteratorPtr same;
    list.CreateIterator(same);
    ASSERT_TRUE(same->FindNext(*list.GetBack(), false));
    EXPECT_EQ(same->GetKey(), 3u);
}

TEST(SListIterator, EqualityFollowsNodeAndPendingRemoval)
{
    IntList list = MakeList({1, 2});
    IntList other = MakeList({1, 2});
    IteratorPtr a;
    IteratorPtr b;
    IteratorPtr c;
    list.CreateIterator(a);
    list.CreateIterator(b);
    other.CreateIterator(c);
    EXPECT_TRUE(a->IsEqual(*b));
    EXPECT_FALSE(a->IsEqual(*c));
    b->Next(1);
    EXPECT_TRUE(a->IsNotEqual(*b));
    a->Remove();
    // Both now stand on the element 2, but only one has a step pending.
    EXPECT_FALSE(a->IsEqual(*b));
    a->Next(1);
    EXPECT_TRUE(a->IsEqual(*b));
    EXPECT_TRUE(a->IsSame(a.Get()));
    EXPECT_TRUE(a->IsNotSame(b.Get()));
}

TEST(SList, InsertAndGetAtByPosition)
{
    IntList list = MakeList({1, 2, 3});
    SResult result;
    int out = -1;
    EXPECT_EQ(list.GetAt(result, 3, &out), SResult(0xA0040A42u));
    EXPECT_EQ(result, SResult(0xA0040A42u));
    EXPECT_EQ(out, -1);
    EXPECT_EQ(list.GetAt(result, 2, &out), SResult(0));
    EXPECT_EQ(out, 3);
    EXPECT_EQ(list.GetAt(1u), 2);
    // Out of range: the assertion hook is told, and the result is an empty element.
    EXPECT_EQ(list.GetAt(3u), 0);

    EXPECT_EQ(list.Insert(result, 3u, 4), SResult(0));
    EXPECT_EQ(list.Insert(result, 0u, 0), SResult(0));
    EXPECT_EQ(list.Insert(result, 2u, 9), SResult(0));
    EXPECT_EQ(list.Insert(result, 7u, 8), SResult(0xA0040A42u));
    EXPECT_EQ(Contents(list), (std::vector<int>{0, 1, 9, 2, 3, 4}));

    IntList empty;
    EXPECT_EQ(empty.Insert(result, 0u, 5), SResult(0));
    EXPECT_EQ(Contents(empty), std::vector<int>{5});
}

TEST(SList, ValueOperations)
{
    IntList list = MakeList({1, 2, 3});
    SResult result;
    EXPECT_EQ(list.InsertBefore(result, 2, 5), SResult(0));
    EXPECT_EQ(list.InsertAfter(result, 3, 6), SResult(0));
    EXPECT_EQ(list.InsertAfter(result, 42, 6), SResult(0xA0040A43u));
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 5, 2, 3, 6}));

    int removed = 0;
    EXPECT_EQ(list.Remove(result, 2, &removed), SResult(0));
    EXPECT_EQ(removed, 2);
    removed = -1;
    EXPECT_EQ(list.Remove(result, 2, &removed), SResult(0xA0040A43u));
    EXPECT_EQ(removed, -1);
    EXPECT_TRUE(list.Contains(6, true));
    EXPECT_FALSE(list.Contains(2, true));

    IteratorPtr it;
    list.FindValue(it, 3);
    EXPECT_EQ(it->GetKey(), 2u);
    list.FindValue(it, 99);
    EXPECT_TRUE(it->IsAtEnd());
    list.Find(it, 6);
    EXPECT_EQ(it->GetKey(), 3u);
    list.FindKey(it, 1);
    EXPECT_EQ(*it->GetValue(), 5);
    list.FindKey(it, 4);
    EXPECT_TRUE(it->IsAtEnd());
}

TEST(SList, FrontBackPushPopAndSplice)
{
    IntList list = MakeList({2});
    list.PushFront(1);
    list.PushBack(3);
    EXPECT_EQ(*list.GetFront(), 1);
    EXPECT_EQ(*list.GetBack(), 3);
    int out = 0;
    EXPECT_EQ(list.PopBack(out), 3);
    EXPECT_EQ(list.PopFront(out), 1);
    EXPECT_EQ(Contents(list), std::vector<int>{2});

    IntList front = MakeList({0, 1});
    IntList back = MakeList({3, 4});
    const int* movedNode = back.GetFront();
    list.SpliceFront(front);
    list.SpliceBack(back);
    EXPECT_TRUE(front.IsEmpty());
    EXPECT_TRUE(back.IsEmpty());
    EXPECT_EQ(Contents(list), (std::vector<int>{0, 1, 2, 3, 4}));
    // The nodes moved; nothing was copied.
    IteratorPtr it;
    list.CreateIterator(it);
    it->Next(3);
    EXPECT_EQ(it->GetValue(), movedNode);

    list.SpliceBack(list);
    EXPECT_EQ(list.GetCount(), 5u);
}

struct CompareCase
{
    std::vector<int> left;
    std::vector<int> right;
    bool equal;
    bool less;
    bool greater;
};

class SListCompare : public testing::TestWithParam<CompareCase>
{
};

TEST_P(SListCompare, AllSixRelations)
{
    const CompareCase& c = GetParam();
    IntList left;
    IntList right;
    for (int v : c.left)
        left.PushBack(v);
    for (int v : c.right)
        right.PushBack(v);
    EXPECT_EQ(left.IsEqual(right), c.equal);
    EXPECT_EQ(left.IsNotEqual(right), !c.equal);
    EXPECT_EQ(left.IsLess(right), c.less);
    EXPECT_EQ(left.IsGreaterOrEqual(right), !c.less);
    EXPECT_EQ(left.IsGreater(right), c.greater);
    EXPECT_EQ(left.IsLessOrEqual(right), !c.greater);
}

INSTANTIATE_TEST_SUITE_P(Cases, SListCompare,
                         testing::Values(CompareCase{{}, {}, true, false, false},
                                         CompareCase{{1}, {1, 2}, false, true, false},
                                         CompareCase{{1, 2}, {1}, false, false, true},
                                         CompareCase{{1, 2}, {1, 2}, true, false, false},
                                         CompareCase{{1, 3}, {1, 2, 9}, false, false, true},
                                         CompareCase{{0, 9, 9}, {1}, false, true, false},
                                         CompareCase{{}, {0}, false, true, false}));

TEST(SList, ComparisonWithItself)
{
    IntList list = MakeList({1, 2});
    EXPECT_TRUE(list.IsEqual(list));
    EXPECT_FALSE(list.IsLess(list));
    EXPECT_FALSE(list.IsGreater(list));
}

TEST(SList, AssignAndRemoveWithItself)
{
    IntList list = MakeList({1, 2, 3});
    SResult result;
    EXPECT_EQ(list.Assign(result, list), SResult(0));
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(list.Remove(result, static_cast<const IntList::Collection&>(list)), SResult(0));
    EXPECT_TRUE(list.IsEmpty());
}

TEST(SList, AssignReplacesInOrderThroughTheCopyHook)
{
    IntList target = MakeList({7, 7});
    const IntList source = MakeList({1, 2, 3});
    SResult result;
    EXPECT_EQ(target.Assign(result, source), SResult(0));
    EXPECT_EQ(Contents(target), (std::vector<int>{1, 2, 3}));

    target.SetCopyElement([](int& buffer, const int& value) -> const int& { return buffer = value * 10; });
    EXPECT_EQ(target.Assign(result, static_cast<const IntList::Collection&>(source)), SResult(0));
    EXPECT_EQ(Contents(target), (std::vector<int>{10, 20, 30}));

    const IntList copy(source);
    EXPECT_TRUE(copy.IsEqual(source));
}

TEST(SList, BulkInsertRemoveAndContainsAll)
{
    IntList list = MakeList({1, 2, 2, 3});
    const IntList some = MakeList({2, 3, 9});
    SResult result;
    // One removal per element of the other list; the missing 9 is no error.
    EXPECT_EQ(list.Remove(result, static_cast<const IntList::Collection&>(some)), SResult(0));
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 2}));

    const IntList more = MakeList({5, 6});
    EXPECT_EQ(list.Insert(result, static_cast<const IntList::Collection&>(more)), SResult(0));
    EXPECT_EQ(Contents(list), (std::vector<int>{5, 6, 1, 2}));

    EXPECT_TRUE(list.ContainsAll(more, true));
    EXPECT_FALSE(list.ContainsAll(more, false));
    EXPECT_TRUE(list.ContainsAll(list, false));
    EXPECT_FALSE(more.ContainsAll(list, true));
}

} // namespace
