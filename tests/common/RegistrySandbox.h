// A private registry subtree for one test, removed afterwards. Optionally redirects the
// process's HKEY_CURRENT_USER into it, so that code with fixed user-key paths runs in private.
#pragma once

#include "library/system/SHandle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace STest
{

class RegistrySandbox
{
public:
    explicit RegistrySandbox(bool redirectCurrentUser = false)
    {
        wchar_t name[96];
        swprintf(name, 96, L"Software\\LumerelxTests\\%08lx-%08lx-%llx", GetCurrentProcessId(),
                 GetCurrentThreadId(), static_cast<unsigned long long>(GetTickCount64()) + s_Serial++);
        m_Path = name;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, m_Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  m_Key.Put(), nullptr),
                  ERROR_SUCCESS);
        if (redirectCurrentUser)
        {
            EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, m_Key.Get()), ERROR_SUCCESS);
            m_Redirected = true;
        }
    }
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;
    ~RegistrySandbox()
    {
        if (m_Redirected)
            RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        m_Key.Reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_Path.c_str());
    }

    HKEY Key() const { return m_Key.Get(); }
    // The sandbox's path below HKEY_CURRENT_USER (valid while HKCU is not redirected).
    const std::wstring& Path() const { return m_Path; }

    static void SetString(HKEY root, const std::wstring& path, const std::wstring& name,
                          const std::wstring& text, DWORD type = REG_SZ)
    {
        SetBytes(root, path, name, type, text.c_str(),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    static void SetBytes(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                         const void* data, DWORD size)
    {
        S::SRegistryKeyHandle key;
        ASSERT_EQ(
            RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr),
            ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    }
    static bool ValueExists(HKEY root, const std::wstring& path, const std::wstring& name)
    {
        return RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }

private:
    static inline unsigned s_Serial = 0;
    std::wstring m_Path;
    S::SRegistryKeyHandle m_Key;
    bool m_Redirected = false;
};

} // namespace STest
