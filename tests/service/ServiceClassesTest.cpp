// SServiceManager and SService against Wine's control manager, and the tables at their edges.
// Wine's control manager ignores dependencies (a service with running dependents just stops) and
// its dependents enumeration always answers none. So for StopWithDependents the script plays
// Windows' part: a stop is refused with ERROR_DEPENDENT_SERVICES_RUNNING while a dependent is
// active, and the enumeration lists the dependents or is left to Wine. Every service is real.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace S;
using namespace STest;

namespace
{

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
    EXPECT_EQ(status.serviceType, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<int>(status.currentState) + status.processId, 0u);
    SString description;
    ASSERT_EQ(service.SetDescription(result, L"Renders 100% of nothing").Code(), 0);
    ASSERT_EQ(service.GetDescription(result, description).Code(), 0);
    EXPECT_EQ(description, SString(L"Renders 100% of nothing"));

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
    EXPECT_EQ(read.startType, static_cast<uint32_t>(SERVICE_DISABLED));
    EXPECT_EQ(read.serviceType, static_cast<uint32_t>(SERVICE_WIN32_OWN_PROCESS)); // left unchanged
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

TEST(ServiceTables, ValuesTheTablesDoNotKnowAndTheTranslationsLogLine)
{
    EXPECT_EQ(ServiceStateFromWin32(8), SServiceState::Unknown);
    EXPECT_EQ(Win32ServiceControl(13), 0u);
    EXPECT_STREQ(ServiceErrorName(ERROR_CIRCULAR_DEPENDENCY), L"<UNKNOWN>");
    RecordingLogger log; // only a call that names its caller logs
    EXPECT_EQ(ServiceResultFromWin32Error(L"a", ERROR_CIRCULAR_DEPENDENCY, nullptr),
              ServiceResult::OtherError);
    EXPECT_EQ(ServiceResultFromWin32Error(L"", ERROR_SERVICE_DATABASE_LOCKED, L"F"),
              ServiceResult::AccessDenied);
    ASSERT_EQ(log.Lines().size(), 1u);
    const RecordingLogger::Line line = log.Lines()[0];
    EXPECT_EQ(line.text, L"F received OS service code: ERROR_SERVICE_DATABASE_LOCKED (0x0000041f).");
    EXPECT_TRUE(line.component == L"Service" && line.level == SLogLevel::Debug && line.result == 0);
}

const wchar_t* const DidStop = L"Successfully stopped service '%ls'.";

class StopWithDependents : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(main.Start() && first.Start() && paused.Start());
        script.dependents = {first.Name(), paused.Name()};
        script.listed = true;
    }

    TestService main{L"main"};
    TestService first{L"first_dependent"};
    TestService paused{L"paused_dependent", L"--paused"};
    ServiceCallScript script{main.Name()};
    RecordingLogger log;
    SServiceStatus status;
    SResult result;
    SListT<SServiceEntry> stopped;
};

// A restart stops the dependents first, waiting for each, then the service; it starts the service
// again and, without waiting, the dependents that were running.
TEST_F(StopWithDependents, RestartStopsTheDependentsFirstAndStartsTheRunningOnesAgain)
{
    EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Restart, true, nullptr).Code(), 0);
    EXPECT_EQ(TextsWith(log, L"service '"),
              (Lines{Said(DidStop, first.Name()), Said(DidStop, paused.Name()), Said(DidStop, main.Name()),
                     Said(L"Successfully started service '%ls'.", main.Name()),
                     Said(L"Sent start request to service '%ls'.", first.Name())}));
    EXPECT_TRUE(first.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(paused.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(script.enumerations, 1);
    EXPECT_EQ(script.stops, 2);
}

TEST_F(StopWithDependents, TheRefusalStandsWithoutAListWithWinesEnumerationOrWhenADependentCannotStop)
{
    EXPECT_EQ(main.Service().StopWithDependents(result, status, nullptr), ServiceResult::DependentServices);
    EXPECT_EQ(script.stops, 1);
    // Refused, asked Wine's enumeration (none), asked again and was refused again.
    script.listed = false;
    stopped.PushBack({L"stale", L"stale", {}});
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), ServiceResult::DependentServices);
    EXPECT_EQ(stopped.GetCount(), 0u);
    EXPECT_EQ(script.stops, 3);
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
    EXPECT_EQ(main.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(first.State(), static_cast<DWORD>(SERVICE_RUNNING)); // the later dependents are left alone
}

} // namespace
