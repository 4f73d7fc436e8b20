#include "library/system/process/SCriticalSection.h"

#include <gtest/gtest.h>

#include <thread>

using namespace S;

namespace
{

// Whether another thread gets into `section` with TryEnter (it leaves again at once).
bool OtherThreadEnters(SCriticalSection& section)
{
    SResult answer;
    std::thread(
        [&]
        {
            SResult result;
            answer = section.TryEnter(result);
            EXPECT_EQ(answer, result);
            EXPECT_TRUE(result.Code() == 0 || result == kResultCallFailed) << std::hex << result.Code();
            if (result.Succeeded())
                section.Leave();
        })
        .join();
    return answer.Succeeded();
}

} // namespace

TEST(SCriticalSection, TryEnterFailsOnlyWhileAnotherThreadHoldsItTheOwnerReentersAndTheGuardMovesAndLetsGo)
{
    SCriticalSection section, other;
    EXPECT_TRUE(OtherThreadEnters(section));
    SResult result = 1;
    EXPECT_EQ(section.Wait(result, false, 0).Code(), 0); // a wait enters
    EXPECT_EQ(result.Code(), 0);
    EXPECT_EQ(section.TryEnter(result).Code(), 0);
    {
        SAutoCriticalSection lock(section);
        EXPECT_FALSE(OtherThreadEnters(section));
        // Three entries now: the guard moves its own one to another section, then forgets it.
        lock.Attach(&other);
        EXPECT_FALSE(OtherThreadEnters(other));
        lock.Release();
        lock.Release(); // a second release must not leave the section again
        EXPECT_EQ(lock.Get(), nullptr);
        EXPECT_TRUE(OtherThreadEnters(other));
    }
    // Entered twice: one leave still keeps other threads out, the second lets them in.
    section.Leave();
    EXPECT_FALSE(OtherThreadEnters(section));
    section.Leave();
    EXPECT_TRUE(OtherThreadEnters(section));
}
