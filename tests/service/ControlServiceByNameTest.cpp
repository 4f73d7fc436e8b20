// ControlServiceByName against Wine's control manager: the quick cases. The slow ones (waits that
// run out, retries a second apart) are grouped in SlowServiceCasesTest.cpp.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"
#include "library/system/service/ServiceResult.h"

#include <gtest/gtest.h>

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

// The texts of every line naming the service, in order.
std::vector<std::wstring> LinesAbout(const LogCapture& log, const TestService& service)
{
    return log.TextsWith(service.Name());
}

TEST(ControlServiceByName, StartsStopsAndRestartsAndSkipsWhatIsAlreadyDone)
{
    TestService test(L"cycle", L"--stop-ms=300");
    ASSERT_TRUE(test.Registered());
    const SString name = test.SName();
    const std::wstring n = test.Name();
    SResult result;
    SServiceState before = SServiceState::Running;

    {
        LogCapture log;
        STest::StartGate gate;
        EXPECT_EQ(ControlServiceByName(result, name, SServiceAction::Start, true, &before).Code(), 0);
        EXPECT_EQ(result.Code(), 0);
        EXPECT_EQ(before, SServiceState::Stopped);
        EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_EQ(LinesAbout(log, test),
                  std::vector<std::wstring>{Quoted(L"Successfully started service '%ls'.", n)});
    }
    const DWORD firstProcess = test.ProcessId();
    {
        LogCapture log;
        STest::StartGate gate;
        EXPECT_EQ(ControlServiceByName(result, name, SServiceAction::Start, true, &before).Code(), 0);
        EXPECT_EQ(before, SServiceState::Running);
        EXPECT_EQ(test.ProcessId(), firstProcess);
        EXPECT_EQ(LinesAbout(log, test),
                  std::vector<std::wstring>{Quoted(L"Service '%ls' already started.", n)});
    }
    {
        LogCapture log;
        STest::StartGate gate;
        EXPECT_EQ(ControlServiceByName(result, name, SServiceAction::Restart, true, &before).Code(), 0);
        EXPECT_EQ(before, SServiceState::Running);
        EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
        EXPECT_NE(test.ProcessId(), firstProcess);
        EXPECT_EQ(LinesAbout(log, test),
                  (std::vector<std::wstring>{Quoted(L"Successfully stopped service '%ls'.", n),
                                             Quoted(L"Successfully started service '%ls'.", n)}));
        for (const auto& line : log.LinesWith(n))
            EXPECT_EQ(line.level, SLogLevel::Debug);
    }
    {
        LogCapture log;
        EXPECT_EQ(ControlServiceByName(result, name, SServiceAction::Stop, true, &before).Code(), 0);
        EXPECT_EQ(before, SServiceState::Running);
        EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOPPED));
        EXPECT_EQ(LinesAbout(log, test),
                  std::vector<std::wstring>{Quoted(L"Successfully stopped service '%ls'.", n)});
    }
    EXPECT_EQ(test.StopsReceived(), 2u);
    {
        LogCapture log;
        EXPECT_EQ(ControlServiceByName(result, name, SServiceAction::Stop, true, &before).Code(), 0);
        EXPECT_EQ(before, SServiceState::Stopped);
        EXPECT_EQ(LinesAbout(log, test),
                  std::vector<std::wstring>{Quoted(L"Service '%ls' already stopped.", n)});
    }
    EXPECT_EQ(test.StopsReceived(), 2u); // nothing was sent
    {
        LogCapture log;
        STest::StartGate gate;
        EXPECT_EQ(ControlServiceByName(result, name, SServiceAction::Restart, false, &before).Code(), 0);
        EXPECT_EQ(before, SServiceState::Stopped);
        EXPECT_EQ(LinesAbout(log, test),
                  (std::vector<std::wstring>{Quoted(L"Service '%ls' already stopped.", n),
                                             Quoted(L"Sent start request to service '%ls'.", n)}));
        EXPECT_TRUE(test.WaitForState(SERVICE_RUNNING));
    }
    {
        LogCapture log;
        EXPECT_EQ(ControlServiceByName(result, name, SServiceAction::Stop, false, nullptr).Code(), 0);
        EXPECT_EQ(LinesAbout(log, test),
                  std::vector<std::wstring>{Quoted(L"Sent stop request to service '%ls'.", n)});
        EXPECT_TRUE(test.WaitForState(SERVICE_STOPPED));
    }
    EXPECT_EQ(test.StopsReceived(), 3u);
}

