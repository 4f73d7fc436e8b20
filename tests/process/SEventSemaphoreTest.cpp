#include "library/system/process/SEvent.h"
#include "library/system/process/SSemaphore.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <thread>

using namespace S;

namespace
{

// The serial of a unique name "<base>::<8 hex digits>", or -1 when the form is wrong.
long long SerialOf(const SString& name, const wchar_t* base)
{
    const std::wstring text(name.c_str());
    const std::wstring prefix = std::wstring(base) + L"::";
    if (text.size() != prefix.size() + 8 || text.compare(0, prefix.size(), prefix) != 0)
        return -1;
    const std::wstring digits = text.substr(prefix.size());
    if (digits.find_first_not_of(L"0123456789abcdef") != std::wstring::npos)
        return -1;
    return static_cast<long long>(std::wcstoull(digits.c_str(), nullptr, 16));
}

// How many times a semaphore can be taken at once.
int Available(SSemaphore& semaphore)
{
    int taken = 0;
    while (semaphore.IsSignaled())
        ++taken;
    SResult result;
    if (taken > 0)
        semaphore.Release(result, taken);
    return taken;
}

} // namespace

TEST(SEvent, WaitsAndSignals)
{
    SEvent event;
    SResult result;
    EXPECT_FALSE(event.IsValid());
    EXPECT_EQ(event.Wait(result, false, 0), SResult(0xA0040902u));
    EXPECT_EQ(event.Set(result), SResult(0xA0040902u));
    EXPECT_FALSE(event.IsSignaled());

    ASSERT_EQ(event.Create(result, SString(), false, true, true, false, nullptr).Code(), 0);
    EXPECT_TRUE(event.IsValid());
    EXPECT_TRUE(event.GetName().IsEmpty());
    EXPECT_EQ(event.Wait(result, false, 0), SResult(0xA004090Du));
    EXPECT_EQ(result, SResult(0xA004090Du));
    EXPECT_FALSE(event.IsSignaled());

    std::thread setter(
        [&]
        {
            SResult r;
            event.Set(r);
        });
    EXPECT_EQ(event.Wait(result, false, 5000).Code(), 0);
    setter.join();
    EXPECT_TRUE(event.IsSignaled()); // manual reset: stays signalled
    EXPECT_EQ(event.Reset(result).Code(), 0);
    EXPECT_FALSE(event.IsSignaled());
    EXPECT_EQ(event.Pulse(result).Code(), 0);
    EXPECT_FALSE(event.IsSignaled());
}

TEST(SEvent, AutoResetReleasesOneWait)
{
    SEvent event;
    SResult result;
    ASSERT_EQ(event.Create(result, SString(), false, true, false, true, nullptr).Code(), 0);
    EXPECT_TRUE(event.IsSignaled());
    EXPECT_FALSE(event.IsSignaled());
}

TEST(SEvent, ClosedHandleMakesTheWaitFail)
{
    SEvent event;
    SResult result;
    ASSERT_EQ(event.Create(result, SString(), false, true, true, true, nullptr).Code(), 0);
    // The handle is closed behind the object's back; its own later close must not matter.
    CloseHandle(event.GetHandle());
    EXPECT_EQ(event.Wait(result, false, 0), SResult(0xA0040905u));
    EXPECT_EQ(event.Set(result), SResult(0xA0040910u));
}

TEST(SEvent, NamesUniqueNamedAndExisting)
{
    SEvent first;
    SEvent second;
    SResult result;
    ASSERT_EQ(first.Create(result, SString(L"SyncTestEvent"), true, false, true, false, nullptr).Code(), 0);
    ASSERT_EQ(second.Create(result, SString(L"SyncTestEvent"), true, false, true, false, nullptr).Code(), 0);
    const long long a = SerialOf(first.GetName(), L"SyncTestEvent");
    const long long b = SerialOf(second.GetName(), L"SyncTestEvent");
    ASSERT_GE(a, 0) << first.GetName().c_str();
    ASSERT_GE(b, 0) << second.GetName().c_str();
    EXPECT_EQ(static_cast<uint32_t>(b - a), 1u);

    SEvent anonymous;
    ASSERT_EQ(anonymous.Create(result, SString(), true, false, true, false, nullptr).Code(), 0);
    EXPECT_GE(SerialOf(anonymous.GetName(), L"ANONYMOUS"), 0) << anonymous.GetName().c_str();

    // Unnamed wins over unique.
    SEvent unnamed;
    ASSERT_EQ(unnamed.Create(result, SString(L"x"), true, true, true, false, nullptr).Code(), 0);
    EXPECT_TRUE(unnamed.GetName().IsEmpty());

    // A plain name is used as given; a second creation opens the same object.
    wchar_t name[64];
    swprintf(name, 64, L"SyncTestEvent-%lu", GetCurrentProcessId());
    SEvent owner;
    ASSERT_EQ(owner.Create(result, SString(name), false, false, true, false, nullptr).Code(), 0);
    EXPECT_STREQ(owner.GetName().c_str(), name);
    SEvent again;
    EXPECT_EQ(again.Create(result, SString(name), false, false, true, false, nullptr), SResult(0xA0040908u));
    ASSERT_TRUE(again.IsValid());
    SEvent opened;
    EXPECT_EQ(opened.Open(result, SString(name), SYNCHRONIZE | EVENT_MODIFY_STATE, false).Code(), 0);
    EXPECT_EQ(opened.Set(result).Code(), 0);
    EXPECT_TRUE(owner.IsSignaled());
    EXPECT_TRUE(again.IsSignaled());

    SEvent missing;
    EXPECT_EQ(missing.Open(result, SString(L"SyncTestEvent-no-such-object"), SYNCHRONIZE, false),
              SResult(0xA0040903u));
    EXPECT_FALSE(missing.IsValid());
    // A failed open also drops a handle held before.
    EXPECT_EQ(opened.Open(result, SString(L"SyncTestEvent-no-such-object"), SYNCHRONIZE, false),
              SResult(0xA0040903u));
    EXPECT_FALSE(opened.IsValid());
}

