#include "library/utility/collection/SResourceList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{

using S::SResult;
using GuardedList = S::SResourceListT<int>;

TEST(SResourceList, HeldIteratorBlocksPushBackOnAnotherThread)
{
    GuardedList list;
    list.PushBack(1);
    std::atomic<bool> pushed{false};
    std::thread writer;
    {
        GuardedList::IteratorPtr it;
        list.CreateIterator(it);
        writer = std::thread(
            [&]
            {
                list.PushBack(2);
                pushed = true;
            });
        // The writer cannot get past the lock while the walk lasts.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_FALSE(pushed.load());
        // The holder itself may use the list: the section is recursive.
        list.PushBack(3);
        EXPECT_EQ(list.GetCount(), 2u);
        EXPECT_EQ(it->Next(5), 2u);
    }
    writer.join();
    EXPECT_TRUE(pushed.load());
    EXPECT_EQ(*list.GetBack(), 2);
    EXPECT_EQ(list.GetCount(), 3u);
}

TEST(SResourceList, LastCopyOfTheIteratorReleasesTheLock)
{
    GuardedList list;
    GuardedList::IteratorPtr outer;
    {
        GuardedList::IteratorPtr it;
        list.FindValue(it, 0);
        outer = it;
    }
    std::atomic<bool> pushed{false};
    std::thread writer(
        [&]
        {
            list.PushFront(5);
            pushed = true;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(pushed.load());
    outer = GuardedList::IteratorPtr();
    writer.join();
    EXPECT_EQ(*list.GetFront(), 5);
}

TEST(SResourceList, BehavesAsAListAndComparesWithPlainLists)
{
    GuardedList list;
    SResult result;
    EXPECT_EQ(list.Insert(result, 0u, 2), SResult(0));
    EXPECT_EQ(list.Insert(result, 0u, 1), SResult(0));
    EXPECT_EQ(list.Insert(result, 3u, 9), SResult(0xA0040A42u));

    S::SListT<int> plain;
    plain.PushBack(1);
    plain.PushBack(2);
    EXPECT_TRUE(list.IsEqual(plain));
    plain.PushBack(0);
    EXPECT_TRUE(list.IsLess(plain));

    GuardedList::IteratorPtr a;
    GuardedList::IteratorPtr b;
    list.CreateEndIterator(a);
    list.Find(b, 2);
    ASSERT_EQ(a->Prev(1), 1u);
    using Iter = GuardedList::ResourceListIterator;
    EXPECT_TRUE(static_cast<Iter&>(*a).IsEqual(static_cast<const Iter&>(*b)));
    b->Prev(1);
    EXPECT_TRUE(static_cast<Iter&>(*a).IsNotEqual(static_cast<const Iter&>(*b)));

    EXPECT_EQ(list.Assign(result, plain), SResult(0));
    EXPECT_EQ(list.GetCount(), 3u);
    int out = 0;
    EXPECT_EQ(list.PopBack(out), 0);
    list.Clear();
    EXPECT_TRUE(list.IsEmpty());
}

} // namespace
