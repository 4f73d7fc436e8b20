// The fixed tables of the service classes: error translation and names, state translation,
// control and access codes, and the poll interval of the waits.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"
#include "library/system/service/ServiceResult.h"
#include "library/system/service/ServiceTypes.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace S;

namespace
{

TEST(ServiceResultFromWin32Error, MapsEveryListedErrorAndTheRestToOtherError)
{
    const std::vector<std::pair<DWORD, uint32_t>> table = {
        {5, 0xA0040790u},    {6, 0xA0040788u},         {13, 0xA0040787u},   {87, 0xA0040787u},
        {122, 0xA0040786u},  {123, 0xA0040787u},       {124, 0xA0040787u},  {234, 0xA0040786u},
        {1051, 0xA0040795u}, {1052, 0xA0040789u},      {1053, 0xA0040797u}, {1055, 0xA0040790u},
        {1056, 0xA0040791u}, {1057, 0xA0040799u},      {1058, 0xA0040794u}, {1060, 0xA0040792u},
        {1061, 0xA0040796u}, {1062, 0xA0040793u},      {1063, 0xA0040784u}, {1065, 0xA0040792u},
        {1068, 0xA0040795u}, {1071, 0xA0040787u},      {1072, 0xA004079Au}, {1075, 0xA0040795u},
        {1115, 0xA0040798u}, {2, 0xA0040781u},         {1059, 0xA0040781u}, {1073, 0xA0040781u},
        {232, 0xA0040781u},  {0xFFFFFFFF, 0xA0040781u}};
    for (const auto& [error, code] : table)
        EXPECT_EQ(ServiceResultFromWin32Error(L"svc", error, nullptr).Unsigned(), code) << "error " << error;
    EXPECT_EQ(ServiceResultFromWin32Error(L"svc", 0, nullptr).Code(), 0);
}

TEST(ServiceErrorName, NamesTheControlManagerErrors)
{
    const std::vector<std::pair<DWORD, const wchar_t*>> table = {
        {0, L"ERROR_SUCCESS"},
        {5, L"ERROR_ACCESS_DENIED"},
        {6, L"ERROR_INVALID_HANDLE"},
        {13, L"ERROR_INVALID_DATA"},
        {87, L"ERROR_INVALID_PARAMETER"},
        {122, L"ERROR_INSUFFICIENT_BUFFER"},
        {123, L"ERROR_INVALID_NAME"},
        {124, L"ERROR_INVALID_LEVEL"},
        {234, L"ERROR_MORE_DATA"},
        {1051, L"ERROR_DEPENDENT_SERVICES_RUNNING"},
        {1052, L"ERROR_INVALID_SERVICE_CONTROL"},
        {1053, L"ERROR_SERVICE_REQUEST_TIMEOUT"},
        {1055, L"ERROR_SERVICE_DATABASE_LOCKED"},
        {1056, L"ERROR_SERVICE_ALREADY_RUNNING"},
        {1057, L"ERROR_INVALID_SERVICE_ACCOUNT"},
        {1058, L"ERROR_SERVICE_DISABLED"},
        {1060, L"ERROR_SERVICE_DOES_NOT_EXIST"},
        {1061, L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL"},
        {1062, L"ERROR_SERVICE_NOT_ACTIVE"},
        {1063, L"ERROR_FAILED_SERVICE_CONTROLLER_CONNECT"},
        {1065, L"ERROR_DATABASE_DOES_NOT_EXIST"},
        {1068, L"ERROR_SERVICE_DEPENDENCY_FAIL"},
        {1071, L"ERROR_INVALID_SERVICE_LOCK"},
        {1072, L"ERROR_SERVICE_MARKED_FOR_DELETE"},
        {1075, L"ERROR_SERVICE_DEPENDENCY_DELETED"},
        {1115, L"ERROR_SHUTDOWN_IN_PROGRESS"},
        {1059, L"<UNKNOWN>"},
        {2, L"<UNKNOWN>"}};
    for (const auto& [error, name] : table)
        EXPECT_STREQ(ServiceErrorName(error), name) << "error " << error;
}

TEST(ServiceResultFromWin32Error, LogsTheCallerAtDebugLevelOnlyWhenNamed)
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
    {
        EXPECT_EQ(line.component, L"Service");
        EXPECT_EQ(line.level, SLogLevel::Debug);
        EXPECT_EQ(line.result, 0);
    }
}

TEST(ServiceTables, TranslatesEverySystemState)
{
    const std::vector<std::pair<DWORD, SServiceState>> table = {
        {SERVICE_STOPPED, SServiceState::Stopped},
        {SERVICE_START_PENDING, SServiceState::StartPending},
        {SERVICE_STOP_PENDING, SServiceState::StopPending},
        {SERVICE_RUNNING, SServiceState::Running},
        {SERVICE_CONTINUE_PENDING, SServiceState::ContinuePending},
        {SERVICE_PAUSE_PENDING, SServiceState::PausePending},
        {SERVICE_PAUSED, SServiceState::Paused},
        {0, SServiceState::Unknown},
        {8, SServiceState::Unknown}};
    for (const auto& [system, state] : table)
        EXPECT_EQ(ServiceStateFromWin32(system), state) << "state " << system;
    EXPECT_EQ(static_cast<int>(SServiceState::ContinuePending), 0);
    EXPECT_EQ(static_cast<int>(SServiceState::Stopped), 6);
}

TEST(ServiceTables, CarriesStatusFieldsOverUnchanged)
{
    const SERVICE_STATUS_PROCESS raw{
        0x110, SERVICE_PAUSED, 0x8F, 1066, 42, 7, 90000, 4242, SERVICE_RUNS_IN_SYSTEM_PROCESS};
    const SServiceStatus status = ServiceStatusFromWin32(raw);
    EXPECT_EQ(status.serviceType, 0x110u);
    EXPECT_EQ(status.currentState, SServiceState::Paused);
    EXPECT_EQ(status.controlsAccepted, 0x8Fu);
    EXPECT_EQ(status.win32ExitCode, 1066u);
    EXPECT_EQ(status.serviceSpecificExitCode, 42u);
    EXPECT_EQ(status.checkPoint, 7u);
    EXPECT_EQ(status.waitHint, 90000u);
    EXPECT_EQ(status.processId, 4242u);
    EXPECT_EQ(status.serviceFlags, 1u);

    const SServiceStatus failed = SServiceStatus::Failed();
    EXPECT_EQ(failed.serviceType, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<int>(failed.currentState), 0);
    EXPECT_EQ(failed.controlsAccepted + failed.win32ExitCode + failed.checkPoint + failed.waitHint +
                  failed.processId,
              0u);
}

TEST(ServiceTables, MapsControlCodes)
{
    const std::vector<std::pair<int32_t, DWORD>> table = {{0, 3},   {1, 4},   {2, 7},   {3, 10}, {4, 9},
                                                          {5, 8},   {6, 6},   {7, 2},   {8, 5},  {9, 1},
                                                          {10, 11}, {11, 13}, {12, 12}, {13, 0}, {-1, 0}};
    for (const auto& [code, control] : table)
        EXPECT_EQ(Win32ServiceControl(code), control) << "code " << code;
}

TEST(ServiceTables, MapsAccessCodes)
{
    const std::vector<std::pair<int32_t, DWORD>> manager = {
        {0, 0xF003F}, {1, 0x1},     {2, 0x8},     {3, 0x2},     {4, 0x4}, {5, 0x20},
        {6, 0x10},    {7, 0x20014}, {8, 0x20022}, {9, 0x20009}, {10, 0},  {-1, 0}};
    for (const auto& [code, mask] : manager)
        EXPECT_EQ(ServiceManagerAccessMask(code), mask) << "manager code " << code;

    const std::vector<std::pair<int32_t, DWORD>> service = {
        {0, 0xF01FF},  {1, 0x2},        {2, 0x1},      {3, 0x8},      {4, 0x80},
        {5, 0x40},     {6, 0x4},        {7, 0xF01FF},  {8, 0xF01FF},  {9, 0x10000},
        {10, 0x100},   {11, 0x1000000}, {12, 0x20000}, {13, 0x40000}, {14, 0x80000},
        {15, 0x2008D}, {16, 0x20002},   {17, 0x20170}, {18, 0},       {-1, 0}};
    for (const auto& [code, mask] : service)
        EXPECT_EQ(ServiceAccessMask(code), mask) << "service code " << code;
}

TEST(ServiceWaitPollInterval, IsATenthOfTheHintWithinOneToFiveSeconds)
{
    const std::vector<std::pair<uint32_t, DWORD>> table = {{0, 1000},     {9999, 1000},  {10000, 1000},
                                                           {10010, 1001}, {20000, 2000}, {49990, 4999},
                                                           {50000, 5000}, {90000, 5000}, {0xFFFFFFFF, 5000}};
    for (const auto& [hint, interval] : table)
        EXPECT_EQ(ServiceWaitPollInterval(hint), interval) << "hint " << hint;
}

} // namespace
