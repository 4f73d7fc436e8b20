// ControlServiceByName, WaitForServiceState and RequestFontCacheStop against Wine's control
// manager. Wine drops what a service's handler answers, so refusals of a stop come from the
// script; Wine's own refusal of a second stop, and the wrong state after a stop, come from the
// services. The waited stop that never leaves stop pending (about 20 s) runs in a process of its
// own beside the rest. (Not on a thread: under Wine, control-manager calls made at the same time
// from two threads of one process can leave handles the control manager no longer knows.)
#include "ServiceTestKit.h"
#include "common/ProcessRunner.h"

#include "library/system/service/FontCachePool.h"
#include "library/system/service/SFontCacheService.h"
#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <tuple>

using namespace S;
using namespace STest;
using enum SServiceAction;
using enum SServiceState;

namespace
{

// The line a failed control-manager call logs.
std::wstring Os(const std::wstring& function, const std::wstring& error)
{
    return function + L" received OS service code: " + error + L", from service: \"%ls\"";
}

const std::wstring DidStart = L"Successfully started service '%ls'.";
const std::wstring DidStop = L"Successfully stopped service '%ls'.";
const std::wstring AlreadyStopped = L"Service '%ls' already stopped.";
const std::wstring Refused = Os(L"SService::Control", L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL (0x00000425)");

// One call of ControlServiceByName: the state it must find, its code, the log lines naming the
// service (the last at Error level with the code when it fails), and the stops it must send.
struct Call
{
    SServiceAction action;
    bool wait;
    SServiceState before;
    int32_t code;
    Lines said;
    int stops;
};

RecordingLogger::Line Act(const std::wstring& service, const ServiceCallScript& script, const Call& call)
{
    RecordingLogger log;
    SResult result;
    SServiceState found = Paused;
    const int stops = script.stops;
    EXPECT_EQ(ControlServiceByName(result, service.c_str(), call.action, call.wait, &found).Code(),
              call.code);
    EXPECT_EQ(result.Code(), call.code);
    EXPECT_EQ(found, call.before);
    Lines said;
    for (const std::wstring& format : call.said)
        said.push_back(Said(format, service));
    EXPECT_EQ(TextsWith(log, service), said);
    EXPECT_EQ(script.stops - stops, call.stops);
    const RecordingLogger::Line last = log.Lines().empty() ? RecordingLogger::Line{} : log.Lines().back();
    EXPECT_TRUE(call.code == 0 ||
                (last.component == L"Service" && last.level == SLogLevel::Error && last.result == call.code));
    return last;
}

TEST(ControlServiceByName, StartsStopsRestartsSkipsWhatIsAlreadyDoneAndReportsWhatFails)
{
    TestService test(L"cycle");
    ASSERT_TRUE(test.Registered());
    ServiceCallScript script(test.Name()); // refuses nothing, only counts
    const Call steps[] = {
        {Start, true, Stopped, 0, {DidStart}, 0},
        {Start, true, Running, 0, {L"Service '%ls' already started."}, 0},
        {Restart, true, Running, 0, {DidStop, DidStart}, 1},
        {Stop, true, Running, 0, {DidStop}, 1},
        {Stop, true, Stopped, 0, {AlreadyStopped}, 0},
        {Restart, false, Stopped, 0, {AlreadyStopped, L"Sent start request to service '%ls'."}, 0},
        {Stop, false, Running, 0, {L"Sent stop request to service '%ls'."}, 1},
    };
    for (size_t i = 0; i < std::size(steps); ++i)
    {
        SCOPED_TRACE(i);
        const DWORD process = test.ProcessId();
        Act(test.Name(), script, steps[i]);
        EXPECT_TRUE(test.WaitForState(steps[i].action == Stop ? SERVICE_STOPPED : SERVICE_RUNNING));
        EXPECT_TRUE(steps[i].action != Restart || test.ProcessId() != process); // a new process
    }
    // What fails: no such service, a disabled one, no connection.
    SResult result;
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    ASSERT_EQ(test.Service().ChangeConfig(result, change, nullptr).Code(), 0);
    Act(TestService::UniqueName(L"missing"), script,
        Call{Start, true, Unknown, ServiceResult::NotFound.Code(),
             Lines{Os(L"SServiceManager::OpenService", L"ERROR_SERVICE_DOES_NOT_EXIST (0x00000424)"),
                   L"Failed to open service '%ls'."},
             0});
    Act(test.Name(), script,
        Call{Start, true, Stopped, ServiceResult::Disabled.Code(),
             Lines{Os(L"SService::Start", L"ERROR_SERVICE_DISABLED (0x00000422)"),
                   L"Failed to start service '%ls'."},
             0});
    script.connectionError = ERROR_ACCESS_DENIED;
    Act(test.Name(), script,
        Call{Stop, false, Unknown, ServiceResult::AccessDenied.Code(),
             Lines{L"Failed to initialize service manager while trying to start/stop service '%ls'."}, 0});
}

Lines GivesUpAfterFiveRetries()
{
    const std::wstring unverified =
        L"Service \"%ls\" was stopped but its status could not be verified. Last state: 2.";
    Lines said;
    for (int retry = 0; retry < 5; ++retry)
        said.insert(said.end(), {unverified, L"Retry to stop service \"%ls\"."});
    said.push_back(unverified);
    return said;
}

// A refused stop fails at once while the service runs and is asked again each second while it
// is in another pending state; a stop already under way counts as done; a stop that ends in
// another state is sent again.
TEST(ControlServiceByName, StopsThatDoNotSimplySucceed)
{
    struct Case
    {
        const wchar_t* options;
        int refusals; // -1: a stop is sent first, so that Wine refuses the next
        Call call;
        bool takeStopsWhilePaused = false;
    };
    const Case cases[] = {
        {L"", 2,
         Call{Stop, true, Running, ServiceResult::CannotAcceptControl.Code(),
              Lines{Refused, L"Failed to stop service '%ls'."}, 1}},
        {L"--pause-pending", 2, Call{Stop, true, PausePending, 0, Lines{Refused, Refused, DidStop}, 3}},
        {L"--hold=0", -1,
         Call{Stop, false, StopPending, 0, Lines{Refused, L"Sent stop request to service '%ls'."}, 1}},
        // Answers the stop by pausing and reports stopped 600 ms later: the retry finds it stopped.
        {L"--pause-on-stop=600", 0,
         Call{Stop, true, Running, 0,
              Lines{L"Service \"%ls\" was stopped but its status could not be verified. Last state: 1.",
                    L"Retry to stop service \"%ls\".",
                    Os(L"SService::Control", L"ERROR_SERVICE_NOT_ACTIVE (0x00000426)"), DidStop},
              2}},
        // Every stop ends in paused: five retries, then a plain stop gives up without failing.
        {L"--stop-pauses", 0, Call{Stop, true, Running, 0, GivesUpAfterFiveRetries(), 6}, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.options);
        TestService test(L"stop", c.options);
        ASSERT_TRUE(test.Start());
        ServiceCallScript script(test.Name());
        script.refusals = c.refusals;
        script.takeStopsWhilePaused = c.takeStopsWhilePaused;
        SResult result;
        SServiceStatus status;
        ASSERT_TRUE(c.refusals >= 0 ||
                    test.Service().Control(result, ServiceControlCode::Stop, status).Code() == 0);
        const ULONGLONG start = GetTickCount64();
        Act(test.Name(), script, c.call);
        EXPECT_GE(GetTickCount64() - start, 1000u * (c.call.stops - 1));
    }
}

TEST(StopThatHangs, DISABLED_WarnsAfterTwentySecondsAndStillSucceeds)
{
    TestService test(L"hangs", L"--hold=3000");
    ASSERT_TRUE(test.Start());
    ServiceCallScript script(test.Name());
    const ULONGLONG start = GetTickCount64();
    const RecordingLogger::Line warning =
        Act(test.Name(), script,
            {Stop, true, Running, 0, {L"Service '%ls' timed out while stopping. Last state: 5."}, 1});
    EXPECT_GE(GetTickCount64() - start, 20000u);
    EXPECT_TRUE(warning.level == SLogLevel::Warning && warning.result == int32_t(0xA0040797u));
}

// Runs the case above in a child process beside the rest.
class InBackground final : public ::testing::Environment
{
    std::future<ProcessResult> m_Child;

    void SetUp() override
    {
        const std::string filter = GTEST_FLAG_GET(filter);
        if (GTEST_FLAG_GET(also_run_disabled_tests) ||
            (filter != "*" && filter.find("StopThatHangs") == std::string::npos))
            return;
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring command =
            Quote(self) + L" --gtest_also_run_disabled_tests --gtest_filter=StopThatHangs.*";
        m_Child = std::async(std::launch::async, RunProcess, command, 60000);
    }

    void TearDown() override
    {
        if (!m_Child.valid())
            return;
        const std::string output = m_Child.get().output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    }
};

// GoogleTest owns its environments.
[[maybe_unused]] auto* const Background = ::testing::AddGlobalTestEnvironment(new InBackground);

struct RecordingClock final : IServiceWaitClock
{
    uint64_t now = 1'000'000;
    std::vector<DWORD> sleeps;
    uint64_t NowMs() noexcept override { return now; }
    void SleepMs(DWORD ms) noexcept override { now += sleeps.emplace_back(ms); }
};

TEST(WaitForServiceState, PollsAtATenthOfTheWaitHintAndGivesUpAfterTwentySeconds)
{
    // The wait hint, the poll interval, and the polls until more than 20,000 ms have passed.
    for (const auto& [hint, interval, polls] :
         {std::tuple<DWORD, DWORD, size_t>{0, 1000, 21}, {35000, 3500, 6}, {90000, 5000, 5}})
    {
        SCOPED_TRACE(hint);
        TestService test(L"hint", L"--hold=" + std::to_wstring(hint));
        ASSERT_TRUE(test.Start());
        SResult result;
        SServiceStatus status;
        ASSERT_EQ(test.Service().Control(result, ServiceControlCode::Stop, status).Code(), 0);
        ASSERT_TRUE(test.WaitForState(SERVICE_STOP_PENDING));
        RecordingClock clock;
        EXPECT_EQ(WaitForServiceState(test.Service(), StopPending, Stopped, status, clock),
                  ServiceResult::TimedOut);
        EXPECT_EQ(clock.sleeps, std::vector<DWORD>(polls, interval));
        EXPECT_EQ(status.currentState, StopPending);
        EXPECT_EQ(status.waitHint, hint);
    }
}

// Every font-cache stop request handled and the job done with them.
bool Drained()
{
    return WaitUntil([] { return PendingFontCacheStopRequests() == 0; }, 15000);
}

// Wine's own "FontCache" service is demand start, stopped when the prefix starts; each test
// leaves it stopped.
class RequestFontCacheStopTest : public ::testing::Test
{
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override
    {
        SResult result;
        EXPECT_EQ(ControlServiceByName(result, L"FontCache", Stop, true, nullptr).Code(), 0);
        EXPECT_EQ(StatusOf(L"FontCache").dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    }
};

TEST_F(RequestFontCacheStopTest, StopsTheServiceWhenItRunsAndOnlyChecksItWhenStopped)
{
    SResult result;
    ASSERT_EQ(ControlServiceByName(result, L"FontCache", Start, true, nullptr).Code(), 0);
    ServiceCallScript script(L"Windows Font Cache Service");
    RecordingLogger log;
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    EXPECT_TRUE(WaitUntil([] { return StatusOf(L"FontCache").dwCurrentState == SERVICE_STOPPED; }));
    EXPECT_EQ(TextsWith(log, L"FontCache"), Lines{L"Sent stop request to service 'FontCache'."});
    EXPECT_EQ(script.stops, 1);
    const int connections = script.connections;
    const size_t lines = log.Lines().size();
    RequestFontCacheStop(); // once stopped: one check, nothing sent, nothing logged
    ASSERT_TRUE(Drained());
    EXPECT_EQ(script.connections, connections + 1);
    EXPECT_EQ(script.stops, 1);
    EXPECT_EQ(log.Lines().size(), lines);
}

// The requesters are let go at once; the job's first check waits at the gate until all ten
// requests are in. (Events: this runtime's std::latch loses wake-ups.)
TEST_F(RequestFontCacheStopTest, TenRequestsAtOncePostOneJobThatChecksTwice)
{
    ServiceCallScript script;
    const HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(start != nullptr && gate != nullptr);
    script.gate = gate;
    std::vector<std::thread> requesters;
    for (int i = 0; i < 10; ++i)
        requesters.emplace_back(
            [start]
            {
                WaitForSingleObject(start, INFINITE);
                RequestFontCacheStop();
            });
    SetEvent(start);
    for (std::thread& requester : requesters)
        requester.join();
    EXPECT_EQ(PendingFontCacheStopRequests(), 10u);
    EXPECT_TRUE(WaitUntil([&] { return script.connections == 1; }));
    EXPECT_EQ(FontCachePool().GetQueuedCount(), 0u); // the one job is running, nothing waits behind it
    SetEvent(gate);
    EXPECT_TRUE(Drained());
    // One check for the request that posted the job, one for the nine that came meanwhile.
    EXPECT_EQ(script.connections, 2);
    CloseHandle(start);
    CloseHandle(gate);
}

TEST_F(RequestFontCacheStopTest, AFailedConnectionStillDrainsTheRequests)
{
    ServiceCallScript script;
    script.connectionError = ERROR_ACCESS_DENIED;
    RecordingLogger log;
    RequestFontCacheStop();
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    const int connections = script.connections;
    EXPECT_EQ(TextsWith(log, L"ERROR_ACCESS_DENIED").at(0),
              L"SServiceManager::Init received OS service code: ERROR_ACCESS_DENIED (0x00000005).");
    RequestFontCacheStop(); // the counter is back at 0: this request posts a job of its own
    ASSERT_TRUE(Drained());
    EXPECT_EQ(script.connections, connections + 1);
}

} // namespace
