// The virtualization engine's side of an application's private fonts: defines, lists and removes
// the Fonts key of an application's virtual registry for a profile, a session and an application.
//
//   appfonts add    [--profile P] --session N --app-id ID [--name DISPLAY] FONT
//   appfonts list   [--profile P] --session N --app-id ID
//   appfonts remove [--profile P] --session N --app-id ID
//   appfonts profile
//
// Without --profile the profile name is the one the agent finds for the current user; `profile`
// prints it.
// FONT is a full path (X:\...) or a file name relative to the fonts folder, stored as given.
// `remove` deletes the application's whole tree, and the profile-session key once it is empty.
#include "library/system/profile/SUserProfile.h"
#include "library/system/registry/SRegKey.h"
#include "startup/ProductLocations.h"
#include "startup/Startup.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

namespace
{

constexpr int kExitBadArguments = 2;
constexpr int kExitRegistry = 3;

struct Arguments
{
    std::wstring command;
    std::optional<std::wstring> profile;
    std::optional<std::wstring> session;
    std::optional<std::wstring> appId;
    std::wstring displayName;
    std::wstring font;
};

void PrintUsage()
{
    std::fwprintf(stderr,
                  L"usage: appfonts add|list|remove --profile P --session N --app-id ID [--name DISPLAY] "
                  L"[FONT]\n");
}

std::optional<std::wstring> AgentProfileName()
{
    S::SString account;
    S::SString profile;
    S::SString sid;
    if (!S::GetCurrentUserProfile(account, profile, sid))
    {
        std::fwprintf(stderr, L"appfonts: the current user's profile cannot be found\n");
        return std::nullopt;
    }
    return std::wstring(profile.c_str());
}

std::optional<Arguments> Parse(int argc, wchar_t** argv)
{
    if (argc < 2)
        return std::nullopt;
    Arguments args;
    args.command = argv[1];
    if (args.command == L"profile")
        return argc == 2 ? std::optional<Arguments>(args) : std::nullopt;
    for (int i = 2; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--profile" && hasValue)
            args.profile = argv[++i];
        else if (arg == L"--session" && hasValue)
            args.session = argv[++i];
        else if (arg == L"--app-id" && hasValue)
            args.appId = argv[++i];
        else if (arg == L"--name" && hasValue)
            args.displayName = argv[++i];
        else if (arg.rfind(L"--", 0) != 0 && args.font.empty())
            args.font = arg;
        else
        {
            std::fwprintf(stderr, L"appfonts: unexpected argument %ls\n", arg.c_str());
            return std::nullopt;
        }
    }
    if (!args.session || !args.appId)
    {
        std::fwprintf(stderr, L"appfonts: --session and --app-id are required\n");
        return std::nullopt;
    }
    if (!args.profile && !(args.profile = AgentProfileName()))
        return std::nullopt;
    const bool wantsFont = args.command == L"add";
    if (wantsFont == args.font.empty() ||
        (args.command != L"add" && args.command != L"list" && args.command != L"remove"))
        return std::nullopt;
    return args;
}

S::SRegKeyLocation FontsKey(const Arguments& args)
{
    return S::GetApplicationFontsKeyLocation(S::SString(args.profile->c_str()),
                                             S::SString(args.appId->c_str()),
                                             S::ParseSessionId(S::SString(args.session->c_str())));
}

int Add(const Arguments& args)
{
    S::SRegKey key;
    key.SetLocation(FontsKey(args));
    const S::SResult created = key.Create(KEY_READ | KEY_SET_VALUE | KEY_WOW64_64KEY);
    if (created.Failed())
    {
        std::fwprintf(stderr, L"appfonts: cannot create the Fonts key (0x%08x)\n", created.Unsigned());
        return kExitRegistry;
    }
    std::wstring name = args.displayName;
    if (name.empty())
    {
        const size_t slash = args.font.find_last_of(L"\\/");
        name = slash == std::wstring::npos ? args.font : args.font.substr(slash + 1);
    }
    const LSTATUS error = RegSetValueExW(key.GetHandle(), name.c_str(), 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(args.font.c_str()),
                                         static_cast<DWORD>((args.font.size() + 1) * sizeof(wchar_t)));
    if (error != ERROR_SUCCESS)
    {
        std::fwprintf(stderr, L"appfonts: cannot write %ls (error %ld)\n", name.c_str(), error);
        return kExitRegistry;
    }
    std::wprintf(L"added \"%ls\" = %ls\n", name.c_str(), args.font.c_str());
    return 0;
}

int List(const Arguments& args)
{
    S::SRegKey key;
    key.SetLocation(FontsKey(args));
    if (key.Open(KEY_READ | KEY_WOW64_64KEY).Failed())
    {
        std::wprintf(L"no fonts defined\n");
        return 0;
    }
    for (DWORD index = 0;; ++index)
    {
        wchar_t name[16384];
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key.GetHandle(), index, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        S::SString data;
        key.QueryString(name, data, L"");
        std::wprintf(L"\"%ls\" = %ls\n", name, data.c_str());
    }
    return 0;
}

int Remove(const Arguments& args)
{
    const S::SRegKeyLocation fonts = FontsKey(args);
    const std::wstring path = fonts.path.c_str();
    // The application's tree is the first two components: <profile>-<session>\<application id>.
    const size_t first = path.find(L'\\');
    const std::wstring profileSession = path.substr(0, first);
    const std::wstring appTree = args.appId->empty() ? profileSession : profileSession + L"\\" + *args.appId;
    const LSTATUS error = RegDeleteTreeW(HKEY_LOCAL_MACHINE, appTree.c_str());
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
    {
        std::fwprintf(stderr, L"appfonts: cannot remove %ls (error %ld)\n", appTree.c_str(), error);
        return kExitRegistry;
    }
    // Fails while other applications of the same profile and session remain: that is intended.
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, profileSession.c_str(), KEY_WOW64_64KEY, 0);
    std::wprintf(L"removed %ls\n", appTree.c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::optional<Arguments> args = Parse(argc, argv);
    if (!args)
    {
        PrintUsage();
        return kExitBadArguments;
    }
    if (args->command == L"profile")
    {
        const std::optional<std::wstring> profile = AgentProfileName();
        if (profile)
            std::wprintf(L"%ls\n", profile->c_str());
        return profile ? 0 : kExitRegistry;
    }
    if (args->command == L"add")
        return Add(*args);
    if (args->command == L"list")
        return List(*args);
    return Remove(*args);
}
