// Helpers for tests that look at the calling thread's security context and at the desktop
// shell's window.
#pragma once

#include "library/system/SHandle.h"

#include <windows.h>
#include <sddl.h>

#include <string>

namespace STest
{

// Whether the calling thread impersonates; a thread that does not makes OpenThreadToken fail
// with ERROR_NO_TOKEN.
inline bool ThreadImpersonates()
{
    S::SHandle token;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Put()))
        return true;
    return GetLastError() != ERROR_NO_TOKEN;
}

// An impersonation token of this process's user.
inline S::SHandle DuplicateProcessToken(TOKEN_TYPE type = TokenImpersonation)
{
    S::SHandle process;
    S::SHandle duplicate;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.Put()))
        DuplicateTokenEx(process.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, type,
                         duplicate.Put());
    return duplicate;
}

// The text form of a token's user SID, through the system's own conversion.
inline std::wstring TokenUserSid(HANDLE token)
{
    alignas(TOKEN_USER) BYTE buffer[256];
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return {};
    std::wstring result = text;
    LocalFree(text);
    return result;
}

inline std::wstring ProcessUserSid()
{
    S::SHandle process;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, process.Put());
    return TokenUserSid(process.Get());
}

// A window of the desktop shell's class and title, owned by this process. Without a display
// driver Wine cannot create top-level windows, but it creates message-only ones, and its
// FindWindowW finds them.
class ShellWindow
{
public:
    ShellWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"Progman";
        m_Registered = RegisterClassW(&windowClass) != 0;
        m_Window = CreateWindowExW(0, L"Progman", L"Program Manager", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
    }
    ShellWindow(const ShellWindow&) = delete;
    ShellWindow& operator=(const ShellWindow&) = delete;
    ~ShellWindow()
    {
        if (m_Window != nullptr)
            DestroyWindow(m_Window);
        if (m_Registered)
            UnregisterClassW(L"Progman", GetModuleHandleW(nullptr));
    }
    bool IsFound() const
    {
        return m_Window != nullptr && FindWindowW(L"Progman", L"Program Manager") == m_Window;
    }

private:
    bool m_Registered = false;
    HWND m_Window = nullptr;
};

inline bool ShellWindowExists()
{
    return FindWindowW(L"Progman", L"Program Manager") != nullptr;
}

} // namespace STest
