#include "library/system/process/SSyncable.h"

#include <gtest/gtest.h>

#include <thread>

using namespace S;

namespace
{

void CALLBACK NoteApc(ULONG_PTR param)
{
    *reinterpret_cast<int*>(param) += 1;
}

} // namespace

TEST(WaitOnHandle, SignalledAndTimedOut)
{
    SHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    EXPECT_EQ(WaitOnHandle(event.Get(), false, 0), SResult(0xA004090Du));
    SetEvent(event.Get());
    EXPECT_EQ(WaitOnHandle(event.Get(), false, 0).Code(), 0);
    EXPECT_EQ(WaitOnHandle(event.Get(), true, INFINITE).Code(), 0);
}

TEST(WaitOnHandle, NoHandleAndClosedHandle)
{
    EXPECT_EQ(WaitOnHandle(nullptr, false, 0), SResult(0xA0040902u));
    // A closed handle's value may be handed out again at once to another thread of this process, so
    // the failed wait uses a value far beyond any handle in use.
    const HANDLE closed = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x00FFFFFC));
    EXPECT_EQ(WaitOnHandle(closed, false, 0), SResult(0xA0040905u));
}

TEST(WaitOnHandle, AbandonedMutex)
{
    SHandle mutex(CreateMutexW(nullptr, FALSE, nullptr));
    ASSERT_TRUE(mutex);
    // A thread that ends while owning the mutex abandons it.
    std::thread owner([&] { EXPECT_EQ(WaitForSingleObject(mutex.Get(), INFINITE), WAIT_OBJECT_0); });
    owner.join();
    EXPECT_EQ(WaitOnHandle(mutex.Get(), false, 1000), SResult(0xA004090Cu));
    ReleaseMutex(mutex.Get());
}

TEST(WaitOnHandle, AlertableWaitEndedByApc)
{
    SHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    int calls = 0;
    ASSERT_NE(QueueUserAPC(NoteApc, GetCurrentThread(), reinterpret_cast<ULONG_PTR>(&calls)), 0u);
    EXPECT_EQ(WaitOnHandle(event.Get(), true, 5000), SResult(0xA004090Eu));
    EXPECT_EQ(calls, 1);
    // Not alertable: a queued APC waits, the wait simply times out.
    ASSERT_NE(QueueUserAPC(NoteApc, GetCurrentThread(), reinterpret_cast<ULONG_PTR>(&calls)), 0u);
    EXPECT_EQ(WaitOnHandle(event.Get(), false, 10), SResult(0xA004090Du));
    EXPECT_EQ(calls, 1);
    SleepEx(0, TRUE);
    EXPECT_EQ(calls, 2);
}

TEST(WaitResultFromStatus, EveryStatusHasItsCode)
{
    const struct
    {
        DWORD status;
        uint32_t code;
    } table[] = {
        {WAIT_OBJECT_0, 0},
        {WAIT_ABANDONED, 0xA004090C},
        {WAIT_IO_COMPLETION, 0xA004090E},
        {WAIT_TIMEOUT, 0xA004090D},
        {WAIT_FAILED, 0xA0040905},
        {WAIT_OBJECT_0 + 1, 0xA0040910},
        {WAIT_ABANDONED + 1, 0xA0040910},
    };
    for (const auto& row : table)
        EXPECT_EQ(WaitResultFromStatus(row.status), SResult(row.code)) << "status " << row.status;
}

TEST(NextUniqueNameSerial, StepsByOne)
{
    const uint32_t first = NextUniqueNameSerial();
    const uint32_t second = NextUniqueNameSerial();
    EXPECT_EQ(second - first, 1u);
    uint32_t values[2] = {};
    std::thread a([&] { values[0] = NextUniqueNameSerial(); });
    std::thread b([&] { values[1] = NextUniqueNameSerial(); });
    a.join();
    b.join();
    EXPECT_NE(values[0], values[1]);
    EXPECT_EQ(NextUniqueNameSerial() - second, 3u);
}
