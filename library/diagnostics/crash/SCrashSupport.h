// The plain system calls that the crash path shares: debugger announcements, the current UTC
// time and the executable's path.
// Failure contract: nothing here allocates or throws; GetExecutablePath says below what it gives.
// Thread-safety: every function may be called from any thread at once.
#pragma once

#include <windows.h>

#include <cstddef>

namespace S
{

// Writes text to the debugger as it is. The crash path's announcements ("Class::Method called.\n")
// are fixed texts, kept on purpose for compatibility.
void AnnounceToDebugger(const wchar_t* text) noexcept;
// Formats into at most 1,023 characters and writes the text to the debugger.
void AnnounceToDebuggerFormat(const wchar_t* format, ...) noexcept;

SYSTEMTIME CurrentUtcTime() noexcept;

// The path of the process's executable and its length.
// Failure contract: 0 when it cannot be read, MAX_PATH when it does not fit; the buffer's text is
// then unusable.
size_t GetExecutablePath(wchar_t (&buffer)[MAX_PATH]) noexcept;

} // namespace S
