// SServiceManager and SService against Wine's control manager, with services of the test's own.
#include "ServiceTestKit.h"

#include "library/system/service/SServiceManager.h"
#include "library/system/service/ServiceResult.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace S;
using STest::LogCapture;
using STest::TestService;

namespace
{

void Connect(SServiceManager& manager)
{
    SResult result;
    EXPECT_EQ(manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Code(), 0);
}

TEST(SServiceClasses, WithoutHandlesEveryOperationSaysNotOpen)
{
    SServiceManager manager;
    SResult result;
    std::unique_ptr<SService> service;
    EXPECT_EQ(manager.OpenService(result, nullptr, L"x", 0), ServiceResult::InvalidArgument);
    EXPECT_EQ(manager.OpenService(result, &service, L"x", 0), ServiceResult::NotOpen);
    EXPECT_EQ(result, ServiceResult::NotOpen);
    EXPECT_EQ(service, nullptr);
    SListT<SServiceEntry> all;
    EXPECT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, all), ServiceResult::NotOpen);
    SString text = L"kept";
    EXPECT_EQ(manager.GetServiceDisplayName(result, L"x", text), ServiceResult::NotOpen);
    EXPECT_EQ(text, SString(L"kept"));
    EXPECT_EQ(manager.GetHandle(), nullptr);
    EXPECT_EQ(manager.Wait(result, false, 0), SyncResult::NoHandle);

    SService closed(L"Nothing", nullptr);
    SServiceStatus status;
    EXPECT_EQ(closed.QueryStatus(result, status), ServiceResult::NotOpen);
    EXPECT_EQ(closed.Control(result, ServiceControlCode::Stop, status), ServiceResult::NotOpen);
    EXPECT_EQ(closed.Start(result, 0, nullptr), ServiceResult::NotOpen);
    EXPECT_EQ(closed.Delete(result), ServiceResult::NotOpen);
    EXPECT_EQ(closed.StopWithDependents(result, status, nullptr), ServiceResult::NotOpen);
    EXPECT_EQ(closed.GetDescription(result, text), ServiceResult::NotOpen);
    DWORD processId = 7;
    EXPECT_EQ(closed.IsRunning(&processId), -1);
    EXPECT_EQ(processId, 0xFFFFFFFFu);
    EXPECT_EQ(closed.IsNotStopped(), -1);
    EXPECT_STREQ(closed.GetName(), L"Nothing");
}

TEST(SServiceClasses, ComparisonIsIdentity)
{
    SServiceManager one;
    SServiceManager two;
    EXPECT_TRUE(one.IsEqual(one));
    EXPECT_FALSE(one.IsEqual(two));
    EXPECT_TRUE(one.IsNotEqual(two));
    EXPECT_STREQ(one.GetName(), L"");
    one.SetName(L"renamed");
    EXPECT_STREQ(one.GetName(), L"renamed");
}

TEST(SServiceClasses, OpeningAMissingServiceFailsAndLogsTheName)
{
    LogCapture log;
    SServiceManager manager;
    Connect(manager);
    EXPECT_NE(manager.GetHandle(), nullptr);
    SResult waited;
    EXPECT_EQ(manager.Wait(waited, false, 0), SyncResult::CallFailed);
    std::unique_ptr<SService> service;
    SResult result;
    EXPECT_EQ(manager.OpenService(result, &service, L"LxSvcTest_NoSuchService", ServiceAccess::QueryStatus),
              ServiceResult::NotFound);
    EXPECT_EQ(service, nullptr);
    EXPECT_TRUE(
        log.Has(L"SServiceManager::OpenService received OS service code: ERROR_SERVICE_DOES_NOT_EXIST "
                L"(0x00000424), from service: \"LxSvcTest_NoSuchService\""));
}

