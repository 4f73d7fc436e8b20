#include "library/system/profile/SUserProfile.h"

#include "process/TokenTestHelpers.h"
#include "system/profile/ProfileTestHelpers.h"

#include <gtest/gtest.h>

#include <optional>
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

// The profile name is the last component of the profile directory, SYSTEM for systemprofile in
// any case.
TEST(UserProfile, AccountProfileNameAndSid)
{
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {nullptr, nullptr},
        {L"systemprofile", L"SYSTEM"},
        {L"SYSTEMPROFILE", L"SYSTEM"},
        {L"sYsTeMpRoFiLe", L"SYSTEM"},
        {L"systemprofiles", L"systemprofiles"},
        {L"alice", L"alice"},
    };
    for (const auto& [accountName, expected] : names)
    {
        // Wine names the account after WINEUSERNAME and its profile directory after the account.
        std::optional<STest::EnvironmentOverride> user;
        if (accountName != nullptr)
            user.emplace(L"WINEUSERNAME", accountName);
        SString account(L"stale"), profile(L"stale"), sid(L"stale");
        ASSERT_TRUE(S::GetCurrentUserProfile(account, profile, sid)) << accountName;
        EXPECT_EQ(Text(account), accountName != nullptr ? accountName : UserName());
        EXPECT_EQ(Text(profile),
                  expected != nullptr ? expected : LastComponent(STest::EnvironmentValue(L"USERPROFILE")));
        EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    }
    EXPECT_FALSE(STest::ThreadImpersonates());
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
