#include "startup/ProductLocations.h"

namespace S
{

HMODULE ModuleInstance = nullptr;

const wchar_t* SIdentityString::Get() noexcept
{
    if (!m_NotLoaded)
        return m_Text;
    if (ModuleInstance == nullptr || ModuleInstance == INVALID_HANDLE_VALUE)
        ModuleInstance = GetModuleHandleW(nullptr);
    LoadStringW(ModuleInstance, m_Id, m_Text, static_cast<int>(std::size(m_Text)));
    m_NotLoaded = false;
    return m_Text;
}

const wchar_t* GetCompanyKeyName() noexcept
{
    static SIdentityString company(kCompanyKeyNameId);
    return company.Get();
}

const wchar_t* GetComponentKeyName() noexcept
{
    static SIdentityString component(kComponentKeyNameId);
    return component.Get();
}

SString JoinProductSubPath(const wchar_t* company, const wchar_t* component)
{
    SString path(company != nullptr ? company : L"");
    if (path.IsEmpty() || (!path.EndsWithChar(L'\\') && !path.EndsWithChar(L'/')))
        path.Append(L'\\', 1);
    path.Append(component, static_cast<size_t>(-1), nullptr);
    return path;
}

SString GetProductSubPath()
{
    return JoinProductSubPath(GetCompanyKeyName(), GetComponentKeyName());
}

SString GetProductKeyPath()
{
    SString path(L"Software\\");
    path.Append(GetProductSubPath());
    return path;
}

SRegKeyLocation GetHandoffKeyLocation()
{
    SRegKeyLocation location = SRegKeyLocation::ForUser(HKEY_CURRENT_USER, nullptr);
    const SString productKeyPath = GetProductKeyPath();
    if (!productKeyPath.IsEmpty())
        location.Append(productKeyPath);
    location.Append(SString(L"Process"));
    return location;
}

} // namespace S
