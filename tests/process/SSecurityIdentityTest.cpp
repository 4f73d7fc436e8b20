#include "library/system/process/SSecurityIdentity.h"

#include <gtest/gtest.h>

using namespace S;

namespace
{

struct SidCase
{
    SID_IDENTIFIER_AUTHORITY authority;
    BYTE count;
    DWORD sub[3];
    const wchar_t* expected;
};

} // namespace

TEST(SSecurityIdentity, FormatsSidsInStandardTextForm)
{
    const SidCase cases[] = {
        {SECURITY_NT_AUTHORITY, 1, {18, 0, 0}, L"S-1-5-18"},
        {SECURITY_NT_AUTHORITY, 2, {32, 544, 0}, L"S-1-5-32-544"},
        {SECURITY_WORLD_SID_AUTHORITY, 1, {0, 0, 0}, L"S-1-1-0"},
        // Authority values that need more than the last four bytes print as twelve hex digits.
        {{{1, 0, 0, 0, 0, 5}}, 1, {7, 0, 0}, L"S-1-0x010000000005-7"},
        {{{0, 0xAB, 0, 0, 0, 0}}, 0, {0, 0, 0}, L"S-1-0x00ab00000000"},
        // Four bytes taken as one big-endian number.
        {{{0, 0, 0x01, 0x02, 0x03, 0x04}}, 3, {1, 4294967295u, 0}, L"S-1-16909060-1-4294967295-0"},
    };
    for (const SidCase& c : cases)
    {
        PSID sid = nullptr;
        SID_IDENTIFIER_AUTHORITY authority = c.authority;
        ASSERT_TRUE(
            AllocateAndInitializeSid(&authority, c.count, c.sub[0], c.sub[1], c.sub[2], 0, 0, 0, 0, 0, &sid));
        EXPECT_STREQ(FormatSid(sid).c_str(), c.expected);
        FreeSid(sid);
    }
}

TEST(SSecurityIdentity, ReadsTheProcessTokensUser)
{
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    SString text(L"stale");
    EXPECT_EQ(GetTokenUserSidString(token, text).Code(), 0);
    CloseHandle(token);
    EXPECT_TRUE(text.StartsWith(SString(L"S-1-5-21-"), 0, nullptr)) << text.c_str();

    // A token without TOKEN_QUERY cannot be read: the text is left empty.
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_IMPERSONATE, &token));
    EXPECT_TRUE(GetTokenUserSidString(token, text).Failed());
    EXPECT_TRUE(text.IsEmpty());
    CloseHandle(token);
}
