// The fixed tables at their edges: errors sharing a code, unknown values, the states whose
// numbers differ from the system's; and the translation's log line.
#include "ServiceTestKit.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace S;

namespace
{

TEST(ServiceTables, TranslateAndNameErrors)
{
    const std::vector<std::tuple<DWORD, uint32_t, const wchar_t*>> table = {
        {0, 0, L"ERROR_SUCCESS"},
        {5, 0xA0040790u, L"ERROR_ACCESS_DENIED"},
        {1055, 0xA0040790u, L"ERROR_SERVICE_DATABASE_LOCKED"},
        {234, 0xA0040786u, L"ERROR_MORE_DATA"},
        {1071, 0xA0040787u, L"ERROR_INVALID_SERVICE_LOCK"},
        {1075, 0xA0040795u, L"ERROR_SERVICE_DEPENDENCY_DELETED"},
        {1065, 0xA0040792u, L"ERROR_DATABASE_DOES_NOT_EXIST"},
        {1115, 0xA0040798u, L"ERROR_SHUTDOWN_IN_PROGRESS"},
        {1059, 0xA0040781u, L"<UNKNOWN>"}};
    for (const auto& [error, code, name] : table)
    {
        EXPECT_EQ(ServiceResultFromWin32Error(L"svc", error, nullptr).Unsigned(), code) << error;
        EXPECT_STREQ(ServiceErrorName(error), name);
    }
    EXPECT_EQ(ServiceStateFromWin32(SERVICE_CONTINUE_PENDING), static_cast<SServiceState>(0));
    EXPECT_EQ(ServiceStateFromWin32(SERVICE_STOPPED), static_cast<SServiceState>(6));
    EXPECT_EQ(ServiceStateFromWin32(8), SServiceState::Unknown);
    EXPECT_EQ(Win32ServiceControl(ServiceControlCode::Continue),
              static_cast<DWORD>(SERVICE_CONTROL_CONTINUE));
    EXPECT_EQ(Win32ServiceControl(13), 0u);
    EXPECT_EQ(ServiceAccessMask(ServiceAccess::Stop), static_cast<DWORD>(SERVICE_ALL_ACCESS));
    EXPECT_EQ(ServiceAccessMask(ServiceAccess::Execute), 0x20170u);
    EXPECT_EQ(ServiceManagerAccessMask(ServiceManagerAccess::Read), 0x20014u);
}

TEST(ServiceTables, TranslationLogsTheCallerOnlyWhenNamed)
{
    STest::LogCapture log;
    ServiceResultFromWin32Error(L"Spooler", 1060, L"SServiceManager::OpenService");
    ServiceResultFromWin32Error(L"", 5, L"SServiceManager::Init");
    ServiceResultFromWin32Error(L"Spooler", 1062, nullptr);
    const auto lines = log.With();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, L"SServiceManager::OpenService received OS service code: "
                             L"ERROR_SERVICE_DOES_NOT_EXIST (0x00000424), from service: \"Spooler\"");
    EXPECT_EQ(lines[1].text,
              L"SServiceManager::Init received OS service code: ERROR_ACCESS_DENIED (0x00000005).");
    for (const auto& line : lines)
        EXPECT_TRUE(line.component == L"Service" && line.level == SLogLevel::Debug && line.result == 0);
}

} // namespace
