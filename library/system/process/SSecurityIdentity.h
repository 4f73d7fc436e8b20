// Security identities of tokens: the SID text of a token's user (GetTokenUserSidString) and of a SID
// (FormatSid).
// Failure contract: on failure the output text is left empty.
// Thread-safe: no shared state.
#pragma once

#include "library/diagnostics/SResult.h"
#include "library/utility/SString.h"

#include <windows.h>

namespace S
{

// Writes the token user's SID in its standard text form ("S-1-5-18").
SResult GetTokenUserSidString(HANDLE token, SString& out);

// The standard text form of a valid SID; exposed so that the formatting can be checked on any SID.
SString FormatSid(PSID sid);

} // namespace S
