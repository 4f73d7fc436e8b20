#include "library/diagnostics/SResultCodes.h"
#include "library/system/process/SSemaphore.h"

#include <gtest/gtest.h>

using namespace S;

namespace
{

// Takes a semaphore as often as it can be taken at once.
int TakeAll(SSemaphore& semaphore)
{
    int taken = 0;
    while (semaphore.IsSignaled())
        ++taken;
    return taken;
}

} // namespace

TEST(SSemaphore, RefusesInvalidCountsAndCountsReleasesRecreatesAndSharesByName)
{
    const SString invalidName(L"SyncTestSemaphore-invalid");
    const std::pair<int32_t, int32_t> invalid[] = {{2, 1}, {-1, 1}, {0, 0}, {0, -5}};
    for (const auto& [initial, maximum] : invalid)
    {
        SSemaphore semaphore, probe;
        SResult result;
        EXPECT_EQ(semaphore.Create(result, invalidName, false, false, initial, maximum, nullptr),
                  kResultInvalidCounts);
        EXPECT_EQ(result, kResultInvalidCounts);
        EXPECT_EQ(probe.Open(result, invalidName, SYNCHRONIZE, false), kResultCreateFailed)
            << "no kernel object";
    }
    SSemaphore semaphore, again;
    SResult result;
    EXPECT_EQ(semaphore.Release(result, 1), kResultNoHandle);
    ASSERT_EQ(semaphore.Create(result, SString(L"SyncTestSem"), true, false, 1, 3, nullptr).Code(), 0);
    EXPECT_EQ(TakeAll(semaphore), 1);
    LONG previous = -1;
    EXPECT_EQ(semaphore.Release(result, 3, &previous).Code(), 0);
    EXPECT_EQ(previous, 0);
    previous = -1;
    EXPECT_EQ(semaphore.Release(result, 1, &previous), kResultCallFailed); // beyond the maximum
    EXPECT_EQ(previous, -1);
    // The same object again under its unique name; then a new unnamed one with the stored counts.
    EXPECT_EQ(again.Create(result, semaphore.GetName(), false, false, 0, 1, nullptr), kResultObjectExisted);
    EXPECT_EQ(TakeAll(again), 3);
    EXPECT_EQ(semaphore.Recreate(result).Code(), 0);
    EXPECT_EQ(TakeAll(semaphore), 1);
    EXPECT_EQ(TakeAll(again), 0);

    // Full from the start: every unit can be taken, none released beyond them.
    SSemaphore full;
    ASSERT_EQ(full.Create(result, SString(), false, true, 3, 3, nullptr).Code(), 0);
    EXPECT_EQ(full.Release(result, 1), kResultCallFailed);
    EXPECT_EQ(TakeAll(full), 3);
}
