// Scoped impersonation: the calling thread takes on a user's security context for the life of
// an SAutoImpersonate, and GetShellUserToken finds the interactive user's token through the
// desktop shell. Impersonation is a property of one thread: an SAutoImpersonate belongs to the
// thread that made it and must be destroyed on that thread; it has no lock.
// Failure contract: a failed Impersonate leaves no token held and the thread not impersonating;
// a failed GetShellUserToken leaves `token` empty.
#pragma once

#include "library/diagnostics/SResult.h"
#include "library/system/SHandle.h"

#include <windows.h>

namespace S
{

class SAutoImpersonate
{
public:
    SAutoImpersonate() noexcept = default;
    // Impersonates `token` at once (see Impersonate); the outcome is in GetResult().
    explicit SAutoImpersonate(HANDLE token) noexcept;
    SAutoImpersonate(const SAutoImpersonate&) = delete;
    SAutoImpersonate& operator=(const SAutoImpersonate&) = delete;
    virtual ~SAutoImpersonate();

    // 0 does nothing; -1 and -2 ask for the interactive user's token, which this object then owns;
    // any other token is borrowed. Ends an impersonation this object started before.
    SResult Impersonate(SResult& result, HANDLE token) noexcept;
    // Ends the impersonation (if any) and releases an owned token; never throws.
    SResult Revert(SResult& result) noexcept;

    SResult GetResult() const noexcept { return m_Result; }
    bool IsImpersonating() const noexcept { return m_Impersonating != FALSE; }
    HANDLE GetToken() const noexcept { return m_hToken; }

private:
    static bool IsRealToken(HANDLE token) noexcept { return SHandle::IsValid(token); }
    void ReleaseToken() noexcept;

    HANDLE m_hToken = INVALID_HANDLE_VALUE;
    BOOL m_Owned = FALSE;
    BOOL m_Impersonating = FALSE;
    SResult m_Result;
};

// The token of the process that owns the desktop shell's window ("Progman", "Program Manager"),
// duplicated with TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY as a
// token of `type` at SecurityImpersonation level. On failure `token` holds no handle.
SResult GetShellUserToken(TOKEN_TYPE type, SHandle& token) noexcept;

} // namespace S
