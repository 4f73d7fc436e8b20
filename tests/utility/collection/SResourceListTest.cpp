#include "library/utility/collection/SResourceList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace
{

using S::SResult;
using GuardedList = S::SResourceListT<int>;

// Starts a thread that pushes `value`; checks that it stays blocked until `release` has run.
void ExpectBlockedUntil(GuardedList& list, int value, const std::function<void()>& release)
{
    std::atomic<bool> pushed{false};
    std::thread writer(
        [&]
        {
            list.PushBack(value);
            pushed = true;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(pushed.load()) << "the writer got past a held iterator";
    release();
    writer.join();
    EXPECT_EQ(*list.GetBack(), value);
}

TEST(SResourceList, HeldIteratorBlocksPushBackOnAnotherThreadUntilReleased)
{
    GuardedList list;
    list.PushBack(1);
    auto it = std::make_unique<GuardedList::IteratorPtr>();
    list.CreateIterator(*it);
    ExpectBlockedUntil(list, 2,
                       [&]
                       {
                           // The holder itself may use the list: the section is recursive.
                           list.PushBack(3);
                           EXPECT_EQ((*it)->Next(5), 2u);
                           it.reset();
                       });
    EXPECT_EQ(list.GetCount(), 3u);

    // The lock goes with the last copy of the iterator.
    GuardedList::IteratorPtr copy;
    {
        GuardedList::IteratorPtr found;
        list.FindValue(found, 3);
        copy = found;
    }
    ExpectBlockedUntil(list, 4, [&] { copy = GuardedList::IteratorPtr(); });
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

    using Iter = GuardedList::ResourceListIterator;
    GuardedList::IteratorPtr a, b;
    list.CreateEndIterator(a);
    list.Find(b, 2);
    ASSERT_EQ(a->Prev(1), 1u);
    EXPECT_TRUE(static_cast<Iter&>(*a).IsEqual(static_cast<const Iter&>(*b)));
    b->Prev(1);
    EXPECT_TRUE(static_cast<Iter&>(*a).IsNotEqual(static_cast<const Iter&>(*b)));
}

} // namespace
