#include "library/diagnostics/Log.h"
#include "library/diagnostics/SAssert.h"

#include "library/crypto/Sha256.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

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

// Installs a logger for one test and empties the slot again.
struct LoggerSlot
{
    explicit LoggerSlot(ILeveledLogger& logger) { InstallLeveledLogger(&logger); }
    ~LoggerSlot() { InstallLeveledLogger(nullptr); }
};

std::wstring Report(const wchar_t* file, int line, const wchar_t* format, ...)
{
    wchar_t report[AssertionTextSize];
    va_list args;
    va_start(args, format);
    const size_t length = FormatAssertionReport(report, file, line, format, args);
    va_end(args);
    EXPECT_EQ(length, std::wstring(report).size());
    return report;
}

} // namespace

TEST(LogFrontEnd, PassesContextResultAndDoubledPercentCutAt1023Characters)
{
    MockLogger logger;
    LoggerSlot slot(logger);
    EXPECT_CALL(logger, IsEnabled(_, _, _)).Times(2).WillRepeatedly(Return(true));
    std::wstring text;
    EXPECT_CALL(logger, Write(_, _, _, _, _, _, _, _))
        .WillOnce(
            [&text](const wchar_t* component, int32_t data1, int32_t data2, int64_t data64, SLogType type,
                    SLogLevel level, int32_t result, const wchar_t* message)
            {
                EXPECT_STREQ(component, L"ThreadPool");
                EXPECT_EQ(data1, 32);
                EXPECT_EQ(data2, 33);
                EXPECT_EQ(data64, 64);
                EXPECT_EQ(type.GetValue(), SLogType::File);
                EXPECT_EQ(level.GetValue(), SLogLevel::Warning);
                EXPECT_EQ(static_cast<uint32_t>(result), 0xA0040905u);
                text = message;
            })
        .WillOnce([&text](auto, auto, auto, auto, auto, auto, auto, const wchar_t* message)
                  { text = message; });
    const SResult code(0xA0040905u);
    Log(SLogContext{L"ThreadPool", SLogLevel::Warning, SLogType::File, 64, 32, 33}, &code,
        L"%s at 100%% of %d%%", L"load%", 7);
    EXPECT_EQ(text, L"load%% at 100%% of 7%%");
    // 1,023 characters, each doubled: 2,046 still fit the escaped text.
    Log(SLogContext{L"x", SLogLevel::Error, SLogType::Trace}, L"%s", std::wstring(1500, L'%').c_str());
    EXPECT_EQ(text, std::wstring(2046, L'%'));
}

TEST(LogFrontEnd, ZeroTypeTakesTheDefaultAndDisabledOrThrowingLoggersWriteNothing)
{
    MockLogger logger;
    LoggerSlot slot(logger);
    EXPECT_CALL(logger, GetDefaultType()).WillOnce(Return(SLogType(SLogType::Remote)));
    EXPECT_CALL(logger, IsEnabled(_, _, _))
        .WillOnce(
            [](SLogType type, SLogLevel, va_list args)
            {
                // The logger may read the arguments; the front end must still format from the start.
                EXPECT_EQ(va_arg(args, int), 41);
                return type.GetValue() == SLogType::Remote;
            })
        .WillOnce(Return(false));
    EXPECT_CALL(logger, Write(_, _, _, _, _, _, 0, testing::StrEq(L"value 41")))
        .WillOnce(
            [](auto, auto, auto, auto, SLogType type, auto...)
            {
                EXPECT_EQ(type.GetValue(), SLogType::Remote);
                throw std::runtime_error("sink failure");
            });
    EXPECT_NO_THROW(Log(SLogContext{L"Service", SLogLevel::Debug, SLogType::None}, L"value %d", 41));
    Log(SLogContext{L"x", SLogLevel::Trace, SLogType::Trace}, L"hidden");
}

TEST(EscapeLogPercent, KeepsWithin2047Characters)
{
    wchar_t out[LogEscapedTextSize];
    EXPECT_EQ(EscapeLogPercent(L"a%b", out), 4u);
    EXPECT_STREQ(out, L"a%%b");
    // 1,100 signs: 1,023 doubled pairs fill 2,046 places, the next sign stays single.
    EXPECT_EQ(EscapeLogPercent(std::wstring(1100, L'%').c_str(), out), 2047u);
    EXPECT_EQ(std::wstring(out), std::wstring(2047, L'%'));
    EXPECT_EQ(EscapeLogPercent(std::wstring(3000, L'a').c_str(), out), 2047u);
    EXPECT_EQ(std::wstring(out), std::wstring(2047, L'a'));
}

TEST(LogRecord, PostsAWholeRecordWithTheHashedAccount)
{
    struct : ILogRecordSink
    {
        void Post(const SLogRecord& posted) override { record = posted; }
        SLogRecord record;
    } sink;
    InstallLogRecordSink(&sink);
    LogRecord(L"record %s %d", L"text", 5);
    InstallLogRecordSink(nullptr);
    const SLogRecord& record = sink.record;
    EXPECT_STREQ(record.tag.c_str(), L"LOG");
    EXPECT_STREQ(record.message.c_str(), L"record text 5");
    EXPECT_EQ(record.level.GetValue(), SLogLevel::Error);
    EXPECT_EQ(record.type.GetValue(), SLogType::EventLog);
    EXPECT_EQ(record.threadId, GetCurrentThreadId());
    EXPECT_EQ(record.identity.processId, GetCurrentProcessId());
    wchar_t user[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    EXPECT_STREQ(record.identity.user.c_str(), user);
    // SHA-256 of the ANSI text "domain\user"; the test account's names are ASCII.
    const std::wstring wide = std::wstring(record.identity.domain.c_str()) + L"\\" + user;
    const std::string account(wide.begin(), wide.end());
    uint8_t digest[Sha256DigestSize];
    Sha256(account.data(), account.size(), digest);
    char hex[2 * Sha256DigestSize + 1];
    Sha256ToHex(digest, hex);
    EXPECT_EQ(std::wstring(record.identity.accountHash.c_str()), std::wstring(hex, hex + 64));
}

TEST(ReportAssertion, ComposesProgramFileLineAndExpressionCutAt1023)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    EXPECT_EQ(Report(L"library\\system\\scriticalsection", 25, L"mit->Next(). Message:\n%s %d", L"Failed", 7),
              std::wstring(L"Assertion Failed!\n\nProgram: ") + program +
                  L"\n\nFile: library\\system\\scriticalsection\nLine: 25\n\n"
                  L"Expression: mit->Next(). Message:\nFailed 7\n");
    const std::wstring cut = Report(L"f", 1, L"%s", std::wstring(3000, L'x').c_str());
    EXPECT_EQ(cut.size(), AssertionTextSize - 1);
    EXPECT_EQ(cut.back(), L'x');
}
