#include "library/utility/collection/SResourceList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using GuardedList = S::SResourceListT<int>;

// Starts a thread that pushes `value`; checks that it stays blocked until `release` has run.
static void ExpectBlockedUntil(GuardedList& list, int value, const std::function<void()>& release)
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
    GuardedList::IteratorPtr it, found, copy;
    list.CreateIterator(it);
    ExpectBlockedUntil(list, 2,
                       [&]
                       {
                           // The holder itself may use the list: the section is recursive.
                           list.PushBack(3);
                           EXPECT_EQ(it->Next(5), 2u);
                           it = GuardedList::IteratorPtr();
                       });
    // The lock goes with the last copy of the iterator.
    list.FindValue(found, 3);
    copy = found;
    found = GuardedList::IteratorPtr();
    ExpectBlockedUntil(list, 4, [&] { copy = GuardedList::IteratorPtr(); });
}
