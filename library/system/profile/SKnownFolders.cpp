#include "library/system/profile/SKnownFolders.h"

#include "library/diagnostics/log/Log.h"
#include "library/system/SHandle.h"
#include "library/system/process/SAutoImpersonate.h"
#include "library/system/profile/ProfileSource.h"
#include "library/system/profile/SFolderTable.h"
#include "library/system/profile/SUserEnvironment.h"

#include <shlobj.h>

namespace S
{

namespace
{

constexpr DWORD KnownFolderDontVerify = 0x4000;  // KF_FLAG_DONT_VERIFY
constexpr DWORD KnownFolderDefaultPath = 0x0400; // KF_FLAG_DEFAULT_PATH
constexpr unsigned ProfileIndex = 39;
constexpr unsigned ProfilesIndex = 59;
constexpr unsigned QuickLaunchIndex = 72;
constexpr unsigned ProgramFilesX64Index = 43;
constexpr unsigned ProgramFilesCommonX64Index = 44;

// The component and the log texts in this file are fixed, kept on purpose for compatibility.
void TraceFolderMessage(const wchar_t* format, SResult result, DWORD error) noexcept
{
    Log(SLogContext{L"KnownFolders", SLogLevel::Trace, SLogType::None, 0, 0, 0}, &result, format, error);
}

bool RunsUnderWow64() noexcept
{
    static const bool wow64 = []
    {
        BOOL answer = FALSE;
        return IsWow64Process(GetCurrentProcess(), &answer) && answer;
    }();
    return wow64;
}

bool IsNullGuid(const GUID& id) noexcept
{
    return IsEqualGUID(id, GUID_NULL) != FALSE;
}

// The current path, or on any failure the default path.
SResult ShellFolderPath(IProfileSource& source, int csidl, HANDLE token, SString& path)
{
    SResult result = source.FolderPath(csidl, token, SHGFP_TYPE_CURRENT, path);
    if (result != 0)
        result = source.FolderPath(csidl, token, SHGFP_TYPE_DEFAULT, path);
    return TranslateShellResult(result.Code());
}

// The folder that holds the profile directory: trailing separators dropped, then the text up to
// its last backslash (all of it when there is none).
void KeepParent(SString& path)
{
    size_t length = path.GetLength();
    while (length > 0 && (path[length - 1] == L'\\' || path[length - 1] == L'/'))
        --length;
    path.Truncate(length);
    const size_t separator = path.ReverseFind(L'\\');
    if (separator != SNpos)
        path.Truncate(separator);
}

SResult ExpandTemplate(const wchar_t* pattern, HANDLE token, SString& path)
{
    if (!ExpandEnvironmentForUser(SString(pattern), path, token))
        return kResultFolderUnresolved;
    bool isDirectory = false;
    if (ExpandedFileExists(SPath(path), &isDirectory) && !isDirectory)
        return kResultShellBadArgument;
    return 0;
}

} // namespace

SResult TranslateShellResult(HRESULT result) noexcept
{
    switch (static_cast<uint32_t>(result))
    {
    case 0:
        return 0;
    case 1:
    case kResultFail.Unsigned():
        return kResultShellNoPath;
    case kResultInvalidArgument.Unsigned():
        return kResultShellBadArgument;
    default:
        return kResultShellFailed;
    }
}

SResult GetFolderPathForVista(unsigned index, SString& path, HANDLE token)
{
    path.Clear();
    IProfileSource& source = CurrentProfileSource();
    if (!source.HasKnownFolderLookup())
    {
        TraceFolderMessage(L"GetFolderPathForVista: Failed to load entry point to SHGetKnownFolderPath. "
                           L"Reverting to legacy code to call SHGetFolderPath.\n",
                           0, GetLastError());
        return GetFolderPath(index, path, token);
    }
    const SFolderTableEntry* row = GetFolderTableEntry(index);
    if (row == nullptr || IsNullGuid(row->KnownFolderId))
        return kResultFolderUnresolved;

    SAutoImpersonate impersonation;
    SResult result;
    if (impersonation.Impersonate(result, token).Failed() && SHandle::IsValid(token))
        return result;

    result = source.KnownFolderPath(row->KnownFolderId, KnownFolderDontVerify, token, path);
    if (result == 0)
        return 0;
    const bool programFilesX64 = index == ProgramFilesX64Index || index == ProgramFilesCommonX64Index;
    if (!programFilesX64 || !RunsUnderWow64())
    {
        const DWORD defaultPath = KnownFolderDontVerify | KnownFolderDefaultPath;
        return TranslateShellResult(
            source.KnownFolderPath(row->KnownFolderId, defaultPath, token, path).Code());
    }
    const wchar_t* variable = index == ProgramFilesX64Index ? L"%ProgramW6432%" : L"%CommonProgramW6432%";
    SString expanded;
    if (!ExpandEnvironmentForUser(SString(variable), expanded, token) || expanded.IsEmpty())
        return TranslateShellResult(result.Code());
    path.Assign(expanded);
    return 0;
}

SResult GetFolderPath(unsigned index, SString& path, HANDLE token)
{
    path.Clear();
    const SFolderTableEntry* row = GetFolderTableEntry(index);
    if (row == nullptr || row->Legacy == SLegacyFolder::None)
        return kResultFolderUnresolved;

    SAutoImpersonate impersonation;
    SResult result;
    if (impersonation.Impersonate(result, token).Failed())
        return result;

    // Without a token of the caller's the profile folders are the interactive user's.
    SHandle shellToken;
    if (token == nullptr && (index == ProfileIndex || index == ProfilesIndex || index == QuickLaunchIndex))
        GetShellUserToken(TokenImpersonation, shellToken);
    const HANDLE user = shellToken ? shellToken.Get() : token;

    IProfileSource& source = CurrentProfileSource();
    switch (row->Legacy)
    {
    case SLegacyFolder::Csidl:
        return ShellFolderPath(source, row->Csidl, user, path);
    case SLegacyFolder::ProfileDirectory:
    case SLegacyFolder::ProfilesParent:
        result = source.UserProfileDirectory(user, path);
        if (result.Failed())
        {
            TraceFolderMessage(row->Legacy == SLegacyFolder::ProfileDirectory
                                   ? L"Failed to get user profile directory path. Error code=%d"
                                   : L"Failed to get profile directory path. Error code=%d",
                               kResultProfileUnreadable, HRESULT_CODE(result.Code()));
            return TranslateShellResult(source.FolderPath(row->Csidl, user, SHGFP_TYPE_DEFAULT, path).Code());
        }
        if (row->Legacy == SLegacyFolder::ProfilesParent)
            KeepParent(path);
        return 0;
    case SLegacyFolder::Template:
        return ExpandTemplate(row->Template, user, path);
    case SLegacyFolder::None:
        break;
    }
    return kResultFolderUnresolved;
}

} // namespace S
