// The one translation of Win32 error codes into SResult codes, shared by the registry, file and
// folder code. Pure function; thread-safe.
#pragma once

#include "library/diagnostics/SResult.h"

#include <cstdint>

namespace S
{

inline constexpr uint32_t kResultNoTranslation = 0xA0040406u;

// Every code the table does not list gives kResultNoTranslation.
SResult ResultFromWin32Error(uint32_t win32Error) noexcept;

} // namespace S
