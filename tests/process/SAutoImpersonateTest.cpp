#include "library/system/process/SAutoImpersonate.h"

#include "process/RecordingLogger.h"
#include "process/TokenTestHelpers.h"

#include <gtest/gtest.h>

using S::SAutoImpersonate;
using S::SHandle;
using S::SResult;

namespace
{

const HANDLE InteractiveUser[] = {INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(-2)};

bool HandleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// No test may leave the thread impersonating.
class AutoImpersonate : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(STest::ThreadImpersonates());
        ASSERT_FALSE(STest::ShellWindowExists()) << "the tests need a desktop without a shell window";
    }
    void TearDown() override
    {
        EXPECT_FALSE(STest::ThreadImpersonates()) << "impersonation left behind";
        RevertToSelf();
    }
};

} // namespace

TEST_F(AutoImpersonate, BorrowedTokenLastsForTheScopeAndStaysOpen)
{
    const SHandle token = STest::DuplicateProcessToken();
    ASSERT_TRUE(token);
    {
        SAutoImpersonate scope(token.Get());
        EXPECT_EQ(scope.GetResult(), SResult(0));
        EXPECT_TRUE(scope.IsImpersonating());
        EXPECT_TRUE(STest::ThreadImpersonates());
    }
    EXPECT_TRUE(HandleIsOpen(token.Get()));
    SAutoImpersonate none;
    SResult result = 0x80004005u;
    EXPECT_EQ(none.Impersonate(result, nullptr), SResult(0)) << "a null token does nothing";
    EXPECT_EQ(result, SResult(0));
    EXPECT_FALSE(STest::ThreadImpersonates());
}

TEST_F(AutoImpersonate, WithoutShellWindowTheInteractiveUserIsNotFoundAndTheThreadIsUnchanged)
{
    for (const HANDLE special : InteractiveUser)
    {
        SAutoImpersonate scope;
        SResult result;
        EXPECT_EQ(scope.Impersonate(result, special), SResult(0x80070057u));
        EXPECT_EQ(scope.GetToken(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(scope.IsImpersonating());
        SHandle threadToken;
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, threadToken.Put()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    }
    SHandle token;
    EXPECT_TRUE(S::GetShellUserToken(TokenImpersonation, token).Failed());
    EXPECT_EQ(token.Get(), nullptr);
}

TEST_F(AutoImpersonate, ShellWindowGivesTheInteractiveUsersTokenWhichTheObjectOwns)
{
    STest::ShellWindow shell;
    ASSERT_TRUE(shell.IsFound());
    const SHandle borrowed = STest::DuplicateProcessToken();
    for (const HANDLE special : InteractiveUser)
    {
        SAutoImpersonate scope(special);
        ASSERT_EQ(scope.GetResult(), SResult(0));
        const HANDLE owned = scope.GetToken();
        SHandle threadToken;
        ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, threadToken.Put()));
        EXPECT_EQ(STest::TokenUserSid(threadToken.Get()), STest::ProcessUserSid());
        // Impersonating again ends the first impersonation and closes the token it owned.
        SResult result;
        EXPECT_EQ(scope.Impersonate(result, borrowed.Get()), SResult(0));
        EXPECT_FALSE(HandleIsOpen(owned));
        EXPECT_EQ(scope.Revert(result), SResult(0));
        EXPECT_FALSE(STest::ThreadImpersonates());
        EXPECT_EQ(scope.Revert(result), SResult(0));
    }
}

TEST_F(AutoImpersonate, FailedImpersonationIsLoggedAccessDenied)
{
    const SHandle notAToken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    STest::RecordingLogger logger;
    SAutoImpersonate scope;
    SResult result;
    EXPECT_EQ(scope.Impersonate(result, notAToken.Get()), SResult(0x80070005u));
    EXPECT_EQ(scope.GetToken(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(HandleIsOpen(notAToken.Get())) << "a borrowed handle is not closed";
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0].level, S::SLogLevel::Error);
    EXPECT_EQ(static_cast<uint32_t>(logger.lines[0].result), 0x80070005u);
    const std::wstring text = logger.lines[0].text;
    EXPECT_EQ(text.rfind(L"Auto impersonation: Unable to impersonate user. Error: 0x0000", 0), 0u) << text;
    EXPECT_EQ(text.size(),
              std::wstring(L"Auto impersonation: Unable to impersonate user. Error: 0x00000000.").size());
}

TEST(ShellUserToken, DuplicatesTheShellProcessTokenAsTheRequestedType)
{
    STest::ShellWindow shell;
    ASSERT_TRUE(shell.IsFound());
    for (const TOKEN_TYPE type : {TokenImpersonation, TokenPrimary})
    {
        SHandle token;
        ASSERT_EQ(S::GetShellUserToken(type, token), SResult(0));
        TOKEN_TYPE actual{};
        DWORD size = 0;
        ASSERT_TRUE(GetTokenInformation(token.Get(), TokenType, &actual, sizeof actual, &size));
        EXPECT_EQ(actual, type);
        EXPECT_EQ(STest::TokenUserSid(token.Get()), STest::ProcessUserSid());
    }
}
