#include "library/utility/SSmartPtr.h"

#include "utility/Counted.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using STest::Counted;
using Smart = S::SSmartPtrT<Counted*, 0, 1>;

TEST(SSmartPtr, CopiesShareOneCountAcrossThreadsAndTheTargetDiesOnce)
{
    {
        Smart first(new Counted(7));
        {
            Smart second(first), third(new Counted(8));
            third = second; // releases the 8
            third = third;
            EXPECT_EQ(Counted::live, 1);
            EXPECT_EQ(first.GetReferenceCount(), 3);
        }
        Smart moved(std::move(first));
        EXPECT_EQ(moved.GetReferenceCount(), 1);
        Counted onStack(2);
        Smart(&onStack, nullptr); // a null deleter never deletes

        Smart one(new Counted(1));
        const Smart copy(one), sameId(new Counted(1)), otherId(new Counted(2)), nullTarget(nullptr), noCell;
        EXPECT_TRUE(one.IsEqual(copy) && one.IsEqual(sameId) && nullTarget.IsEqual(Smart(nullptr)));
        EXPECT_FALSE(one.IsEqual(otherId) || one.IsEqual(nullTarget) || one.IsEqual(noCell));

        // Copies made and released on many threads: the target must still die exactly once.
        Smart root(new Counted(5));
        std::vector<std::jthread> threads; // joined before `root` goes
        for (int t = 0; t < 4; ++t)
            threads.emplace_back(
                [root]
                {
                    for (int i = 0; i < 5000; ++i)
                        Smart copy(root), another(copy);
                });
    }
    EXPECT_EQ(Counted::live, 0) << "an object leaked or was deleted twice";
}
