// The hand-off tests' fixture: HKEY_CURRENT_USER redirected into a private subtree.
#pragma once

#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

namespace STest
{

// Runs with HKEY_CURRENT_USER redirected into a private subtree, so the fixed hand-off key
// path lands there.
class HandoffTest : public testing::Test
{
protected:
    // `text` is stored without its terminator unless the type is REG_SZ.
    static void Write(uint32_t processId, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ)
    {
        RegistrySandbox::SetBytes(HKEY_CURRENT_USER, S::GetHandoffKeyLocation().path.c_str(),
                                  S::HandoffValueName(processId, S::SString(name)).c_str(), type,
                                  text.c_str(),
                                  static_cast<DWORD>((text.size() + (type == REG_SZ)) * sizeof(wchar_t)));
    }
    static bool Exists(uint32_t processId, const wchar_t* name)
    {
        return RegistrySandbox::ValueExists(HKEY_CURRENT_USER, S::GetHandoffKeyLocation().path.c_str(),
                                            S::HandoffValueName(processId, S::SString(name)).c_str());
    }

    RegistrySandbox m_Sandbox{true};
};

} // namespace STest