TEST(SSemaphore, RefusesInvalidCountsWithoutMakingAnObject)
{
    const struct
    {
        int32_t initial;
        int32_t maximum;
    } invalid[] = {{2, 1}, {-1, 1}, {0, 0}, {0, -5}};
    for (const auto& counts : invalid)
    {
        wchar_t name[64];
        swprintf(name, 64, L"SyncTestSemaphore-%lu-%d-%d", GetCurrentProcessId(), counts.initial,
                 counts.maximum);
        SSemaphore semaphore;
        SResult result;
        EXPECT_EQ(
            semaphore.Create(result, SString(name), false, false, counts.initial, counts.maximum, nullptr),
            SResult(0xA0040909u));
        EXPECT_EQ(result, SResult(0xA0040909u));
        EXPECT_EQ(semaphore.GetHandle(), nullptr);
        // No kernel object of that name came to exist.
        SSemaphore probe;
        EXPECT_EQ(probe.Open(result, SString(name), SYNCHRONIZE, false), SResult(0xA0040903u));
    }
}

TEST(SSemaphore, CountsReleasesAndRecreates)
{
    SSemaphore semaphore;
    SResult result;
    EXPECT_EQ(semaphore.Release(result, 1), SResult(0xA0040902u));
    ASSERT_EQ(semaphore.Create(result, SString(), false, true, 1, 3, nullptr).Code(), 0);
    EXPECT_EQ(semaphore.GetStartCount(), 1);
    EXPECT_EQ(semaphore.GetMaxCount(), 3);
    EXPECT_EQ(Available(semaphore), 1);

    LONG previous = -1;
    EXPECT_EQ(semaphore.Release(result, 2, &previous).Code(), 0);
    EXPECT_EQ(previous, 1);
    previous = -1;
    EXPECT_EQ(semaphore.Release(result, 1, &previous), SResult(0xA0040910u)); // beyond the maximum
    EXPECT_EQ(previous, -1);
    EXPECT_EQ(Available(semaphore), 3);

    // A new object with the stored counts: three available before, one after.
    EXPECT_EQ(semaphore.Recreate(result).Code(), 0);
    EXPECT_NE(semaphore.GetHandle(), nullptr);
    EXPECT_EQ(Available(semaphore), 1);
}

TEST(SSemaphore, UniqueNamesAndExistingObjects)
{
    SSemaphore first;
    SSemaphore second;
    SResult result;
    ASSERT_EQ(first.Create(result, SString(L"SyncTestSem"), true, false, 0, 1, nullptr).Code(), 0);
    ASSERT_EQ(second.Create(result, SString(L"SyncTestSem"), true, false, 0, 1, nullptr).Code(), 0);
    const long long a = SerialOf(first.GetName(), L"SyncTestSem");
    const long long b = SerialOf(second.GetName(), L"SyncTestSem");
    ASSERT_GE(a, 0);
    EXPECT_EQ(static_cast<uint32_t>(b - a), 1u);

    SSemaphore again;
    EXPECT_EQ(again.Create(result, first.GetName(), false, false, 0, 1, nullptr), SResult(0xA0040908u));
    EXPECT_EQ(again.Release(result, 1).Code(), 0);
    EXPECT_TRUE(first.IsSignaled());
    SSemaphore opened;
    EXPECT_EQ(opened.Open(result, second.GetName(), SYNCHRONIZE | SEMAPHORE_MODIFY_STATE, false).Code(), 0);
    EXPECT_EQ(opened.Release(result, 1).Code(), 0);
    EXPECT_TRUE(second.IsSignaled());
}
