// The product's registry locations, derived from the two identity strings in the DLL's string
// table. The identity strings are loaded once, on first use, without a lock: the first use is
// inside DllMain before any thread of the agent exists; later calls only read them.
// Failure contract: an identity string that cannot be loaded stays empty and the paths built
// from it lack that part; nothing throws but allocation.
#pragma once

#include "library/system/registry/SRegKey.h"
#include "library/utility/SString.h"

#include <windows.h>

namespace S
{

// The DLL's own module handle, recorded by DllMain; string lookups fall back to the main
// executable while it is unset.
extern HMODULE ModuleInstance;

inline constexpr UINT kCompanyKeyNameId = 32003;
inline constexpr UINT kComponentKeyNameId = 32241;

// One identity string: a 128-character buffer loaded from ModuleInstance's string table on the
// first call; a failed load leaves it empty and is not retried.
class SIdentityString
{
public:
    explicit SIdentityString(UINT id) noexcept : m_Id(id) {}
    const wchar_t* Get() noexcept;

private:
    UINT m_Id;
    wchar_t m_Text[128] = {};
    bool m_NotLoaded = true;
};

const wchar_t* GetCompanyKeyName() noexcept;
const wchar_t* GetComponentKeyName() noexcept;

// company + one separator (none added after a trailing slash or backslash) + component.
SString JoinProductSubPath(const wchar_t* company, const wchar_t* component);
SString GetProductSubPath();
// "Software\" + GetProductSubPath().
SString GetProductKeyPath();

// HKEY_CURRENT_USER\<product key path>\Process.
SRegKeyLocation GetHandoffKeyLocation();

} // namespace S
