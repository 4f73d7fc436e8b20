#include "library/system/network/SMappedDrives.h"

#include "library/system/SModule.h"
#include "library/system/process/SAutoImpersonate.h"

#include <winnetwk.h>

#include <string_view>

namespace S
{

namespace
{

constexpr unsigned InitialEnumerationBytes = 16384;

thread_local SMappedDrives* t_CurrentMappedDrives = nullptr;

// Mpr is loaded by the first enumeration and stays; it reads the registered network providers at
// that load only.
constinit SLazyFunction<decltype(&WNetOpenEnumW)> g_OpenEnum{L"mpr.dll", "WNetOpenEnumW"};
constinit SLazyFunction<decltype(&WNetEnumResourceW)> g_EnumResource{L"mpr.dll", "WNetEnumResourceW"};

constexpr bool IsAsciiLetter(wchar_t ch) noexcept
{
    return (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z');
}

constexpr wchar_t ToUpperAscii(wchar_t ch) noexcept
{
    return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - (L'a' - L'A')) : ch;
}

constexpr bool IsSeparator(wchar_t ch) noexcept
{
    return ch == L'\\' || ch == L'/';
}

bool IsLetteredDisk(const NETRESOURCEW& resource) noexcept
{
    const wchar_t* local = resource.lpLocalName;
    return resource.dwType == RESOURCETYPE_DISK && local != nullptr && IsAsciiLetter(local[0]) &&
           local[1] == L':';
}

std::wstring_view TextOf(const SString& text)
{
    return {text.c_str(), text.GetLength()};
}

} // namespace

SMappedDrives::~SMappedDrives() = default;

SResult SMappedDrives::Add(SResult& result, const SMappedDrive& drive)
{
    const unsigned int count = GetCount();
    if (Resize(result, count + 1, true).Succeeded())
        (*this)[count] = drive;
    return result;
}

BOOL SMappedDrives::Refresh(HANDLE token)
{
    SResult result;
    Resize(result, 0, false);

    // Declared in the reverse order of their release: the enumeration is closed first, then the
    // buffer wiped, and the impersonation ends last.
    SAutoImpersonate impersonation;
    impersonation.Impersonate(result, token);
    SBufferT<unsigned char> buffer;
    const auto openEnum = g_OpenEnum.Get();
    const auto enumResource = g_EnumResource.Get();
    HANDLE opened = nullptr;
    if (openEnum == nullptr || enumResource == nullptr || !SNetworkEnumerationPolicy::Resolve() ||
        openEnum(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, nullptr, &opened) != NO_ERROR)
        return FALSE;
    const SNetworkEnumeration enumeration(opened);
    if (buffer.Resize(result, InitialEnumerationBytes, false).Failed())
        return FALSE;

    for (;;)
    {
        DWORD count = 1;
        DWORD size = buffer.GetCount();
        const DWORD error = enumResource(enumeration.Get(), &count, buffer.GetData(), &size);
        if (error == ERROR_NO_MORE_ITEMS)
            return TRUE;
        if (error == ERROR_MORE_DATA)
        {
            // A provider that needs nothing has nothing more to give. One that asks for no more than
            // it was offered would get the same answer again: growing cannot help, so stop there.
            if (size == 0)
                return TRUE;
            if (size <= buffer.GetCount() || buffer.Resize(result, size, false).Failed())
                return FALSE;
            continue;
        }
        if (error != NO_ERROR)
            return FALSE;

        const auto& resource = *reinterpret_cast<const NETRESOURCEW*>(buffer.GetData());
        if (!IsLetteredDisk(resource))
            continue;
        SMappedDrive drive;
        drive.m_LocalName.Assign(resource.lpLocalName);
        drive.m_RemoteName.Assign(resource.lpRemoteName);
        drive.m_Provider.Assign(resource.lpProvider);
        drive.m_Comment.Assign(resource.lpComment);
        if (Add(result, drive).Failed())
            return FALSE;
    }
}

SPath SMappedDrives::GetRemoteName(const SPath& path) const
{
    const std::wstring_view text = TextOf(path);
    if (text.size() < 2 || text[1] != L':' || (text.size() > 2 && text[2] != L'\\'))
        return {};
    for (unsigned int i = 0; i < GetCount(); ++i)
    {
        const std::wstring_view local = TextOf((*this)[i].m_LocalName);
        if (local.size() >= 2 && ToUpperAscii(local[0]) == ToUpperAscii(text[0]) &&
            ToUpperAscii(local[1]) == ToUpperAscii(text[1]))
            return (*this)[i].m_RemoteName;
    }
    return {};
}

SMappedDrives* GetThreadMappedDrives() noexcept
{
    return t_CurrentMappedDrives;
}

void SetThreadMappedDrives(SMappedDrives* drives) noexcept
{
    t_CurrentMappedDrives = drives;
}

SMappedDrives* MappedDrivesOff() noexcept
{
    return reinterpret_cast<SMappedDrives*>(INVALID_HANDLE_VALUE);
}

BOOL TranslateMappedDrives(const SPath& input, SPath& output, HANDLE token)
{
    const SMappedDrives* drives = GetThreadMappedDrives();
    if (drives == MappedDrivesOff())
    {
        output = input;
        return FALSE;
    }
    SMappedDrives fresh;
    if (drives == nullptr)
    {
        fresh.Refresh(token);
        drives = &fresh;
    }
    if (drives->GetCount() == 0)
    {
        output = input;
        return FALSE;
    }

    const std::wstring_view text = TextOf(input);
    SPath result;
    size_t position = 0;
    bool translated = false;
    for (size_t colon = text.find(L':', position); colon != std::wstring_view::npos;
         colon = text.find(L':', position))
    {
        if (colon == position)
        {
            result.AppendNative(L":", 1);
            ++position;
            continue;
        }
        const size_t candidate = colon - 1;
        result.AppendNative(text.data() + position, candidate - position);
        const SPath remote = drives->GetRemoteName(SPath(text.data() + candidate, text.size() - candidate));
        if (remote.IsEmpty())
        {
            result.AppendNative(text.data() + candidate, 2);
            position = colon + 1;
            continue;
        }
        result.Append(remote);
        translated = true;
        position = colon + 1;
        if (position < text.size() && text[position] == L'\\')
            ++position;
        if (position >= text.size())
        {
            size_t kept = result.GetLength();
            while (kept > 0 && IsSeparator(result[kept - 1]))
                --kept;
            result.Truncate(kept);
            output = result;
            return TRUE;
        }
        if (!IsSeparator(result[result.GetLength() - 1]))
            result.AppendNative(L"\\", 1);
    }
    result.AppendNative(text.data() + position, text.size() - position);
    output = translated ? result : input;
    return translated ? TRUE : FALSE;
}

} // namespace S
