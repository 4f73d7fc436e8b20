// The log front ends: what reaches an installed leveled logger and record sink.
#include "library/crypto/Sha256.h"
#include "library/diagnostics/log/Log.h"
#include "library/diagnostics/log/SLogValues.h"
#include "library/utility/SScopedForTesting.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

using namespace S;

namespace
{

using Written = std::tuple<std::wstring, int32_t, int32_t, int64_t, int, int, uint32_t, std::wstring>;

// Installed in both slots while it lives (then the previous sinks again); records what reaches it.
struct Recorder : ILeveledLogger, ILogRecordSink
{
    SLogType GetDefaultType() const override { return SLogType(SLogType::Remote); }
    bool IsEnabled(SLogType, SLogLevel, va_list) override { return enabled; }
    void Write(const wchar_t* component, int32_t data1, int32_t data2, int64_t data64, SLogType type,
               SLogLevel level, int32_t result, const wchar_t* text) override
    {
        written.emplace_back(component, data1, data2, data64, type, level, result, text);
        if (throws)
            throw std::runtime_error("sink failure");
    }
    void Post(const SLogRecord& posted) override { record = posted; }
    SLogRecord record;
    bool enabled = true, throws = false;
    std::vector<Written> written;
    const SScopedForTesting<ILeveledLogger*> m_Logger{&InstallLeveledLogger, this};
    const SScopedForTesting<ILogRecordSink*> m_RecordSink{&InstallLogRecordSink, this};
};

} // namespace

TEST(LogFrontEnd, PassesContextResultEscapedTextAndIdentityToInstalledSinks)
{
    Recorder logger;
    const SResult code(kResultWaitFailed);
    Log(SLogContext{L"ThreadPool", SLogLevel::Warning, SLogType::File, 64, 32, 33}, &code,
        L"%d%% of %s at 100%%", 7, L"load%");
    // Cut at 1,023 characters before the "%" signs are doubled.
    Log(SLogContext{L"x", SLogLevel::Error, SLogType::Trace}, L"%d%s", 1, std::wstring(1500, L'%').c_str());
    logger.throws = true; // and a zero type takes the logger's default
    EXPECT_NO_THROW(Log(SLogContext{L"Service", SLogLevel::Debug, SLogType::None}, L"value %d", 41));
    logger.enabled = false;
    Log(SLogContext{L"x", SLogLevel::Trace, SLogType::Trace}, L"hidden %d", 5);

    EXPECT_EQ(logger.written,
              (std::vector<Written>{
                  {L"ThreadPool", 32, 33, 64, SLogType::File, SLogLevel::Warning,
                   kResultWaitFailed.Unsigned(), L"7%% of load%% at 100%%"},
                  {L"x", 0, 0, 0, SLogType::Trace, SLogLevel::Error, 0, L"1" + std::wstring(2044, L'%')},
                  {L"Service", 0, 0, 0, SLogType::Remote, SLogLevel::Debug, 0, L"value 41"}}));

    LogRecord(L"record %s %d", L"text", 5);
    const SLogProcessIdentity& identity = logger.record.identity;
    EXPECT_STREQ(logger.record.message.c_str(), L"record text 5");
    EXPECT_EQ(identity.processId, GetCurrentProcessId());
    wchar_t user[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    // SHA-256 of the ANSI text "domain\user"; the test account's names are ASCII.
    const std::wstring wide = std::wstring(identity.domain.c_str()) + L"\\" + user;
    const std::string account(wide.begin(), wide.end());
    uint8_t digest[Sha256DigestSize];
    Sha256(account.data(), account.size(), digest);
    char hex[2 * Sha256DigestSize + 1];
    Sha256ToHex(digest, hex);
    EXPECT_EQ(std::wstring(identity.user.c_str()) + L" " + identity.accountHash.c_str(),
              std::wstring(user) + L" " + std::wstring(hex, hex + 64));

    // The escaping alone: the 2,047-character limit keeps no half-doubled sign.
    const std::wstring cases[][2] = {{std::wstring(1100, L'%'), std::wstring(2047, L'%')},
                                     {std::wstring(3000, L'a'), std::wstring(2047, L'a')}};
    for (const auto& [in, out] : cases)
    {
        wchar_t escaped[LogEscapedTextSize];
        EXPECT_EQ(EscapeLogPercent(in.c_str(), escaped), out.size());
        EXPECT_EQ(escaped, out);
    }
}
