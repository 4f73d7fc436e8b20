// The service classes' view of a Win32 error: its code from the library's translation, logged at
// Debug level first. Thread-safe as the log is.
// Failure contract: every error gives a code (kResultServiceOtherError when it has none of its own).
#pragma once

#include "library/diagnostics/SWin32ErrorResult.h"

#include <windows.h>

namespace S
{

// The service code of a Win32 error (0 stays success). With a function name, first logs the error
// at Debug level for component "Service", naming the service when one is given.
SResult ServiceResultFromWin32Error(const wchar_t* serviceName, DWORD error,
                                    const wchar_t* function) noexcept;

} // namespace S
