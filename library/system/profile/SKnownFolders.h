// Where the user's (or the machine's) well-known folders are, asked by folder index (see
// SFolderTable.h): through Known Folder IDs (GetFolderPathForVista) or through the legacy CSIDL
// lookup (GetFolderPath). The token is the user whose folders are wanted; 0 means the caller's own
// context, and it is handed unchanged to the impersonation (-1 and -2: the interactive user).
// The shell calls go through the profile source (ProfileSource.h): shell32 and ole32 are loaded
// when a lookup first runs. Without SHGetKnownFolderPath the current lookup answers as the legacy
// one; without SHGetFolderPathW the legacy lookup gives kResultShellFailed.
// Thread-safety: any thread may call.
// Failure contract: both lookups return their SResult; on failure `path` is empty or holds what
// the shell returned with its failure.
#pragma once

#include "library/diagnostics/SResultCodes.h"
#include "library/utility/SString.h"

#include <windows.h>

#include <cstdint>

namespace S
{

// The library's code for a shell call's result: 0 stays 0.
SResult TranslateShellResult(HRESULT result) noexcept;

SResult GetFolderPathForVista(unsigned index, SString& path, HANDLE token);
SResult GetFolderPath(unsigned index, SString& path, HANDLE token);

} // namespace S
