// The log front end every component reports through. A call names its component, level and log
// type (the log context), optionally the result code that goes with the message, and a wide
// printf-style format ("%s" takes wide text) with its arguments.
//
// Three process-wide slots hold the sinks: a leveled logger, a record sink and a file sink. They
// start empty and the agent never fills them, so a call returns after testing its slot.
// Thread-safety: every front end may be called from any thread; none takes a lock of its own
// (the file sink serialises its writers). A sink must stay alive while installed and until calls
// in flight have returned. No front end ever throws: anything raised inside is discarded.
// Failure contract: a message that no slot takes, or whose sink fails, is dropped without a trace.
#pragma once

#include "library/diagnostics/log/SLogValues.h"
#include "library/diagnostics/SResult.h"
#include "library/utility/SString.h"

#include <windows.h>

#include <cstdarg>
#include <cstdint>

namespace S
{

// Built by the caller on its stack; the three data fields are passed to the sink unchanged.
struct SLogContext
{
    const wchar_t* component = L"";
    SLogLevel level;
    SLogType type; // 0: the logger's default type
    int64_t data64 = 0;
    int32_t data1 = 0;
    int32_t data2 = 0;
};

// The leveled logger's slot interface.
class ILeveledLogger
{
public:
    virtual ~ILeveledLogger() = default;
    virtual SLogType GetDefaultType() const = 0;
    // `args` are the message's arguments; the logger may read a copy of them.
    virtual bool IsEnabled(SLogType type, SLogLevel level, va_list args) = 0;
    // `text` has every "%" doubled, so it may be used as a format again.
    virtual void Write(const wchar_t* component, int32_t data1, int32_t data2, int64_t data64, SLogType type,
                       SLogLevel level, int32_t result, const wchar_t* text) = 0;
};

// Who logs: computed once per process.
struct SLogProcessIdentity
{
    DWORD processId = 0;
    SString domain; // "<unspecified>" when the account cannot be looked up
    SString user;
    // SHA-256 of "domain\user" in the ANSI code page, as 64 upper-case hexadecimal digits: the
    // account in a form that can be compared without being read.
    SString accountHash;
};

// The unit the record sink receives.
struct SLogRecord
{
    SString tag{L"LOG"};
    int32_t data = 0;
    SString message;
    SLogSource source{SLogSource::Client};
    SLogLevel level{SLogLevel::Error};
    SLogType type{SLogType::EventLog};
    DWORD threadId = 0;
    int32_t data1 = -1;
    int32_t data2 = -2;
    SLogProcessIdentity identity;
};

class ILogRecordSink
{
public:
    virtual ~ILogRecordSink() = default;
    virtual void Post(const SLogRecord& record) = 0;
};

// The file sink's slot interface (SFileLogSink is the library's implementation).
class IFileLogSink
{
public:
    virtual ~IFileLogSink() = default;
    // The level mask that decides whether "Debug" lines are written.
    virtual int GetLevelMask() const noexcept = 0;
    // Writes one line at the level text ("Error" or "Debug"); never throws.
    virtual void WriteLine(const wchar_t* levelText, const SString& message) noexcept = 0;
};

// Slot installation; each returns the sink it replaces. Passing null empties the slot.
ILeveledLogger* InstallLeveledLogger(ILeveledLogger* logger) noexcept;
ILogRecordSink* InstallLogRecordSink(ILogRecordSink* sink) noexcept;
IFileLogSink* InstallFileLogSink(IFileLogSink* sink) noexcept;

// Leveled logger route; `result` is the code that goes with the message (0 when not given).
void Log(const SLogContext& context, const SResult* result, const wchar_t* format, ...) noexcept;
void Log(const SLogContext& context, const wchar_t* format, ...) noexcept;
void LogV(const SLogContext& context, const SResult* result, const wchar_t* format, va_list args) noexcept;

// Record route: the message travels as a log record ("LOG", "CLNT", level Error, Event_log).
void LogRecord(const wchar_t* format, ...) noexcept;
void LogRecordV(const wchar_t* format, va_list args) noexcept;

// File route: "Error" lines whenever a file sink is installed; "Debug" lines only when the
// sink's level mask holds both bits of Debug.
void LogError(const wchar_t* format, ...) noexcept;
void LogDebug(const wchar_t* format, ...) noexcept;

// The process identity that log records carry.
const SLogProcessIdentity& GetLogProcessIdentity();

// Size of the leveled logger's escaped text, terminator included.
inline constexpr size_t LogEscapedTextSize = 2048;

// Copies `text` doubling every "%" into at most LogEscapedTextSize - 1 characters: a character
// that does not fit is dropped, a doubled "%" whose second half does not fit stays single.
// Returns the length written.
size_t EscapeLogPercent(const wchar_t* text, wchar_t (&out)[LogEscapedTextSize]) noexcept;

} // namespace S
