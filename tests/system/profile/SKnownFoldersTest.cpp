#include "library/system/profile/SFolderTable.h"
#include "library/system/profile/SKnownFolders.h"

#include "common/ProcessRunner.h"
#include "system/profile/RecordedProfileSource.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace STest;

using Lookup = SResult (*)(unsigned, SString&, HANDLE);

// The legacy lookup: CSIDL rows ask for the current path, then the default one; the profile rows
// read the profile directory (its parent for the profiles folder) and fall back to the shell's
// default; without a caller's token the profile folders are the desktop shell's user's; template
// rows are expanded, and a template that names a file (after the process's own expansion of what is
// left) is refused. The current lookup answers as the
// legacy one when the known-folder lookup is missing, retries with the default-path flag, and maps
// the shell's results to the library's codes.
TEST(KnownFolders, LookupsThroughRecordedShell)
{
    const std::wstring windows = _wgetenv(L"SystemRoot"), file = STest::BinFolder() + L"system_tests.exe";
    const S::SHandle caller = STest::DuplicateProcessToken();
    // The lookup: the legacy one, the current one, the current one without a known-folder lookup.
    constexpr int Legacy = 0, Vista = 1, VistaWithout = 2;
    // The user: no token and no shell window; no token and a shell window; the caller's token, which
    // outranks a shell window.
    constexpr int None = 0, Shell = 1, Own = 2;
    constexpr SResult NoPath = S::kResultShellNoPath, Bad = S::kResultShellBadArgument,
                      Failed = S::kResultShellFailed, Unresolved = S::kResultFolderUnresolved;
    constexpr unsigned PastTable = S::kFolderIndexCount;
    const std::wstring fonts = L"known FD228CB7 4000", fontsDefault = L"|known FD228CB7 4400";
    // clang-format off
    const std::tuple<int, unsigned, int, std::deque<Answer>, std::wstring, SResult, std::wstring> rows[] = {
        {Legacy, 11, Shell, {{0, L"C:\\F"}}, L"folder 20 0", 0, L"C:\\F"},
        {Legacy, 11, Own, {{1, L"C:\\cut"}, {0, L"C:\\F"}}, L"folder 20 0@c|folder 20 1@c", 0, L"C:\\F"},
        {Legacy, 11, None, {{Fail, L"C:\\cut"}, {Fail, L""}}, L"folder 20 0|folder 20 1", NoPath, L""},
        {Legacy, 11, None, {{Denied, L""}, {BadArgument, L""}}, L"folder 20 0|folder 20 1", Bad, L""},
        {Legacy, 11, None, {{Missing, L""}, {Missing, L""}}, L"folder 20 0|folder 20 1", Failed, L""},
        {Legacy, 5, None, {}, L"", Unresolved, L""},
        {Legacy, PastTable, None, {}, L"", Unresolved, L""},
        {Legacy, 39, Shell, {{0, L"C:\\users\\me"}}, L"profile@s", 0, L"C:\\users\\me"},
        {Legacy, 39, None, {{0, L"C:\\users\\me"}}, L"profile", 0, L"C:\\users\\me"},
        {Legacy, 39, Own, {{TooSmall, L""}, {0, L"C:\\users\\Default"}}, L"profile@c|folder 40 1@c", 0,
         L"C:\\users\\Default"},
        {Legacy, 59, Shell, {{0, L"C:\\users\\me\\/"}}, L"profile@s", 0, L"C:\\users"},
        {Legacy, 59, None, {{0, L"me"}}, L"profile", 0, L"me"},
        {Legacy, 59, Shell, {{Denied, L""}, {0, L"C:\\users"}}, L"profile@s|folder 62 1@s", 0, L"C:\\users"},
        {Legacy, 59, None, {{Denied, L""}, {1, L""}}, L"profile|folder 62 1", NoPath, L""},
        {Legacy, 72, Shell, {{0, L"M:\\ql"}}, L"user 260@s", 0, L"\\\\srv\\share\\ql"},
        {Legacy, 61, None, {{0, windows}}, L"process 260", 0, windows},
        {Legacy, 87, Own, {{0, file}}, L"user 260@c", Bad, file},
        {Legacy, 87, Own, {{0, L"%F%"}, {0, file}}, L"user 260@c|process 260", Bad, L"%F%"},
        {Legacy, 62, None, {{Fail, L""}}, L"process 260", Unresolved, L""},
        {VistaWithout, 11, None, {{0, L"C:\\F"}}, L"folder 20 0", 0, L"C:\\F"},
        {VistaWithout, 39, Shell, {{0, L"C:\\F"}}, L"profile@s", 0, L"C:\\F"},
        {Vista, 11, Shell, {{0, L"C:\\F"}}, fonts, 0, L"C:\\F"},
        {Vista, 39, Shell, {{0, L"C:\\users\\me"}}, L"known 5E6C858F 4000", 0, L"C:\\users\\me"},
        {Vista, 11, Own, {{Fail, L"C:\\cut"}, {0, L"C:\\F"}}, fonts + L"@c" + fontsDefault + L"@c", 0,
         L"C:\\F"},
        {Vista, 43, None, {{Fail, L""}, {1, L""}}, L"known 6D809377 4000|known 6D809377 4400", NoPath, L""},
        {Vista, 11, None, {{Fail, L""}, {Denied, L"C:\\part"}}, fonts + fontsDefault, Failed, L"C:\\part"},
        {Vista, 11, None, {{1, L""}, {BadArgument, L""}}, fonts + fontsDefault, Bad, L""},
        {Vista, 75, None, {}, L"", Unresolved, L""},
        {Vista, 80, None, {}, L"", Unresolved, L""},
        {Vista, 101, None, {}, L"", Unresolved, L""},
        {Vista, PastTable, None, {}, L"", Unresolved, L""},
    };
    // clang-format on
    const MappedM mapped;
    for (const auto& [way, index, user, answers, calls, expected, path] : rows)
    {
        const auto shellWindow = user != None ? STest::MakeShellWindow() : nullptr;
        RecordedProfileSource source(answers, caller.Get(), way != VistaWithout);
        const S::SScopedForTesting scope(S::SetProfileSourceForTesting, &source);
        SString found(L"stale");
        const HANDLE token = user == Own ? caller.Get() : nullptr;
        const SResult result = way == Legacy ? S::GetFolderPath(index, found, token)
                                             : S::GetFolderPathForVista(index, found, token);
        const std::wstring row = std::to_wstring(index) + L" " + calls;
        EXPECT_EQ(result, expected) << row;
        EXPECT_EQ(Text(found), path) << row;
        EXPECT_EQ(source.calls, calls) << row;
        EXPECT_FALSE(STest::ThreadImpersonates()) << row;
    }
}

