#include "library/diagnostics/crash/SCrashSupport.h"

#include "library/diagnostics/SFixedText.h"

namespace S
{

void AnnounceToDebugger(const wchar_t* text) noexcept
{
    OutputDebugStringW(text);
}

void AnnounceToDebuggerFormat(const wchar_t* format, ...) noexcept
{
    SFixedTextW<1023> text;
    va_list arguments;
    va_start(arguments, format);
    text.FormatV(format, arguments);
    va_end(arguments);
    AnnounceToDebugger(text.Get());
}

SYSTEMTIME CurrentUtcTime() noexcept
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return now;
}

size_t GetExecutablePath(wchar_t (&buffer)[MAX_PATH]) noexcept
{
    // A path that does not fit comes back cut, with the buffer's size as its length.
    return GetModuleFileNameW(nullptr, buffer, MAX_PATH);
}

} // namespace S
