// The virtualization engine's side of an application's private fonts: defines, lists, checks and
// removes the Fonts key of an application's virtual registry for a profile, a session and an
// application. `appfonts --help` gives the commands and exit codes.
//
// `check` walks the key with the agent's own job (same reading, limits, fonts folder, path
// resolution and stop-at-first-failure rule) and tries every font in a child process of its own
// (`appfonts --try-font PATH`), so that this process's font table stays untouched.
#include "fonts/FontRegistration.h"
#include "library/system/SHandle.h"
#include "library/system/profile/SUserProfile.h"
#include "library/system/registry/SRegKey.h"

#include "ToolSupport.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

using STool::Print;
using STool::Stream;

namespace
{

constexpr int kExitProblem = 1; // check found a font the agent would not add; nothing to remove; add refused
constexpr int kExitUsage = 2;
constexpr int kExitSystem = 3;
// The try-font child's failure: this bit and the last error of the failed addition. The bit keeps
// it apart from 0 (added) and from the codes of a crash.
constexpr DWORD kTryFailedBit = 0x20000000;

const wchar_t kUsage[] =
    L"usage: appfonts COMMAND [OPTIONS]\n"
    L"  add     --app-id ID [--session N] [--profile P] [--name DISPLAY] [--force] FONT\n"
    L"  list    --app-id ID [--session N] [--profile P]\n"
    L"  check   --app-id ID [--session N] [--profile P]\n"
    L"  remove  --app-id ID [--session N] [--profile P]\n"
    L"  profile                 prints the profile name the agent uses for the current user\n"
    L"  --help, -h, /?          prints this text\n"
    L"FONT is a full path (X:\\...) or a file name relative to the fonts folder, stored as given;\n"
    L"add refuses a font the agent could not add unless --force (which still warns).\n"
    L"check tries every font as the agent would, in order, and says where its job would stop.\n"
    L"--profile defaults to the profile name the agent finds for the current user, --session to\n"
    L"the current session. remove deletes the application's whole tree.\n"
    L"Exit codes: 0 done (check: the agent would add every font), 1 check found a font the agent\n"
    L"would not add, add refused the font, or remove found nothing; 2 usage error; 3 system error.\n";

struct Arguments
{
    std::wstring command;
    std::wstring profile;
    DWORD session = 0;
    std::wstring appId;
    std::wstring displayName;
    std::wstring font;
    bool force = false;
};

int UsageError(const wchar_t* format, const std::wstring& detail)
{
    Print(Stream::Err, L"appfonts: ");
    Print(Stream::Err, format, detail.c_str());
    Print(Stream::Err, L"\n(appfonts --help shows the usage)\n");
    return kExitUsage;
}

std::optional<std::wstring> AgentProfileName()
{
    S::SString account;
    S::SString profile;
    S::SString sid;
    if (!S::GetCurrentUserProfile(account, profile, sid))
        return std::nullopt;
    return std::wstring(profile.c_str());
}

bool IsBlank(const std::wstring& text)
{
    return text.find_first_not_of(L" \t\r\n\v\f") == std::wstring::npos;
}

// Fills args or returns the exit code of a usage error.
std::optional<int> Parse(int argc, wchar_t** argv, Arguments& args)
{
    args.command = argv[1];
    const bool add = args.command == L"add";
    if (!add && args.command != L"list" && args.command != L"check" && args.command != L"remove")
        return UsageError(L"unknown command \"%ls\"", args.command);
    std::optional<std::wstring> profile;
    std::optional<std::wstring> session;
    std::optional<std::wstring> appId;
    bool fontGiven = false;
    for (int i = 2; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        std::optional<std::wstring>* target = arg == L"--profile"   ? &profile
                                              : arg == L"--session" ? &session
                                              : arg == L"--app-id"  ? &appId
                                                                    : nullptr;
        if (target != nullptr || (add && arg == L"--name"))
        {
            if (i + 1 >= argc)
                return UsageError(L"%ls needs a value", arg);
            if (target != nullptr)
                *target = argv[++i];
            else
                args.displayName = argv[++i];
        }
        else if (add && arg == L"--force")
            args.force = true;
        else if (add && !fontGiven && arg.rfind(L"--", 0) != 0)
        {
            args.font = arg;
            fontGiven = true;
        }
        else
            return UsageError(L"unexpected argument \"%ls\"", arg);
    }
    if (!appId)
        return UsageError(L"%ls needs --app-id", args.command);
    if (IsBlank(*appId) || appId->find(L'\\') != std::wstring::npos)
        return UsageError(L"the application id \"%ls\" is blank or not one key name: nothing changed",
                          *appId);
    args.appId = *appId;
    if (session && !STool::ParseDecimal(*session, args.session))
        return UsageError(L"the session \"%ls\" is not an unsigned decimal number", *session);
    if (!session && !ProcessIdToSessionId(GetCurrentProcessId(), &args.session))
        args.session = 0;
    if (profile && (profile->empty() || profile->find(L'\\') != std::wstring::npos))
        return UsageError(L"the profile \"%ls\" is empty or not one key name", *profile);
    if (!profile && !(profile = AgentProfileName()))
    {
        Print(Stream::Err, L"appfonts: the current user's profile cannot be found; give --profile\n");
        return kExitSystem;
    }
    args.profile = *profile;
    if (add && (!fontGiven || args.font.empty()))
        return UsageError(L"%ls needs a FONT", args.command);
    return std::nullopt;
}

S::SRegKeyLocation FontsKey(const Arguments& args)
{
    return S::GetApplicationFontsKeyLocation(S::SString(args.profile.c_str()), S::SString(args.appId.c_str()),
                                             args.session);
}

// Adds and removes the font in a child process; the child's exit code says how it went.
int TryFontHere(const std::wstring& path)
{
    const S::SString font(path.c_str());
    if (!S::ApplyFontResource(font, TRUE))
        return static_cast<int>(kTryFailedBit | GetLastError());
    S::ApplyFontResource(font, FALSE);
    return 0;
}

// Why a font cannot be added, or nothing when it can.
std::optional<std::wstring> TryFont(const std::wstring& path)
{
    std::wstring commandLine =
        STool::QuoteArgument(STool::OwnPath()) + L" --try-font " + STool::QuoteArgument(path);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return L"cannot be tried: " + STool::DescribeError(GetLastError());
    const S::SHandle process(info.hProcess);
    const S::SHandle thread(info.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.Get(), &code))
        return L"cannot be tried: " + STool::DescribeError(GetLastError());
    if (code == 0)
        return std::nullopt;
    if ((code & 0xF0000000u) != kTryFailedBit)
        return L"cannot be tried: the trying process ended with " + std::to_wstring(code);
    const DWORD error = code & 0x0FFFFFFFu;
    if (path.size() >= MAX_PATH &&
        GetFileAttributesW(STool::ExtendedPath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return L"path too long (" + std::to_wstring(path.size()) + L" characters, at most " +
               std::to_wstring(MAX_PATH - 1) + L")";
    switch (error)
    {
    case 0:
        return std::wstring(L"not a font");
    case ERROR_FILE_NOT_FOUND:
        return L"file missing (error 2)";
    case ERROR_PATH_NOT_FOUND:
        return L"folder missing (error 3)";
    default:
        return STool::DescribeError(error);
    }
}

std::optional<std::wstring> FontsFolder()
{
    S::SString folder;
    const S::SResult found = S::FindFontsFolder(folder);
    if (found.Failed())
    {
        Print(Stream::Err, L"appfonts: the fonts folder cannot be found (0x%08x)\n", found.Unsigned());
        return std::nullopt;
    }
    return std::wstring(folder.c_str());
}

// What is wrong with an entry before any font is tried: the agent skips names and data it cannot read.
std::optional<std::wstring> CheckLimits(const std::wstring& name, const std::wstring& data)
{
    if (name.size() > S::kFontNameMaxChars)
        return L"the name is too long (" + std::to_wstring(name.size()) + L" characters, at most " +
               std::to_wstring(S::kFontNameMaxChars) + L"): the agent skips it";
    const size_t bytes = (data.size() + 1) * sizeof(wchar_t);
    if (bytes > S::kFontDataMaxBytes)
        return L"the font is too long (" + std::to_wstring(bytes) + L" bytes, at most " +
               std::to_wstring(S::kFontDataMaxBytes) + L"): the agent skips it";
    return std::nullopt;
}

int Add(const Arguments& args)
{
    std::wstring name = args.displayName;
    if (name.empty())
    {
        const size_t slash = args.font.find_last_of(L"\\/");
        name = slash == std::wstring::npos ? args.font : args.font.substr(slash + 1);
    }
    const std::optional<std::wstring> folder = FontsFolder();
    if (!folder)
        return kExitSystem;
    const std::wstring path =
        S::ResolveFontPath(S::SString(folder->c_str()), S::SString(args.font.c_str())).c_str();
    std::optional<std::wstring> problem = CheckLimits(name, args.font);
    if (!problem)
        if (const std::optional<std::wstring> reason = TryFont(path))
            problem = path + L": " + *reason;
    if (problem && !args.force)
    {
        Print(Stream::Err, L"appfonts: not added, %ls (--force adds it anyway)\n", problem->c_str());
        return kExitProblem;
    }
    if (problem)
        Print(Stream::Err, L"appfonts: warning: %ls\n", problem->c_str());

    S::SRegKey key;
    key.SetLocation(FontsKey(args));
    const S::SResult created = key.Create(KEY_READ | KEY_SET_VALUE | KEY_WOW64_64KEY);
    if (created.Failed())
    {
        Print(Stream::Err, L"appfonts: cannot create the Fonts key (0x%08x)\n", created.Unsigned());
        return kExitSystem;
    }
    const LSTATUS error = RegSetValueExW(key.GetHandle(), name.c_str(), 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(args.font.c_str()),
                                         static_cast<DWORD>((args.font.size() + 1) * sizeof(wchar_t)));
    if (error != ERROR_SUCCESS)
    {
        Print(Stream::Err, L"appfonts: cannot write \"%ls\": %ls\n", name.c_str(),
              STool::DescribeError(static_cast<DWORD>(error)).c_str());
        return kExitSystem;
    }
    Print(Stream::Out, L"added \"%ls\" = %ls\n", name.c_str(), args.font.c_str());
    return 0;
}

int List(const Arguments& args)
{
    S::SRegKey key;
    key.SetLocation(FontsKey(args));
    if (key.Open(KEY_READ | KEY_WOW64_64KEY).Failed())
    {
        Print(Stream::Out, L"no fonts defined\n");
        return 0;
    }
    std::vector<wchar_t> name(16384);
    for (DWORD index = 0;; ++index)
    {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key.GetHandle(), index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        S::SString data;
        key.QueryString(name.data(), data, L"");
        Print(Stream::Out, L"\"%ls\" = %ls\n", name.data(), data.c_str());
    }
    return 0;
}

// The agent's job with each font tried in a child process, printing one line per entry.
// Failure contract: a font that cannot even be tried counts as one the agent would not add.
class CheckJob : public S::SFontJob
{
public:
    using S::SFontJob::SFontJob;
    int Skipped() const { return m_Skipped; }

protected:
    BOOL Apply(const S::SString& path, BOOL) override
    {
        m_Reason = TryFont(path.c_str());
        return m_Reason ? FALSE : TRUE;
    }
    void Report(const S::FontEntry& entry, BOOL) override
    {
        std::wstring line = L"\"" + std::wstring(entry.name.c_str()) + L"\"";
        if (!entry.path.IsEmpty())
            line += L" -> " + std::wstring(entry.path.c_str());
        switch (entry.outcome)
        {
        case S::FontEntryOutcome::Applied:
            line += L": would be added";
            break;
        case S::FontEntryOutcome::Failed:
            line += L": would stop the job here: " + m_Reason.value_or(L"");
            break;
        case S::FontEntryOutcome::NameTooLong:
            line += L": skipped: name too long (" + std::to_wstring(entry.nameChars) +
                    L" characters, at most " + std::to_wstring(S::kFontNameMaxChars) + L")";
            ++m_Skipped;
            break;
        case S::FontEntryOutcome::DataTooLong:
            line += L": skipped: data too long (" + std::to_wstring(entry.dataBytes) + L" bytes, at most " +
                    std::to_wstring(S::kFontDataMaxBytes) + L")";
            ++m_Skipped;
            break;
        case S::FontEntryOutcome::NotReached:
            line += L": never reached: the job stopped at an earlier font";
            break;
        }
        Print(Stream::Out, L"%ls\n", line.c_str());
    }
    bool ListsUnreached() const override { return true; }

private:
    std::optional<std::wstring> m_Reason;
    int m_Skipped = 0;
};

int Check(const Arguments& args)
{
    const std::optional<std::wstring> folder = FontsFolder();
    if (!folder)
    {
        Print(Stream::Out, L"the agent adds no font without a fonts folder\n");
        return kExitProblem;
    }
    CheckJob job(args.session, S::SString(args.profile.c_str()), S::SString(args.appId.c_str()));
    if (job.Open().Failed())
    {
        Print(Stream::Out, L"no Fonts key at HKEY_LOCAL_MACHINE\\%ls: the agent has nothing to add\n",
              job.GetLocation().path.c_str());
        return 0;
    }
    const BOOL complete = job.Run(S::SString(folder->c_str()), TRUE);
    if (!complete)
        Print(Stream::Out, L"the agent would stop at the font marked above\n");
    else if (job.Skipped() > 0)
        Print(Stream::Out, L"the agent would skip %d entr%ls\n", job.Skipped(),
              job.Skipped() == 1 ? L"y" : L"ies");
    else
        Print(Stream::Out, L"the agent would add every font\n");
    return complete && job.Skipped() == 0 ? 0 : kExitProblem;
}

int Remove(const Arguments& args)
{
    const std::wstring profileSession = args.profile + L"-" + std::to_wstring(args.session);
    const std::wstring appTree = profileSession + L"\\" + args.appId;
    const LSTATUS error = RegDeleteTreeW(HKEY_LOCAL_MACHINE, appTree.c_str());
    if (error == ERROR_FILE_NOT_FOUND)
    {
        Print(Stream::Out, L"nothing to remove: HKEY_LOCAL_MACHINE\\%ls does not exist\n", appTree.c_str());
        return kExitProblem;
    }
    if (error != ERROR_SUCCESS)
    {
        Print(Stream::Err, L"appfonts: cannot remove %ls: %ls\n", appTree.c_str(),
              STool::DescribeError(static_cast<DWORD>(error)).c_str());
        return kExitSystem;
    }
    // Fails while other applications of the same profile and session remain: that is intended.
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, profileSession.c_str(), KEY_WOW64_64KEY, 0);
    Print(Stream::Out, L"removed %ls\n", appTree.c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"--help" || command == L"-h" || command == L"/?")
    {
        Print(Stream::Out, L"%ls", kUsage);
        return 0;
    }
    if (command == L"--try-font" && argc == 3)
        return TryFontHere(argv[2]);
    if (command == L"profile" && argc == 2)
    {
        const std::optional<std::wstring> profile = AgentProfileName();
        if (!profile)
            Print(Stream::Err, L"appfonts: the current user's profile cannot be found\n");
        else
            Print(Stream::Out, L"%ls\n", profile->c_str());
        return profile ? 0 : kExitSystem;
    }
    if (argc < 2)
    {
        Print(Stream::Err, L"%ls", kUsage);
        return kExitUsage;
    }
    if (command == L"profile")
        return UsageError(L"%ls takes no arguments", command);
    Arguments args;
    if (const std::optional<int> failed = Parse(argc, argv, args))
        return *failed;
    if (args.command == L"add")
        return Add(args);
    if (args.command == L"list")
        return List(args);
    if (args.command == L"check")
        return Check(args);
    return Remove(args);
}
