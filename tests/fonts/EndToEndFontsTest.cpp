// A process started through the launcher sees its application's fonts; no other process does.
#include "library/system/profile/SUserProfile.h"
#include "fonts/FontRegistration.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace S;
using STest::BinFolder;

// One application with two fonts, one by full path and one by name in a subfolder of the fonts
// folder. Launched on a system shown as Windows XP (legacy folder lookup), the process sees both; a
// process started without the launcher sees neither. Plain inline and asynchronous launches are the
// guest and hand-off cases' (startup group) and the tools' (check against a launched process).
TEST(LaunchedFonts, OnlyLaunchedProcessesSeeTheApplicationsFonts)
{
    const wchar_t* const app = L"{00000000-0000-0000-0000-0000000000e2}";
    const uint32_t session = 40000 + GetCurrentProcessId() % 10000;
    SString account, profile, sid;
    ASSERT_TRUE(GetCurrentUserProfile(account, profile, sid));
    const std::wstring keyPath = GetApplicationFontsKeyLocation(profile, SString(app), session).path.c_str();
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    wchar_t windows[MAX_PATH], temp[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(windows) + L"\\Fonts\\LumerelxE2E" + tag;
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW((BinFolder() + L"testfonts\\two.ttf").c_str(), (folder + L"\\two.ttf").c_str(), FALSE);
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, keyPath, L"One (TrueType)",
                                      BinFolder() + L"testfonts\\one.ttf");
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, keyPath, L"Two (TrueType)",
                                      L"LumerelxE2E" + tag + L"\\two.ttf");
    // A copy of the probe under a name of its own, so that only it is shown Windows XP.
    const std::wstring xpName = L"fontprobe-xp-" + tag + L".exe", xpProbe = temp + xpName;
    EXPECT_TRUE(CopyFileW((BinFolder() + L"fontprobe.exe").c_str(), xpProbe.c_str(), FALSE));
    const std::wstring appDefaults = L"Software\\Wine\\AppDefaults\\" + xpName;
    STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, appDefaults, L"Version", L"winxp");

    const std::wstring launch = STest::Quote(BinFolder() + L"launcher.exe") + L" --app-id " + app +
                                L" --session " + std::to_wstring(session) + L" ";
    auto probe = [](const std::wstring& exe)
    { return STest::Quote(exe) + L" \"Lumerelx Test One\" \"Lumerelx Test Two\""; };
    const std::wstring plain = probe(BinFolder() + L"fontprobe.exe");
    const std::string one = "font \"Lumerelx Test One\": ", two = "font \"Lumerelx Test Two\": ";
    // The command, the lines it must print and the probe's exit code: 1 when a family it was asked
    // about is absent.
    const std::tuple<std::wstring, std::vector<std::string>, DWORD> cases[] = {
        {launch + probe(xpProbe), {one + "visible", two + "visible", "older-than-vista=1"}, 0},
        {plain, {one + "absent", two + "absent"}, 1},
    };
    for (const auto& [command, lines, exitCode] : cases)
    {
        const STest::ProcessResult result = STest::RunProcess(command);
        SCOPED_TRACE(result.output);
        EXPECT_EQ(result.exitCode, exitCode);
        for (const std::string& line : lines)
            EXPECT_TRUE(result.output.find(line + "\n") != std::string::npos ||
                        result.output.find(line + "\r\n") != std::string::npos)
                << line;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, appDefaults.c_str());
    DeleteFileW(xpProbe.c_str());
    const std::wstring sessionKey = std::wstring(profile.c_str()) + L"-" + std::to_wstring(session);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (sessionKey + L"\\" + app).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, sessionKey.c_str());
    DeleteFileW((folder + L"\\two.ttf").c_str());
    RemoveDirectoryW(folder.c_str());
}
