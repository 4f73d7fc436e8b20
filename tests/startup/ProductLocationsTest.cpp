#include "startup/ProductLocations.h"

#include <gtest/gtest.h>

using namespace S;

TEST(ProductLocations, SubPathInsertsOneSeparatorOnlyWhereNeeded)
{
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"Halvern Technologies", L"Tidewell", L"Halvern Technologies\\Tidewell"},
        {L"Acme/", L"Tidewell", L"Acme/Tidewell"},
        {L"Acme\\", L"Tidewell", L"Acme\\Tidewell"},
        {L"", L"Tidewell", L"\\Tidewell"},
        {nullptr, L"Tidewell", L"\\Tidewell"},
        {L"Acme", L"", L"Acme\\"},
    };
    for (const auto& [company, component, expected] : cases)
        EXPECT_STREQ(JoinProductSubPath(company, component).c_str(), expected);
}

// Test executables carry the product's string table, as the DLL does.
TEST(ProductLocations, KeyPathsComeFromTheStringTableAndAMissingStringIsLoadedOnce)
{
    EXPECT_EQ(GetHandoffKeyLocation().root, HKEY_CURRENT_USER);
    EXPECT_STREQ(GetHandoffKeyLocation().path.c_str(), L"Software\\Halvern Technologies\\Tidewell\\Process");
    const HMODULE saved = ModuleInstance;
    // ntdll carries no string with this id.
    ModuleInstance = GetModuleHandleW(L"ntdll.dll");
    SIdentityString missing(kCompanyKeyNameId);
    EXPECT_STREQ(missing.Get(), L"");
    // Even once the right module is in place, a failed load is not retried.
    ModuleInstance = GetModuleHandleW(nullptr);
    EXPECT_STREQ(missing.Get(), L"");
    SIdentityString fresh(kCompanyKeyNameId);
    EXPECT_STREQ(fresh.Get(), L"Halvern Technologies");

    // Unset, the module handle falls back to the main executable and is recorded.
    ModuleInstance = nullptr;
    SIdentityString fallback(kComponentKeyNameId);
    EXPECT_STREQ(fallback.Get(), L"Tidewell");
    EXPECT_EQ(ModuleInstance, GetModuleHandleW(nullptr));
    ModuleInstance = saved;
}
