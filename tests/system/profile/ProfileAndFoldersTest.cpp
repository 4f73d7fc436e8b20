#include "library/system/profile/SFolderTable.h"
#include "library/system/profile/SKnownFolders.h"
#include "library/system/profile/SUserProfile.h"

#include "common/RegistrySandbox.h"
#include "process/TokenTestHelpers.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

using S::SResult;
using S::SString;

namespace
{

std::wstring Text(const SString& text)
{
    return {text.c_str(), text.GetLength()};
}

std::wstring UserName()
{
    wchar_t name[256];
    DWORD size = 256;
    return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

using Lookup = SResult (*)(unsigned, SString&, HANDLE);

// Every lookup ends the impersonation it started, on every path out of it.
class KnownFolders : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(STest::ThreadImpersonates());
        ASSERT_FALSE(STest::ShellWindowExists());
    }
    void TearDown() override { EXPECT_FALSE(STest::ThreadImpersonates()); }
};

} // namespace

// The profile name is the last component of the profile directory, SYSTEM for systemprofile in
// any case. Wine names the account after WINEUSERNAME and its profile directory after the account.
TEST(UserProfile, AccountProfileNameAndSid)
{
    const std::wstring ownProfile = _wgetenv(L"USERPROFILE");
    const wchar_t* const ownUser = _wgetenv(L"WINEUSERNAME"); // as the process started
    const std::pair<const wchar_t*, std::wstring> names[] = {
        {ownUser, ownProfile.substr(ownProfile.rfind(L'\\') + 1)},
        {L"systemprofile", L"SYSTEM"},
        {L"sYsTeMpRoFiLe", L"SYSTEM"},
        {L"systemprofiles", L"systemprofiles"},
        {L"alice", L"alice"},
    };
    for (const auto& [accountName, expected] : names)
    {
        SetEnvironmentVariableW(L"WINEUSERNAME", accountName);
        SString account(L"stale"), profile(L"stale"), sid(L"stale");
        EXPECT_TRUE(S::GetCurrentUserProfile(account, profile, sid)) << accountName;
        EXPECT_EQ(Text(account), accountName != nullptr ? std::wstring(accountName) : UserName());
        EXPECT_EQ(Text(profile), expected);
        EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    }
    SetEnvironmentVariableW(L"WINEUSERNAME", ownUser);
    EXPECT_FALSE(STest::ThreadImpersonates());
}

TEST(UserProfile, TokenWithoutProfileFailsCleanly)
{
    // HKEY_LOCAL_MACHINE redirected to a key with the computer name and no profile list: accounts
    // are still found, profile directories are not.
    const STest::RegistrySandbox machine;
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    GetComputerNameW(computer, &size);
    for (const wchar_t* name : {L"\\ComputerName", L"\\ActiveComputerName"})
        STest::RegistrySandbox::SetString(
            HKEY_CURRENT_USER, machine.Path() + L"\\System\\CurrentControlSet\\Control\\ComputerName" + name,
            L"ComputerName", computer);
    SString account, profile(L"stale"), sid;
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine.Key()), ERROR_SUCCESS);
    const BOOL found = S::GetCurrentUserProfile(account, profile, sid);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    EXPECT_FALSE(found);
    EXPECT_TRUE(profile.IsEmpty());
    EXPECT_EQ(Text(account), UserName()) << "what was found before the failing step stays";
    EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    EXPECT_FALSE(STest::ThreadImpersonates());
}

TEST_F(KnownFolders, FontsFolderThroughBothLookupsAndImpersonationFailures)
{
    wchar_t windows[MAX_PATH];
    const std::wstring fonts = std::wstring(windows, GetWindowsDirectoryW(windows, MAX_PATH)) + L"\\Fonts";
    const S::SHandle notAToken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The legacy lookup returns any impersonation failure; the current one goes on in the
    // caller's context when the interactive user is asked for, and fails for any other token.
    const std::tuple<Lookup, HANDLE, SResult> cases[] = {
        {&S::GetFolderPathForVista, nullptr, 0},
        {&S::GetFolderPath, nullptr, 0},
        {&S::GetFolderPath, INVALID_HANDLE_VALUE, 0x80070057u},
        {&S::GetFolderPathForVista, INVALID_HANDLE_VALUE, 0},
        {&S::GetFolderPathForVista, notAToken.Get(), 0x80070005u},
    };
    for (const auto& [lookup, token, expected] : cases)
    {
        SString path(L"stale");
        EXPECT_EQ(lookup(11, path, token), expected) << token;
        EXPECT_TRUE(expected.Failed() || _wcsicmp(path.c_str(), fonts.c_str()) == 0) << Text(path);
    }
}

