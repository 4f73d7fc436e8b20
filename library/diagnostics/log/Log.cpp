#include "library/diagnostics/log/Log.h"

#include "library/crypto/Sha256.h"
#include "library/system/SHandle.h"
#include "library/utility/SBuffer.h"

#include <atomic>
#include <cwchar>

namespace S
{

namespace
{

// No lock: each slot is read and replaced by one atomic operation.
constinit std::atomic<ILeveledLogger*> LeveledLoggerSlot{nullptr};
constinit std::atomic<ILogRecordSink*> RecordSinkSlot{nullptr};
constinit std::atomic<IFileLogSink*> FileSinkSlot{nullptr};

constexpr size_t MessageSize = 1024;
const wchar_t* const Unspecified = L"<unspecified>";

// Formats into 1,023 characters and a terminator, truncating.
void FormatMessageText(wchar_t (&out)[MessageSize], const wchar_t* format, va_list args) noexcept
{
    out[0] = L'\0';
    if (format != nullptr)
        _vsnwprintf(out, MessageSize - 1, format, args);
    out[MessageSize - 1] = L'\0';
}

SString HashAccount(const SString& domain, const SString& user)
{
    SString account(domain);
    account.Append(L"\\");
    account.Append(user);
    SStringA narrow;
    narrow.Assign(account);
    uint8_t digest[Sha256DigestSize];
    Sha256(narrow.c_str(), narrow.GetLength(), digest);
    char text[2 * Sha256DigestSize + 1];
    Sha256ToHex(digest, text);
    return SString(text);
}

SLogProcessIdentity ReadProcessIdentity()
{
    SLogProcessIdentity identity;
    identity.processId = GetCurrentProcessId();
    identity.domain = Unspecified;
    identity.user = Unspecified;
    identity.accountHash = HashAccount(identity.domain, identity.user);

    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken))
        return identity;
    const SHandle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    SBufferT<unsigned char, 0> buffer;
    SResult resized;
    if (size == 0 || buffer.Resize(resized, size, false).Failed() ||
        !GetTokenInformation(token.Get(), TokenUser, buffer.GetData(), size, &size))
        return identity;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.GetData());
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use{};
    if (LookupAccountSidW(nullptr, user->User.Sid, name, &nameLength, domain, &domainLength, &use))
    {
        identity.user = name;
        identity.domain = domain;
    }
    identity.accountHash = HashAccount(identity.domain, identity.user);
    return identity;
}

void WriteToFileSink(SLogLevel level, const wchar_t* format, va_list args) noexcept
{
    try
    {
        IFileLogSink* sink = FileSinkSlot.load(std::memory_order_acquire);
        if (sink == nullptr)
            return;
        if (level == SLogLevel::Debug && !SLogLevel(SLogLevel::Debug).IsEnabledIn(sink->GetLevelMask()))
            return;
        SString message;
        message.FormatV(format, args);
        sink->WriteLine(level == SLogLevel::Debug ? L"Debug" : L"Error", message);
    }
    catch (...)
    {
    }
}

} // namespace

ILeveledLogger* InstallLeveledLogger(ILeveledLogger* logger) noexcept
{
    return LeveledLoggerSlot.exchange(logger);
}

ILogRecordSink* InstallLogRecordSink(ILogRecordSink* sink) noexcept
{
    return RecordSinkSlot.exchange(sink);
}

IFileLogSink* InstallFileLogSink(IFileLogSink* sink) noexcept
{
    return FileSinkSlot.exchange(sink);
}

size_t EscapeLogPercent(const wchar_t* text, wchar_t (&out)[LogEscapedTextSize]) noexcept
{
    constexpr size_t limit = LogEscapedTextSize - 1;
    size_t length = 0;
    for (; *text != L'\0' && length < limit; ++text)
    {
        out[length++] = *text;
        if (*text == L'%' && length < limit)
            out[length++] = L'%';
    }
    out[length] = L'\0';
    return length;
}

void LogV(const SLogContext& context, const SResult* result, const wchar_t* format, va_list args) noexcept
{
    try
    {
        ILeveledLogger* logger = LeveledLoggerSlot.load(std::memory_order_acquire);
        if (logger == nullptr)
            return;
        const SLogType type = context.type.GetValue() != 0 ? context.type : logger->GetDefaultType();
        va_list probe;
        va_copy(probe, args);
        const bool enabled = logger->IsEnabled(type, context.level, probe);
        va_end(probe);
        if (!enabled)
            return;
        wchar_t message[MessageSize];
        FormatMessageText(message, format, args);
        wchar_t escaped[LogEscapedTextSize];
        EscapeLogPercent(message, escaped);
        logger->Write(context.component, context.data1, context.data2, context.data64, type, context.level,
                      result != nullptr ? result->Code() : 0, escaped);
    }
    catch (...)
    {
    }
}

void Log(const SLogContext& context, const SResult* result, const wchar_t* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    LogV(context, result, format, args);
    va_end(args);
}

void Log(const SLogContext& context, const wchar_t* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    LogV(context, nullptr, format, args);
    va_end(args);
}

const SLogProcessIdentity& GetLogProcessIdentity()
{
    static const SLogProcessIdentity identity = ReadProcessIdentity();
    return identity;
}

void LogRecordV(const wchar_t* format, va_list args) noexcept
{
    try
    {
        ILogRecordSink* sink = RecordSinkSlot.load(std::memory_order_acquire);
        if (sink == nullptr)
            return;
        SLogRecord record;
        record.message.FormatV(format, args);
        record.threadId = GetCurrentThreadId();
        record.identity = GetLogProcessIdentity();
        sink->Post(record);
    }
    catch (...)
    {
    }
}

void LogRecord(const wchar_t* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    LogRecordV(format, args);
    va_end(args);
}

void LogError(const wchar_t* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    WriteToFileSink(SLogLevel::Error, format, args);
    va_end(args);
}

void LogDebug(const wchar_t* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    WriteToFileSink(SLogLevel::Debug, format, args);
    va_end(args);
}

} // namespace S
