#include "fonts/FontRegistration.h"
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

// Profile, session and application (left out when empty) lead to the redirected machine fonts key.
TEST(ProductLocations, ApplicationFontsKeyLocation)
{
    const std::wstring fonts = L"rhklm\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    const std::tuple<const wchar_t*, const wchar_t*, uint32_t, std::wstring> cases[] = {
        {L"john", L"{00000000-0000-0000-0000-000000000001}", 2,
         L"john-2\\{00000000-0000-0000-0000-000000000001}\\" + fonts},
        {L"SYSTEM", L"app", 0, L"SYSTEM-0\\app\\" + fonts},
        {L"u", L"", 4294967295u, L"u-4294967295\\" + fonts},
    };
    for (const auto& [profile, app, session, expected] : cases)
    {
        const SRegKeyLocation location =
            GetApplicationFontsKeyLocation(SString(profile), SString(app), session);
        EXPECT_EQ(location.root, HKEY_LOCAL_MACHINE);
        EXPECT_STREQ(location.path.c_str(), expected.c_str());
    }
}
