#include "fonts/FontRegistration.h"

#include "library/diagnostics/log/Log.h"
#include "library/system/network/SMappedDrives.h"
#include "library/system/osversion/SOSInfo.h"
#include "library/system/profile/SKnownFolders.h"
#include "library/system/registry/SRegKey.h"

#include <vector>

namespace S
{
namespace
{

constexpr DWORD kNameChars = kFontNameMaxChars + 1;
constexpr DWORD kLongestValueName = 16383; // the registry's own limit

bool IsWow64() noexcept
{
    static const bool wow64 = []
    {
        BOOL result = FALSE;
        return IsWow64Process(GetCurrentProcess(), &result) && result;
    }();
    return wow64;
}

} // namespace

SRegKeyLocation GetApplicationFontsKeyLocation(const SString& profileName, const SString& applicationId,
                                               uint32_t sessionId)
{
    SString first;
    first.Format(L"%s-%u", profileName.c_str(), sessionId);
    SRegKeyLocation location(HKEY_LOCAL_MACHINE, first);
    location.Append(applicationId);
    location.Append(SString(L"rhklm"));
    location.Append(SString(L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"));
    return location;
}

SResult FindFontsFolder(SString& folder)
{
    const bool legacy = CompareOSVersion(GetOSInfo(), OSVersionConstant::VistaLineage, 0) != 0;
    const SResult found = legacy ? GetFolderPath(kFontsFolderIndex, folder, nullptr)
                                 : GetFolderPathForVista(kFontsFolderIndex, folder, nullptr);
    if (found.Failed())
        return found;
    SPath translated;
    TranslateMappedDrives(SPath(folder), translated, nullptr);
    folder.Assign(translated);
    return 0;
}

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

SFontJob::SFontJob(uint32_t sessionId, const SString& profileName, const SString& applicationId)
    : m_Location(GetApplicationFontsKeyLocation(profileName, applicationId, sessionId)),
      m_ApplicationId(applicationId)
{
}

SResult SFontJob::Open()
{
    m_Key.SetLocation(m_Location);
    return m_Key.Open(IsWow64() ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ);
}

// One value of the Fonts key as text. Entries whose name or data did not fit are skipped: their
// buffers would hold cut-off text. Data without a terminator ends where the data ends.
SFontJob::ReadState SFontJob::ReadEntry(DWORD index, FontEntry& entry, SString& data)
{
    wchar_t name[kNameChars];
    DWORD nameChars = kNameChars;
    wchar_t buffer[kFontDataMaxBytes / sizeof(wchar_t) + 1] = {};
    DWORD dataBytes = kFontDataMaxBytes;
    DWORD type = 0;
    const LSTATUS status = RegEnumValueW(m_Key.GetHandle(), index, name, &nameChars, nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &dataBytes);
    if (status == ERROR_SUCCESS)
    {
        buffer[dataBytes / sizeof(wchar_t)] = L'\0';
        data.Assign(buffer, static_cast<size_t>(-1), nullptr);
        entry.name.Assign(name, nameChars, nullptr);
        entry.nameChars = nameChars;
        entry.dataBytes = dataBytes;
        return ReadState::Read;
    }
    if (status != ERROR_MORE_DATA)
        return ReadState::End; // the end of the list, or a key that can no longer be read
    // Asked again without the data, only to say which of the two did not fit.
    std::vector<wchar_t> longName(kLongestValueName + 1);
    DWORD longChars = static_cast<DWORD>(longName.size());
    dataBytes = 0;
    if (RegEnumValueW(m_Key.GetHandle(), index, longName.data(), &longChars, nullptr, nullptr, nullptr,
                      &dataBytes) == ERROR_SUCCESS)
        entry.name.Assign(longName.data(), longChars, nullptr);
    entry.nameChars = longChars;
    entry.dataBytes = dataBytes;
    entry.outcome =
        longChars > kFontNameMaxChars ? FontEntryOutcome::NameTooLong : FontEntryOutcome::DataTooLong;
    return ReadState::Skipped;
}

BOOL SFontJob::Run(const SString& fontsFolder, BOOL add)
{
    BOOL result = TRUE;
    for (DWORD index = 0;; ++index)
    {
        FontEntry entry;
        SString data;
        const ReadState state = ReadEntry(index, entry, data);
        if (state == ReadState::End)
            break;
        if (state == ReadState::Read)
        {
            entry.path = ResolveFontPath(fontsFolder, data);
            if (!result)
                entry.outcome = FontEntryOutcome::NotReached;
            else if (Apply(entry.path, add))
                entry.outcome = FontEntryOutcome::Applied;
            else
            {
                entry.outcome = FontEntryOutcome::Failed;
                if (add)
                    result = FALSE;
                // The component and the text are fixed, kept on purpose for compatibility.
                Log(SLogContext{L"ACB", SLogLevel(SLogLevel::Warning), SLogType(0)},
                    L"%s font \"%s\" failed for application \"%s\".", add ? L"Adding" : L"Removing",
                    entry.path.c_str(), m_ApplicationId.c_str());
            }
        }
        else if (!result)
            entry.outcome = FontEntryOutcome::NotReached;
        if (entry.outcome != FontEntryOutcome::NotReached || ListsUnreached())
            Report(entry, add);
        if (!result && !ListsUnreached())
            break;
    }
    return result;
}

BOOL RegisterApplicationFonts(uint32_t sessionId, const SString& profileName, const SString& applicationId,
                              BOOL add)
{
    SString fontsFolder;
    if (FindFontsFolder(fontsFolder).Failed())
        return FALSE;
    SFontJob job(sessionId, profileName, applicationId);
    if (job.Open().Failed())
        return TRUE;
    return job.Run(fontsFolder, add);
}

} // namespace S