// The real shell: impersonation failures end the legacy lookup; the current one goes on for the
// interactive user only. A virtual folder (kResultInvalidArgument) fails and leaves no path. Every lookup
// ends the impersonation it started, on every path out of it. The live source turns failures into codes, a
// buffer too small included, which Wine's userenv answers with the size it needs.
TEST(KnownFolders, RealShellAndUserEnvironment)
{
    ASSERT_FALSE(STest::ShellWindowExists());
    S::IProfileSource& live = S::LiveProfileSource();
    ASSERT_EQ(&S::CurrentProfileSource(), &live);
    const std::wstring windows = _wgetenv(L"SystemRoot"), fonts = windows + L"\\Fonts";
    const S::SHandle notAToken(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        token = STest::DuplicateProcessToken();
    const Lookup Vista = &S::GetFolderPathForVista, Legacy = &S::GetFolderPath;
    const std::tuple<Lookup, unsigned, HANDLE, SResult> cases[] = {
        {Vista, 11, nullptr, 0},
        {Legacy, 11, token.Get(), 0},
        {Legacy, 11, INVALID_HANDLE_VALUE, BadArgument},
        {Vista, 11, INVALID_HANDLE_VALUE, 0},
        {Vista, 11, notAToken.Get(), Denied},
        {Vista, 0, nullptr, S::kResultShellBadArgument},
    };
    for (const auto& [lookup, index, user, expected] : cases)
    {
        SString path(L"stale");
        EXPECT_EQ(lookup(index, path, user), expected) << index << " " << user;
        EXPECT_EQ(_wcsicmp(path.c_str(), expected == 0 ? fonts.c_str() : L""), 0) << Text(path);
        ASSERT_FALSE(STest::ThreadImpersonates()) << index << " " << user;
    }

    SString path(L"stale");
    EXPECT_TRUE(live.UserProfileDirectory(notAToken.Get(), path).Failed() && path.IsEmpty());
    EXPECT_TRUE(live.FolderPath(0xFF, nullptr, 0, path).Failed());
    EXPECT_TRUE(live.HasKnownFolderLookup());
    EXPECT_TRUE(live.KnownFolderPath(GUID{}, 0, nullptr, path).Failed() && path.IsEmpty());
    wchar_t buffer[MAX_PATH];
    EXPECT_EQ(live.ExpandForUser(token.Get(), L"%SystemRoot%", buffer, 4), TooSmall);
    EXPECT_EQ(live.ExpandForUser(token.Get(), L"%SystemRoot%", buffer, MAX_PATH), SResult(0));
    EXPECT_EQ(buffer, windows);
}
