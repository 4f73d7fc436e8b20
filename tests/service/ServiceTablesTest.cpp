// The fixed tables of the service classes, at their edges: errors that share a code, unknown
// values, the states whose numbers differ from the system's, and the poll interval's bounds.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace S;

namespace
{

TEST(ServiceTables, TranslateErrorsAndNameThem)
{
    const std::vector<std::tuple<DWORD, uint32_t, const wchar_t*>> table = {
        {0, 0, L"ERROR_SUCCESS"},
        {5, 0xA0040790u, L"ERROR_ACCESS_DENIED"},
        {1055, 0xA0040790u, L"ERROR_SERVICE_DATABASE_LOCKED"},
        {122, 0xA0040786u, L"ERROR_INSUFFICIENT_BUFFER"},
        {234, 0xA0040786u, L"ERROR_MORE_DATA"},
        {1071, 0xA0040787u, L"ERROR_INVALID_SERVICE_LOCK"},
        {1075, 0xA0040795u, L"ERROR_SERVICE_DEPENDENCY_DELETED"},
        {1065, 0xA0040792u, L"ERROR_DATABASE_DOES_NOT_EXIST"},
        {1063, 0xA0040784u, L"ERROR_FAILED_SERVICE_CONTROLLER_CONNECT"},
        {1115, 0xA0040798u, L"ERROR_SHUTDOWN_IN_PROGRESS"},
        {1059, 0xA0040781u, L"<UNKNOWN>"}, // circular dependency: not in the tables
        {0xFFFFFFFF, 0xA0040781u, L"<UNKNOWN>"}};
    for (const auto& [error, code, name] : table)
    {
        EXPECT_EQ(ServiceResultFromWin32Error(L"svc", error, nullptr).Unsigned(), code) << error;
        EXPECT_STREQ(ServiceErrorName(error), name);
    }
}

TEST(ServiceTables, TranslationLogsTheCallerOnlyWhenNamed)
{
    STest::LogCapture log;
    ServiceResultFromWin32Error(L"Spooler", 1060, L"SServiceManager::OpenService");
    ServiceResultFromWin32Error(L"", 5, L"SServiceManager::Init");
    ServiceResultFromWin32Error(nullptr, 1063, L"SServiceManager::Init");
    ServiceResultFromWin32Error(L"Spooler", 1062, nullptr);
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, L"SServiceManager::OpenService received OS service code: "
                             L"ERROR_SERVICE_DOES_NOT_EXIST (0x00000424), from service: \"Spooler\"");
    EXPECT_EQ(lines[1].text,
              L"SServiceManager::Init received OS service code: ERROR_ACCESS_DENIED (0x00000005).");
    EXPECT_EQ(lines[2].text, L"SServiceManager::Init received OS service code: "
                             L"ERROR_FAILED_SERVICE_CONTROLLER_CONNECT (0x00000427).");
    for (const auto& line : lines)
        EXPECT_TRUE(line.component == L"Service" && line.level == SLogLevel::Debug && line.result == 0);
}

TEST(ServiceTables, MapStatesControlsAndAccess)
{
    EXPECT_EQ(ServiceStateFromWin32(SERVICE_CONTINUE_PENDING), SServiceState::ContinuePending);
    EXPECT_EQ(static_cast<int>(ServiceStateFromWin32(SERVICE_CONTINUE_PENDING)), 0);
    EXPECT_EQ(static_cast<int>(ServiceStateFromWin32(SERVICE_STOPPED)), 6);
    EXPECT_EQ(static_cast<int>(ServiceStateFromWin32(SERVICE_RUNNING)), 3);
    EXPECT_EQ(ServiceStateFromWin32(0), SServiceState::Unknown);
    EXPECT_EQ(ServiceStateFromWin32(8), SServiceState::Unknown);

    const SERVICE_STATUS_PROCESS raw{0x110, SERVICE_PAUSED, 0x8F, 1066, 42, 7, 90000, 4242, 1};
    const SServiceStatus status = ServiceStatusFromWin32(raw);
    EXPECT_EQ(std::make_tuple(status.serviceType, status.currentState, status.controlsAccepted,
                              status.win32ExitCode, status.serviceSpecificExitCode, status.checkPoint,
                              status.waitHint, status.processId, status.serviceFlags),
              std::make_tuple(0x110u, SServiceState::Paused, 0x8Fu, 1066u, 42u, 7u, 90000u, 4242u, 1u));

    EXPECT_EQ(Win32ServiceControl(ServiceControlCode::Continue),
              static_cast<DWORD>(SERVICE_CONTROL_CONTINUE));
    EXPECT_EQ(Win32ServiceControl(ServiceControlCode::Stop), static_cast<DWORD>(SERVICE_CONTROL_STOP));
    EXPECT_EQ(Win32ServiceControl(ServiceControlCode::PowerEvent),
              static_cast<DWORD>(SERVICE_CONTROL_POWEREVENT));
    EXPECT_EQ(Win32ServiceControl(13), 0u);
    EXPECT_EQ(Win32ServiceControl(-1), 0u);

    EXPECT_EQ(ServiceManagerAccessMask(ServiceManagerAccess::All), 0xF003Fu);
    EXPECT_EQ(ServiceManagerAccessMask(ServiceManagerAccess::Execute), 0x20009u);
    EXPECT_EQ(ServiceManagerAccessMask(10), 0u);
    for (const int32_t all : {ServiceAccess::All, ServiceAccess::Start, ServiceAccess::Stop})
        EXPECT_EQ(ServiceAccessMask(all), 0xF01FFu);
    EXPECT_EQ(ServiceAccessMask(ServiceAccess::QueryStatus), 0x4u);
    EXPECT_EQ(ServiceAccessMask(ServiceAccess::Read), 0x2008Du);
    EXPECT_EQ(ServiceAccessMask(ServiceAccess::Execute), 0x20170u);
    EXPECT_EQ(ServiceAccessMask(18), 0u);
}

TEST(ServiceTables, PollIntervalIsATenthOfTheHintWithinOneToFiveSeconds)
{
    const std::vector<std::pair<uint32_t, DWORD>> table = {{0, 1000},     {10009, 1000}, {10010, 1001},
                                                           {49990, 4999}, {90000, 5000}, {0xFFFFFFFF, 5000}};
    for (const auto& [hint, interval] : table)
        EXPECT_EQ(ServiceWaitPollInterval(hint), interval) << hint;
}

} // namespace