TEST(SServiceClasses, ConfigurationNamesAndEnumerationAgreeWithTheRegistration)
{
    TestService test(L"config_with_a_display_name_longer_than_the_first_buffer");
    ASSERT_TRUE(test.Registered());
    SServiceManager manager;
    Connect(manager);
    SResult result;

    LogCapture log;
    std::unique_ptr<SService> duplicate;
    SServiceConfig config;
    config.serviceType = SERVICE_WIN32_OWN_PROCESS;
    config.startType = SERVICE_DEMAND_START;
    config.errorControl = SERVICE_ERROR_IGNORE;
    config.binaryPath = L"C:\\windows\\notepad.exe";
    EXPECT_EQ(manager.CreateService(result, &duplicate, test.SName(), config, ServiceAccess::All, nullptr),
              ServiceResult::OtherError);
    EXPECT_EQ(duplicate, nullptr);
    EXPECT_EQ(
        log.LinesWith(L"SServiceManager::CreateService received OS service code: <UNKNOWN> (0x00000431)")
            .size(),
        1u);

    SServiceConfig read;
    ASSERT_EQ(test.Service().ReadConfig(result, read).Code(), 0);
    EXPECT_EQ(read.serviceType, static_cast<uint32_t>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(read.startType, static_cast<uint32_t>(SERVICE_DEMAND_START));
    EXPECT_NE(std::wstring(read.binaryPath.c_str()).find(L"service_host.exe\" " + test.Name()),
              std::wstring::npos);
    EXPECT_EQ(std::wstring(read.displayName.c_str()), test.Name());

    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    change.displayName = (test.Name() + L" shown").c_str();
    ASSERT_EQ(test.Service().ChangeConfig(result, change, nullptr).Code(), 0);
    ASSERT_EQ(test.Service().ReadConfig(result, read).Code(), 0);
    EXPECT_EQ(read.startType, static_cast<uint32_t>(SERVICE_DISABLED));
    EXPECT_EQ(read.serviceType, static_cast<uint32_t>(SERVICE_WIN32_OWN_PROCESS)); // left unchanged
    EXPECT_EQ(std::wstring(read.displayName.c_str()), test.Name() + L" shown");
    EXPECT_EQ(test.Service().Start(result, 0, nullptr), ServiceResult::Disabled);

    SString displayName;
    SString keyName;
    ASSERT_EQ(manager.GetServiceDisplayName(result, test.SName(), displayName).Code(), 0);
    EXPECT_EQ(std::wstring(displayName.c_str()), test.Name() + L" shown");
    ASSERT_EQ(manager.GetServiceKeyName(result, displayName, keyName).Code(), 0);
    EXPECT_EQ(std::wstring(keyName.c_str()), test.Name());
    EXPECT_EQ(manager.GetServiceDisplayName(result, L"LxSvcTest_NoSuchService", displayName),
              ServiceResult::NotFound);

    SBufferT<unsigned char> empty;
    DWORD needed = 0;
    DWORD count = 0;
    EXPECT_EQ(manager.EnumServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, empty, needed, count),
              ServiceResult::BufferTooSmall);
    EXPECT_GT(needed, 0u);

    SListT<SServiceEntry> all;
    ASSERT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, all).Code(), 0);
    const auto& items = all.GetItems();
    const auto found = std::find_if(items.begin(), items.end(),
                                    [&](const SServiceEntry& entry)
                                    { return std::wstring(entry.name.c_str()) == test.Name(); });
    ASSERT_NE(found, items.end());
    EXPECT_EQ(std::wstring(found->displayName.c_str()), test.Name() + L" shown");
    EXPECT_EQ(found->status.currentState, SServiceState::Stopped);
    EXPECT_TRUE(std::any_of(items.begin(), items.end(),
                            [](const SServiceEntry& entry) { return entry.name == SString(L"FontCache"); }));

    SListT<SServiceEntry> active;
    ASSERT_EQ(manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_ACTIVE, active).Code(), 0);
    EXPECT_TRUE(std::none_of(active.GetItems().begin(), active.GetItems().end(),
                             [&](const SServiceEntry& entry)
                             { return std::wstring(entry.name.c_str()) == test.Name(); }));
}

