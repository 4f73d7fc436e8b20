// The one translation of Win32 error codes into result codes. The general codes serve the
// registry, file and folder code; the service classes have codes of their own for the control
// manager's errors, so each row of the table gives both. Pure functions; thread-safe.
// Failure contract: every error gives a code; one without a row gives the use's catch-all code.
#pragma once

#include "library/diagnostics/SResultCodes.h"

#include <cstdint>

namespace S
{

// The HRESULT that carries a Win32 error code (0 stays success), for callers that pass the error
// on as it is rather than through the table.
constexpr SResult HResultFromWin32(uint32_t error) noexcept
{
    return error == 0 ? SResult(0) : SResult((error & 0xFFFFu) | 0x80070000u);
}

enum class SWin32ErrorUse
{
    General,
    Service,
};

// 0 for 0; an error that has no code of its own for the use gives kResultGeneralFailure (General)
// or kResultServiceOtherError (Service).
SResult ResultFromWin32Error(uint32_t win32Error, SWin32ErrorUse use = SWin32ErrorUse::General) noexcept;

// The ERROR_* name of an error that has a service code of its own, "<UNKNOWN>" for any other.
const wchar_t* ServiceErrorName(uint32_t win32Error) noexcept;

} // namespace S
