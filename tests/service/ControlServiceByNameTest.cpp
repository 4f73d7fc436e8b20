// ControlServiceByName against Wine's control manager: the quick cases. The slow ones (waits that
// run out, retries a second apart) are in SlowServiceCasesTest.cpp.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

using namespace S;
using STest::LogCapture;
using STest::Said;
using STest::ServiceCallScript;
using STest::TestService;

namespace
{

using Lines = std::vector<std::wstring>;

// One call; the texts of the log lines that name the service.
Lines Act(const TestService& test, SServiceAction action, bool wait, SServiceState before, int32_t code = 0)
{
    LogCapture log;
    STest::StartGate gate;
    SResult result;
    SServiceState found = SServiceState::Unknown;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), action, wait, &found).Code(), code);
    EXPECT_EQ(result.Code(), code);
    EXPECT_EQ(found, before);
    return log.TextsWith(test.Name());
}

TEST(ControlServiceByName, StartsStopsAndRestartsAndSkipsWhatIsAlreadyDone)
{
    TestService test(L"cycle", L"--stop-ms=300");
    ASSERT_TRUE(test.Registered());
    const std::wstring& n = test.Name();
    using enum SServiceAction;
    using enum SServiceState;

    EXPECT_EQ(Act(test, Start, true, Stopped), Lines{Said(L"Successfully started service '%ls'.", n)});
    const DWORD firstProcess = test.ProcessId();
    EXPECT_EQ(Act(test, Start, true, Running), Lines{Said(L"Service '%ls' already started.", n)});
    EXPECT_EQ(test.ProcessId(), firstProcess);
    EXPECT_EQ(Act(test, Restart, true, Running), (Lines{Said(L"Successfully stopped service '%ls'.", n),
                                                        Said(L"Successfully started service '%ls'.", n)}));
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_NE(test.ProcessId(), firstProcess);
    EXPECT_EQ(Act(test, Stop, true, Running), Lines{Said(L"Successfully stopped service '%ls'.", n)});
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(Act(test, Stop, true, Stopped), Lines{Said(L"Service '%ls' already stopped.", n)});
    EXPECT_EQ(test.StopsReceived(), 2u); // the last stop sent nothing
    EXPECT_EQ(Act(test, Restart, false, Stopped), (Lines{Said(L"Service '%ls' already stopped.", n),
                                                         Said(L"Sent start request to service '%ls'.", n)}));
    ASSERT_TRUE(test.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(Act(test, Stop, false, Running), Lines{Said(L"Sent stop request to service '%ls'.", n)});
    EXPECT_TRUE(test.WaitForState(SERVICE_STOPPED));
}

TEST(ControlServiceByName, ReportsWhatFailsWithItsCode)
{
    LogCapture log;
    SResult result;
    SServiceState found = SServiceState::Running;
    const std::wstring missing = TestService::UniqueName(L"missing");
    EXPECT_EQ(ControlServiceByName(result, missing.c_str(), SServiceAction::Start, true, &found),
              ServiceResult::NotFound);
    EXPECT_EQ(found, SServiceState::Unknown);
    const auto open = log.LinesWith(L"Failed to open");
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].text, Said(L"Failed to open service '%ls'.", missing));
    EXPECT_TRUE(open[0].component == L"Service" && open[0].level == SLogLevel::Error);
    EXPECT_EQ(static_cast<uint32_t>(open[0].result), 0xA0040792u);

    TestService disabled(L"disabled");
    ASSERT_TRUE(disabled.Registered());
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    ASSERT_EQ(disabled.Service().ChangeConfig(result, change, nullptr).Code(), 0);
    EXPECT_EQ(ControlServiceByName(result, disabled.SName(), SServiceAction::Start, true, &found),
              ServiceResult::Disabled);
    const auto start = log.LinesWith(Said(L"Failed to start service '%ls'.", disabled.Name()));
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(static_cast<uint32_t>(start[0].result), 0xA0040794u);

    ServiceCallScript script;
    script.FailConnections(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ControlServiceByName(result, disabled.SName(), SServiceAction::Stop, false, &found),
              ServiceResult::AccessDenied);
    EXPECT_EQ(found, SServiceState::Unknown);
    const auto connect = log.LinesWith(L"Failed to initialize");
    ASSERT_EQ(connect.size(), 1u);
    EXPECT_EQ(connect[0].text,
              Said(L"Failed to initialize service manager while trying to start/stop service '%ls'.",
                   disabled.Name()));
    EXPECT_EQ(static_cast<uint32_t>(connect[0].result), 0xA0040790u);
}

TEST(ControlServiceByName, AStopRefusedWhileRunningFailsAtOnce)
{
    TestService test(L"refused_running");
    ASSERT_TRUE(test.Registered());
    ASSERT_TRUE(test.Start());
    ServiceCallScript script;
    script.RefuseStops(test.Name(), 1);
    LogCapture log;
    SResult result;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr),
              ServiceResult::CannotAcceptControl);
    const auto lines = log.LinesWith(Said(L"Failed to stop service '%ls'.", test.Name()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040796u);
    EXPECT_EQ(script.StopsSeen(test.Name()), 1);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(ControlServiceByName, AServiceAlreadyStopPendingCountsAsStopping)
{
    // Wine itself refuses a stop during stop pending (ERROR_SERVICE_CANNOT_ACCEPT_CTRL).
    TestService test(L"already_stopping", L"", true);
    ASSERT_TRUE(test.Registered());
    ASSERT_TRUE(test.Start());
    SResult result;
    SServiceStatus status;
    ASSERT_EQ(test.Service().Control(result, ServiceControlCode::Stop, status).Code(), 0);
    ASSERT_TRUE(test.WaitForState(SERVICE_STOP_PENDING));
    EXPECT_EQ(Act(test, SServiceAction::Stop, false, SServiceState::StopPending),
              (Lines{Said(L"SService::Control received OS service code: ERROR_SERVICE_CANNOT_ACCEPT_CTRL "
                          L"(0x00000425), from service: \"%ls\"",
                          test.Name()),
                     Said(L"Sent stop request to service '%ls'.", test.Name())}));
    EXPECT_EQ(test.StopsReceived(), 1u);
}

} // namespace
