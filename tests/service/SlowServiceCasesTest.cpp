// The cases that take real seconds (the 20-second stop limit, retries a second apart). Each runs
// alone in a process of its own, all side by side while the rest of the suite runs: under Wine,
// control-manager calls made at the same time from two threads of one process can leave handles
// the control manager no longer knows (ERROR_INVALID_HANDLE; its RPC runtime sends the calls over
// different connections), so threads will not do.
//
// Wine's control manager drops what a service's handler answers, and a second stop to a service
// that is not yet stop pending makes it end the service's process. So refusals "for a while" and
// a service that keeps acknowledging stops without stopping come from the script; the hanging
// stop, the wrong state after a stop and the slow start are the services' own.
#include "ServiceTestKit.h"
#include "common/ProcessRunner.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

using namespace S;
using STest::LogCapture;
using STest::Said;
using STest::ServiceCallScript;
using STest::TestService;

namespace
{

using Lines = std::vector<std::wstring>;

size_t Count(const Lines& texts, const std::wstring& text)
{
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
}

// A waited stop that never leaves stop pending: a warning after about 20 s, and still success.
TEST(SlowServiceCase, DISABLED_StopThatHangs)
{
    LogCapture log;
    TestService test(L"hangs", L"--stop-hint=3000", true);
    ASSERT_TRUE(test.Registered() && test.Start());
    SResult result;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr).Code(), 0);
    EXPECT_GE(GetTickCount64() - start, 20000u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
    const auto lines = log.LinesWith(test.Name());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, Said(L"Service '%ls' timed out while stopping. Last state: 5.", test.Name()));
    EXPECT_EQ(lines[0].level, SLogLevel::Warning);
    EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040797u);
}

// Every stop acknowledged, the service stays paused: sent again five times a second apart, then
// a plain stop gives up with success and a restart with the code, starting nothing.
void StopsThatNeverTakeEffect(SServiceAction action, int32_t code)
{
    LogCapture log;
    ServiceCallScript script;
    TestService test(L"ignores_stops", L"--idle=paused");
    ASSERT_TRUE(test.Registered() && test.Start(SERVICE_PAUSED));
    script.SwallowStops(test.Name());
    SResult result;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ControlServiceByName(result, test.SName(), action, true, nullptr).Code(), code);
    EXPECT_GE(GetTickCount64() - start, 5000u);
    EXPECT_EQ(script.StopsSeen(test.Name()), 6);
    EXPECT_EQ(test.StopsReceived(), 0u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_PAUSED));
    const Lines texts = log.TextsWith(test.Name());
    const std::wstring unverified = Said(
        L"Service \"%ls\" was stopped but its status could not be verified. Last state: 2.", test.Name());
    EXPECT_EQ(Count(texts, unverified), 6u);
    EXPECT_EQ(Count(texts, Said(L"Retry to stop service \"%ls\".", test.Name())), 5u);
    EXPECT_EQ(texts.size(), 11u);
}

TEST(SlowServiceCase, DISABLED_StopsThatNeverTakeEffect)
{
    StopsThatNeverTakeEffect(SServiceAction::Stop, 0);
}

TEST(SlowServiceCase, DISABLED_RestartWhoseStopsNeverTakeEffect)
{
    StopsThatNeverTakeEffect(SServiceAction::Restart, ServiceResult::UnexpectedState.Code());
}

// Refused twice while the service is busy pausing; asked again each second until it goes through.
TEST(SlowServiceCase, DISABLED_StopRefusedForAWhile)
{
    LogCapture log;
    ServiceCallScript script;
    TestService test(L"refuses", L"--idle=pausepending");
    ASSERT_TRUE(test.Registered() && test.Start(SERVICE_PAUSE_PENDING));
    script.RefuseStops(test.Name(), 2);
    SResult result;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr).Code(), 0);
    EXPECT_GE(GetTickCount64() - start, 2000u);
    EXPECT_EQ(script.StopsSeen(test.Name()), 3);
    EXPECT_EQ(test.StopsReceived(), 1u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOPPED));
    const std::wstring refused = Said(L"SService::Control received OS service code: "
                                      L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL (0x00000425), from service: \"%ls\"",
                                      test.Name());
    EXPECT_EQ(log.TextsWith(test.Name()),
              (Lines{refused, refused, Said(L"Successfully stopped service '%ls'.", test.Name())}));
}

