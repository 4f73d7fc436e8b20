#include "library/system/process/SSecurityIdentity.h"

#include "library/system/SHandle.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace S;

TEST(SSecurityIdentity, FormatsSidsInStandardTextFormAndAnUnreadableTokenGivesNoText)
{
    // Authorities that need more than their last four bytes print as twelve hex digits; the others as
    // one big-endian number.
    const std::tuple<SID_IDENTIFIER_AUTHORITY, BYTE, DWORD, const wchar_t*> cases[] = {
        {{{1, 0, 0, 0, 0, 5}}, 1, 7, L"S-1-0x010000000005-7"},
        {{{0, 0xAB, 0, 0, 0, 0}}, 0, 0, L"S-1-0x00ab00000000"},
        {{{0, 0, 0x01, 0x02, 0x03, 0x04}}, 2, 4294967295u, L"S-1-16909060-4294967295-0"}};
    for (auto [authority, count, sub, expected] : cases)
    {
        PSID sid = nullptr;
        ASSERT_TRUE(AllocateAndInitializeSid(&authority, count, sub, 0, 0, 0, 0, 0, 0, 0, &sid));
        EXPECT_STREQ(FormatSid(sid).c_str(), expected);
        FreeSid(sid);
    }
    // An unreadable token leaves the text empty.
    SHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_IMPERSONATE, token.Put()));
    SString text(L"stale");
    EXPECT_TRUE(GetTokenUserSidString(token.Get(), text).Failed());
    EXPECT_TRUE(text.IsEmpty());
}
