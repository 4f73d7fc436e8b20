#include "process/ThreadTestSupport.h"

#include "library/system/process/SThread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cwchar>

using namespace S;
using namespace ThreadTest;
using testing::HasSubstr;

namespace
{

unsigned __stdcall ReturnSeven(void*)
{
    return 7;
}

unsigned __stdcall ReturnOwnId(void* out)
{
    *static_cast<DWORD*>(out) = GetCurrentThreadId();
    return 0;
}

unsigned __stdcall WaitForGate(void* gate)
{
    return static_cast<Gate*>(gate)->Wait() ? 0 : 1;
}

std::wstring BirthLine(const wchar_t* purpose, DWORD parent)
{
    wchar_t id[16];
    std::swprintf(id, 16, L"%5lu", parent);
    return std::wstring(L"Thread created. Purpose: ") + purpose + L". Parent thread: " + id + L".";
}

class RecordingObserver : public IThreadObserver
{
public:
    explicit RecordingObserver(bool accept) : m_Accept(accept) {}
    bool OnAttach(IThread&) override
    {
        ++attached;
        return m_Accept;
    }
    void OnDetach(IThread&) override { ++detached; }

    int attached = 0;
    int detached = 0;

private:
    bool m_Accept;
};

} // namespace

TEST(SThread, ProcedureResultIsExitCodeAndBirthAndEndAreLogged)
{
    LogCapture log;
    SThread thread;
    SResult result;
    DWORD id = 0;
    ASSERT_EQ(thread.Create(result, L"seven", &ReturnSeven, nullptr, 0, 0, nullptr, &id), SResult(0));
    EXPECT_EQ(result, SResult(0));
    EXPECT_TRUE(thread.IsValid());
    EXPECT_NE(id, 0u);
    EXPECT_STREQ(thread.GetPurpose(), L"seven");
    ASSERT_EQ(thread.Wait(result, false, 10'000), SResult(0));

    DWORD exitCode = 0;
    EXPECT_EQ(thread.GetExitCode(result, exitCode), SResult(0));
    EXPECT_EQ(exitCode, 7u);
    EXPECT_EQ(log.Count(BirthLine(L"seven", GetCurrentThreadId())), 1u);
    EXPECT_EQ(log.Count(L"Thread ended with exit code 0x00000007 [purpose: seven]"), 1u);
    // Both lines go through the file route at the Debug level.
    for (const LogLine& line : log.Matching(L"[purpose: seven]"))
        EXPECT_EQ(line.level, 48);
}

TEST(SThread, PurposeIsStoredCutOrReplaced)
{
    const std::wstring longText(300, L'x');
    const struct
    {
        const wchar_t* given;
        std::wstring stored;
    } cases[] = {
        {nullptr, L"<not specified>"},
        {L"", L"<not specified>"},
        {L"pump", L"pump"},
        {longText.c_str(), std::wstring(255, L'x')},
    };
    SThread thread;
    EXPECT_STREQ(thread.GetPurpose(), L"<not specified>");
    for (const auto& c : cases)
    {
        thread.SetPurpose(c.given);
        EXPECT_EQ(std::wstring(thread.GetPurpose()), c.stored);
    }
}

TEST(SThread, OperationsWithoutHandleReportIt)
{
    SThread thread;
    SResult result;
    DWORD exitCode = 12345;
    bool disabled = true;
    SThreadTimes times;
    const SResult noHandle(0xA0040902u);

    EXPECT_FALSE(thread.IsValid());
    EXPECT_EQ(thread.GetExitCode(result, exitCode), noHandle);
    EXPECT_EQ(exitCode, 12345u);
    EXPECT_EQ(thread.Terminate(result, 1), noHandle);
    EXPECT_EQ(thread.SetPriority(result, THREAD_PRIORITY_NORMAL), noHandle);
    EXPECT_EQ(thread.GetPriorityBoost(result, disabled), noHandle);
    EXPECT_TRUE(disabled);
    EXPECT_EQ(thread.SetPriorityBoost(result, true), noHandle);
    EXPECT_EQ(thread.GetTimes(result, times), noHandle);
    EXPECT_EQ(thread.Wait(result, false, 0), noHandle);
    EXPECT_EQ(thread.Suspend(), 0xFFFFFFFFu);
    EXPECT_EQ(thread.Resume(), 0xFFFFFFFFu);
    EXPECT_EQ(thread.GetPriority(), -1);
    EXPECT_EQ(thread.GetThreadId(), 0xFFFFFFFFu);
    thread.Close();
    EXPECT_FALSE(thread.IsValid());
}

TEST(SThread, IdsComeFromTheKernelForCreatedOpenedAndPseudoHandles)
{
    SThread created;
    SResult result;
    DWORD reported = 0;
    DWORD seen = 0;
    ASSERT_EQ(created.Create(result, L"id", &ReturnOwnId, &seen, 0, 0, nullptr, &reported), SResult(0));
    ASSERT_EQ(created.Wait(result, false, 10'000), SResult(0));
    EXPECT_EQ(created.GetThreadId(), seen);
    EXPECT_EQ(reported, seen);

    SThread opened;
    ASSERT_EQ(opened.Open(result, THREAD_ALL_ACCESS, false, 0xFFFFFFFFu), SResult(0));
    EXPECT_EQ(opened.GetThreadId(), GetCurrentThreadId());

    const std::unique_ptr<IThread> another = created.OpenThread(THREAD_QUERY_INFORMATION, false);
    ASSERT_NE(another, nullptr);
    EXPECT_EQ(another->GetThreadId(), GetCurrentThreadId());

    const SThread pseudo(INVALID_HANDLE_VALUE);
    EXPECT_EQ(pseudo.GetHandle(), GetCurrentThread());
    EXPECT_EQ(pseudo.GetThreadId(), GetCurrentThreadId());

    // No thread has id 0 (the idle process's thread is not ours to open).
    SThread missing;
    EXPECT_EQ(missing.Open(result, THREAD_ALL_ACCESS, false, 0), SResult(0xA0040903u));
    EXPECT_EQ(result, SResult(0xA0040903u));
    EXPECT_FALSE(missing.IsValid());
}

TEST(SThread, OwnedHandlesAreClosedBorrowedOnesAreNot)
{
    HANDLE raw = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &raw, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    DWORD flags = 0;
    {
        SThread owner(raw);
        EXPECT_TRUE(owner.IsValid());
        EXPECT_TRUE(GetHandleInformation(raw, &flags));
    }
    EXPECT_FALSE(GetHandleInformation(raw, &flags));

    SThread current(INVALID_HANDLE_VALUE);
    current.Close();
    EXPECT_FALSE(current.IsValid());
    // The calling thread is still usable through its pseudo-handle.
    EXPECT_NE(GetThreadPriority(GetCurrentThread()), static_cast<int>(THREAD_PRIORITY_ERROR_RETURN));
}

TEST(SThread, ControlsASuspendedThread)
{
    LogCapture log;
    Gate gate;
    SThread thread;
    SResult result;
    ASSERT_EQ(thread.Create(result, L"held", &WaitForGate, &gate, CREATE_SUSPENDED), SResult(0));
    EXPECT_FALSE(thread.IsSignaled());

    EXPECT_EQ(thread.SetPriority(result, THREAD_PRIORITY_BELOW_NORMAL), SResult(0));
    EXPECT_EQ(thread.GetPriority(), THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(thread.SetPriorityBoost(result, true), SResult(0));
    // Wine accepts the boost setting but always reports it enabled, so only the calls are checked.
    bool disabled = true;
    EXPECT_EQ(thread.GetPriorityBoost(result, disabled), SResult(0));
    SThreadTimes times;
    EXPECT_EQ(thread.GetTimes(result, times), SResult(0));
    EXPECT_NE(times.creation.dwHighDateTime | times.creation.dwLowDateTime, 0u);

    EXPECT_EQ(thread.Suspend(), 1u);
    EXPECT_EQ(thread.Resume(), 2u);
    EXPECT_EQ(thread.Resume(), 1u);
    EXPECT_EQ(thread.Wait(result, false, 50), SResult(0xA004090Du));
    gate.Open();
    ASSERT_EQ(thread.Wait(result, false, 10'000), SResult(0));
    EXPECT_TRUE(thread.IsSignaled());
    EXPECT_EQ(log.Count(L"Thread ended with exit code 0x00000000 [purpose: held]"), 1u);
}

TEST(SThread, TerminateLogsAndEndsWithTheGivenCode)
{
    LogCapture log;
    Gate never;
    SThread thread;
    SResult result;
    ASSERT_EQ(thread.Create(result, L"doomed", &WaitForGate, &never), SResult(0));
    ASSERT_TRUE(log.WaitFor(L"Purpose: doomed."));
    EXPECT_EQ(thread.Terminate(result, 5), SResult(0));
    ASSERT_EQ(thread.Wait(result, false, 10'000), SResult(0));
    DWORD exitCode = 0;
    thread.GetExitCode(result, exitCode);
    EXPECT_EQ(exitCode, 5u);
    EXPECT_EQ(log.Count(L"Thread forcibly terminated with exit code 5 [purpose: doomed]"), 1u);
    // A terminated thread never reaches the end of its start wrapper.
    EXPECT_EQ(log.Count(L"Thread ended"), 0u);
}

TEST(SThread, ObserverMayRefuseAndIsToldWhenReplaced)
{
    SThread thread;
    RecordingObserver refusing(false);
    thread.SetObserver(&refusing);
    EXPECT_EQ(refusing.attached, 1);
    EXPECT_FALSE(thread.HasObserver());

    RecordingObserver first(true);
    RecordingObserver second(true);
    thread.SetObserver(&first);
    EXPECT_TRUE(thread.HasObserver());
    thread.SetObserver(&second);
    EXPECT_EQ(first.detached, 1);
    EXPECT_EQ(second.attached, 1);
    EXPECT_EQ(refusing.detached, 0);
    thread.SetObserver(nullptr);
    EXPECT_EQ(second.detached, 1);
    EXPECT_FALSE(thread.HasObserver());
}

TEST(SThread, CreateRemoteStartsAPlainThreadWithoutTheWrapper)
{
    LogCapture log;
    SThread thread;
    SResult result;
    const auto sleepZero = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SleepEx")));
    ASSERT_NE(sleepZero, nullptr);
    ASSERT_EQ(thread.CreateRemote(result, GetCurrentProcess(), L"remote", sleepZero, nullptr), SResult(0));
    ASSERT_EQ(thread.Wait(result, false, 10'000), SResult(0));
    EXPECT_STREQ(thread.GetPurpose(), L"remote");
    EXPECT_EQ(log.Count(L"remote"), 0u);

    SThread refused;
    EXPECT_EQ(refused.CreateRemote(result, nullptr, L"nowhere", sleepZero, nullptr), SResult(0xA0040903u));
    EXPECT_FALSE(refused.IsValid());
}

// Starts the crash runs before the first test when a test that reads them is selected.
class CrashRunsStarter : public testing::Environment
{
public:
    void SetUp() override
    {
        const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
        for (int s = 0; s < unit.total_test_suite_count(); ++s)
        {
            const testing::TestSuite& suite = *unit.GetTestSuite(s);
            for (int t = 0; t < suite.total_test_count(); ++t)
            {
                const std::string name = suite.GetTestInfo(t)->name();
                if (suite.GetTestInfo(t)->should_run() &&
                    (name == "EscapingExceptionsEndTheThreadWithReports" ||
                     name == "FailingJobsAreReportedAbortedAndTheWorkerGoesOn"))
                {
                    CrashRuns::Instance().Start();
                    return;
                }
            }
        }
    }
};

[[maybe_unused]] testing::Environment* const g_CrashRunsStarter =
    testing::AddGlobalTestEnvironment(new CrashRunsStarter);

// Each failure kind in a child program of its own.
TEST(SThread, EscapingExceptionsEndTheThreadWithReports)
{
    const struct
    {
        const wchar_t* mode;
        const char* announcement;
        std::vector<std::wstring> reportParts;
        bool dump;
    } cases[] = {
        {L"thread-fault",
         "Caught a 'SWin32Exception' exception.\n",
         {L"(ACCESS_VIOLATION)", L"Unable to write location: 0x00000010.", L"TST",
          L"line 384: S::SThread::ThreadStart."},
         true},
        {L"thread-sexception",
         "Caught a 'SException' exception.\n",
         {L"Exception 0xa0041234 (SException), line 77: custom failure."},
         false},
        {L"thread-unknown",
         "Caught an 'UNKNOWN...' exception.\n",
         {L"Exception 0xa0040200 (SException), line 384: S::SThread::ThreadStart."},
         false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(Narrow(c.mode));
        const CrashRuns::Run& run = CrashRuns::Instance().Get(c.mode);
        ASSERT_NE(run.folder, nullptr);
        EXPECT_EQ(run.result.exitCode, 0x80004005u);
        EXPECT_THAT(run.result.output, HasSubstr(c.announcement));
        EXPECT_THAT(run.result.output, HasSubstr("exit=80004005"));
        const auto texts = run.folder->Reports(L"txt");
        ASSERT_EQ(texts.size(), 1u);
        const std::wstring report = ReadTextReport(texts[0]);
        for (const std::wstring& part : c.reportParts)
            EXPECT_THAT(report, HasSubstr(part));
        const auto dumps = run.folder->Reports(L"dmp");
        EXPECT_EQ(dumps.size(), c.dump ? 1u : 0u);
        if (!dumps.empty())
        {
            EXPECT_GT(std::filesystem::file_size(dumps[0]), 1024u);
        }
    }
}