TEST(ControlServiceByName, ReportsWhatFailsWithItsCode)
{
    SResult result;
    SServiceState before = SServiceState::Running;
    {
        LogCapture log;
        const std::wstring missing = TestService::UniqueName(L"missing");
        EXPECT_EQ(ControlServiceByName(result, missing.c_str(), SServiceAction::Start, true, &before),
                  ServiceResult::NotFound);
        EXPECT_EQ(result, ServiceResult::NotFound);
        EXPECT_EQ(before, SServiceState::Unknown);
        const auto lines = log.LinesWith(L"Failed to open service");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].text, Quoted(L"Failed to open service '%ls'.", missing));
        EXPECT_EQ(lines[0].level, SLogLevel::Error);
        EXPECT_EQ(lines[0].component, L"Service");
        EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040792u);
    }
    TestService disabled(L"disabled");
    ASSERT_TRUE(disabled.Registered());
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    ASSERT_EQ(disabled.Service().ChangeConfig(result, change, nullptr).Code(), 0);
    {
        LogCapture log;
        EXPECT_EQ(ControlServiceByName(result, disabled.SName(), SServiceAction::Start, true, &before),
                  ServiceResult::Disabled);
        EXPECT_EQ(before, SServiceState::Stopped);
        const auto lines = log.LinesWith(disabled.Name());
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].level, SLogLevel::Debug); // the translation's own line
        EXPECT_EQ(lines[1].text, Quoted(L"Failed to start service '%ls'.", disabled.Name()));
        EXPECT_EQ(lines[1].level, SLogLevel::Error);
        EXPECT_EQ(static_cast<uint32_t>(lines[1].result), 0xA0040794u);
    }
    {
        ServiceCallScript script;
        script.FailConnections(ERROR_ACCESS_DENIED);
        LogCapture log;
        EXPECT_EQ(ControlServiceByName(result, disabled.SName(), SServiceAction::Stop, false, &before),
                  ServiceResult::AccessDenied);
        EXPECT_EQ(before, SServiceState::Unknown);
        const auto lines = log.LinesWith(L"Failed to initialize");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].text,
                  Quoted(L"Failed to initialize service manager while trying to start/stop service '%ls'.",
                         disabled.Name()));
        EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040790u);
        EXPECT_TRUE(
            log.Has(L"SServiceManager::Init received OS service code: ERROR_ACCESS_DENIED (0x00000005)."));
    }
}

TEST(ControlServiceByName, AStopTheControlManagerRefusesWhileRunningFailsAtOnce)
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
    const auto lines = log.LinesWith(Quoted(L"Failed to stop service '%ls'.", test.Name()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040796u);
    EXPECT_EQ(script.StopsSeen(test.Name()), 1);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(ControlServiceByName, AServiceAlreadyStopPendingCountsAsStopping)
{
    // Wine itself answers a stop during stop pending with ERROR_SERVICE_CANNOT_ACCEPT_CTRL.
    TestService test(L"already_stopping", L"", true);
    ASSERT_TRUE(test.Registered());
    ASSERT_TRUE(test.Start());
    SResult result;
    SServiceStatus status;
    ASSERT_EQ(test.Service().Control(result, ServiceControlCode::Stop, status).Code(), 0);
    ASSERT_TRUE(test.WaitForState(SERVICE_STOP_PENDING));
    EXPECT_EQ(test.Service().Control(result, ServiceControlCode::Stop, status),
              ServiceResult::CannotAcceptControl);
    EXPECT_EQ(status.currentState, SServiceState::StopPending);

    LogCapture log;
    SServiceState before = SServiceState::Unknown;
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, false, &before).Code(), 0);
    EXPECT_EQ(before, SServiceState::StopPending);
    EXPECT_EQ(LinesAbout(log, test),
              (std::vector<std::wstring>{
                  Quoted(L"SService::Control received OS service code: "
                         L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL (0x00000425), from service: \"%ls\"",
                         test.Name()),
                  Quoted(L"Sent stop request to service '%ls'.", test.Name())}));
    EXPECT_EQ(test.StopsReceived(), 1u);
}

} // namespace
