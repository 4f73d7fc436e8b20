#include "library/diagnostics/Log.h"

#include "library/crypto/Sha256.h"

#include "DebugCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>

using namespace S;
using ::testing::_;
using ::testing::Return;

namespace
{

class MockLogger : public ILeveledLogger
{
public:
    MOCK_METHOD(SLogType, GetDefaultType, (), (const, override));
    MOCK_METHOD(bool, IsEnabled, (SLogType type, SLogLevel level, va_list args), (override));
    MOCK_METHOD(void, Write,
                (const wchar_t* component, int32_t data1, int32_t data2, int64_t data64, SLogType type,
                 SLogLevel level, int32_t result, const wchar_t* text),
                (override));
};

// Installs a sink for one test and empties the slot again.
class LoggerSlot
{
public:
    explicit LoggerSlot(ILeveledLogger& logger) { InstallLeveledLogger(&logger); }
    ~LoggerSlot() { InstallLeveledLogger(nullptr); }
};

struct Written
{
    std::wstring component;
    int32_t data1 = 0;
    int32_t data2 = 0;
    int64_t data64 = 0;
    int type = 0;
    int level = 0;
    int32_t result = 0;
    std::wstring text;
};

void Capture(MockLogger& logger, Written& written)
{
    EXPECT_CALL(logger, Write(_, _, _, _, _, _, _, _))
        .WillOnce(
            [&written](const wchar_t* component, int32_t data1, int32_t data2, int64_t data64, SLogType type,
                       SLogLevel level, int32_t result, const wchar_t* text) {
                written = {component, data1, data2, data64, type.GetValue(), level.GetValue(), result, text};
            });
}

class RecordingSink : public ILogRecordSink
{
public:
    void Post(const SLogRecord& record) override
    {
        ++posts;
        last = record;
        if (throwOnPost)
            throw std::runtime_error("sink failure");
    }
    int posts = 0;
    bool throwOnPost = false;
    SLogRecord last;
};

std::wstring TempFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

} // namespace

TEST(LogFrontEnd, PassesContextResultAndDoubledPercent)
{
    MockLogger logger;
    LoggerSlot slot(logger);
    EXPECT_CALL(logger, IsEnabled(_, _, _)).WillOnce(Return(true));
    Written written;
    Capture(logger, written);
    const SLogContext context{L"ThreadPool", SLogLevel::Warning, SLogType::File, 64, 32, 33};
    const SResult code(0xA0040905u);
    Log(context, &code, L"%s at 100%% of %d%%", L"load%", 7);
    EXPECT_EQ(written.component, L"ThreadPool");
    EXPECT_EQ(written.data1, 32);
    EXPECT_EQ(written.data2, 33);
    EXPECT_EQ(written.data64, 64);
    EXPECT_EQ(written.type, SLogType::File);
    EXPECT_EQ(written.level, SLogLevel::Warning);
    EXPECT_EQ(static_cast<uint32_t>(written.result), 0xA0040905u);
    EXPECT_EQ(written.text, L"load%% at 100%% of 7%%");
}

TEST(LogFrontEnd, ZeroTypeTakesTheLoggersDefaultAndNoResultIsZero)
{
    MockLogger logger;
    LoggerSlot slot(logger);
    EXPECT_CALL(logger, GetDefaultType()).WillOnce(Return(SLogType(SLogType::Remote)));
    EXPECT_CALL(logger, IsEnabled(_, _, _))
        .WillOnce(
            [](SLogType type, SLogLevel level, va_list args)
            {
                // The logger may read the arguments; the front end must still format from the start.
                EXPECT_EQ(va_arg(args, int), 41);
                return type.GetValue() == SLogType::Remote && level.GetValue() == SLogLevel::Debug;
            });
    Written written;
    Capture(logger, written);
    Log(SLogContext{L"Service", SLogLevel::Debug, SLogType::None}, L"value %d", 41);
    EXPECT_EQ(written.type, SLogType::Remote);
    EXPECT_EQ(written.result, 0);
    EXPECT_EQ(written.text, L"value 41");
}

TEST(LogFrontEnd, DisabledLevelWritesNothingAndExceptionsStayInside)
{
    MockLogger logger;
    LoggerSlot slot(logger);
    EXPECT_CALL(logger, IsEnabled(_, _, _)).WillOnce(Return(false));
    EXPECT_CALL(logger, Write(_, _, _, _, _, _, _, _)).Times(0);
    Log(SLogContext{L"x", SLogLevel::Trace, SLogType::Trace}, L"hidden");

    MockLogger throwing;
    InstallLeveledLogger(&throwing);
    EXPECT_CALL(throwing, IsEnabled(_, _, _)).WillOnce(Return(true));
    EXPECT_CALL(throwing, Write(_, _, _, _, _, _, _, _))
        .WillOnce([](auto...) { throw std::runtime_error("x"); });
    EXPECT_NO_THROW(Log(SLogContext{L"x", SLogLevel::Error, SLogType::Trace}, L"thrown"));
}

