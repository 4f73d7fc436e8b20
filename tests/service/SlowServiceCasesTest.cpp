// The cases that take real seconds (the 20-second stop limit, retries a second apart), run side
// by side so that the group takes about as long as its slowest case.
//
// Wine facts these cases are built around: its control manager drops what a service's handler
// answers, and a second stop to a service that is not yet stop pending makes it end the
// service's process and answer ERROR_SERVICE_CANNOT_ACCEPT_CTRL, leaving the last state in
// place. So refusals "for a while" and a service that keeps acknowledging stops without stopping
// come from the script; the stop that hangs, the wrong state after a stop and the slow start are
// the services' own.
#include "ServiceTestKit.h"
#include "common/ProcessRunner.h"

#include "library/system/service/ServiceControl.h"
#include "library/system/service/ServiceResult.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

using namespace S;
using STest::LogCapture;
using STest::ServiceCallScript;
using STest::TestService;

namespace
{

std::wstring Quoted(const wchar_t* format, const std::wstring& name)
{
    wchar_t text[512];
    swprintf(text, 512, format, name.c_str());
    return text;
}

size_t Count(const std::vector<std::wstring>& texts, const std::wstring& text)
{
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
}

ULONGLONG Elapsed(ULONGLONG since)
{
    return GetTickCount64() - since;
}

// A stop waited for that never leaves stop pending: a warning after about 20 s, still success.
void StopThatHangs(const LogCapture& log)
{
    TestService test(L"hangs", L"--stop-hint=3000", true);
    ASSERT_TRUE(test.Registered());
    ASSERT_TRUE(test.Start());
    SResult result;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr).Code(), 0);
    EXPECT_GE(Elapsed(start), 20000u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
    const auto lines = log.LinesWith(test.Name());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, Quoted(L"Service '%ls' timed out while stopping. Last state: 5.", test.Name()));
    EXPECT_EQ(lines[0].level, SLogLevel::Warning);
    EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040797u);
}

// A service that acknowledges every stop and stays paused: the stop is sent again five times,
// a second apart, then a plain stop gives up with success and a restart with the code.
void StopsThatNeverTakeEffect(const LogCapture& log, ServiceCallScript& script, SServiceAction action)
{
    TestService test(action == SServiceAction::Stop ? L"ignores_stop" : L"ignores_restart", L"--idle=paused");
    ASSERT_TRUE(test.Registered());
    ASSERT_TRUE(test.Start(SERVICE_PAUSED));
    script.SwallowStops(test.Name());
    SResult result;
    const ULONGLONG start = GetTickCount64();
    const SResult outcome = ControlServiceByName(result, test.SName(), action, true, nullptr);
    EXPECT_GE(Elapsed(start), 5000u);
    if (action == SServiceAction::Stop)
        EXPECT_EQ(outcome.Code(), 0);
    else
        EXPECT_EQ(outcome, ServiceResult::UnexpectedState);
    EXPECT_EQ(script.StopsSeen(test.Name()), 6);
    EXPECT_EQ(test.StopsReceived(), 0u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_PAUSED));
    const auto texts = log.TextsWith(test.Name());
    const std::wstring unverified = Quoted(
        L"Service \"%ls\" was stopped but its status could not be verified. Last state: 2.", test.Name());
    EXPECT_EQ(Count(texts, unverified), 6u);
    EXPECT_EQ(Count(texts, Quoted(L"Retry to stop service \"%ls\".", test.Name())), 5u);
    EXPECT_EQ(texts.size(), 11u) << "nothing else, in particular no start";
    EXPECT_EQ(texts.back(), unverified);
}

// The control manager refuses the stop twice while the service is busy pausing; the stop is
// asked again each second until it goes through.
void StopRefusedForAWhile(const LogCapture& log, ServiceCallScript& script)
{
    TestService test(L"refuses", L"--idle=pausepending");
    ASSERT_TRUE(test.Registered());
    ASSERT_TRUE(test.Start(SERVICE_PAUSE_PENDING));
    script.RefuseStops(test.Name(), 2);
    SResult result;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr).Code(), 0);
    EXPECT_GE(Elapsed(start), 2000u);
    EXPECT_EQ(script.StopsSeen(test.Name()), 3);
    EXPECT_EQ(test.StopsReceived(), 1u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOPPED));
    const auto texts = log.TextsWith(test.Name());
    EXPECT_EQ(Count(texts, Quoted(L"Successfully stopped service '%ls'.", test.Name())), 1u);
    EXPECT_EQ(texts.back(), Quoted(L"Successfully stopped service '%ls'.", test.Name()));
}

