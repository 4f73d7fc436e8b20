#include "library/system/process/SSecurityIdentity.h"

#include "library/system/SHandle.h"

#include <gtest/gtest.h>

using namespace S;

// The readable case is covered by the profile tests, against the system's own conversion.
TEST(SSecurityIdentity, UnreadableTokenLeavesTheTextEmpty)
{
    SHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_IMPERSONATE, token.Put()));
    SString text(L"stale");
    EXPECT_TRUE(GetTokenUserSidString(token.Get(), text).Failed());
    EXPECT_TRUE(text.IsEmpty());
}
