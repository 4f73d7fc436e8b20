#include "fonts/FontRegistration.h"

#include "library/diagnostics/Log.h"
#include "library/system/network/SMappedDrives.h"
#include "library/system/osversion/OSVersion.h"
#include "library/system/profile/SKnownFolders.h"
#include "library/system/registry/SRegKey.h"
#include "startup/ProductLocations.h"

namespace S
{
namespace
{

constexpr DWORD kNameChars = 260; // 259 characters and the terminator
constexpr DWORD kDataBytes = 520; // 259 characters and the terminator

bool IsWow64() noexcept
{
    static const bool wow64 = []
    {
        BOOL result = FALSE;
        return IsWow64Process(GetCurrentProcess(), &result) && result;
    }();
    return wow64;
}

SResult FindFontsFolder(SString& folder)
{
    const bool legacy = CompareOSVersion(GetOSInfo(), kVistaVersionConstant, 0) != 0;
    const SResult found = legacy ? GetFolderPath(kFontsFolderIndex, folder, nullptr)
                                 : GetFolderPathForVista(kFontsFolderIndex, folder, nullptr);
    if (found.Failed())
        return found;
    SPath translated;
    TranslateMappedDrives(SPath(folder), translated, nullptr);
    folder.Assign(translated);
    return 0;
}

// One value of the Fonts key as text. Entries whose name or data did not fit are skipped: their
// buffers would hold cut-off text. Data without a terminator ends where the data ends.
bool ReadFontEntry(HKEY key, DWORD index, SString& data, LSTATUS& status)
{
    wchar_t name[kNameChars];
    DWORD nameChars = kNameChars;
    wchar_t buffer[kDataBytes / sizeof(wchar_t) + 1] = {};
    DWORD dataBytes = kDataBytes;
    DWORD type = 0;
    status = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &dataBytes);
    if (status != ERROR_SUCCESS)
        return false;
    buffer[dataBytes / sizeof(wchar_t)] = L'\0';
    data.Assign(buffer, static_cast<size_t>(-1), nullptr);
    return true;
}

} // namespace

SString ResolveFontPath(const SString& fontsFolder, const SString& data)
{
    if (data.GetLength() >= 2 && data.c_str()[1] == L':')
        return data;
    SString path(fontsFolder);
    path.Append(L'\\', 1);
    path.Append(data);
    return path;
}

BOOL ApplyFontResource(const SString& path, BOOL add)
{
    SetLastError(0);
    if (add)
        return AddFontResourceExW(path.c_str(), FR_PRIVATE, nullptr) != 0 ? TRUE : FALSE;
    return RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr) ? TRUE : FALSE;
}

BOOL RegisterApplicationFonts(uint32_t sessionId, const SString& profileName, const SString& applicationId,
                              BOOL add)
{
    SString fontsFolder;
    if (FindFontsFolder(fontsFolder).Failed())
        return FALSE;

    SRegKey key;
    key.SetLocation(GetApplicationFontsKeyLocation(profileName, applicationId, sessionId));
    if (key.Open(IsWow64() ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ).Failed())
        return TRUE;

    BOOL result = TRUE;
    for (DWORD index = 0; result; ++index)
    {
        SString data;
        LSTATUS status = ERROR_SUCCESS;
        if (!ReadFontEntry(key.GetHandle(), index, data, status))
        {
            if (status == ERROR_MORE_DATA)
                continue;
            break; // the end of the list, or a key that can no longer be read
        }
        const SString path = ResolveFontPath(fontsFolder, data);
        if (ApplyFontResource(path, add))
            continue;
        if (add)
            result = FALSE;
        Log(SLogContext{L"ACB", SLogLevel(SLogLevel::Warning), SLogType(0)},
            L"%s font \"%s\" failed for application \"%s\".", add ? L"Adding" : L"Removing", path.c_str(),
            applicationId.c_str());
    }
    key.Close();
    return result;
}

} // namespace S
