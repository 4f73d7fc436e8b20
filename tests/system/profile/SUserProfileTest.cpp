#include "library/system/profile/SUserProfile.h"

#include "system/profile/RecordedProfileSource.h"

#include <gtest/gtest.h>

using namespace STest;

// The real profile directory of the process's user names the profile; the name rules run on
// recorded directories: the last component, SYSTEM for systemprofile in any case, nothing without
// a backslash. A failed read keeps the account and SID found before it.
TEST(UserProfile, AccountProfileNameAndSid)
{
    const std::wstring ownProfile = _wgetenv(L"USERPROFILE");
    const std::tuple<const wchar_t*, SResult, std::wstring, BOOL> rows[] = {
        {nullptr, 0, ownProfile.substr(ownProfile.rfind(L'\\') + 1), TRUE},
        {L"C:\\windows\\system32\\config\\systemprofile", 0, L"SYSTEM", TRUE},
        {L"C:\\x\\sYsTeMpRoFiLe", 0, L"SYSTEM", TRUE},
        {L"C:\\users\\systemprofiles", 0, L"systemprofiles", TRUE},
        {L"C:\\users\\alice\\", 0, L"", TRUE},
        {L"alice", 0, L"", TRUE},
        {L"C:\\users\\alice", Denied, L"", FALSE},
    };
    for (const auto& [directory, read, expected, found] : rows)
    {
        RecordedProfileSource recorded({{read, directory != nullptr ? directory : L""}}, nullptr);
        const S::SScopedForTesting scope(S::SetProfileSourceForTesting,
                                         directory != nullptr ? &recorded : &S::LiveProfileSource());
        SString account(L"stale"), profile(L"stale"), sid(L"stale");
        EXPECT_EQ(S::GetCurrentUserProfile(account, profile, sid), found) << directory;
        EXPECT_EQ(Text(account), UserName);
        EXPECT_EQ(Text(profile), expected) << directory;
        EXPECT_EQ(Text(sid), STest::ProcessUserSid());
    }
}
