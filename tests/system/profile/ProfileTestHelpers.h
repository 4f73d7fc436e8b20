// Helpers for the profile and folder tests: process environment overrides and private folders.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

namespace STest
{

// Sets an environment variable of this process for the life of the object.
class EnvironmentOverride
{
public:
    EnvironmentOverride(const wchar_t* name, const wchar_t* value) : m_Name(name)
    {
        wchar_t old[MAX_PATH * 4];
        const DWORD length = GetEnvironmentVariableW(name, old, MAX_PATH * 4);
        if (length > 0 && length < MAX_PATH * 4)
            m_Old = std::wstring(old, length);
        SetEnvironmentVariableW(name, value);
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;
    ~EnvironmentOverride() { SetEnvironmentVariableW(m_Name.c_str(), m_Old ? m_Old->c_str() : nullptr); }

private:
    std::wstring m_Name;
    std::optional<std::wstring> m_Old;
};

inline std::wstring EnvironmentValue(const wchar_t* name)
{
    wchar_t value[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH * 4);
    return length < MAX_PATH * 4 ? std::wstring(value, length) : std::wstring();
}

// A fresh folder below the temporary folder; it and what the test put into it go afterwards.
class TempFolder
{
public:
    TempFolder()
    {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        m_Path = std::wstring(base) + L"lumerelx-profile-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount64());
        CreateDirectoryW(m_Path.c_str(), nullptr);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }

    const std::wstring& Path() const { return m_Path; }

private:
    std::wstring m_Path;
};

} // namespace STest
