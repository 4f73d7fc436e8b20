// ControlServiceByName, WaitForServiceState and StopWithDependents against Wine's control
// manager. Wine drops what a service's handler answers, so refusals of a stop come from the
// script; Wine's own refusal of a second stop, and the wrong state after a stop, come from the
// services. Waits that would last 20 s pass on a virtual clock. Services are started one after
// another from this one process: Wine's control manager runs one start at a time and fails a
// start that has waited about 3 s for another with ERROR_SERVICE_DATABASE_LOCKED.
// Wine's control manager ignores dependencies (a service with running dependents just stops) and
// its dependents enumeration always answers none. So for StopWithDependents the script plays
// Windows' part: a stop is refused with ERROR_DEPENDENT_SERVICES_RUNNING while a dependent is
// active, and the enumeration lists the dependents or is left to Wine. Every service is real.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <tuple>

using namespace S;
using namespace STest;
using enum SServiceAction;
using enum SServiceState;

namespace
{

const std::wstring DidStart = L"Successfully started service '%ls'.";
const std::wstring DidStop = L"Successfully stopped service '%ls'.";
const std::wstring AlreadyStopped = L"Service '%ls' already stopped.";
const std::wstring Refused = Os(L"SService::Control", L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL (0x00000425)");

// One call of ControlServiceByName: the state it must find, its code, the log lines naming the
// service (the last, when it fails, at Error or Warning level with the code), and the stops it must
// send.
using Call = std::tuple<SServiceAction, bool, SServiceState, int32_t, Lines, int>;

void Act(const std::wstring& service, const ServiceCallScript& script, const Call& call)
{
    const auto& [action, wait, before, code, formats, sentStops] = call;
    RecordingLogger log;
    SResult result;
    SServiceState found = Paused;
    const int stops = script.stops;
    EXPECT_EQ(ControlServiceByName(result, service.c_str(), action, wait, &found).Code(), code);
    EXPECT_EQ(result.Code(), code);
    EXPECT_EQ(found, before);
    Lines said(formats.size());
    std::ranges::transform(formats, said.begin(),
                           [&](const std::wstring& format) { return Said(format, service); });
    EXPECT_EQ(TextsWith(log, service), said);
    EXPECT_EQ(script.stops - stops, sentStops);
    const RecordingLogger::Line last = log.Lines().empty() ? RecordingLogger::Line{} : log.Lines().back();
    EXPECT_TRUE(code == 0 || (last.component == L"Service" && last.result == code &&
                              (last.level == SLogLevel::Error || last.level == SLogLevel::Warning)));
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
        const SServiceAction action = std::get<0>(step);
        const DWORD process = test.ProcessId(), expected = action == Stop ? SERVICE_STOPPED : SERVICE_RUNNING;
        Act(test.Name(), script, step);
        EXPECT_TRUE(WaitUntil([&] { return test.State() == expected; }));
        EXPECT_TRUE(action != Restart || test.ProcessId() != process); // a new process
    }
    // What fails: no such service, a disabled one, no connection.
    SResult result;
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    ASSERT_EQ(test.Service().ChangeConfig(result, change, nullptr).Code(), 0);
    Act(TestService::UniqueName(L"missing"), script,
        Call{Start, true, Unknown, kResultServiceNotFound.Code(),
             Lines{Os(L"SServiceManager::OpenService", L"ERROR_SERVICE_DOES_NOT_EXIST (0x00000424)"),
                   L"Failed to open service '%ls'."},
             0});
    Act(test.Name(), script,
        Call{Start, true, Stopped, kResultServiceDisabled.Code(),
             Lines{Os(L"SService::Start", L"ERROR_SERVICE_DISABLED (0x00000422)"),
                   L"Failed to start service '%ls'."},
             0});
    script.connectionError = ERROR_ACCESS_DENIED;
    Act(test.Name(), script,
        Call{Stop, false, Unknown, kResultServiceAccessDenied.Code(),
             Lines{L"Failed to initialize service manager while trying to start/stop service '%ls'."}, 0});
}

// A refused stop fails at once while the service runs and is asked again each second while it
// is in another pending state; a stop already under way counts as done; a stop that ends in
// another state is sent again. A start or plain stop that was accepted succeeds however its wait
// ends; a restart whose stop cannot be waited for fails and starts nothing.
TEST(ControlServiceByName, StartsAndStopsThatDoNotSimplySucceed)
{
    Lines fiveRetries(11,
                      L"Service \"%ls\" was stopped but its status could not be verified. Last state: 2.");
    for (size_t i = 1; i < fiveRetries.size(); i += 2)
        fiveRetries[i] = L"Retry to stop service \"%ls\".";
    const std::wstring stopTimedOut = L"Service '%ls' timed out while stopping. Last state: 5.";
    // Options; refusals (-1: a stop is sent first, so that Wine refuses the next; -2: not started);
    // virtual time (else the clock is real, and the number of pauses a lower bound); the pauses and
    // each one's length; the call.
    const std::tuple<const wchar_t*, int, bool, size_t, DWORD, Call> cases[] = {
        {L"", 2, false, 0, 1000,
         Call{Stop, true, Running, kResultServiceCannotAccept.Code(),
              Lines{Refused, L"Failed to stop service '%ls'."}, 1}},
        {L"--pause-pending", 2, false, 2, 1000,
         Call{Stop, true, PausePending, 0, Lines{Refused, Refused, DidStop}, 3}},
        {L"--hold=0", -1, false, 0, 1000,
         Call{Stop, false, StopPending, 0, Lines{Refused, L"Sent stop request to service '%ls'."}, 1}},
        // Answers the stop by pausing and reports stopped 600 ms later: the retry finds it stopped.
        {L"--pause-on-stop=600", 0, false, 1, 1000,
         Call{Stop, true, Running, 0,
              Lines{L"Service \"%ls\" was stopped but its status could not be verified. Last state: 1.",
                    L"Retry to stop service \"%ls\".",
                    Os(L"SService::Control", L"ERROR_SERVICE_NOT_ACTIVE (0x00000426)"), DidStop},
              2}},
        // Every stop ends in paused: five retries, then a plain stop gives up without failing.
        {L"--stop-pauses", 0, true, 5, 1000, Call{Stop, true, Running, 0, fiveRetries, 6}},
        // Stop pending for good: polled at a tenth of the wait hint until 20 s have passed.
        {L"--hold=35000", 0, true, 6, 3500, Call{Stop, true, Running, 0, Lines{stopTimedOut}, 1}},
        {L"--hold=0", 0, true, 21, 1000,
         Call{Restart, true, Running, kResultServiceTimedOut.Code(), Lines{stopTimedOut}, 1}},
        {L"--start-pending", -2, true, 21, 1000,
         Call{Start, true, Stopped, 0, Lines{L"Service '%ls' timed out while starting. Last state: 4."}, 0}},
        {L"--paused", -2, false, 0, 1000,
         Call{Start, true, Stopped, 0,
              Lines{L"Service \"%ls\" was started but its status could not be verified. Last state: 2."}, 0}},
    };
    for (const auto& [options, refusals, virtualTime, pauses, pause, call] : cases)
    {
        SCOPED_TRACE(testing::Message() << options << " " << static_cast<int>(std::get<0>(call)));
        TestService test(L"stop", options);
        ASSERT_TRUE(refusals == -2 ? test.Registered() : test.Start());
        ServiceCallScript script(test.Name());
        script.refusals = refusals;
        script.takeStopsWhilePaused = std::wstring(options) == L"--stop-pauses";
        SResult result;
        ASSERT_TRUE(refusals != -1 ||
                    ControlServiceByName(result, test.SName(), Stop, false, nullptr).Succeeded());
        RecordingClock clock(!virtualTime);
        Act(test.Name(), script, call);
        if (virtualTime)
            EXPECT_EQ(clock.sleeps, std::vector<DWORD>(pauses, pause));
        else
            EXPECT_TRUE(clock.sleeps.size() >= pauses &&
                        std::ranges::count(clock.sleeps, pause) == std::ssize(clock.sleeps));
    }
}

TEST(WaitForServiceState, PollsAtATenthOfTheWaitHintWithinOneToFiveSeconds)
{
    for (const auto& [hint, interval] :
         {std::pair<uint32_t, DWORD>{0, 1000}, {10001, 1000}, {35000, 3500}, {50010, 5000}, {90000, 5000}})
        EXPECT_EQ(ServiceWaitPollInterval(hint), interval) << hint;
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

    EXPECT_EQ(main.Service().StopWithDependents(result, status, nullptr), kResultServiceDependents);
    EXPECT_EQ(script.stops, 3);
    // Refused, asked Wine's enumeration (none), asked again and was refused again.
    script.listed = false;
    SListT<SServiceEntry> stopped;
    stopped.PushBack({L"stale", L"stale", {}});
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), kResultServiceDependents);
    EXPECT_TRUE(stopped.GetCount() == 0 && script.stops == 5);
    EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Stop, true, nullptr),
              kResultServiceDependents);
    const std::wstring missing = TestService::UniqueName(L"vanished_dependent");
    script.dependents = {missing, first.Name()};
    script.listed = true;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), kResultServiceDependents);
    EXPECT_EQ(TextsWith(log, L"Failed to stop"),
              (Lines{Said(L"Failed to stop service '%ls'.", main.Name()),
                     Said(L"Failed to stop dependent service %ls.", missing)}));
    const RecordingLogger::Line last = log.Lines().back(); // the dependent's own code, at Error level
    EXPECT_TRUE(last.level == SLogLevel::Error && last.result == kResultServiceNotFound.Code());
    // The later dependents are left alone.
    EXPECT_TRUE(main.State() == SERVICE_RUNNING && first.State() == SERVICE_RUNNING);
}

} // namespace