TEST_F(KnownFolders, FailuresLeaveNoPath)
{
    const S::SHandle token = STest::DuplicateProcessToken();
    const auto expectFailure = [](Lookup lookup, unsigned index, HANDLE user, SResult expected)
    {
        SString path(L"stale");
        EXPECT_EQ(lookup(index, path, user), expected) << index;
        EXPECT_TRUE(path.IsEmpty()) << index;
    };
    // Rows without a Known Folder ID or legacy resolution, and indices past the table.
    for (const unsigned index : {75u, 80u, 101u, S::kFolderIndexCount, 0xFFFFFFFFu})
        expectFailure(&S::GetFolderPathForVista, index, nullptr, S::kResultFolderUnresolved);
    for (const unsigned index : {5u, 32u, 63u, 88u, S::kFolderIndexCount - 1, S::kFolderIndexCount})
        for (const HANDLE user : {HANDLE{}, token.Get()})
            expectFailure(&S::GetFolderPath, index, user, S::kResultFolderUnresolved);
    // A virtual folder has no path: Wine's shell answers E_INVALIDARG for it.
    expectFailure(&S::GetFolderPathForVista, 0, nullptr, S::kResultShellBadArgument);
    // S_FALSE is no success.
    EXPECT_EQ(S::TranslateShellResult(S_FALSE), SResult(S::kResultShellNoPath));
    EXPECT_EQ(S::TranslateShellResult(E_UNEXPECTED), SResult(S::kResultShellFailed));
}

TEST_F(KnownFolders, TemplatesAreExpandedAndMayNameAFolderOrNothing)
{
    SString first, second;
    EXPECT_EQ(S::GetFolderPathForVista(27, first, nullptr), SResult(0));
    EXPECT_EQ(S::GetFolderPathForVista(87, second, nullptr), SResult(0));
    EXPECT_EQ(Text(second), Text(first)) << "the second ProgramData index";

    const std::wstring folder = std::filesystem::temp_directory_path().wstring() + L"lumerelx-folders-" +
                                std::to_wstring(GetCurrentProcessId());
    const std::wstring allUsers = _wgetenv(L"ALLUSERSPROFILE"), appData = _wgetenv(L"APPDATA");
    SetEnvironmentVariableW(L"ALLUSERSPROFILE", folder.c_str());
    SetEnvironmentVariableW(L"APPDATA", (folder + L"\\Roaming").c_str());
    EXPECT_EQ(S::GetFolderPath(87, second, nullptr), SResult(0));
    EXPECT_EQ(Text(second), folder);
    const std::pair<unsigned, std::wstring> rows[] = {
        {61, folder + L"\\Documents\\My Music\\Sample Music"},
        {62, folder + L"\\Documents\\My Pictures\\Sample Pictures"},
        {72, folder + L"\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"},
    };
    // Nothing there yet, a file of that name, a folder of that name.
    for (const auto& [index, expected] : rows)
    {
        SString path;
        EXPECT_EQ(S::GetFolderPath(index, path, nullptr), SResult(0)) << index;
        EXPECT_EQ(Text(path), expected);
        SHCreateDirectoryExW(nullptr, expected.substr(0, expected.rfind(L'\\')).c_str(), nullptr);
        EXPECT_TRUE(
            S::SHandle(CreateFileW(expected.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
        EXPECT_EQ(S::GetFolderPath(index, path, nullptr), SResult(S::kResultShellBadArgument)) << index;
        EXPECT_TRUE(DeleteFileW(expected.c_str()) && CreateDirectoryW(expected.c_str(), nullptr));
        EXPECT_EQ(S::GetFolderPath(index, path, nullptr), SResult(0)) << index;
        EXPECT_EQ(Text(path), expected);
    }
    SetEnvironmentVariableW(L"ALLUSERSPROFILE", allUsers.c_str());
    SetEnvironmentVariableW(L"APPDATA", appData.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