TEST(SServiceClasses, DescriptionRoundTripsAndWinesMissingFailureActionsTranslate)
{
    TestService test(L"description");
    ASSERT_TRUE(test.Registered());
    SResult result;
    SString description;
    ASSERT_EQ(test.Service().GetDescription(result, description).Code(), 0);
    EXPECT_TRUE(description.empty());
    ASSERT_EQ(test.Service().SetDescription(result, L"Renders 100% of nothing").Code(), 0);
    ASSERT_EQ(test.Service().GetDescription(result, description).Code(), 0);
    EXPECT_EQ(description, SString(L"Renders 100% of nothing"));

    SServiceFailureActions actions;
    actions.resetPeriod = 3600;
    actions.actions = {{SC_ACTION_RESTART, 1000}, {SC_ACTION_NONE, 0}};
    EXPECT_EQ(test.Service().SetFailureActions(result, actions).Code(), 0);
    // Wine accepts failure actions but cannot read them back (ERROR_INVALID_LEVEL).
    LogCapture log;
    SServiceFailureActions read;
    EXPECT_EQ(test.Service().GetFailureActions(result, read), ServiceResult::InvalidArgument);
    EXPECT_EQ(
        log.LinesWith(L"SService::GetFailureActions received OS service code: ERROR_INVALID_LEVEL").size(),
        1u);
}

TEST(SServiceClasses, StatusAndControlsOfARunningService)
{
    TestService test(L"controls");
    ASSERT_TRUE(test.Registered());
    SService& service = test.Service();
    SResult result;
    SServiceStatus status;

    ASSERT_EQ(service.QueryStatus(result, status).Code(), 0);
    EXPECT_EQ(status.currentState, SServiceState::Stopped);
    EXPECT_EQ(status.serviceType, static_cast<uint32_t>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(service.IsNotStopped(), 0);
    EXPECT_EQ(service.Control(result, ServiceControlCode::Stop, status), ServiceResult::NotActive);
    EXPECT_EQ(status.currentState, SServiceState::Stopped); // translated even though the control failed

    {
        STest::StartGate gate;
        ASSERT_EQ(service.Start(result, 0, nullptr).Code(), 0);
        ASSERT_TRUE(test.WaitForState(SERVICE_RUNNING));
        EXPECT_EQ(service.Start(result, 0, nullptr), ServiceResult::AlreadyRunning);
    }
    DWORD processId = 0;
    EXPECT_EQ(service.IsRunning(&processId), 1);
    EXPECT_EQ(processId, test.ProcessId());
    EXPECT_NE(processId, 0u);
    EXPECT_EQ(service.IsNotStopped(), 1);
    ASSERT_EQ(service.QueryStatus(result, status).Code(), 0);
    EXPECT_EQ(status.currentState, SServiceState::Running);
    EXPECT_EQ(status.controlsAccepted, static_cast<uint32_t>(SERVICE_ACCEPT_STOP));

    EXPECT_EQ(service.Interrogate(result, status).Code(), 0);
    EXPECT_EQ(status.currentState, SServiceState::Running);
    EXPECT_EQ(service.Pause(result, status), ServiceResult::InvalidControl);
    status.currentState = SServiceState::Running;
    EXPECT_EQ(service.Control(result, 99, status), ServiceResult::InvalidArgument); // sent as control 0
    EXPECT_EQ(status.serviceType, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<int>(status.currentState), 0);

    ASSERT_EQ(service.Control(result, ServiceControlCode::Stop, status).Code(), 0);
    EXPECT_TRUE(status.currentState == SServiceState::StopPending ||
                status.currentState == SServiceState::Stopped);
    ASSERT_TRUE(test.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(service.IsRunning(&processId), 0);
    EXPECT_EQ(test.StopsReceived(), 1u);

    ASSERT_EQ(service.Delete(result).Code(), 0);
    EXPECT_EQ(service.Delete(result), ServiceResult::MarkedForDelete);
}

} // namespace
