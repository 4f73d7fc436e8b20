// SServiceManager and SService against Wine's control manager, with services of the test's own.
#include "ServiceTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace S;
using STest::LogCapture;
using STest::TestService;

namespace
{

bool Named(const SServiceEntry& entry, const std::wstring& name)
{
    return std::wstring(entry.name.c_str()) == name;
}

TEST(SServiceClasses, WithoutAHandleNothingIsCalled)
{
    SServiceManager manager;
    SResult result;
    std::unique_ptr<SService> service;
    EXPECT_EQ(manager.OpenService(result, nullptr, L"x", 0), ServiceResult::InvalidArgument);
    EXPECT_EQ(manager.OpenService(result, &service, L"x", 0), ServiceResult::NotOpen);
    EXPECT_EQ(result, ServiceResult::NotOpen);
    EXPECT_EQ(manager.Wait(result, false, 0), SyncResult::NoHandle);
    EXPECT_TRUE(manager.IsEqual(manager) && manager.IsNotEqual(SServiceManager()));

    SService closed(L"Nothing", nullptr);
    SServiceStatus status;
    EXPECT_EQ(closed.Control(result, ServiceControlCode::Stop, status), ServiceResult::NotOpen);
    EXPECT_EQ(closed.StopWithDependents(result, status, nullptr), ServiceResult::NotOpen);
    DWORD processId = 7;
    EXPECT_EQ(closed.IsRunning(&processId), -1);
    EXPECT_EQ(processId, 0xFFFFFFFFu);
    EXPECT_EQ(closed.IsNotStopped(), -1);
}

TEST(SServiceClasses, RegistrationConfigurationNamesAndEnumerationAgree)
{
    TestService test(L"config_with_a_name_longer_than_the_first_buffer");
    ASSERT_TRUE(test.Registered());
    SServiceManager manager;
    SResult result;
    ASSERT_EQ(manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Code(), 0);
    EXPECT_EQ(manager.Wait(result, false, 0), SyncResult::CallFailed); // not a kernel object

    LogCapture log;
    std::unique_ptr<SService> other;
    EXPECT_EQ(manager.OpenService(result, &other, L"LxSvcTest_NoSuchService", 6), ServiceResult::NotFound);
    EXPECT_TRUE(
        log.Has(L"SServiceManager::OpenService received OS service code: ERROR_SERVICE_DOES_NOT_EXIST "
                L"(0x00000424), from service: \"LxSvcTest_NoSuchService\""));
    SServiceConfig config;
    config.serviceType = SERVICE_WIN32_OWN_PROCESS;
    config.startType = SERVICE_DEMAND_START;
    config.binaryPath = L"C:\\windows\\notepad.exe";
    EXPECT_EQ(manager.CreateService(result, &other, test.SName(), config, 0, nullptr),
              ServiceResult::OtherError);
    EXPECT_EQ(other, nullptr);

    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    change.displayName = (test.Name() + L" shown").c_str();
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
    EXPECT_EQ(std::wstring(displayName.c_str()), test.Name() + L" shown");
    ASSERT_EQ(manager.GetServiceKeyName(result, displayName, keyName).Code(), 0);
    EXPECT_EQ(std::wstring(keyName.c_str()), test.Name());

    SBufferT<unsigned char> empty;
    DWORD needed = 0;
    DWORD count = 0;
    EXPECT_EQ(manager.EnumServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, empty, needed, count),
              ServiceResult::BufferTooSmall);
    EXPECT_GT(needed, 0u);
    SListT<SServiceEntry> all;
    ASSERT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, all).Code(), 0);
    const auto found = std::find_if(all.GetItems().begin(), all.GetItems().end(),
                                    [&](const SServiceEntry& entry) { return Named(entry, test.Name()); });
    ASSERT_NE(found, all.GetItems().end());
    EXPECT_EQ(found->displayName, displayName);
    EXPECT_EQ(found->status.currentState, SServiceState::Stopped);
    SListT<SServiceEntry> active;
    ASSERT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_ACTIVE, active).Code(), 0);
    EXPECT_TRUE(std::none_of(active.GetItems().begin(), active.GetItems().end(),
                             [&](const SServiceEntry& entry) { return Named(entry, test.Name()); }));
}

TEST(SServiceClasses, DescriptionRoundTripsAndWinesMissingFailureActionsTranslate)
{
    TestService test(L"description");
    ASSERT_TRUE(test.Registered());
    SResult result;
    SString description;
    ASSERT_EQ(test.Service().SetDescription(result, L"Renders 100% of nothing").Code(), 0);
    ASSERT_EQ(test.Service().GetDescription(result, description).Code(), 0);
    EXPECT_EQ(description, SString(L"Renders 100% of nothing"));

    SServiceFailureActions actions;
    actions.resetPeriod = 3600;
    actions.actions = {{SC_ACTION_RESTART, 1000}};
    EXPECT_EQ(test.Service().SetFailureActions(result, actions).Code(), 0);
    // Wine stores failure actions but cannot read them back (ERROR_INVALID_LEVEL).
    LogCapture log;
    EXPECT_EQ(test.Service().GetFailureActions(result, actions), ServiceResult::InvalidArgument);
    EXPECT_EQ(
        log.TextsWith(L"SService::GetFailureActions received OS service code: ERROR_INVALID_LEVEL").size(),
        1u);
}

TEST(SServiceClasses, StatusAndControlsOfARunningService)
{
    TestService test(L"controls");
    ASSERT_TRUE(test.Registered());
    SService& service = test.Service();
    SResult result;
    SServiceStatus status;
    EXPECT_EQ(service.IsNotStopped(), 0);
    EXPECT_EQ(service.Control(result, ServiceControlCode::Stop, status), ServiceResult::NotActive);
    EXPECT_EQ(status.currentState, SServiceState::Stopped); // translated although the control failed
    {
        STest::StartGate gate;
        ASSERT_EQ(service.Start(result, 0, nullptr).Code(), 0);
        ASSERT_TRUE(test.WaitForState(SERVICE_RUNNING));
        EXPECT_EQ(service.Start(result, 0, nullptr), ServiceResult::AlreadyRunning);
    }
    DWORD processId = 0;
    EXPECT_EQ(service.IsRunning(&processId), 1);
    EXPECT_EQ(processId, test.ProcessId());
    ASSERT_EQ(service.QueryStatus(result, status).Code(), 0);
    EXPECT_EQ(status.currentState, SServiceState::Running);
    EXPECT_EQ(status.serviceType, static_cast<uint32_t>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(status.controlsAccepted, static_cast<uint32_t>(SERVICE_ACCEPT_STOP));

    EXPECT_EQ(service.Interrogate(result, status).Code(), 0);
    EXPECT_EQ(service.Pause(result, status), ServiceResult::InvalidControl);
    EXPECT_EQ(service.Control(result, 99, status), ServiceResult::InvalidArgument); // sent as control 0
    EXPECT_EQ(status.serviceType, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<int>(status.currentState) + status.processId + status.controlsAccepted, 0u);

    ASSERT_EQ(service.Control(result, ServiceControlCode::Stop, status).Code(), 0);
    EXPECT_EQ(status.currentState, SServiceState::StopPending);
    ASSERT_TRUE(test.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(test.StopsReceived(), 1u);
    ASSERT_EQ(service.Delete(result).Code(), 0);
    EXPECT_EQ(service.Delete(result), ServiceResult::MarkedForDelete);
}

} // namespace
