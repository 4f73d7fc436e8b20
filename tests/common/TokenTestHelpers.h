// Helpers for tests that look at the calling thread's security context and the shell's window.
#pragma once

#include "library/system/SHandle.h"

#include <windows.h>
#include <sddl.h>

#include <memory>
#include <string>

namespace STest
{

// A thread that does not impersonate makes OpenThreadToken fail with ERROR_NO_TOKEN.
inline bool ThreadImpersonates()
{
    S::SHandle token;
    return OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Put()) ||
           GetLastError() != ERROR_NO_TOKEN;
}

inline S::SHandle DuplicateProcessToken()
{
    S::SHandle process;
    S::SHandle duplicate;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, process.Put()))
        DuplicateTokenEx(process.Get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenImpersonation,
                         duplicate.Put());
    return duplicate;
}

// The token user's SID through the system's own conversion.
inline std::wstring TokenUserSid(HANDLE token)
{
    alignas(TOKEN_USER) BYTE buffer[256];
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return {};
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(text, &LocalFree);
    return text;
}

inline std::wstring ProcessUserSid()
{
    return TokenUserSid(GetCurrentProcessToken());
}

inline bool ShellWindowExists()
{
    return FindWindowW(L"Progman", L"Program Manager") != nullptr;
}

// A window of the shell's class and title owned by this process, until the result goes. Without a
// display driver Wine creates no top-level windows, but message-only ones, and FindWindowW finds those.
inline auto MakeShellWindow()
{
    const WNDCLASSW windowClass{0,       DefWindowProcW, 0,       0,       nullptr,
                                nullptr, nullptr,        nullptr, nullptr, L"Progman"};
    RegisterClassW(&windowClass);
    const auto destroy = [](HWND window)
    {
        DestroyWindow(window);
        UnregisterClassW(L"Progman", nullptr);
    };
    return std::unique_ptr<HWND__, decltype(destroy)>(CreateWindowExW(0, L"Progman", L"Program Manager", 0, 0,
                                                                      0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                                                      nullptr),
                                                      destroy);
}

} // namespace STest
