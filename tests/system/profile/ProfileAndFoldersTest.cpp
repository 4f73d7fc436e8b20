#include "library/system/profile/SFolderTable.h"
#include "library/system/profile/SKnownFolders.h"
#include "library/system/profile/SUserProfile.h"

#include "common/RegistrySandbox.h"
#include "process/TokenTestHelpers.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using S::SResult;
using S::SString;

namespace
{

const auto Text = [](const SString& text) { return std::wstring(text.c_str(), text.GetLength()); };

// The account the process started as.
const std::wstring UserName = _wgetenv(L"USERNAME");

using Lookup = SResult (*)(unsigned, SString&, HANDLE);

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
        EXPECT_EQ(Text(account), accountName != nullptr ? std::wstring(accountName) : UserName);
        EXPECT_EQ(Text(profile), expected);
        EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    }
    SetEnvironmentVariableW(L"WINEUSERNAME", ownUser);
}

TEST(UserProfile, TokenWithoutProfileFailsCleanly)
{
    // HKEY_LOCAL_MACHINE seen as a key with the computer name only: accounts resolve, profiles do not.
    const STest::RegistrySandbox machine;
    const std::wstring computer = _wgetenv(L"COMPUTERNAME");
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
    EXPECT_EQ(Text(account), UserName) << "what was found before the failing step stays";
    EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    EXPECT_FALSE(STest::ThreadImpersonates());
}

// Impersonation failures end the legacy lookup; the current one goes on for the interactive user only.
// Unresolved rows, indices past the table and a virtual folder (E_INVALIDARG) fail and leave no path.
// Every lookup ends the impersonation it started, on every path out of it.
TEST(KnownFolders, FontsFolderAndFailures)
{
    ASSERT_FALSE(STest::ShellWindowExists());
    const std::wstring fonts = _wgetenv(L"SystemRoot") + std::wstring(L"\\Fonts");
    const S::SHandle notAToken(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        token = STest::DuplicateProcessToken();
    const Lookup Vista = &S::GetFolderPathForVista, Legacy = &S::GetFolderPath;
    constexpr uint32_t Unresolved = S::kResultFolderUnresolved, PastTable = S::kFolderIndexCount;
    const std::tuple<Lookup, unsigned, HANDLE, uint32_t> cases[] = {
        {Vista, 11, nullptr, 0},
        {Legacy, 11, nullptr, 0},
        {Legacy, 11, INVALID_HANDLE_VALUE, 0x80070057u},
        {Vista, 11, INVALID_HANDLE_VALUE, 0},
        {Vista, 11, notAToken.Get(), 0x80070005u},
        {Vista, 75, nullptr, Unresolved},
        {Vista, PastTable, nullptr, Unresolved},
        {Legacy, 88, nullptr, Unresolved},
        {Legacy, PastTable, token.Get(), Unresolved},
        {Vista, 0, nullptr, S::kResultShellBadArgument},
    };
    for (const auto& [lookup, index, user, expected] : cases)
    {
        SString path(L"stale");
        EXPECT_EQ(lookup(index, path, user), SResult(expected)) << index << " " << user;
        EXPECT_EQ(_wcsicmp(path.c_str(), expected == 0 ? fonts.c_str() : L""), 0) << Text(path);
        ASSERT_FALSE(STest::ThreadImpersonates()) << index << " " << user;
    }
}
