#include "library/system/process/SCriticalSection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace S;

namespace
{

// The answer of TryEnter on `section` from a thread of its own (which leaves again if it entered).
SResult TryEnterFromOtherThread(SCriticalSection& section)
{
    SResult answer;
    std::thread other(
        [&]
        {
            SResult result;
            answer = section.TryEnter(result);
            EXPECT_EQ(answer, result);
            if (result.Succeeded())
                section.Leave();
        });
    other.join();
    return answer;
}

} // namespace

TEST(SCriticalSection, TryEnterFailsOnlyWhileAnotherThreadHoldsIt)
{
    SCriticalSection section;
    ASSERT_TRUE(section.IsValid());
    EXPECT_EQ(section.GetHandle(), nullptr);
    EXPECT_EQ(TryEnterFromOtherThread(section).Code(), 0);
    {
        SAutoCriticalSection lock(section);
        EXPECT_EQ(TryEnterFromOtherThread(section), SResult(0xA0040910u));
    }
    EXPECT_EQ(TryEnterFromOtherThread(section).Code(), 0);
}

TEST(SCriticalSection, IsRecursiveForItsOwner)
{
    SCriticalSection section;
    SResult result = 1;
    EXPECT_EQ(section.Wait(result, false, 0).Code(), 0);
    EXPECT_EQ(result.Code(), 0);
    section.Enter();
    EXPECT_EQ(section.TryEnter(result).Code(), 0);
    // Entered three times: two leaves still keep other threads out, the third lets them in.
    section.Leave();
    section.Leave();
    EXPECT_EQ(TryEnterFromOtherThread(section), SResult(0xA0040910u));
    section.Leave();
    EXPECT_EQ(TryEnterFromOtherThread(section).Code(), 0);
}

TEST(SCriticalSection, IdentityComparison)
{
    SCriticalSection a;
    SCriticalSection b;
    EXPECT_TRUE(a.IsEqual(a));
    EXPECT_FALSE(a.IsNotEqual(a));
    EXPECT_FALSE(a.IsEqual(b));
    EXPECT_TRUE(a.IsNotEqual(b));
}

TEST(SAutoCriticalSection, AttachMovesTheLockAndReleaseForgetsIt)
{
    SCriticalSection first;
    SCriticalSection second;
    SAutoCriticalSection lock(first);
    EXPECT_EQ(lock.Get(), &first);
    EXPECT_EQ(TryEnterFromOtherThread(first), SResult(0xA0040910u));

    lock.Attach(&second);
    EXPECT_EQ(TryEnterFromOtherThread(first).Code(), 0);
    EXPECT_EQ(TryEnterFromOtherThread(second), SResult(0xA0040910u));

    lock.Attach(nullptr);
    EXPECT_EQ(lock.Get(), nullptr);
    EXPECT_EQ(TryEnterFromOtherThread(second).Code(), 0);

    lock.Attach(&first);
    lock.Release();
    lock.Release(); // a second release must not leave the section again
    EXPECT_EQ(lock.Get(), nullptr);
    EXPECT_EQ(TryEnterFromOtherThread(first).Code(), 0);
}

TEST(SAutoCriticalSection, LeavesWhenUnwinding)
{
    SCriticalSection section;
    try
    {
        SAutoCriticalSection lock(section);
        throw std::runtime_error("unwind");
    }
    catch (const std::runtime_error&)
    {
    }
    EXPECT_EQ(TryEnterFromOtherThread(section).Code(), 0);
}

TEST(SCriticalSection, SerialisesWriters)
{
    SCriticalSection section;
    long long shared = 0;
    std::atomic<bool> overlap{false};
    std::atomic<int> inside{0};
    auto work = [&]
    {
        for (int i = 0; i < 20000; ++i)
        {
            SAutoCriticalSection lock(section);
            if (inside.fetch_add(1) != 0)
                overlap = true;
            ++shared;
            inside.fetch_sub(1);
        }
    };
    std::thread t1(work), t2(work), t3(work);
    t1.join();
    t2.join();
    t3.join();
    EXPECT_FALSE(overlap);
    EXPECT_EQ(shared, 60000);
}
