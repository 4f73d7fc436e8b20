// ControlServiceByName against Wine's control manager. Wine drops what a service's handler
// answers, and a second stop to a service not yet stop pending makes it end the service's
// process; so refusals "for a while" come from the script, while the wrong state after a stop and
// a stop already under way are the services' own.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

using namespace S;
using STest::Said;
using STest::ServiceCallScript;
using STest::TestService;
using Lines = std::vector<std::wstring>;

namespace
{

// One call; the texts of the log lines that name the service.
Lines Act(const TestService& test, SServiceAction action, bool wait, SServiceState before, int32_t code = 0)
{
    STest::LogCapture log;
    SResult result;
    SServiceState found = SServiceState::Unknown;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), action, wait, &found).Code(), code);
    EXPECT_EQ(result.Code(), code);
    EXPECT_EQ(found, before);
    return log.TextsWith(test.Name());
}

const wchar_t* const Refused = L"SService::Control received OS service code: "
                               L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL (0x00000425), from service: \"%ls\"";

TEST(ControlServiceByName, StartsStopsAndRestartsAndSkipsWhatIsAlreadyDone)
{
    TestService test(L"cycle");
    ASSERT_TRUE(test.Registered());
    const std::wstring& n = test.Name();
    using enum SServiceAction;
    using enum SServiceState;
    EXPECT_EQ(Act(test, Start, true, Stopped), Lines{Said(L"Successfully started service '%ls'.", n)});
    const DWORD firstProcess = test.ProcessId();
    EXPECT_EQ(Act(test, Start, true, Running), Lines{Said(L"Service '%ls' already started.", n)});
    EXPECT_EQ(Act(test, Restart, true, Running), (Lines{Said(L"Successfully stopped service '%ls'.", n),
                                                        Said(L"Successfully started service '%ls'.", n)}));
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_NE(test.ProcessId(), firstProcess);
    EXPECT_EQ(Act(test, Stop, true, Running), Lines{Said(L"Successfully stopped service '%ls'.", n)});
    EXPECT_EQ(Act(test, Stop, true, Stopped), Lines{Said(L"Service '%ls' already stopped.", n)});
    EXPECT_EQ(test.StopsReceived(), 2u); // the second stop sent nothing
    EXPECT_EQ(Act(test, Restart, false, Stopped), (Lines{Said(L"Service '%ls' already stopped.", n),
                                                         Said(L"Sent start request to service '%ls'.", n)}));
    ASSERT_TRUE(test.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(Act(test, Stop, false, Running), Lines{Said(L"Sent stop request to service '%ls'.", n)});
    EXPECT_TRUE(test.WaitForState(SERVICE_STOPPED));
}

TEST(ControlServiceByName, ReportsWhatFailsWithItsCode)
{
    STest::LogCapture log;
    SResult result;
    SServiceState found = SServiceState::Running;
    const std::wstring missing = TestService::UniqueName(L"missing");
    EXPECT_EQ(ControlServiceByName(result, missing.c_str(), SServiceAction::Start, true, &found),
              ServiceResult::NotFound);
    EXPECT_EQ(found, SServiceState::Unknown);
    TestService test(L"disabled");
    ASSERT_TRUE(test.Registered());
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    ASSERT_EQ(test.Service().ChangeConfig(result, change, nullptr).Code(), 0);
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Start, true, &found),
              ServiceResult::Disabled);
    ServiceCallScript script;
    script.FailConnections(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, false, &found),
              ServiceResult::AccessDenied);

    const auto failed = log.With(L"Failed to");
    ASSERT_EQ(failed.size(), 3u);
    EXPECT_EQ(failed[0].text, Said(L"Failed to open service '%ls'.", missing));
    EXPECT_EQ(failed[1].text, Said(L"Failed to start service '%ls'.", test.Name()));
    EXPECT_EQ(
        failed[2].text,
        Said(L"Failed to initialize service manager while trying to start/stop service '%ls'.", test.Name()));
    const uint32_t codes[] = {0xA0040792u, 0xA0040794u, 0xA0040790u};
    for (size_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(static_cast<uint32_t>(failed[i].result), codes[i]);
        EXPECT_TRUE(failed[i].level == SLogLevel::Error && failed[i].component == L"Service");
    }
}

TEST(ControlServiceByName, AStopRefusedWhileRunningFailsAtOnce)
{
    TestService test(L"refused_running");
    ASSERT_TRUE(test.Registered() && test.Start());
    ServiceCallScript script;
    script.RefuseStops(test.Name(), 1);
    EXPECT_EQ(Act(test, SServiceAction::Stop, true, SServiceState::Running,
                  ServiceResult::CannotAcceptControl.Code()),
              (Lines{Said(Refused, test.Name()), Said(L"Failed to stop service '%ls'.", test.Name())}));
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(ControlServiceByName, AStopRefusedForAWhileIsAskedAgainEachSecond)
{
    TestService test(L"refused_pausing", L"--idle=pausepending");
    ASSERT_TRUE(test.Registered() && test.Start(SERVICE_PAUSE_PENDING));
    ServiceCallScript script;
    script.RefuseStops(test.Name(), 2);
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Act(test, SServiceAction::Stop, true, SServiceState::PausePending),
              (Lines{Said(Refused, test.Name()), Said(Refused, test.Name()),
                     Said(L"Successfully stopped service '%ls'.", test.Name())}));
    EXPECT_GE(GetTickCount64() - start, 2000u);
    EXPECT_EQ(script.StopsSeen(test.Name()), 3);
    EXPECT_EQ(test.StopsReceived(), 1u);
}

TEST(ControlServiceByName, AStopAlreadyUnderWayCountsAsStopping)
{
    TestService test(L"already_stopping", L"", true);
    ASSERT_TRUE(test.Registered() && test.Start());
    SResult result;
    SServiceStatus status;
    ASSERT_EQ(test.Service().Control(result, ServiceControlCode::Stop, status).Code(), 0);
    // Wine refuses the second stop itself, telling that the service is stop pending.
    EXPECT_EQ(Act(test, SServiceAction::Stop, false, SServiceState::StopPending),
              (Lines{Said(Refused, test.Name()), Said(L"Sent stop request to service '%ls'.", test.Name())}));
    EXPECT_EQ(test.StopsReceived(), 1u);
}

TEST(ControlServiceByName, AStopEndingInAnotherStateIsSentAgain)
{
    // The service answers the stop by pausing and reports stopped 600 ms later; the retry's stop
    // finds it no longer active.
    TestService test(L"wrong_state", L"--on-stop=pausepending --settle-ms=600");
    ASSERT_TRUE(test.Registered() && test.Start());
    STest::LogCapture log;
    EXPECT_EQ(
        Act(test, SServiceAction::Stop, true, SServiceState::Running),
        (Lines{Said(L"Service \"%ls\" was stopped but its status could not be verified. Last state: 1.",
                    test.Name()),
               Said(L"Retry to stop service \"%ls\".", test.Name()),
               Said(L"SService::Control received OS service code: ERROR_SERVICE_NOT_ACTIVE (0x00000426), "
                    L"from service: \"%ls\"",
                    test.Name()),
               Said(L"Successfully stopped service '%ls'.", test.Name())}));
    const auto unverified = log.With(L"could not be verified");
    ASSERT_EQ(unverified.size(), 1u);
    EXPECT_EQ(static_cast<uint32_t>(unverified[0].result), 0xA0040782u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

} // namespace
