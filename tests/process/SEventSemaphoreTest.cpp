#include "library/system/process/SEvent.h"
#include "library/system/process/SSemaphore.h"

#include <gtest/gtest.h>

#include <regex>

using namespace S;

namespace
{

// The serial of a unique name "<base>::<8 hex digits>", or -1 when the form is wrong.
long long SerialOf(const SString& name, const std::wstring& base)
{
    const std::wstring text(name.c_str());
    if (!std::regex_match(text, std::wregex(base + L"::[0-9a-f]{8}")))
        return -1;
    return std::stoll(text.substr(base.size() + 2), nullptr, 16);
}

// Takes a semaphore as often as it can be taken at once.
int TakeAll(SSemaphore& semaphore)
{
    int taken = 0;
    while (semaphore.IsSignaled())
        ++taken;
    return taken;
}

} // namespace

TEST(SEvent, WaitsAndSignals)
{
    SEvent event, autoReset;
    SResult result;
    EXPECT_EQ(event.Set(result), SResult(0xA0040902u));
    ASSERT_EQ(event.Create(result, SString(), false, true, true, false, nullptr).Code(), 0);
    EXPECT_EQ(event.Wait(result, false, 0), SResult(0xA004090Du));
    EXPECT_EQ(result, SResult(0xA004090Du));
    EXPECT_EQ(event.Set(result).Code(), 0);
    EXPECT_TRUE(event.IsSignaled());
    EXPECT_TRUE(event.IsSignaled()); // manual reset: stays signalled
    EXPECT_EQ(event.Reset(result).Code(), 0);
    EXPECT_FALSE(event.IsSignaled());
    ASSERT_EQ(autoReset.Create(result, SString(), false, true, false, true, nullptr).Code(), 0);
    EXPECT_TRUE(autoReset.IsSignaled());
    EXPECT_FALSE(autoReset.IsSignaled());
}

TEST(SEvent, NamesUniqueNamedAndExisting)
{
    SEvent first, second, anonymous, unnamed, owner, again;
    SResult result;
    for (SEvent* event : {&first, &second})
        ASSERT_EQ(event->Create(result, SString(L"SyncTestEvent"), true, false, true, false, nullptr).Code(),
                  0);
    const long long a = SerialOf(first.GetName(), L"SyncTestEvent");
    ASSERT_GE(a, 0) << first.GetName().c_str();
    EXPECT_EQ(static_cast<uint32_t>(SerialOf(second.GetName(), L"SyncTestEvent") - a), 1u);
    ASSERT_EQ(anonymous.Create(result, SString(), true, false, true, false, nullptr).Code(), 0);
    EXPECT_EQ(static_cast<uint32_t>(SerialOf(anonymous.GetName(), L"ANONYMOUS") - a), 2u)
        << anonymous.GetName().c_str();
    ASSERT_EQ(unnamed.Create(result, SString(L"x"), true, true, true, false, nullptr).Code(), 0);
    EXPECT_TRUE(unnamed.GetName().IsEmpty()) << "unnamed wins over unique";

    // A plain name is used as given; a second creation opens the same object.
    const SString name((L"SyncTestEvent-" + std::to_wstring(GetCurrentProcessId())).c_str());
    ASSERT_EQ(owner.Create(result, name, false, false, true, false, nullptr).Code(), 0);
    EXPECT_EQ(owner.GetName(), name);
    EXPECT_EQ(again.Create(result, name, false, false, true, false, nullptr), SResult(0xA0040908u));
    EXPECT_EQ(first.Open(result, name, SYNCHRONIZE | EVENT_MODIFY_STATE, false).Code(), 0);
    EXPECT_EQ(first.Set(result).Code(), 0);
    EXPECT_TRUE(again.IsSignaled());
    // A failed open also drops a handle held before.
    EXPECT_EQ(first.Open(result, SString(L"SyncTestEvent-none"), SYNCHRONIZE, false), SResult(0xA0040903u));
    EXPECT_FALSE(first.IsValid());
}

TEST(SSemaphore, RefusesInvalidCountsWithoutMakingAnObject)
{
    const std::pair<int32_t, int32_t> invalid[] = {{2, 1}, {-1, 1}, {0, 0}, {0, -5}};
    const SString name(L"SyncTestSemaphore-invalid");
    for (const auto& [initial, maximum] : invalid)
    {
        SSemaphore semaphore, probe;
        SResult result;
        EXPECT_EQ(semaphore.Create(result, name, false, false, initial, maximum, nullptr),
                  SResult(0xA0040909u));
        EXPECT_EQ(result, SResult(0xA0040909u));
        EXPECT_EQ(semaphore.GetHandle(), nullptr);
        EXPECT_EQ(probe.Open(result, name, SYNCHRONIZE, false), SResult(0xA0040903u)) << "no kernel object";
    }
}

TEST(SSemaphore, CountsReleasesRecreatesAndSharesByName)
{
    SSemaphore semaphore, again;
    SResult result;
    EXPECT_EQ(semaphore.Release(result, 1), SResult(0xA0040902u));
    ASSERT_EQ(semaphore.Create(result, SString(L"SyncTestSem"), true, false, 1, 3, nullptr).Code(), 0);
    EXPECT_EQ(TakeAll(semaphore), 1);
    LONG previous = -1;
    EXPECT_EQ(semaphore.Release(result, 3, &previous).Code(), 0);
    EXPECT_EQ(previous, 0);
    previous = -1;
    EXPECT_EQ(semaphore.Release(result, 1, &previous), SResult(0xA0040910u)); // beyond the maximum
    EXPECT_EQ(previous, -1);
    // The same object again under its unique name; then a new unnamed one with the stored counts.
    EXPECT_EQ(again.Create(result, semaphore.GetName(), false, false, 0, 1, nullptr), SResult(0xA0040908u));
    EXPECT_EQ(TakeAll(again), 3);
    EXPECT_EQ(semaphore.Recreate(result).Code(), 0);
    EXPECT_EQ(TakeAll(semaphore), 1);
    EXPECT_EQ(TakeAll(again), 0);
}
