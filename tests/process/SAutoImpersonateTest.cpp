#include "library/system/process/SAutoImpersonate.h"

#include "process/RecordingLogger.h"
#include "process/TokenTestHelpers.h"

#include <gtest/gtest.h>

using S::SAutoImpersonate;
using S::SHandle;
using S::SResult;

namespace
{

const HANDLE NoToken = INVALID_HANDLE_VALUE;
const HANDLE InteractiveUsers[] = {INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(-2)};

bool HandleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

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

TEST_F(AutoImpersonate, BorrowedTokenIsImpersonatedForTheScopeAndNotClosed)
{
    const SHandle token = STest::DuplicateProcessToken();
    ASSERT_TRUE(token);
    {
        SAutoImpersonate scope(token.Get());
        EXPECT_EQ(scope.GetResult(), SResult(0));
        EXPECT_TRUE(scope.IsImpersonating());
        EXPECT_EQ(scope.GetToken(), token.Get());
        EXPECT_TRUE(STest::ThreadImpersonates());
    }
    EXPECT_FALSE(STest::ThreadImpersonates());
    EXPECT_TRUE(HandleIsOpen(token.Get()));
}

TEST_F(AutoImpersonate, NullTokenDoesNothing)
{
    SAutoImpersonate scope;
    SResult result = 0x80004005u;
    EXPECT_EQ(scope.Impersonate(result, nullptr), SResult(0));
    EXPECT_EQ(result, SResult(0));
    EXPECT_FALSE(scope.IsImpersonating());
    EXPECT_FALSE(STest::ThreadImpersonates());
}

TEST_F(AutoImpersonate, WithoutShellWindowTheInteractiveUserIsNotFoundAndTheThreadIsUnchanged)
{
    for (const HANDLE special : InteractiveUsers)
    {
        SAutoImpersonate scope;
        SResult result;
        EXPECT_EQ(scope.Impersonate(result, special), SResult(0x80070057u));
        EXPECT_EQ(result, SResult(0x80070057u));
        EXPECT_EQ(scope.GetResult(), SResult(0x80070057u));
        EXPECT_EQ(scope.GetToken(), NoToken);
        EXPECT_FALSE(scope.IsImpersonating());
        SetLastError(0);
        SHandle threadToken;
        EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, threadToken.Put()));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    }
}

TEST_F(AutoImpersonate, ShellWindowGivesTheInteractiveUsersTokenWhichTheObjectOwns)
{
    STest::ShellWindow shell;
    ASSERT_TRUE(shell.IsFound());
    for (const HANDLE special : InteractiveUsers)
    {
        HANDLE owned = nullptr;
        {
            SAutoImpersonate scope(special);
            ASSERT_EQ(scope.GetResult(), SResult(0));
            EXPECT_TRUE(scope.IsImpersonating());
            owned = scope.GetToken();
            EXPECT_TRUE(SHandle::IsValid(owned));
            SHandle threadToken;
            ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, threadToken.Put()));
            EXPECT_EQ(STest::TokenUserSid(threadToken.Get()), STest::ProcessUserSid());
        }
        EXPECT_FALSE(STest::ThreadImpersonates());
        EXPECT_FALSE(HandleIsOpen(owned)) << "the owned shell token must be closed";
    }
}

TEST_F(AutoImpersonate, FailedImpersonationIsAccessDeniedAndLeavesBorrowedHandleOpen)
{
    const SHandle notAToken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(notAToken);
    STest::RecordingLogger logger;
    SAutoImpersonate scope;
    SResult result;
    EXPECT_EQ(scope.Impersonate(result, notAToken.Get()), SResult(0x80070005u));
    ASSERT_EQ(logger.lines.size(), 1u);
    EXPECT_EQ(logger.lines[0].level, S::SLogLevel::Error);
    EXPECT_EQ(static_cast<uint32_t>(logger.lines[0].result), 0x80070005u);
    EXPECT_EQ(logger.lines[0].text.rfind(L"Auto impersonation: Unable to impersonate user. Error: 0x0000", 0),
              0u)
        << logger.lines[0].text;
    EXPECT_EQ(logger.lines[0].text.size(),
              std::wstring(L"Auto impersonation: Unable to impersonate user. Error: 0x00000000.").size());
    EXPECT_EQ(scope.GetResult(), SResult(0x80070005u));
    EXPECT_EQ(scope.GetToken(), NoToken);
    EXPECT_FALSE(scope.IsImpersonating());
    EXPECT_FALSE(STest::ThreadImpersonates());
    EXPECT_TRUE(HandleIsOpen(notAToken.Get()));
}

TEST_F(AutoImpersonate, ImpersonatingAgainEndsTheFirstImpersonationAndRevertIsRepeatable)
{
    STest::ShellWindow shell;
    ASSERT_TRUE(shell.IsFound());
    const SHandle token = STest::DuplicateProcessToken();
    SAutoImpersonate scope(INVALID_HANDLE_VALUE);
    const HANDLE owned = scope.GetToken();
    ASSERT_TRUE(scope.IsImpersonating());

    SResult result;
    EXPECT_EQ(scope.Impersonate(result, token.Get()), SResult(0));
    EXPECT_FALSE(HandleIsOpen(owned));
    EXPECT_EQ(scope.GetToken(), token.Get());
    EXPECT_TRUE(STest::ThreadImpersonates());

    EXPECT_EQ(scope.Revert(result), SResult(0));
    EXPECT_FALSE(STest::ThreadImpersonates());
    EXPECT_EQ(scope.GetToken(), NoToken);
    EXPECT_EQ(scope.Revert(result), SResult(0));
    EXPECT_TRUE(HandleIsOpen(token.Get()));
}

TEST(ShellUserToken, MissingShellWindowGivesNoToken)
{
    ASSERT_FALSE(STest::ShellWindowExists());
    SHandle token(reinterpret_cast<HANDLE>(0));
    EXPECT_TRUE(S::GetShellUserToken(TokenImpersonation, token).Failed());
    EXPECT_EQ(token.Get(), nullptr);
}

TEST(ShellUserToken, DuplicatesTheShellProcessTokenAsTheRequestedType)
{
    STest::ShellWindow shell;
    ASSERT_TRUE(shell.IsFound());
    for (const TOKEN_TYPE type : {TokenImpersonation, TokenPrimary})
    {
        SHandle token;
        ASSERT_EQ(S::GetShellUserToken(type, token), SResult(0));
        ASSERT_TRUE(token);
        TOKEN_TYPE actual{};
        DWORD size = 0;
        ASSERT_TRUE(GetTokenInformation(token.Get(), TokenType, &actual, sizeof actual, &size));
        EXPECT_EQ(actual, type);
        if (type == TokenImpersonation)
        {
            SECURITY_IMPERSONATION_LEVEL level{};
            ASSERT_TRUE(
                GetTokenInformation(token.Get(), TokenImpersonationLevel, &level, sizeof level, &size));
            EXPECT_EQ(level, SecurityImpersonation);
        }
        EXPECT_EQ(STest::TokenUserSid(token.Get()), STest::ProcessUserSid());
    }
}
