#include "library/diagnostics/STraceLog.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace S
{

STraceLog TraceLogInstance;

void STraceLog::TraceV(const char* format, va_list args) const noexcept
{
    char text[TextSize] = {};
    if (format != nullptr)
        _vsnprintf(text, TextSize - 1, format, args);
    text[TextSize - 1] = '\0';
    OutputDebugStringA(text);
}

void STraceLog::TraceV(const wchar_t* format, va_list args) const noexcept
{
    wchar_t text[TextSize] = {};
    if (format != nullptr)
        _vsnwprintf(text, TextSize - 1, format, args);
    text[TextSize - 1] = L'\0';
    OutputDebugStringW(text);
}

void STraceLog::Trace(const char* format, ...) const noexcept
{
    va_list args;
    va_start(args, format);
    TraceV(format, args);
    va_end(args);
}

void STraceLog::Trace(const wchar_t* format, ...) const noexcept
{
    va_list args;
    va_start(args, format);
    TraceV(format, args);
    va_end(args);
}

} // namespace S
