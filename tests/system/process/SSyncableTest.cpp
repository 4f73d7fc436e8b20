#include "library/system/process/SSyncable.h"

#include <gtest/gtest.h>

#include <thread>

using namespace S;

TEST(WaitOnHandle, SignalledTimedOutAbandonedNoHandleFailedAndEndedByApc)
{
    const SHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(WaitOnHandle(event.Get(), false, 0), kResultWaitTimeout);
    SetEvent(event.Get());
    EXPECT_EQ(WaitOnHandle(event.Get(), true, INFINITE).Code(), 0);
    EXPECT_EQ(WaitOnHandle(nullptr, false, 0), kResultNoHandle);
    // A closed handle's value may be handed out again at once to another thread of this process, so
    // the failed wait uses a value far beyond any handle in use.
    EXPECT_EQ(WaitOnHandle(reinterpret_cast<HANDLE>(uintptr_t{0x00FFFFFC}), false, 0), kResultWaitFailed);
    // A thread that ends while owning a mutex abandons it.
    const SHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(mutex.Get(), INFINITE), WAIT_OBJECT_0); }).join();
    EXPECT_EQ(WaitOnHandle(mutex.Get(), false, 1000), kResultWaitAbandoned);
    ReleaseMutex(mutex.Get());

    // An alertable wait is ended by a queued APC.
    ResetEvent(event.Get());
    int calls = 0;
    const PAPCFUNC count = [](ULONG_PTR param) { ++*reinterpret_cast<int*>(param); };
    ASSERT_NE(QueueUserAPC(count, GetCurrentThread(), reinterpret_cast<ULONG_PTR>(&calls)), 0u);
    EXPECT_EQ(WaitOnHandle(event.Get(), true, 5000), kResultWaitIoCompletion);
    EXPECT_EQ(calls, 1);
    // Not alertable: a queued APC waits, the wait simply times out.
    ASSERT_NE(QueueUserAPC(count, GetCurrentThread(), reinterpret_cast<ULONG_PTR>(&calls)), 0u);
    EXPECT_EQ(WaitOnHandle(event.Get(), false, 10), kResultWaitTimeout);
    EXPECT_EQ(calls, 1);
    SleepEx(0, TRUE);
    EXPECT_EQ(calls, 2);
}
