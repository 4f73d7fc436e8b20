// A process started through the launcher sees its application's fonts; no other process does.
#include "library/system/profile/SUserProfile.h"
#include "startup/ProductLocations.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <string>

using namespace S;

namespace
{

bool Has(const STest::ProcessResult& result, const std::string& line)
{
    return result.output.find(line + "\n") != std::string::npos ||
           result.output.find(line + "\r\n") != std::string::npos;
}

// One application with two fonts: one by full path, one by name in a subfolder of the fonts folder.
class LaunchedFontsTest : public testing::Test
{
protected:
    LaunchedFontsTest()
    {
        SString account;
        SString sid;
        EXPECT_TRUE(GetCurrentUserProfile(account, m_Profile, sid));
        m_Session = 40000 + GetCurrentProcessId() % 10000;
        m_KeyPath = GetApplicationFontsKeyLocation(m_Profile, SString(kApp), m_Session).path.c_str();
        wchar_t windows[MAX_PATH];
        GetWindowsDirectoryW(windows, MAX_PATH);
        wchar_t sub[64];
        swprintf(sub, 64, L"LumerelxE2E%08lx", GetCurrentProcessId());
        m_SubFolder = sub;
        m_FolderCopy = std::wstring(windows) + L"\\Fonts\\" + m_SubFolder;
        CreateDirectoryW(m_FolderCopy.c_str(), nullptr);
        CopyFileW((STest::BinFolder() + L"testfonts\\two.ttf").c_str(), (m_FolderCopy + L"\\two.ttf").c_str(),
                  FALSE);
        STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, m_KeyPath, L"One (TrueType)",
                                          STest::BinFolder() + L"testfonts\\one.ttf");
        STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, m_KeyPath, L"Two (TrueType)",
                                          m_SubFolder + L"\\two.ttf");
    }
    ~LaunchedFontsTest() override
    {
        wchar_t first[80];
        swprintf(first, 80, L"%ls-%u", m_Profile.c_str(), m_Session);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(first) + L"\\" + kApp).c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, first);
        DeleteFileW((m_FolderCopy + L"\\two.ttf").c_str());
        RemoveDirectoryW(m_FolderCopy.c_str());
    }

    std::wstring LaunchArguments() const
    {
        return L" --app-id " + std::wstring(kApp) + L" --session " + std::to_wstring(m_Session) + L" ";
    }
    static std::wstring Probe(const std::wstring& exe = STest::BinFolder() + L"fontprobe.exe")
    {
        return STest::Quote(exe) + L" \"Lumerelx Test One\" \"Lumerelx Test Two\"";
    }
    static std::wstring Launcher() { return STest::Quote(STest::BinFolder() + L"launcher.exe"); }

    static constexpr const wchar_t* kApp = L"{00000000-0000-0000-0000-0000000000e2}";
    SString m_Profile;
    uint32_t m_Session = 0;
    std::wstring m_KeyPath;
    std::wstring m_SubFolder;
    std::wstring m_FolderCopy;
};

} // namespace

TEST_F(LaunchedFontsTest, InlineAgentAddsFontsBeforeTheProgramRuns)
{
    const auto launched = STest::RunProcess(Launcher() + LaunchArguments() + Probe());
    EXPECT_EQ(launched.exitCode, 0u) << launched.output;
    EXPECT_TRUE(Has(launched, "font \"Lumerelx Test One\": visible")) << launched.output;
    EXPECT_TRUE(Has(launched, "font \"Lumerelx Test Two\": visible")) << launched.output;
    EXPECT_TRUE(Has(launched, "handoff-values=0")) << launched.output;

    const auto other = STest::RunProcess(Probe());
    EXPECT_TRUE(Has(other, "font \"Lumerelx Test One\": absent")) << other.output;
    EXPECT_TRUE(Has(other, "font \"Lumerelx Test Two\": absent")) << other.output;
}

TEST_F(LaunchedFontsTest, AsynchronousAgentAddsFontsShortlyAfter)
{
    const auto launched =
        STest::RunProcess(Launcher() + L" --async" + LaunchArguments() + Probe() + L" --wait-ms 10000");
    EXPECT_TRUE(Has(launched, "agent-threads=1")) << launched.output;
    EXPECT_TRUE(Has(launched, "font \"Lumerelx Test One\": visible")) << launched.output;
    EXPECT_TRUE(Has(launched, "font \"Lumerelx Test Two\": visible")) << launched.output;
    EXPECT_TRUE(Has(launched, "handoff-values=0")) << launched.output;
}

TEST_F(LaunchedFontsTest, LegacyFolderLookupOnWindowsXp)
{
    // A copy of the probe under a name of its own, so that only it is shown Windows XP.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[64];
    swprintf(name, 64, L"fontprobe-xp-%08lx.exe", GetCurrentProcessId());
    const std::wstring copy = std::wstring(temp) + name;
    ASSERT_TRUE(CopyFileW((STest::BinFolder() + L"fontprobe.exe").c_str(), copy.c_str(), FALSE));
    const std::wstring appDefaults = std::wstring(L"Software\\Wine\\AppDefaults\\") + name;
    STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, appDefaults, L"Version", L"winxp");

    const auto launched = STest::RunProcess(Launcher() + LaunchArguments() + Probe(copy));
    RegDeleteTreeW(HKEY_CURRENT_USER, appDefaults.c_str());
    DeleteFileW(copy.c_str());
    EXPECT_TRUE(Has(launched, "older-than-vista=1")) << launched.output;
    EXPECT_TRUE(Has(launched, "font \"Lumerelx Test One\": visible")) << launched.output;
    EXPECT_TRUE(Has(launched, "font \"Lumerelx Test Two\": visible")) << launched.output;

    // The same probe under its own name is shown the prefix's default system.
    const auto current = STest::RunProcess(Launcher() + LaunchArguments() + Probe());
    EXPECT_TRUE(Has(current, "older-than-vista=0")) << current.output;
}