// The service answers the stop by pausing instead, and settles to stopped a little later: one
// retry, whose stop finds it no longer active.
void StopEndingInAnotherState(const LogCapture& log)
{
    TestService test(L"wrong_state", L"--on-stop=pausepending --settle-ms=600");
    ASSERT_TRUE(test.Registered());
    ASSERT_TRUE(test.Start());
    SResult result;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr).Code(), 0);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(
        log.TextsWith(test.Name()),
        (std::vector<std::wstring>{
            Quoted(L"Service \"%ls\" was stopped but its status could not be verified. Last state: 1.",
                   test.Name()),
            Quoted(L"Retry to stop service \"%ls\".", test.Name()),
            Quoted(L"SService::Control received OS service code: ERROR_SERVICE_NOT_ACTIVE (0x00000426), "
                   L"from service: \"%ls\"",
                   test.Name()),
            Quoted(L"Successfully stopped service '%ls'.", test.Name())}));
    const auto unverified = log.LinesWith(L"could not be verified. Last state: 1.");
    ASSERT_FALSE(unverified.empty());
    EXPECT_EQ(unverified[0].level, SLogLevel::Debug);
    EXPECT_EQ(static_cast<uint32_t>(unverified[0].result), 0xA0040782u);
}

// A start waited for through a start pending of its own.
void SlowStart(const LogCapture& log)
{
    TestService test(L"slow_start", L"--start-ms=1500");
    ASSERT_TRUE(test.Registered());
    SResult result;
    STest::StartGate gate;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Start, true, nullptr).Code(), 0);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(log.TextsWith(test.Name()),
              std::vector<std::wstring>{Quoted(L"Successfully started service '%ls'.", test.Name())});
}

// Each slow case runs alone in a process of its own; see the group test below.
TEST(SlowServiceCase, DISABLED_StopThatHangs)
{
    LogCapture log;
    StopThatHangs(log);
}

TEST(SlowServiceCase, DISABLED_StopsThatNeverTakeEffect)
{
    LogCapture log;
    ServiceCallScript script;
    StopsThatNeverTakeEffect(log, script, SServiceAction::Stop);
}

TEST(SlowServiceCase, DISABLED_RestartWhoseStopNeverTakesEffect)
{
    LogCapture log;
    ServiceCallScript script;
    StopsThatNeverTakeEffect(log, script, SServiceAction::Restart);
}

TEST(SlowServiceCase, DISABLED_StopRefusedForAWhile)
{
    LogCapture log;
    ServiceCallScript script;
    StopRefusedForAWhile(log, script);
}

TEST(SlowServiceCase, DISABLED_StopEndingInAnotherState)
{
    LogCapture log;
    StopEndingInAnotherState(log);
}

TEST(SlowServiceCase, DISABLED_SlowStart)
{
    LogCapture log;
    SlowStart(log);
}

// Side by side, and in separate processes: under Wine, control-manager calls made at the same
// time from two threads of one process can leave handles that the control manager no longer
// knows (ERROR_INVALID_HANDLE), since its RPC runtime sends them over different connections.
// The processes start before the first test, so the rest of the suite runs meanwhile.
class SlowCasesInBackground final : public ::testing::Environment
{
public:
    static constexpr const char* GroupTest = "RunSideBySideInProcessesOfTheirOwn";
    static inline const std::vector<std::wstring> Cases = {
        L"StopThatHangs",        L"StopsThatNeverTakeEffect", L"RestartWhoseStopNeverTakesEffect",
        L"StopRefusedForAWhile", L"StopEndingInAnotherState", L"SlowStart"};

    void SetUp() override
    {
        if (!GroupWillRun())
            return;
        // Leftovers are cleared here, once; the children must not take each other's services for them.
        TestService::SweepStaleServices();
        SetEnvironmentVariableW(TestService::ChildVariable, L"1");
        wchar_t self[MAX_PATH * 2];
        const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH * 2));
        results.resize(Cases.size());
        for (size_t i = 0; i < Cases.size(); ++i)
            threads.emplace_back(
                [this, exe, i]
                {
                    results[i] = STest::RunProcess(L"\"" + exe +
                                                   L"\" --gtest_also_run_disabled_tests "
                                                   L"--gtest_filter=SlowServiceCase.DISABLED_" +
                                                   Cases[i]);
                });
    }

    void TearDown() override { Join(); }

    void Join()
    {
        for (std::thread& thread : threads)
            thread.join();
        threads.clear();
    }

    std::vector<STest::ProcessResult> results;

private:
    static bool GroupWillRun()
    {
        const auto* unit = ::testing::UnitTest::GetInstance();
        for (int i = 0; i < unit->total_test_suite_count(); ++i)
        {
            const auto* suite = unit->GetTestSuite(i);
            for (int j = 0; j < suite->total_test_count(); ++j)
                if (std::string(suite->GetTestInfo(j)->name()) == GroupTest &&
                    suite->GetTestInfo(j)->should_run())
                    return true;
        }
        return false;
    }

    std::vector<std::thread> threads;
};

// GoogleTest owns its environments.
SlowCasesInBackground* const Background =
    static_cast<SlowCasesInBackground*>(::testing::AddGlobalTestEnvironment(new SlowCasesInBackground));

TEST(SlowServiceCases, RunSideBySideInProcessesOfTheirOwn)
{
    Background->Join();
    ASSERT_EQ(Background->results.size(), SlowCasesInBackground::Cases.size());
    for (size_t i = 0; i < Background->results.size(); ++i)
    {
        const std::wstring& name = SlowCasesInBackground::Cases[i];
        const std::string& output = Background->results[i].output;
        EXPECT_EQ(Background->results[i].exitCode, 0u) << std::string(name.begin(), name.end()) << ":\n"
                                                       << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    }
}

} // namespace
