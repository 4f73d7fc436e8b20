// The agent is a guest: what it loads into a process, and how foreign code that it calls on its
// start-up path keeps handling its own faults.
#include "library/system/profile/SUserProfile.h"
#include "fonts/FontRegistration.h"
#include "startup/ProductLocations.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <string>

using namespace S;
using STest::BinFolder;

// Without hand-off values the agent has nothing to do, and the host pays for no module of the job's.
TEST(Guest, AFreshProcessWithoutHandoffValuesGetsNoModuleOfTheJob)
{
    const std::wstring handoffKey = GetHandoffKeyLocation().path.c_str();
    const STest::ProcessResult run =
        STest::RunProcess(STest::Quote(BinFolder() + L"startup_fresh_child.exe") + L" " +
                          STest::Quote(BinFolder() + L"Lumerelx64.dll") + L" " + STest::Quote(handoffKey));
    // Bits: shell32, ole32, dbghelp, wer, userenv, mpr; loaded after (0-7) and before (8-15) the agent.
    EXPECT_EQ(run.exitCode, 0u) << std::hex << run.exitCode;
}

// A third-party network provider that handles its own faults inside the drive enumeration, which the
// font job runs: the provider keeps its answers and the application still gets its font, inline and on
// the start-up thread.
TEST(Guest, AProviderThatHandlesItsOwnFaultsLeavesTheFontsAdded)
{
    const wchar_t orderKey[] = L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
    const wchar_t serviceKey[] = L"System\\CurrentControlSet\\Services\\LumerelxFaultingNet";
    ASSERT_FALSE(STest::RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder"));
    const std::wstring provider = std::wstring(serviceKey) + L"\\NetworkProvider";
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"ProviderPath",
                                      BinFolder() + L"TestNetworkProvider.dll");
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"Name", L"Lumerelx Faulting Network");
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder", L"LumerelxFaultingNet");

    const wchar_t* const app = L"{00000000-0000-0000-0000-0000000000f1}";
    const uint32_t session = 50000 + GetCurrentProcessId() % 10000;
    SString account, profile, sid;
    ASSERT_TRUE(GetCurrentUserProfile(account, profile, sid));
    const std::wstring keyPath = GetApplicationFontsKeyLocation(profile, SString(app), session).path.c_str();
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, keyPath, L"One (TrueType)",
                                      BinFolder() + L"testfonts\\one.ttf");
    const STest::RegistrySandbox answers;
    SetEnvironmentVariableW(L"LUMERELX_PROBE_KEY", answers.Path().c_str());

    const std::wstring launch = STest::Quote(BinFolder() + L"launcher.exe") + L" --app-id " + app +
                                L" --session " + std::to_wstring(session) + L" ";
    const std::wstring probe = STest::Quote(BinFolder() + L"fontprobe.exe") + L" \"Lumerelx Test One\"";
    for (const std::wstring& command : {launch + probe, launch + L"--async " + probe + L" --wait-ms 10000"})
    {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, answers.Path().c_str(), L"Answers");
        const STest::ProcessResult result = STest::RunProcess(command);
        EXPECT_EQ(result.exitCode, 0u) << result.output;
        EXPECT_NE(result.output.find("font \"Lumerelx Test One\": visible"), std::string::npos)
            << result.output;
        wchar_t probed[16] = {};
        DWORD size = sizeof(probed);
        EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, answers.Path().c_str(), L"Answers", RRF_RT_REG_SZ, nullptr,
                               probed, &size),
                  ERROR_SUCCESS);
        EXPECT_STREQ(probed, L"1|0");
    }

    SetEnvironmentVariableW(L"LUMERELX_PROBE_KEY", nullptr);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, serviceKey);
    const std::wstring sessionKey = std::wstring(profile.c_str()) + L"-" + std::to_wstring(session);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (sessionKey + L"\\" + app).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, sessionKey.c_str());
}
