#include "library/system/registry/SRegKey.h"

#include "library/diagnostics/SWin32ErrorResult.h"
#include "library/system/process/SSecurityIdentity.h"
#include "library/utility/SBuffer.h"

#include <utility>

namespace S
{
namespace
{

// Registry reads tell a missing value and a refused access apart before the general table.
SResult TranslateRegistryError(LSTATUS error, SResult notFound)
{
    if (error == ERROR_FILE_NOT_FOUND)
        return notFound;
    if (error == ERROR_ACCESS_DENIED)
        return kResultAccessDenied;
    const SResult translated = ResultFromWin32Error(static_cast<uint32_t>(error));
    return translated == kResultGeneralFailure ? kResultRegistryFailed : translated;
}

bool IsTokenGiven(HANDLE token)
{
    return token != nullptr && token != INVALID_HANDLE_VALUE;
}

} // namespace

// ---- SRegKeyLocation ----

const SRegKeyLocation& SRegKeyLocation::Empty()
{
    static const SRegKeyLocation empty(nullptr, SString());
    return empty;
}

SRegKeyLocation::SRegKeyLocation() : root(Empty().root), path(Empty().path) {}

SRegKeyLocation::SRegKeyLocation(HKEY rootKey, const SString& subPath) : root(rootKey)
{
    path.Assign(subPath);
}

void SRegKeyLocation::Append(const SString& component)
{
    if (component.IsEmpty())
        return;
    if (!path.IsEmpty() && !path.EndsWithChar(L'\\') && !path.EndsWithChar(L'/'))
        path.Append(L'\\', 1);
    path.Append(component);
}

SRegKeyLocation SRegKeyLocation::ForUser(HKEY rootKey, HANDLE token)
{
    if (rootKey != HKEY_USERS)
        return SRegKeyLocation(rootKey, SString());
    SString sid;
    if (IsTokenGiven(token) && GetTokenUserSidString(token, sid).Succeeded() && !sid.IsEmpty())
        return SRegKeyLocation(HKEY_USERS, sid);
    return SRegKeyLocation(HKEY_CURRENT_USER, SString());
}

// ---- SRegKey ----

SRegKey::SRegKey() = default;

SRegKey::~SRegKey()
{
    Close();
}

SRegKeyLocation SRegKey::GetLocation() const
{
    return m_Location;
}

SResult SRegKey::SetLocation(const SRegKeyLocation& location)
{
    if (&location != &m_Location)
    {
        m_Location.root = location.root;
        m_Location.path.Assign(location.path);
    }
    return 0;
}

void SRegKey::Close() noexcept
{
    if (m_IsOpen != 0 && m_OwnsHandle != 0)
        m_Handle.Reset();
    else
        m_Handle.Detach();
    m_IsOpen = 0;
    m_OwnsHandle = 0;
}

SResult SRegKey::Open(REGSAM access)
{
    Close();
    HKEY handle = nullptr;
    const LSTATUS error = RegOpenKeyExW(m_Location.root, m_Location.path.c_str(), 0, access, &handle);
    if (error != ERROR_SUCCESS)
        return TranslateRegistryError(error, kResultRegistryKeyNotFound);
    m_Handle.Reset(handle);
    m_IsOpen = 1;
    m_OwnsHandle = 1;
    return 0;
}

SResult SRegKey::Create(REGSAM access, DWORD /*ignoredOptions*/)
{
    // As Open: a held handle would otherwise leak, and a failure must leave the key closed.
    Close();
    HKEY handle = nullptr;
    const LSTATUS error = RegCreateKeyExW(m_Location.root, m_Location.path.c_str(), 0, nullptr,
                                          REG_OPTION_NON_VOLATILE, access, nullptr, &handle, nullptr);
    if (error != ERROR_SUCCESS)
        return TranslateRegistryError(error, kResultRegistryKeyNotFound);
    m_Handle.Reset(handle);
    m_IsOpen = 1;
    m_OwnsHandle = 1;
    return 0;
}

SResult SRegKey::QueryString(const wchar_t* valueName, SString& out, const wchar_t* defaultText) const
{
    // A key that is not open fails its size query like any other, and so gets the default.
    DWORD size = 0;
    LSTATUS error = m_IsOpen != 0
                        ? RegQueryValueExW(m_Handle.Get(), valueName, nullptr, nullptr, nullptr, &size)
                        : ERROR_INVALID_HANDLE;
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
    {
        if (defaultText != nullptr)
        {
            out.Assign(defaultText, static_cast<size_t>(-1), nullptr);
            return 0;
        }
        return TranslateRegistryError(error, kResultRegistryValueNotFound);
    }

    // A value that grows between the two reads is read again at its new size, a few times at most;
    // the terminator is always placed inside the buffer, so the text never runs past it.
    for (int attempt = 0;; ++attempt)
    {
        SBufferT<wchar_t, 0> buffer;
        SResult resized;
        buffer.Resize(resized, size / 2 + 1, false);
        if (resized.Failed())
            return resized;
        DWORD readSize = size;
        error = RegQueryValueExW(m_Handle.Get(), valueName, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(buffer.GetData()), &readSize);
        if (error == ERROR_MORE_DATA && readSize > size && attempt < 4)
        {
            size = readSize;
            continue;
        }
        if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
            return TranslateRegistryError(error, kResultRegistryValueNotFound);
        const DWORD kept = readSize < size ? readSize : size;
        buffer.GetData()[kept / 2] = L'\0';
        out.Assign(buffer.GetData(), static_cast<size_t>(-1), nullptr);
        return 0;
    }
}

// ---- free functions ----

SResult OpenRegistrySubKey(const SRegKeyLocation& parent, const SString& subPath, SRegKey& out, bool create,
                           bool readOnly)
{
    const REGSAM access = readOnly ? KEY_READ : kRegistryReadWriteCreate;
    SRegKey parentKey;
    parentKey.SetLocation(parent);
    if ((create ? parentKey.Create(access) : parentKey.Open(access)).Failed())
        return kResultRegistryParentNotOpened;

    out.Close();
    out.SetLocation(SRegKeyLocation(parentKey.GetHandle(), subPath));
    const SResult opened = create ? out.Create(access) : out.Open(access);
    parentKey.Close();
    return opened.Failed() ? kResultRegistrySubKeyNotOpened : SResult(0);
}

SResult ReadRegistryDword(bool create, const SRegKeyLocation& parent, const SString& subPath,
                          const wchar_t* valueName, uint32_t& value)
{
    SRegKey key;
    const SResult opened = OpenRegistrySubKey(parent, subPath, key, create, true);
    if (opened.Failed())
        return opened;
    DWORD data = value;
    DWORD size = sizeof(data);
    const LSTATUS error =
        RegQueryValueExW(key.GetHandle(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
        return kResultRegistryDwordNotRead;
    value = data;
    return 0;
}

} // namespace S
