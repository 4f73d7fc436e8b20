#include "system/process/ThreadTestSupport.h"

#include "library/system/process/SEvent.h"
#include "library/system/process/thread/SThread.h"

#include <gtest/gtest.h>

#include <cwchar>

using namespace S;
using namespace ThreadTest;

TEST(SThread, ExitCodeIsTheProcedureResultOrTheTerminationCodeAndTheLogSaysWhich)
{
    LogCapture log;
    SThread thread, doomed;
    SResult result;
    // Before a thread exists: operations report it and leave the exit code alone.
    DWORD exitCode = 12345;
    for (const SResult outcome :
         {doomed.GetExitCode(result, exitCode), doomed.Terminate(result, 1), doomed.Wait(result, false, 0)})
        EXPECT_EQ(outcome, kResultNoHandle);
    EXPECT_EQ(exitCode, 12345u);
    EXPECT_EQ(doomed.Open(result, THREAD_ALL_ACCESS, false, 0), kResultCreateFailed); // no thread has id 0
    // The purpose: a stand-in for none, cut to 255 characters.
    EXPECT_STREQ(doomed.GetPurpose(), L"<not specified>");
    doomed.SetPurpose(std::wstring(300, L'x').c_str());
    EXPECT_EQ(doomed.GetPurpose(), std::wstring(255, L'x'));
    doomed.SetPurpose(L"");
    EXPECT_STREQ(doomed.GetPurpose(), L"<not specified>");

    DWORD id = 0;
    ASSERT_EQ(thread.Create(
                  result, L"seven", [](void*) -> unsigned { return 7; }, nullptr, 0, 0, nullptr, &id),
              SResult(0));
    EXPECT_EQ(thread.GetThreadId(), id);
    // Ended by force only once it waits on an event of the test's own, where it holds no lock (of the
    // log or the heap) that the rest of the process would then wait for.
    SEvent waiting, never;
    for (SEvent* event : {&waiting, &never})
        ASSERT_EQ(event->Create(result, SString(), false, true, true, false, nullptr), SResult(0));
    HANDLE events[] = {waiting.GetHandle(), never.GetHandle()};
    const auto waitForever = [](void* handles) -> unsigned
    {
        return SignalObjectAndWait(static_cast<HANDLE*>(handles)[0], static_cast<HANDLE*>(handles)[1],
                                   INFINITE, FALSE);
    };
    ASSERT_EQ(doomed.Create(result, L"doomed", waitForever, events), SResult(0));
    ASSERT_EQ(waiting.Wait(result, false, 10'000), SResult(0));
    EXPECT_EQ(doomed.Terminate(result, 5), SResult(0));
    for (auto [which, code] : {std::pair{&thread, 7u}, std::pair{&doomed, 5u}})
    {
        ASSERT_EQ(which->Wait(result, false, 10'000), SResult(0));
        EXPECT_EQ(which->GetExitCode(result, exitCode), SResult(0));
        EXPECT_EQ(exitCode, code);
    }
    wchar_t parent[16];
    std::swprintf(parent, 16, L"%5lu", GetCurrentThreadId());
    EXPECT_EQ(
        log.Matching(L"Thread created. Purpose: seven. Parent thread: " + std::wstring(parent) + L".").size(),
        1u);
    const auto ended = log.Matching(L"Thread ended with exit code 0x00000007 [purpose: seven]");
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].level, 48); // the file route's Debug lines
    EXPECT_EQ(log.Matching(L"Thread forcibly terminated with exit code 5 [purpose: doomed]").size(), 1u);
    EXPECT_EQ(log.Matching(L"[purpose: doomed]").size(), 1u); // it never reached the end of its start wrapper
}
