// The shell and user-environment calls that the folder and profile lookups make, behind one
// interface: the live source makes each call (its module is loaded when the call first runs, never
// at the agent's load), and tests put a recorded source in its place.
// Failure contract: each call gives 0, the shell's own answer (an HRESULT, S_FALSE included), or
// the HRESULT of the Win32 error; a function that cannot be found gives kResultFunctionMissing.
// Thread-safety: the live source keeps no state beyond its found functions; the source in use is
// one process-wide pointer, replaced by tests only.
#pragma once

#include "library/diagnostics/SResult.h"
#include "library/system/SModule.h"
#include "library/utility/SString.h"

#include <windows.h>

namespace S
{

class IProfileSource
{
public:
    virtual ~IProfileSource() = default;

    // Whether SHGetKnownFolderPath and the CoTaskMemFree that frees its answer both exist.
    virtual bool HasKnownFolderLookup() = 0;
    // SHGetKnownFolderPath; `path` gets the text the shell returned (empty when none), also with a failure.
    virtual SResult KnownFolderPath(const GUID& id, DWORD flags, HANDLE token, SString& path) = 0;
    // SHGetFolderPathW with no window into a path of 260 characters.
    virtual SResult FolderPath(int csidl, HANDLE token, DWORD type, SString& path) = 0;
    // GetUserProfileDirectoryW into a path of 260 characters; empty on failure.
    virtual SResult UserProfileDirectory(HANDLE token, SString& path) = 0;
    // ExpandEnvironmentStringsForUserW into `buffer` of `size` characters; a buffer too small gives
    // kResultInsufficientBuffer.
    virtual SResult ExpandForUser(HANDLE token, const wchar_t* source, wchar_t* buffer, DWORD size) = 0;
    // ExpandEnvironmentStringsW: `needed` gets the characters the whole text needs, which may
    // exceed `size`.
    virtual SResult ExpandForProcess(const wchar_t* source, wchar_t* buffer, DWORD size, DWORD& needed) = 0;
};

// The running system.
IProfileSource& LiveProfileSource() noexcept;
// The source the lookups use: the live one unless a test put another in place.
IProfileSource& CurrentProfileSource() noexcept;
// Test seam (set it through SScopedForTesting): puts `source` in place (null: the live one);
// returns what it replaces (null: the live one).
IProfileSource* SetProfileSourceForTesting(IProfileSource* source) noexcept;

} // namespace S
