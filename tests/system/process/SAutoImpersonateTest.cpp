#include "library/system/process/SAutoImpersonate.h"

#include "common/RecordingLogger.h"
#include "common/TokenTestHelpers.h"

#include <gtest/gtest.h>

using namespace S;

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
    void TearDown() override
    {
        EXPECT_FALSE(STest::ThreadImpersonates()) << "impersonation left behind";
        RevertToSelf();
    }
};

} // namespace

TEST_F(AutoImpersonate, BorrowedTokensLastForTheScopeAndStayOpenAndFailuresAreLogged)
{
    const SHandle token = STest::DuplicateProcessToken();
    ASSERT_TRUE(token);
    {
        SAutoImpersonate scope(token.Get());
        EXPECT_EQ(scope.GetResult(), SResult(0));
        EXPECT_TRUE(STest::ThreadImpersonates());
    }
    EXPECT_TRUE(HandleIsOpen(token.Get())); // the fixture sees the end of the impersonation

    const SHandle notAToken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    STest::RecordingLogger logger;
    SAutoImpersonate scope;
    SResult result = kResultFail;
    EXPECT_EQ(scope.Impersonate(result, nullptr), SResult(0)) << "a null token does nothing";
    EXPECT_EQ(result, SResult(0));
    EXPECT_EQ(scope.Impersonate(result, notAToken.Get()), kResultAccessDenied);
    EXPECT_EQ(scope.GetToken(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(HandleIsOpen(notAToken.Get()));
    const auto lines = logger.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, SLogLevel::Error);
    EXPECT_EQ(SResult(lines[0].result), kResultAccessDenied);
    // The error number is the system's own: only its place and width are fixed.
    const std::wstring text = L"Auto impersonation: Unable to impersonate user. Error: 0x0000";
    EXPECT_EQ(lines[0].text.rfind(text, 0), 0u) << lines[0].text;
    EXPECT_EQ(lines[0].text.size(), text.size() + 5);
}

TEST_F(AutoImpersonate, InteractiveUserIsTheShellWindowsOwnerWhoseTokenTheObjectOwns)
{
    // Without a shell window the user is not found and the thread stays as it was.
    ASSERT_FALSE(STest::ShellWindowExists()) << "the test needs a desktop without one";
    for (const HANDLE special : InteractiveUser)
    {
        SAutoImpersonate scope;
        SResult result;
        EXPECT_EQ(scope.Impersonate(result, special), kResultInvalidArgument);
        EXPECT_EQ(scope.GetToken(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(scope.IsImpersonating());
        EXPECT_FALSE(STest::ThreadImpersonates());
    }
    SHandle primary;
    EXPECT_TRUE(GetShellUserToken(TokenPrimary, primary).Failed());
    EXPECT_EQ(primary.Get(), nullptr);

    const auto shell = STest::MakeShellWindow();
    ASSERT_TRUE(STest::ShellWindowExists());
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
    ASSERT_EQ(GetShellUserToken(TokenPrimary, primary), SResult(0));
    EXPECT_EQ(STest::TokenUserSid(primary.Get()), STest::ProcessUserSid());
}
