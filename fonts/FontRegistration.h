// The font job: makes a virtualized application's fonts (listed in the Fonts key of its virtual
// registry) available to this process only, or takes them away again.
// Failure contract: FALSE when the fonts folder cannot be found, or when adding a font failed (the
// fonts added before it stay); a missing Fonts key is nothing to do and gives TRUE.
// Thread-safety: runs on one thread at a time; keeps no state between calls.
#pragma once

#include "library/utility/SString.h"

#include <windows.h>

#include <cstdint>

namespace S
{

inline constexpr uint32_t kFontsFolderIndex = 11;
// Packed version of Windows Vista: systems below it resolve folders the legacy way.
inline constexpr uint64_t kVistaVersionConstant = 0x01000800000071E0ull;

BOOL RegisterApplicationFonts(uint32_t sessionId, const SString& profileName, const SString& applicationId,
                              BOOL add);

// Adds (or removes) one private font resource; TRUE on success.
BOOL ApplyFontResource(const SString& path, BOOL add);

// The font file's path for one Fonts value: the data itself when it is a full path (a colon as
// its second character), otherwise the fonts folder, a backslash and the data.
SString ResolveFontPath(const SString& fontsFolder, const SString& data);

} // namespace S
