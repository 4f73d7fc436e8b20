// Expansion of environment references (%NAME%) for a user, followed by the rewriting of mapped
// network drive letters in the result.
// Thread-safety: no shared state; the caller's buffer belongs to the caller's thread.
// Failure contract: a failed expansion gives FALSE with `output` empty.
#pragma once

#include "library/utility/SBuffer.h"
#include "library/utility/SPath.h"
#include "library/utility/SString.h"

#include <windows.h>

namespace S
{

// Expands `source` with the environment of the user of `token` (0 and INVALID_HANDLE_VALUE: the
// process's own environment). `buffer` is a reusable work buffer (its count is its size in
// characters); an empty one gets 260 characters. Nonzero on success; on failure `output` is empty
// and the buffer has been released.
BOOL ExpandEnvironmentForUser(const SString& source, SBufferT<wchar_t>& buffer, SString& output,
                              HANDLE token);

// The same with a buffer of its own.
BOOL ExpandEnvironmentForUser(const SString& source, SString& output, HANDLE token);

// FileExists for `path` with its environment references (the process's own) expanded first when
// it holds a "%"; a failed expansion checks the text as it is.
bool ExpandedFileExists(const SPath& path, bool* isDirectory = nullptr);

} // namespace S
