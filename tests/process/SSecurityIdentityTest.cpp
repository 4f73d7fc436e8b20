#include "library/system/process/SSecurityIdentity.h"

#include "library/system/SHandle.h"

#include <gtest/gtest.h>

using namespace S;

TEST(SSecurityIdentity, FormatsSidsInStandardTextForm)
{
    const struct
    {
        SID_IDENTIFIER_AUTHORITY authority;
        BYTE count;
        DWORD sub[3];
        const wchar_t* expected;
    } cases[] = {
        // Authority values that need more than the last four bytes print as twelve hex digits.
        {{{1, 0, 0, 0, 0, 5}}, 1, {7, 0, 0}, L"S-1-0x010000000005-7"},
        {{{0, 0xAB, 0, 0, 0, 0}}, 0, {0, 0, 0}, L"S-1-0x00ab00000000"},
        // Four bytes taken as one big-endian number.
        {{{0, 0, 0x01, 0x02, 0x03, 0x04}}, 3, {1, 4294967295u, 0}, L"S-1-16909060-1-4294967295-0"},
    };
    for (const auto& c : cases)
    {
        PSID sid = nullptr;
        SID_IDENTIFIER_AUTHORITY authority = c.authority;
        ASSERT_TRUE(
            AllocateAndInitializeSid(&authority, c.count, c.sub[0], c.sub[1], c.sub[2], 0, 0, 0, 0, 0, &sid));
        EXPECT_STREQ(FormatSid(sid).c_str(), c.expected);
        FreeSid(sid);
    }
}

// The readable case is covered by the profile tests, against the system's own conversion.
TEST(SSecurityIdentity, UnreadableTokenLeavesTheTextEmpty)
{
    SHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_IMPERSONATE, token.Put()));
    SString text(L"stale");
    EXPECT_TRUE(GetTokenUserSidString(token.Get(), text).Failed());
    EXPECT_TRUE(text.IsEmpty());
}
