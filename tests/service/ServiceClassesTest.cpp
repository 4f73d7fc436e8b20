// SServiceManager and SService against Wine's control manager, with services of the test's own.
#include "ServiceTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace S;
using STest::LogCapture;
using STest::TestService;

namespace
{

TEST(SServiceClasses, RegistrationConfigurationNamesAndEnumerationAgree)
{
    SServiceManager manager;
    SResult result;
    std::unique_ptr<SService> other;
    EXPECT_EQ(manager.OpenService(result, nullptr, L"x", 0), ServiceResult::InvalidArgument);
    EXPECT_EQ(manager.OpenService(result, &other, L"x", 0), ServiceResult::NotOpen);
    EXPECT_EQ(manager.Wait(result, false, 0), SyncResult::NoHandle);

    TestService test(L"config_with_a_name_longer_than_the_first_buffer");
    ASSERT_TRUE(test.Registered());
    ASSERT_EQ(manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Code(), 0);
    EXPECT_EQ(manager.Wait(result, false, 0), SyncResult::CallFailed); // not a kernel object
    EXPECT_EQ(manager.OpenService(result, &other, L"LxSvcTest_NoSuchService", 6), ServiceResult::NotFound);
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    change.displayName = (test.Name() + L" shown").c_str();
    EXPECT_EQ(manager.CreateService(result, &other, test.SName(), change, 0, nullptr),
              ServiceResult::OtherError);
    EXPECT_EQ(other, nullptr);

    ASSERT_EQ(test.Service().ChangeConfig(result, change, nullptr).Code(), 0);
    SServiceConfig read;
    ASSERT_EQ(test.Service().ReadConfig(result, read).Code(), 0);
    EXPECT_EQ(read.startType, static_cast<uint32_t>(SERVICE_DISABLED));
    EXPECT_EQ(read.serviceType, static_cast<uint32_t>(SERVICE_WIN32_OWN_PROCESS)); // left unchanged
    EXPECT_NE(std::wstring(read.binaryPath.c_str()).find(L"service_host.exe\" " + test.Name()),
              std::wstring::npos);
    EXPECT_EQ(test.Service().Start(result, 0, nullptr), ServiceResult::Disabled);

    SString displayName;
    SString keyName;
    ASSERT_EQ(manager.GetServiceDisplayName(result, test.SName(), displayName).Code(), 0);
    EXPECT_EQ(displayName, change.displayName);
    ASSERT_EQ(manager.GetServiceKeyName(result, displayName, keyName).Code(), 0);
    EXPECT_EQ(keyName, test.SName());
    SListT<SServiceEntry> all;
    ASSERT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, all).Code(), 0);
    EXPECT_NE(
        std::find(all.GetItems().begin(), all.GetItems().end(), SServiceEntry{test.SName(), displayName, {}}),
        all.GetItems().end());
    ASSERT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_ACTIVE, all).Code(), 0);
    EXPECT_EQ(
        std::find(all.GetItems().begin(), all.GetItems().end(), SServiceEntry{test.SName(), displayName, {}}),
        all.GetItems().end());
}

TEST(SServiceClasses, StatusControlsAndDescriptionOfARunningService)
{
    TestService test(L"controls");
    ASSERT_TRUE(test.Registered());
    SService& service = test.Service();
    SResult result;
    SServiceStatus status;
    EXPECT_EQ(service.IsNotStopped(), 0);
    EXPECT_EQ(service.Control(result, ServiceControlCode::Stop, status), ServiceResult::NotActive);
    EXPECT_EQ(status.currentState, SServiceState::Stopped); // translated although the control failed
    ASSERT_TRUE(test.Start());
    DWORD processId = 0;
    EXPECT_EQ(service.IsRunning(&processId), 1);
    EXPECT_EQ(processId, test.ProcessId());
    ASSERT_EQ(service.QueryStatus(result, status).Code(), 0);
    EXPECT_EQ(status.currentState, SServiceState::Running);
    EXPECT_EQ(status.controlsAccepted, static_cast<uint32_t>(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(service.Pause(result, status), ServiceResult::InvalidControl);
    EXPECT_EQ(service.Control(result, 99, status), ServiceResult::InvalidArgument); // sent as control 0
    EXPECT_EQ(status.serviceType, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<int>(status.currentState) + status.processId, 0u);

    SString description;
    ASSERT_EQ(service.SetDescription(result, L"Renders 100% of nothing").Code(), 0);
    ASSERT_EQ(service.GetDescription(result, description).Code(), 0);
    EXPECT_EQ(description, SString(L"Renders 100% of nothing"));
    SServiceFailureActions actions;
    actions.actions = {{SC_ACTION_RESTART, 1000}};
    EXPECT_EQ(service.SetFailureActions(result, actions).Code(), 0);
    LogCapture log; // Wine stores failure actions but cannot read them back
    EXPECT_EQ(service.GetFailureActions(result, actions), ServiceResult::InvalidArgument);
    EXPECT_EQ(log.With(L"SService::GetFailureActions received OS service code: ERROR_INVALID_LEVEL").size(),
              1u);

    ASSERT_EQ(service.Control(result, ServiceControlCode::Stop, status).Code(), 0);
    EXPECT_EQ(status.currentState, SServiceState::StopPending);
    ASSERT_TRUE(test.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(test.StopsReceived(), 1u);
    ASSERT_EQ(service.Delete(result).Code(), 0);
    EXPECT_EQ(service.Delete(result), ServiceResult::MarkedForDelete);
}

} // namespace
