// The service classes against Wine's control manager: registration, configuration, names, the
// access and control tables.
#include "ServiceTestKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace S;
using namespace STest;
using enum SServiceState;

namespace
{

TEST(SServiceClasses, RegistrationConfigurationNamesAndControls)
{
    SServiceManager manager;
    SResult result;
    std::unique_ptr<SService> other;
    EXPECT_EQ(manager.OpenService(result, nullptr, L"x", 0), kResultServiceInvalidArgument);
    EXPECT_EQ(manager.OpenService(result, &other, L"x", 0), kResultServiceNotOpen);
    TestService test(L"config_with_a_name_longer_than_the_first_buffer");
    ASSERT_TRUE(test.Registered());
    SService& service = test.Service();
    SServiceStatus status;
    EXPECT_EQ(service.Control(result, ServiceControlCode::Stop, status), kResultServiceNotActive);
    EXPECT_EQ(status.currentState, SServiceState::Stopped); // translated although the control failed
    // Code by code from -1: the system's control codes and access masks, 0 past each table's end.
    const std::vector<DWORD> controls{3, 4, 7, 10, 9, 8, 6, 2, 5, 1, 11, 13, 12},
        managerAccess{0xF003F, 0x1, 0x8, 0x2, 0x4, 0x20, 0x10, 0x20014, 0x20022, 0x20009},
        serviceAccess{0xF01FF, 0x2,   0x1,       0x8,     0x80,    0x40,    0x4,     0xF01FF, 0xF01FF,
                      0x10000, 0x100, 0x1000000, 0x20000, 0x40000, 0x80000, 0x2008D, 0x20002, 0x20170};
    {
        ServiceCallScript script;
        for (int32_t code = -1; code <= std::ssize(serviceAccess); ++code)
        {
            const auto expected = [code](const std::vector<DWORD>& table)
            { return code >= 0 && code < std::ssize(table) ? table[code] : 0; };
            SServiceManager connection;
            connection.Init(result, code, nullptr, nullptr);
            service.Control(result, code, status);
            EXPECT_EQ(std::tuple(DWORD(script.access), DWORD(script.control), ServiceAccessMask(code)),
                      std::tuple(expected(managerAccess), expected(controls), expected(serviceAccess)))
                << code;
        }
    }
    ASSERT_TRUE(test.Start());
    EXPECT_EQ(service.Control(result, 99, status), kResultServiceInvalidArgument); // sent as control 0
    EXPECT_TRUE(status.serviceType == 0xFFFFFFFFu &&
                static_cast<int>(status.currentState) + status.processId == 0);

    ASSERT_EQ(manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Code(), 0);
    std::unique_ptr<SService> limited; // without the right to read the status
    ASSERT_EQ(manager.OpenService(result, &limited, test.SName(), ServiceAccess::ChangeConfig).Code(), 0);
    {
        RecordingLogger log;
        EXPECT_EQ(limited->QueryStatus(result, status), kResultServiceAccessDenied);
        EXPECT_TRUE(limited->IsRunning(nullptr) == -1 && limited->IsNotStopped() == -1);
        EXPECT_EQ(WaitForServiceState(*limited, StartPending, Running, status), kResultServiceAccessDenied);
        EXPECT_EQ(TextsWith(log, L"QueryStatus").at(0),
                  Said(Os(L"SService::QueryStatus", L"ERROR_ACCESS_DENIED (0x00000005)"), test.Name()));
    }
    SServiceConfig change;
    change.startType = SERVICE_DISABLED;
    change.displayName = (test.Name() + L" shown").c_str();
    EXPECT_EQ(manager.CreateService(result, &other, test.SName(), change, 0, nullptr),
              kResultServiceOtherError);
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
    EXPECT_EQ(service.Delete(result), kResultServiceMarkedForDelete);
}

} // namespace
