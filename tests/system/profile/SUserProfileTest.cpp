#include "library/system/profile/SUserProfile.h"

#include "library/system/profile/SUserEnvironment.h"

#include "process/TokenTestHelpers.h"
#include "system/profile/ProfileTestHelpers.h"

#include <gtest/gtest.h>

#include <string>

using S::SString;

namespace
{

std::wstring Text(const SString& text)
{
    return {text.c_str(), text.GetLength()};
}

std::wstring LastComponent(const std::wstring& path)
{
    return path.substr(path.find_last_of(L'\\') + 1);
}

std::wstring UserName()
{
    wchar_t name[256];
    DWORD size = 256;
    return GetUserNameW(name, &size) ? std::wstring(name) : std::wstring();
}

// Wine names the account after WINEUSERNAME and puts its profile directory below the profiles
// folder under that name, so the variable picks the last component of the profile directory.
class AccountNameOverride
{
public:
    explicit AccountNameOverride(const wchar_t* name) : m_Override(L"WINEUSERNAME", name) {}

private:
    STest::EnvironmentOverride m_Override;
};

// Redirects HKEY_LOCAL_MACHINE of this process to a key that holds the computer name and no
// profile list: accounts can still be looked up, profile directories cannot be found.
class ProfileListHidden
{
public:
    ProfileListHidden()
    {
        wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        GetComputerNameW(computer, &size);
        RegCreateKeyExW(HKEY_CURRENT_USER, m_Sandbox.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_Key,
                        nullptr);
        for (const wchar_t* name : {L"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                    L"System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName"})
        {
            HKEY key = nullptr;
            RegCreateKeyExW(m_Key, name, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
            RegSetValueExW(key, L"ComputerName", 0, REG_SZ, reinterpret_cast<const BYTE*>(computer),
                           (size + 1) * sizeof(wchar_t));
            RegCloseKey(key);
        }
        m_Redirected = RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_Key) == ERROR_SUCCESS;
    }
    ProfileListHidden(const ProfileListHidden&) = delete;
    ProfileListHidden& operator=(const ProfileListHidden&) = delete;
    ~ProfileListHidden()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(m_Key);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_Sandbox.c_str());
    }
    bool IsRedirected() const { return m_Redirected; }

private:
    std::wstring m_Sandbox = L"Software\\LumerelxTests\\NoProfiles-" + std::to_wstring(GetCurrentProcessId());
    HKEY m_Key = nullptr;
    bool m_Redirected = false;
};

} // namespace

TEST(UserProfile, ProcessUsersAccountProfileAndSid)
{
    SString account(L"stale");
    SString profile(L"stale");
    SString sid(L"stale");
    ASSERT_TRUE(S::GetCurrentUserProfile(account, profile, sid));
    EXPECT_EQ(Text(account), UserName());
    EXPECT_EQ(Text(profile), LastComponent(STest::EnvironmentValue(L"USERPROFILE")));
    EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    EXPECT_FALSE(STest::ThreadImpersonates());
}

TEST(UserProfile, ProfileNameIsTheLastComponentAndSystemProfileIsSystem)
{
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"systemprofile", L"SYSTEM"}, {L"SystemProfile", L"SYSTEM"},          {L"SYSTEMPROFILE", L"SYSTEM"},
        {L"sYsTeMpRoFiLe", L"SYSTEM"}, {L"systemprofiles", L"systemprofiles"}, {L"my.system", L"my.system"},
        {L"alice", L"alice"},
    };
    for (const auto& [accountName, expected] : names)
    {
        AccountNameOverride user(accountName);
        SString account;
        SString profile;
        SString sid;
        ASSERT_TRUE(S::GetCurrentUserProfile(account, profile, sid)) << accountName;
        EXPECT_EQ(Text(account), accountName);
        EXPECT_EQ(Text(profile), expected) << accountName;
    }
}

TEST(UserProfile, TokenWithoutProfileFailsCleanly)
{
    SString account;
    SString profile(L"stale");
    SString sid;
    BOOL found = TRUE;
    {
        ProfileListHidden hidden;
        ASSERT_TRUE(hidden.IsRedirected());
        found = S::GetCurrentUserProfile(account, profile, sid);
    }
    EXPECT_FALSE(found);
    EXPECT_TRUE(profile.IsEmpty());
    EXPECT_EQ(Text(account), UserName()) << "what was found before the failing step stays";
    EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    EXPECT_FALSE(STest::ThreadImpersonates());
}

// With a token the expansion asks the system for the token user's environment, which under Wine
// is the process's; a buffer too small is doubled (with a token) or replaced by one of the needed
// size and 32 characters more (without).
TEST(UserEnvironment, ExpandsWithAndWithoutTokenGrowingSmallBuffers)
{
    const std::wstring longValue(600, L'v');
    STest::EnvironmentOverride variable(L"LUMERELX_TEST_LONG", longValue.c_str());
    const S::SHandle token = STest::DuplicateProcessToken();
    for (const HANDLE user : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, token.Get()})
    {
        S::SBufferT<wchar_t> buffer;
        S::SResult result;
        ASSERT_EQ(buffer.Resize(result, 4, false), S::SResult(0));
        SString output(L"stale");
        EXPECT_TRUE(S::ExpandEnvironmentForUser(SString(L"[%LUMERELX_TEST_LONG%|%LUMERELX_UNSET%]"), buffer,
                                                output, user));
        EXPECT_EQ(Text(output), L"[" + longValue + L"|%LUMERELX_UNSET%]");
        EXPECT_EQ(buffer.GetCount(), user == token.Get() ? 1024u : 620u + 32u);
        EXPECT_TRUE(S::ExpandEnvironmentForUser(SString(L"%USERPROFILE%"), buffer, output, user));
        EXPECT_EQ(Text(output), STest::EnvironmentValue(L"USERPROFILE"));
        EXPECT_TRUE(S::ExpandEnvironmentForUser(SString(), buffer, output, user));
        EXPECT_TRUE(output.IsEmpty());
    }
    EXPECT_FALSE(STest::ThreadImpersonates());
}
