#include "library/utility/collection/SList.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace
{

using S::SResult;
using IntList = S::SListT<int>;
using IteratorPtr = IntList::IteratorPtr;
using Ints = std::vector<int>;

IntList MakeList(std::initializer_list<int> values)
{
    IntList list;
    for (int value : values)
        list.PushBack(value);
    return list;
}

Ints Contents(const IntList& list)
{
    return {list.GetItems().begin(), list.GetItems().end()};
}

IteratorPtr At(const IntList& list, unsigned steps)
{
    IteratorPtr it;
    list.CreateIterator(it);
    EXPECT_EQ(it->Next(steps), steps);
    return it;
}

TEST(SListIterator, RemoveThenNextAndDoubleRemove)
{
    IntList list = MakeList({10, 20, 30, 40});
    IteratorPtr it = At(list, 1);
    EXPECT_TRUE(it->Remove());
    EXPECT_FALSE(it->Remove()); // a second Remove without Next does nothing
    EXPECT_EQ(list.GetCount(), 3u);
    // Between the removal and the next step the iterator yields the empty element.
    EXPECT_EQ(*it->GetValue(), 0);
    EXPECT_EQ(it->Next(1), 1u); // the pending step: no move
    EXPECT_EQ(*it->GetValue(), 30);
    EXPECT_EQ(it->GetKey(), 1u);

    // Removing the last element reaches the end only with the next step, which counts once.
    it->Next(1);
    ASSERT_TRUE(it->Remove());
    EXPECT_FALSE(it->IsAtEnd());
    EXPECT_EQ(it->Next(5), 1u);
    EXPECT_TRUE(it->IsAtEnd());
    EXPECT_EQ(it->GetKey(), 2u);
    EXPECT_EQ(Contents(list), (Ints{10, 30}));
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
    EXPECT_EQ(it->Prev(10), 2u); // stops at the first element
    EXPECT_TRUE(it->IsAtFirst());
    EXPECT_EQ(it->GetKey(), 0u);
    EXPECT_EQ(it->Prev(1), 0u);
    // Prev after a removal goes to the element before the removed one.
    it->Next(1);
    it->Remove();
    EXPECT_EQ(it->Prev(1), 1u);
    EXPECT_EQ(*it->GetValue(), 1);

    IntList empty;
    empty.CreateEndIterator(it);
    EXPECT_TRUE(it->IsAtFirst());
    EXPECT_EQ(it->Prev(1) + it->Next(1), 0u);
    EXPECT_FALSE(it->FindPrev(0, true));
}

TEST(SListIterator, InsertionKeepsPositionsTrue)
{
    IntList list = MakeList({1, 3, 5});
    IteratorPtr it = At(list, 1);
    ASSERT_TRUE(it->InsertBefore(2));
    EXPECT_EQ(it->GetKey(), 2u);
    ASSERT_TRUE(it->InsertAfter(4));
    EXPECT_EQ(*it->GetValue(), 3);
    // After a removal InsertAfter fills the gap, before the element the next step reaches.
    it->Next(1);
    it->Remove();
    ASSERT_TRUE(it->InsertAfter(7));
    EXPECT_EQ(it->Next(1), 1u);
    EXPECT_EQ(*it->GetValue(), 5);
    EXPECT_EQ(it->GetKey(), 4u);
    it->MoveToEnd();
    EXPECT_FALSE(it->InsertAfter(9));
    EXPECT_TRUE(it->InsertBefore(8));
    EXPECT_EQ(Contents(list), (Ints{1, 2, 3, 7, 5, 8}));
}

TEST(SListIterator, FindSeekAndEquality)
{
    IntList list = MakeList({5, 6, 5, 7});
    IteratorPtr it = At(list, 1);
    ASSERT_TRUE(it->FindNext(5, true));
    EXPECT_EQ(it->GetKey(), 2u);
    EXPECT_FALSE(it->FindNext(7, false)); // without value comparison only the element itself matches
    EXPECT_TRUE(it->IsAtEnd());
    ASSERT_TRUE(it->FindPrev(6, true));
    EXPECT_EQ(it->GetKey(), 1u);
    EXPECT_TRUE(it->SeekKeyBackward(0));
    EXPECT_FALSE(it->SeekKey(4));
    EXPECT_TRUE(At(list, 0)->FindNext(*list.GetBack(), false));

    const IntList otherList = MakeList({5, 6});
    IteratorPtr a = At(list, 0), b = At(list, 1), other = At(otherList, 0);
    EXPECT_FALSE(a->IsEqual(*other)); // same values, another list
    a->Remove();
    // Both now stand on the element 6, but only one has a step pending.
    EXPECT_FALSE(a->IsEqual(*b));
    a->Next(1);
    EXPECT_TRUE(a->IsEqual(*b));
}

TEST(SList, InsertGetAtAndRemoveByValue)
{
    IntList list = MakeList({1, 2, 3});
    SResult result;
    int out = -1;
    EXPECT_EQ(list.GetAt(result, 3, &out), SResult(0xA0040A42u));
    EXPECT_EQ(result, SResult(0xA0040A42u));
    EXPECT_EQ(out, -1);
    EXPECT_EQ(list.GetAt(result, 2, &out), SResult(0));
    EXPECT_EQ(out, 3);
    EXPECT_EQ(list.GetAt(3u), 0); // out of range: the assertion hook is told, an empty element results
    EXPECT_EQ(list.Insert(result, 3u, 4), SResult(0)); // at the count: appends
    EXPECT_EQ(list.Insert(result, 7u, 8), SResult(0xA0040A42u));
    EXPECT_EQ(list.InsertBefore(result, 2, 5), SResult(0));
    EXPECT_EQ(list.InsertAfter(result, 42, 6), SResult(0xA0040A43u));
    EXPECT_EQ(Contents(list), (Ints{1, 5, 2, 3, 4}));

    int removed = -1;
    EXPECT_EQ(list.Remove(result, 9, &removed), SResult(0xA0040A43u));
    EXPECT_EQ(removed, -1);
    EXPECT_EQ(list.Remove(result, 2, &removed), SResult(0));
    EXPECT_EQ(removed, 2);
    IteratorPtr it;
    list.FindValue(it, 3);
    EXPECT_EQ(it->GetKey(), 2u);
}

TEST(SList, PopAndSplice)
{
    IntList list = MakeList({1, 2, 3});
    int out = 0;
    EXPECT_EQ(list.PopBack(out), 3);
    EXPECT_EQ(list.PopFront(out), 1);
    IntList front = MakeList({0, 1});
    IntList back = MakeList({3, 4});
    const int* movedNode = back.GetFront();
    list.SpliceFront(front);
    list.SpliceBack(back);
    list.SpliceBack(list);
    EXPECT_TRUE(front.IsEmpty() && back.IsEmpty());
    EXPECT_EQ(Contents(list), (Ints{0, 1, 2, 3, 4}));
    EXPECT_EQ(At(list, 3)->GetValue(), movedNode); // the nodes moved; nothing was copied
}

TEST(SList, ComparisonTable)
{
    const struct
    {
        Ints left, right;
        bool equal, less, greater;
    } cases[] = {
        {{}, {}, true, false, false},
        {{1}, {1, 2}, false, true, false},
        {{1, 2}, {1}, false, false, true},
        {{1, 2}, {1, 2}, true, false, false},
        {{1, 3}, {1, 2, 9}, false, false, true},
        {{0, 9, 9}, {1}, false, true, false},
    };
    for (const auto& c : cases)
    {
        IntList left, right;
        for (int v : c.left)
            left.PushBack(v);
        for (int v : c.right)
            right.PushBack(v);
        SCOPED_TRACE(testing::Message() << c.left.size() << " against " << c.right.size() << " elements");
        EXPECT_EQ(left.IsEqual(right), c.equal);
        EXPECT_EQ(left.IsNotEqual(right), !c.equal);
        EXPECT_EQ(left.IsLess(right), c.less);
        EXPECT_EQ(left.IsGreaterOrEqual(right), !c.less);
        EXPECT_EQ(left.IsGreater(right), c.greater);
        EXPECT_EQ(left.IsLessOrEqual(right), !c.greater);
        EXPECT_TRUE(left.IsEqual(left) && !left.IsLess(left) && !left.IsGreater(left));
    }
}

TEST(SList, AssignInsertAndRemoveCollections)
{
    IntList list = MakeList({1, 2, 2, 3});
    SResult result;
    EXPECT_EQ(list.Assign(result, list), SResult(0));
    EXPECT_EQ(Contents(list), (Ints{1, 2, 2, 3}));
    // One removal per element of the other list; the missing 9 is no error.
    EXPECT_EQ(list.Remove(result, static_cast<const IntList::Collection&>(MakeList({2, 3, 9}))), SResult(0));
    EXPECT_EQ(Contents(list), (Ints{1, 2}));
    const IntList more = MakeList({5, 6});
    EXPECT_EQ(list.Insert(result, static_cast<const IntList::Collection&>(more)), SResult(0));
    EXPECT_EQ(Contents(list), (Ints{5, 6, 1, 2}));
    EXPECT_TRUE(list.ContainsAll(more, true));
    EXPECT_FALSE(list.ContainsAll(more, false));
    EXPECT_FALSE(more.ContainsAll(list, true));

    IntList target = MakeList({7});
    target.SetCopyElement([](int& buffer, const int& value) -> const int& { return buffer = value * 10; });
    EXPECT_EQ(target.Assign(result, static_cast<const IntList::Collection&>(more)), SResult(0));
    EXPECT_EQ(Contents(target), (Ints{50, 60}));
    EXPECT_EQ(list.Remove(result, static_cast<const IntList::Collection&>(list)), SResult(0));
    EXPECT_TRUE(list.IsEmpty());
}

} // namespace
