#include "library/system/process/SAutoImpersonate.h"

#include "library/diagnostics/log/Log.h"
#include "library/diagnostics/SWin32ErrorResult.h"

namespace S
{

namespace
{

// TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY
constexpr DWORD ShellTokenAccess = 15;

// The component and the log texts in this file are fixed, kept on purpose for compatibility.
void LogImpersonationError(const wchar_t* format, const SResult& result, DWORD error) noexcept
{
    Log(SLogContext{L"AutoImpersonate", SLogLevel::Error, SLogType::None, 0, 0, 0}, &result, format, error);
}

SResult LastErrorResult() noexcept
{
    const DWORD error = GetLastError();
    return error != 0 ? HResultFromWin32(error) : kResultFail;
}

} // namespace

SAutoImpersonate::SAutoImpersonate(HANDLE token) noexcept
{
    SResult result;
    Impersonate(result, token);
}

SAutoImpersonate::~SAutoImpersonate()
{
    SResult result;
    Revert(result);
}

SResult SAutoImpersonate::Impersonate(SResult& result, HANDLE token) noexcept
{
    Revert(result);
    result = 0;
    m_Result = 0;
    m_hToken = token;
    if (token == nullptr)
        return result;

    if (token == INVALID_HANDLE_VALUE || token == reinterpret_cast<HANDLE>(-2))
    {
        SHandle shellToken;
        GetShellUserToken(TokenImpersonation, shellToken);
        if (!shellToken)
        {
            m_hToken = INVALID_HANDLE_VALUE;
            m_Result = result = kResultInvalidArgument;
            return result;
        }
        m_hToken = shellToken.Detach();
        m_Owned = TRUE;
    }

    if (ImpersonateLoggedOnUser(m_hToken))
    {
        m_Impersonating = TRUE;
        return result;
    }

    const DWORD error = GetLastError();
    ReleaseToken();
    m_Result = result = kResultAccessDenied;
    LogImpersonationError(L"Auto impersonation: Unable to impersonate user. Error: 0x%08x.", m_Result, error);
    return result;
}

SResult SAutoImpersonate::Revert(SResult& result) noexcept
{
    result = 0;
    if (IsRealToken(m_hToken) && m_Impersonating && !RevertToSelf())
    {
        const DWORD error = GetLastError();
        m_Result = result = kResultAccessDenied;
        LogImpersonationError(L"Auto impersonation: Unable revert to self. Error: 0x%08x.", m_Result, error);
    }
    m_Impersonating = FALSE;
    ReleaseToken();
    return result;
}

void SAutoImpersonate::ReleaseToken() noexcept
{
    if (m_Owned)
        SHandle{m_hToken}.Reset();
    m_hToken = INVALID_HANDLE_VALUE;
    m_Owned = FALSE;
}

SResult GetShellUserToken(TOKEN_TYPE type, SHandle& token) noexcept
{
    token.Reset();
    const HWND shell = FindWindowW(L"Progman", L"Program Manager");
    DWORD processId = 0;
    if (shell == nullptr || GetWindowThreadProcessId(shell, &processId) == 0 || processId == 0)
        return kResultInvalidArgument;

    const SHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    if (!process)
        return LastErrorResult();
    SHandle processToken;
    if (!OpenProcessToken(process.Get(), ShellTokenAccess, processToken.Put()))
        return LastErrorResult();
    if (!DuplicateTokenEx(processToken.Get(), ShellTokenAccess, nullptr, SecurityImpersonation, type,
                          token.Put()))
    {
        const SResult result = LastErrorResult();
        token.Reset();
        return result;
    }
    return 0;
}

} // namespace S
