// Mapped network drives: the user's connected disk drives as the network providers list them
// (SMappedDrives of SMappedDrive entries), and the rewriting of mapped drive letters inside a text
// into the network paths they stand for (TranslateMappedDrives). Mpr is loaded by the first
// enumeration, never earlier, and stays loaded.
// Thread-safety: a list is used by one thread at a time. The current-list slot is per thread, and
// each translation without a current list builds a list of its own, so threads never share one.
// Failure contract: a failed Refresh keeps the entries read before the failure, and a translation
// uses those; a text with no letter rewritten is copied unchanged.
#pragma once

#include "library/diagnostics/SResult.h"
#include "library/utility/SBuffer.h"
#include "library/utility/SPath.h"
#include "library/utility/SString.h"

#include <windows.h>

namespace S
{

// One connected network drive.
struct SMappedDrive
{
    SPath m_LocalName;  // as the provider reports it, such as Z:
    SPath m_RemoteName; // such as \\server\share; empty when the provider gives none
    SString m_Provider;
    SString m_Comment;
};

class SMappedDrives : public SBufferT<SMappedDrive, 1, unsigned int>
{
public:
    SMappedDrives() = default;
    ~SMappedDrives() override;

    // Replaces the entries by the connected disk drives that the user of `token` sees (0: the
    // caller's own context), in the providers' order. TRUE only when the enumeration ran to its end.
    BOOL Refresh(HANDLE token);

    // The remote name of the drive that starts `path` (Z: or Z:\ followed by anything), or an
    // empty path when the path starts with no drive of the list.
    SPath GetRemoteName(const SPath& path) const;

    // Adds an entry at the end of the list.
    SResult Add(SResult& result, const SMappedDrive& drive);
};

// The calling thread's current list: null (every thread starts so) makes each translation
// enumerate afresh; MappedDrivesOff() switches translation off for the thread. The slot does not
// own the list.
SMappedDrives* GetThreadMappedDrives() noexcept;
void SetThreadMappedDrives(SMappedDrives* drives) noexcept;
SMappedDrives* MappedDrivesOff() noexcept;

// Writes `input` with every mapped drive letter rewritten into its network path to `output`
// (a copy of `input` when nothing was rewritten). TRUE when at least one letter was rewritten.
BOOL TranslateMappedDrives(const SPath& input, SPath& output, HANDLE token);

} // namespace S