TEST(LogFrontEnd, MessageIsCutAt1023CharactersBeforeEscaping)
{
    MockLogger logger;
    LoggerSlot slot(logger);
    EXPECT_CALL(logger, IsEnabled(_, _, _)).WillOnce(Return(true));
    Written written;
    Capture(logger, written);
    const std::wstring percents(1500, L'%');
    Log(SLogContext{L"x", SLogLevel::Error, SLogType::Trace}, L"%s", percents.c_str());
    // 1,023 characters, each doubled: 2,046 still fit the escaped text.
    EXPECT_EQ(written.text, std::wstring(2046, L'%'));
}

TEST(EscapeLogPercent, KeepsWithin2047Characters)
{
    wchar_t out[LogEscapedTextSize];
    EXPECT_EQ(EscapeLogPercent(L"a%b", out), 4u);
    EXPECT_STREQ(out, L"a%%b");
    EXPECT_EQ(EscapeLogPercent(L"", out), 0u);
    EXPECT_STREQ(out, L"");

    // 1,100 signs: 1,023 doubled pairs fill 2,046 places, the next sign stays single.
    const std::wstring percents(1100, L'%');
    EXPECT_EQ(EscapeLogPercent(percents.c_str(), out), 2047u);
    EXPECT_EQ(std::wstring(out), std::wstring(2047, L'%'));

    // Plain text beyond the limit is cut.
    const std::wstring letters(3000, L'a');
    EXPECT_EQ(EscapeLogPercent(letters.c_str(), out), 2047u);
    EXPECT_EQ(std::wstring(out), std::wstring(2047, L'a'));

    // A sign at the last place: its second half is dropped.
    std::wstring mixed(2046, L'a');
    mixed += L"%b";
    EXPECT_EQ(EscapeLogPercent(mixed.c_str(), out), 2047u);
    EXPECT_EQ(out[2046], L'%');
}

TEST(LogRecord, PostsAWholeRecordAndSwallowsSinkFailures)
{
    RecordingSink sink;
    InstallLogRecordSink(&sink);
    LogRecord(L"record %s %d", L"text", 5);
    sink.throwOnPost = true;
    EXPECT_NO_THROW(LogRecord(L"second"));
    InstallLogRecordSink(nullptr);
    LogRecord(L"after removal");

    EXPECT_EQ(sink.posts, 2);
    const SLogRecord& record = sink.last;
    EXPECT_STREQ(record.tag.c_str(), L"LOG");
    EXPECT_EQ(record.data, 0);
    EXPECT_STREQ(record.message.c_str(), L"second");
    EXPECT_EQ(record.source.GetValue(), SLogSource::Client);
    EXPECT_EQ(record.level.GetValue(), SLogLevel::Error);
    EXPECT_EQ(record.type.GetValue(), SLogType::EventLog);
    EXPECT_EQ(record.threadId, GetCurrentThreadId());
    EXPECT_EQ(record.data1, -1);
    EXPECT_EQ(record.data2, -2);
    EXPECT_EQ(record.identity.processId, GetCurrentProcessId());
    // The process token's account, as the system names it.
    wchar_t user[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    EXPECT_STREQ(record.identity.user.c_str(), user);
    EXPECT_FALSE(record.identity.domain.IsEmpty());
    // The account travels hashed as well: SHA-256 of the ANSI text "domain\user".
    std::string account;
    for (const wchar_t* part : {record.identity.domain.c_str(), L"\\", static_cast<const wchar_t*>(user)})
        for (; *part != L'\0'; ++part)
            account += static_cast<char>(*part); // the test account's names are ASCII
    uint8_t digest[Sha256DigestSize];
    Sha256(account.data(), account.size(), digest);
    char hex[2 * Sha256DigestSize + 1];
    Sha256ToHex(digest, hex);
    EXPECT_EQ(std::wstring(record.identity.accountHash.c_str()), std::wstring(hex, hex + 64));
    EXPECT_EQ(&GetLogProcessIdentity(), &GetLogProcessIdentity());
}

TEST(LogFrontEnd, WithoutSinksNothingIsFormattedWrittenOrTraced)
{
    const std::wstring folder = TempFolder(L"lumerelx-nolog-");
    const TestKit::DebugCapture run = TestKit::RunUnderDebugger(L"diagnostics_child.exe", L"nolog", folder);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0], L"child done");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
}

TEST(STraceLog, SendsFormattedTextToTheDebugger)
{
    const TestKit::DebugCapture run = TestKit::RunUnderDebugger(L"diagnostics_child.exe", L"trace");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.messages.size(), 5u);
    EXPECT_EQ(run.messages[0], L"narrow text 7");
    EXPECT_EQ(run.messages[1], L"wide text 8");
    EXPECT_EQ(run.messages[2], std::wstring(1023, L'n'));
    EXPECT_EQ(run.messages[3], std::wstring(1023, L'w'));
    EXPECT_EQ(run.messages[4], L"child done");
}
