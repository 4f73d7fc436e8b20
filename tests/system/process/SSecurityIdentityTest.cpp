#include "library/system/process/SSecurityIdentity.h"

#include "library/system/SHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

using namespace S;

// The readable token case is covered by the profile tests, against the system's own conversion.
TEST(SSecurityIdentity, SidTextFormsAndUnreadableToken)
{
    // authority bytes, sub-authorities, text
    const std::tuple<std::array<BYTE, 6>, std::vector<DWORD>, const wchar_t*> sids[] = {
        {{0, 0, 0, 0, 0, 5}, {18}, L"S-1-5-18"}, // the system account
        {{0, 0, 0, 0, 0, 5}, {21, 4294967295u, 0, 1000}, L"S-1-5-21-4294967295-0-1000"},
        {{0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, {}, L"S-1-4294967295"}, // the widest decimal authority
        {{0, 1, 0, 0, 0, 0}, {7}, L"S-1-0x000100000000-7"},
        {{0xAB, 0, 0x0C, 0, 0, 0xFF}, {1, 2}, L"S-1-0xab000c0000ff-1-2"},
    };
    for (const auto& [authorityBytes, subs, text] : sids)
    {
        SID_IDENTIFIER_AUTHORITY authority{};
        std::copy(authorityBytes.begin(), authorityBytes.end(), authority.Value);
        DWORD sub[8] = {};
        std::copy(subs.begin(), subs.end(), sub);
        PSID sid = nullptr;
        ASSERT_TRUE(AllocateAndInitializeSid(&authority, static_cast<BYTE>(subs.size()), sub[0], sub[1],
                                             sub[2], sub[3], sub[4], sub[5], sub[6], sub[7], &sid));
        EXPECT_STREQ(FormatSid(sid).c_str(), text);
        FreeSid(sid);
    }

    SHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_IMPERSONATE, token.Put()));
    SString text(L"stale");
    EXPECT_TRUE(GetTokenUserSidString(token.Get(), text).Failed());
    EXPECT_TRUE(text.IsEmpty());
}
