// The agent's start-up routine: consumes the process's hand-off values and does the agent's job.
// RunStartup runs once per process, inline under the loader lock or on a thread of its own.
// Failure contract: nothing escapes to the host: RunStartup gives 0 when a hand-off value is
// missing, and whatever the font job throws is swallowed.
#pragma once

#include "library/utility/SString.h"

#include <windows.h>

#include <cstdint>

namespace S
{

// Runs work with structured exceptions translated into C++ exceptions on this thread, and swallows
// whatever it throws: the agent must never take its host process down. False when work threw.
bool RunShielded(void (*work)(void*), void* context) noexcept;

// wcstoul semantics in base 10; anything left after the digits (or no digits) gives 0.
uint32_t ParseSessionId(const SString& text);

// 1 when both "SessionId" and "AppId" were read (whatever the later steps did), else 0.
int RunStartup();

// Thread procedure: runs RunStartup; the exit code is 1 when it returned non-zero, else 0.
DWORD WINAPI StartupThreadProc(LPVOID unused);

} // namespace S
