// Result codes of the service classes and the one translation of the control manager's Win32
// errors into them. Pure functions apart from the debug log line; thread-safe.
#pragma once

#include "library/diagnostics/SResult.h"

#include <windows.h>

namespace S
{

namespace ServiceResult
{
inline constexpr SResult OtherError{0xA0040781u};
inline constexpr SResult UnexpectedState{0xA0040782u}; // neither the pending nor the target state
inline constexpr SResult NotOpen{0xA0040783u};
inline constexpr SResult ControllerConnectFailed{0xA0040784u};
inline constexpr SResult BufferTooSmall{0xA0040786u};
inline constexpr SResult InvalidArgument{0xA0040787u};
inline constexpr SResult InvalidHandle{0xA0040788u};
inline constexpr SResult InvalidControl{0xA0040789u};
inline constexpr SResult AccessDenied{0xA0040790u};
inline constexpr SResult AlreadyRunning{0xA0040791u};
inline constexpr SResult NotFound{0xA0040792u};
inline constexpr SResult NotActive{0xA0040793u};
inline constexpr SResult Disabled{0xA0040794u};
inline constexpr SResult DependentServices{0xA0040795u};
inline constexpr SResult CannotAcceptControl{0xA0040796u};
inline constexpr SResult TimedOut{0xA0040797u};
inline constexpr SResult ShuttingDown{0xA0040798u};
inline constexpr SResult InvalidAccount{0xA0040799u};
inline constexpr SResult MarkedForDelete{0xA004079Au};
// The fixed-size status read was refused as too small: the system's "internal error".
inline constexpr SResult StatusBufferRefused{0x8007054Fu};
} // namespace ServiceResult

// The symbolic name of a Win32 error that the control manager gives, "<UNKNOWN>" for others.
const wchar_t* ServiceErrorName(DWORD error) noexcept;

// The library's code for a Win32 error (0 stays success). With a function name, first logs the
// error at Debug level for component "Service", naming the service when one is given.
SResult ServiceResultFromWin32Error(const wchar_t* serviceName, DWORD error,
                                    const wchar_t* function) noexcept;

} // namespace S
