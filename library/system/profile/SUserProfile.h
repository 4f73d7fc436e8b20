// Who the user is: the account name, profile name and SID string of the calling thread's user
// (or, when the thread does not impersonate, the process's user).
// The profile directory comes from the profile source (ProfileSource.h).
// Thread-safety: no shared state; any thread may call.
// Failure contract: FALSE on failure; the outputs then hold what the steps before it obtained.
#pragma once

#include "library/utility/SString.h"

#include <windows.h>

namespace S
{

// Nonzero on success. The outputs are cleared first; on failure they hold what was obtained before
// the failing step. The profile name is the last component of the user's profile directory, or
// "SYSTEM" when that component is "systemprofile" in any letter case.
BOOL GetCurrentUserProfile(SString& accountName, SString& profileName, SString& sidString);

} // namespace S