// The service answers the stop by pausing and settles to stopped a little later: one retry,
// whose stop finds it no longer active.
TEST(SlowServiceCase, DISABLED_StopEndingInAnotherState)
{
    LogCapture log;
    TestService test(L"wrong_state", L"--on-stop=pausepending --settle-ms=600");
    ASSERT_TRUE(test.Registered() && test.Start());
    SResult result;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr).Code(), 0);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOPPED));
    const std::wstring& n = test.Name();
    EXPECT_EQ(
        log.TextsWith(n),
        (Lines{Said(L"Service \"%ls\" was stopped but its status could not be verified. Last state: 1.", n),
               Said(L"Retry to stop service \"%ls\".", n),
               Said(L"SService::Control received OS service code: ERROR_SERVICE_NOT_ACTIVE (0x00000426), "
                    L"from service: \"%ls\"",
                    n),
               Said(L"Successfully stopped service '%ls'.", n)}));
    const auto unverified = log.LinesWith(L"could not be verified");
    ASSERT_EQ(unverified.size(), 1u);
    EXPECT_EQ(unverified[0].level, SLogLevel::Debug);
    EXPECT_EQ(static_cast<uint32_t>(unverified[0].result), 0xA0040782u);
}

// A waited start through a start pending of the service's own.
TEST(SlowServiceCase, DISABLED_SlowStart)
{
    LogCapture log;
    TestService test(L"slow_start", L"--start-ms=1500");
    ASSERT_TRUE(test.Registered());
    STest::StartGate gate;
    SResult result;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Start, true, nullptr).Code(), 0);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(log.TextsWith(test.Name()), Lines{Said(L"Successfully started service '%ls'.", test.Name())});
}

// Starts the slow cases before the first test and collects them in the group test.
class SlowCasesInBackground final : public ::testing::Environment
{
public:
    static constexpr const char* GroupTest = "RunSideBySideInProcessesOfTheirOwn";

    void SetUp() override
    {
        const auto* unit = ::testing::UnitTest::GetInstance();
        bool groupRuns = false;
        for (int i = 0; i < unit->total_test_suite_count(); ++i)
            for (int j = 0; j < unit->GetTestSuite(i)->total_test_count(); ++j)
            {
                const auto* info = unit->GetTestSuite(i)->GetTestInfo(j);
                groupRuns |= info->should_run() && std::string(info->name()) == GroupTest;
                if (std::string(info->test_suite_name()) == "SlowServiceCase")
                    cases.push_back(info->name());
            }
        if (!groupRuns)
            return cases.clear();
        // Leftovers are cleared here, once: the children must not take each other's services for them.
        TestService::SweepStaleServices();
        SetEnvironmentVariableW(TestService::ChildVariable, L"1");
        wchar_t self[MAX_PATH * 2];
        const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH * 2));
        results.resize(cases.size());
        for (size_t i = 0; i < cases.size(); ++i)
            threads.emplace_back(
                [this, exe, i]
                {
                    const std::wstring name(cases[i].begin(), cases[i].end());
                    results[i] = STest::RunProcess(L"\"" + exe +
                                                   L"\" --gtest_also_run_disabled_tests "
                                                   L"--gtest_filter=SlowServiceCase." +
                                                   name);
                });
    }

    void TearDown() override { Join(); }

    void Join()
    {
        for (std::thread& thread : threads)
            thread.join();
        threads.clear();
    }

    std::vector<std::string> cases;
    std::vector<STest::ProcessResult> results;

private:
    std::vector<std::thread> threads;
};

// GoogleTest owns its environments.
SlowCasesInBackground* const Background =
    static_cast<SlowCasesInBackground*>(::testing::AddGlobalTestEnvironment(new SlowCasesInBackground));

TEST(SlowServiceCases, RunSideBySideInProcessesOfTheirOwn)
{
    Background->Join();
    ASSERT_EQ(Background->cases.size(), 6u);
    for (size_t i = 0; i < Background->cases.size(); ++i)
    {
        const std::string& output = Background->results[i].output;
        EXPECT_EQ(Background->results[i].exitCode, 0u) << Background->cases[i] << ":\n" << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    }
}

} // namespace
