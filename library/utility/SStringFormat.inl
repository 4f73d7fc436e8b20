// Part of SString.cpp, which includes it once and instantiates the string types there.
#pragma once

#include "library/utility/SString.h"

#include <cstdio>

namespace S
{

namespace
{

// The runtime library's Microsoft-convention printf family: %s is text of the format's width.
int CountFormatted(const wchar_t* fmt, va_list args)
{
    return _vscwprintf(fmt, args);
}

int CountFormatted(const char* fmt, va_list args)
{
    return _vscprintf(fmt, args);
}
int PrintFormatted(wchar_t* out, size_t size, const wchar_t* fmt, va_list args)
{
    return _vsnwprintf(out, size, fmt, args);
}

int PrintFormatted(char* out, size_t size, const char* fmt, va_list args)
{
    return _vsnprintf(out, size, fmt, args);
}
DWORD FormatMessageFromString(const wchar_t* fmt, wchar_t** buffer, va_list* args)
{
    return ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, fmt, 0, 0,
                            reinterpret_cast<LPWSTR>(buffer), 0, args);
}

DWORD FormatMessageFromString(const char* fmt, char** buffer, va_list* args)
{
    return ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, fmt, 0, 0,
                            reinterpret_cast<LPSTR>(buffer), 0, args);
}

} // namespace

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::FormatInto(const C* fmt, va_list args, bool append)
{
    if (fmt == nullptr)
        return false;
    va_list measure;
    va_copy(measure, args);
    const int count = CountFormatted(fmt, measure);
    va_end(measure);
    if (count < 1)
        return false;
    SBufferT<C, 0> buffer;
    SResult result;
    if (buffer.Resize(result, static_cast<unsigned>(count) + 1, false).Failed())
        return false;
    va_list print;
    va_copy(print, args);
    const int printed = PrintFormatted(buffer.GetData(), buffer.GetCount(), fmt, print);
    va_end(print);
    if (printed < 1)
        return false;
    return append ? AppendNative(buffer.GetData(), SNpos) : AssignNative(buffer.GetData(), SNpos);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::Format(const C* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const bool result = FormatV(fmt, args);
    va_end(args);
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::FormatV(const C* fmt, va_list args)
{
    return FormatInto(fmt, args, false);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::AppendFormat(const C* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const bool result = AppendFormatV(fmt, args);
    va_end(args);
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::AppendFormatV(const C* fmt, va_list args)
{
    return FormatInto(fmt, args, true);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::FormatMessage(const C* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    C* buffer = nullptr;
    const DWORD written = FormatMessageFromString(fmt, &buffer, &args);
    va_end(args);
    if (written == 0)
        return false;
    if (buffer == nullptr)
        return true;
    const bool result = AssignNative(buffer, SNpos);
    SecureZero(buffer, written * sizeof(C));
    // Raw: the strings sit below the system layer and its owner types.
    ::LocalFree(buffer);
    return result;
}

} // namespace S
