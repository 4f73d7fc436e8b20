// What the three tools share: text output that keeps every character, argument quoting, strict
// numbers and the system's wording of an error.
// Failure contract: output failures are ignored (nothing useful is left to report them to);
// ParseDecimal says false for anything but a clean number.
// Thread-safety: no shared state; each tool calls these from its one thread.
#pragma once

#include <windows.h>

#include <string>

namespace STool
{

enum class Stream
{
    Out,
    Err
};

// On a console through WriteConsoleW, redirected as UTF-8: the console's own code page would
// lose every character outside it.
void Write(Stream stream, const std::wstring& text);
void Print(Stream stream, const wchar_t* format, ...);

// Only digits, at least one, and no more than 32 bits: a session or a wait must not be guessed.
bool ParseDecimal(const std::wstring& text, DWORD& value);

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg);

// The system's message for an error code, without the trailing line end, and the code itself.
std::wstring DescribeError(DWORD error);

// This program's own path.
std::wstring OwnPath();

// Paths the plain Win32 calls cannot take (MAX_PATH and longer) in their extended form.
std::wstring ExtendedPath(const std::wstring& path);

} // namespace STool
