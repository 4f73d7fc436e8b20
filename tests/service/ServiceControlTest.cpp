// ControlServiceByName, WaitForServiceState and RequestFontCacheStop against Wine's control
// manager. Wine drops what a service's handler answers, so refusals of a stop come from the
// script; Wine's own refusal of a second stop, and the wrong state after a stop, come from the
// services. The waited stop that never leaves stop pending (about 20 s) runs in a process of its
// own beside the rest. (Not on a thread: under Wine, control-manager calls made at the same time
// from two threads of one process can leave handles the control manager no longer knows.)
// Wine's control manager ignores dependencies (a service with running dependents just stops) and
// its dependents enumeration always answers none. So for StopWithDependents the script plays
// Windows' part: a stop is refused with ERROR_DEPENDENT_SERVICES_RUNNING while a dependent is
// active, and the enumeration lists the dependents or is left to Wine. Every service is real.
#include "ServiceTestKit.h"

#include "library/system/service/FontCachePool.h"
#include "library/system/service/SFontCacheService.h"
#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

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
    Lines said(call.said.size());
    std::ranges::transform(call.said, said.begin(),
                           [&](const std::wstring& format) { return Said(format, service); });
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
    for (const Call& step : steps)
    {
        SCOPED_TRACE(&step - steps);
        const DWORD process = test.ProcessId(),
                    expected = step.action == Stop ? SERVICE_STOPPED : SERVICE_RUNNING;
        Act(test.Name(), script, step);
        EXPECT_TRUE(WaitUntil([&] { return test.State() == expected; }));
        EXPECT_TRUE(step.action != Restart || test.ProcessId() != process); // a new process
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

// A refused stop fails at once while the service runs and is asked again each second while it
// is in another pending state; a stop already under way counts as done; a stop that ends in
// another state is sent again.
TEST(ControlServiceByName, StopsThatDoNotSimplySucceed)
{
    Lines fiveRetries(11,
                      L"Service \"%ls\" was stopped but its status could not be verified. Last state: 2.");
    for (size_t i = 1; i < fiveRetries.size(); i += 2)
        fiveRetries[i] = L"Retry to stop service \"%ls\".";
    struct Case
    {
        const wchar_t* options;
        int refusals; // -1: a stop is sent first, so that Wine refuses the next
        Call call;
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
        {L"--stop-pauses", 0, Call{Stop, true, Running, 0, fiveRetries, 6}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.options);
        TestService test(L"stop", c.options);
        ASSERT_TRUE(test.Start());
        ServiceCallScript script(test.Name());
        script.refusals = c.refusals;
        script.takeStopsWhilePaused = std::wstring(c.options) == L"--stop-pauses";
        SResult result;
        ASSERT_TRUE(c.refusals >= 0 ||
                    ControlServiceByName(result, test.SName(), Stop, false, nullptr).Succeeded());
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

// Runs the case above in a child process beside the rest, in an unfiltered run only.
class InBackground final : public ::testing::Environment
{
    std::future<ProcessResult> m_Child;

    void SetUp() override
    {
        if (!GTEST_FLAG_GET(also_run_disabled_tests) && GTEST_FLAG_GET(filter) == "*")
            m_Child = std::async(std::launch::async, RunProcess,
                                 Quote(BinFolder() + L"service_tests.exe") +
                                     L" --gtest_also_run_disabled_tests --gtest_filter=StopThatHangs.*",
                                 60000);
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
    for (const auto& [hint, interval] :
         {std::pair<uint32_t, DWORD>{0, 1000}, {10001, 1000}, {35000, 3500}, {50010, 5000}, {90000, 5000}})
        EXPECT_EQ(ServiceWaitPollInterval(hint), interval) << hint;
    TestService test(L"hint", L"--hold=35000");
    ASSERT_TRUE(test.Start());
    SResult result;
    SServiceStatus status;
    ASSERT_EQ(test.Service().Control(result, ServiceControlCode::Stop, status).Code(), 0);
    ASSERT_TRUE(WaitUntil([&] { return test.State() == SERVICE_STOP_PENDING; }));
    RecordingClock clock;
    EXPECT_EQ(WaitForServiceState(test.Service(), StopPending, Stopped, status, clock),
              ServiceResult::TimedOut);
    EXPECT_EQ(clock.sleeps, std::vector<DWORD>(6, 3500)); // until more than 20,000 ms have passed
    EXPECT_TRUE(status.currentState == StopPending && status.waitHint == 35000u);
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

TEST_F(RequestFontCacheStopTest, StopsTheServiceWhenItRunsOnlyChecksItWhenStoppedAndDrainsOnFailure)
{
    SResult result;
    ASSERT_EQ(ControlServiceByName(result, L"FontCache", Start, true, nullptr).Code(), 0);
    ServiceCallScript script(L"Windows Font Cache Service");
    RecordingLogger log;
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    EXPECT_TRUE(WaitUntil([] { return StatusOf(L"FontCache").dwCurrentState == SERVICE_STOPPED; }));
    EXPECT_EQ(TextsWith(log, L"FontCache"), Lines{L"Sent stop request to service 'FontCache'."});
    const int connections = script.connections;
    const size_t lines = log.Lines().size();
    RequestFontCacheStop(); // once stopped: one check, nothing sent, nothing logged
    ASSERT_TRUE(Drained());
    EXPECT_TRUE(script.connections == connections + 1 && script.stops == 1);
    EXPECT_EQ(log.Lines().size(), lines);
    script.connectionError = ERROR_ACCESS_DENIED; // a failed connection still drains the requests
    RequestFontCacheStop();
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    EXPECT_EQ(TextsWith(log, L"ERROR_ACCESS_DENIED").at(0),
              L"SServiceManager::Init received OS service code: ERROR_ACCESS_DENIED (0x00000005).");
    const int failed = script.connections;
    RequestFontCacheStop(); // the counter is back at 0: this request posts a job of its own
    ASSERT_TRUE(Drained());
    EXPECT_EQ(script.connections, failed + 1);
}

// The requesters are let go at once; the job's first check waits at the gate until all ten
// requests are in.
TEST_F(RequestFontCacheStopTest, TenRequestsAtOncePostOneJobThatChecksTwice)
{
    ServiceCallScript script;
    const HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(gate, nullptr);
    script.gate = gate;
    std::atomic<bool> go{false};
    std::vector<std::thread> requesters;
    for (int i = 0; i < 10; ++i)
        requesters.emplace_back(
            [&go]
            {
                while (!go)
                    std::this_thread::yield();
                RequestFontCacheStop();
            });
    go = true;
    for (std::thread& requester : requesters)
        requester.join();
    EXPECT_EQ(PendingFontCacheStopRequests(), 10u);
    EXPECT_TRUE(WaitUntil([&] { return script.connections == 1; }));
    EXPECT_EQ(FontCachePool().GetQueuedCount(), 0u); // the one job is running, nothing waits behind it
    SetEvent(gate);
    EXPECT_TRUE(Drained());
    // One check for the request that posted the job, one for the nine that came meanwhile.
    EXPECT_EQ(script.connections, 2);
    CloseHandle(gate);
}

TEST(SServiceClasses, RegistrationConfigurationNamesAndControls)
{
    SServiceManager manager;
    SResult result;
    std::unique_ptr<SService> other;
    EXPECT_EQ(manager.OpenService(result, nullptr, L"x", 0), ServiceResult::InvalidArgument);
    EXPECT_EQ(manager.OpenService(result, &other, L"x", 0), ServiceResult::NotOpen);
    TestService test(L"config_with_a_name_longer_than_the_first_buffer");
    ASSERT_TRUE(test.Registered());
    SService& service = test.Service();
    SServiceStatus status;
    EXPECT_EQ(service.Control(result, ServiceControlCode::Stop, status), ServiceResult::NotActive);
    EXPECT_EQ(status.currentState, SServiceState::Stopped); // translated although the control failed
    ASSERT_TRUE(test.Start());
    EXPECT_EQ(service.Control(result, 99, status), ServiceResult::InvalidArgument); // sent as control 0
    EXPECT_TRUE(status.serviceType == 0xFFFFFFFFu &&
                static_cast<int>(status.currentState) + status.processId == 0);

    ASSERT_EQ(manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Code(), 0);
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    change.displayName = (test.Name() + L" shown").c_str();
    EXPECT_EQ(manager.CreateService(result, &other, test.SName(), change, 0, nullptr),
              ServiceResult::OtherError);
    EXPECT_EQ(other, nullptr);
    ASSERT_EQ(service.ChangeConfig(result, change, nullptr).Code(), 0);
    SServiceConfig read;
    ASSERT_EQ(service.ReadConfig(result, read).Code(), 0);
    // The type is left unchanged.
    EXPECT_TRUE(read.startType == SERVICE_DISABLED && read.serviceType == SERVICE_WIN32_OWN_PROCESS);
    EXPECT_NE(std::wstring(read.binaryPath.c_str()).find(L"service_host.exe\" " + test.Name()),
              std::wstring::npos);
    SString displayName, keyName;
    ASSERT_EQ(manager.GetServiceDisplayName(result, test.SName(), displayName).Code(), 0);
    ASSERT_EQ(manager.GetServiceKeyName(result, displayName, keyName).Code(), 0);
    EXPECT_TRUE(displayName == change.displayName && keyName == test.SName());
    SListT<SServiceEntry> all;
    ASSERT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, all).Code(), 0);
    EXPECT_EQ(std::ranges::count(all.GetItems(), SServiceEntry{test.SName(), displayName, {}}), 1);
    ASSERT_EQ(service.Delete(result).Code(), 0);
    EXPECT_EQ(service.Delete(result), ServiceResult::MarkedForDelete);
}

// A restart stops the dependents first, waiting for each, then the service; it starts the service
// again and, without waiting, the dependents that were running. Without a list to fill, with
// Wine's enumeration, or when a dependent cannot stop, the refusal stands.
TEST(StopWithDependents, RestartsInOrderOrLetsTheRefusalStand)
{
    TestService main{L"main"}, first{L"first_dependent"}, paused{L"paused_dependent", L"--paused"};
    ASSERT_TRUE(main.Start() && first.Start() && paused.Start());
    ServiceCallScript script{main.Name()};
    script.dependents = {first.Name(), paused.Name()};
    script.listed = true;
    RecordingLogger log;
    SResult result;
    SServiceStatus status;
    EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Restart, true, nullptr).Code(), 0);
    EXPECT_EQ(TextsWith(log, L"service '"),
              (Lines{Said(DidStop, first.Name()), Said(DidStop, paused.Name()), Said(DidStop, main.Name()),
                     Said(L"Successfully started service '%ls'.", main.Name()),
                     Said(L"Sent start request to service '%ls'.", first.Name())}));
    EXPECT_TRUE(WaitUntil([&] { return first.State() == SERVICE_RUNNING; }));
    EXPECT_EQ(paused.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(script.enumerations == 1 && script.stops == 2);

    EXPECT_EQ(main.Service().StopWithDependents(result, status, nullptr), ServiceResult::DependentServices);
    EXPECT_EQ(script.stops, 3);
    // Refused, asked Wine's enumeration (none), asked again and was refused again.
    script.listed = false;
    SListT<SServiceEntry> stopped;
    stopped.PushBack({L"stale", L"stale", {}});
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), ServiceResult::DependentServices);
    EXPECT_TRUE(stopped.GetCount() == 0 && script.stops == 5);
    EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Stop, true, nullptr),
              ServiceResult::DependentServices);
    const std::wstring missing = TestService::UniqueName(L"vanished_dependent");
    script.dependents = {missing, first.Name()};
    script.listed = true;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), ServiceResult::DependentServices);
    EXPECT_EQ(TextsWith(log, L"Failed to stop"),
              (Lines{Said(L"Failed to stop service '%ls'.", main.Name()),
                     Said(L"Failed to stop dependent service %ls.", missing)}));
    const RecordingLogger::Line last = log.Lines().back(); // the dependent's own code, at Error level
    EXPECT_TRUE(last.level == SLogLevel::Error && last.result == ServiceResult::NotFound.Code());
    // The later dependents are left alone.
    EXPECT_TRUE(main.State() == SERVICE_RUNNING && first.State() == SERVICE_RUNNING);
}

} // namespace
