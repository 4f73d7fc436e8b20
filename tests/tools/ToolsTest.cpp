// The three tools as their users run them: arguments and exit codes, what `appfonts check` says
// compared with what a launched process sees, and non-ASCII names in their output.
#include "library/system/profile/SUserProfile.h"
#include "fonts/FontRegistration.h"
#include "library/system/SHandle.h"

#include "common/FontVisibility.h"
#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"
#include "common/FontLimitRows.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace S;
using STest::BinFolder;
using STest::Quote;

namespace
{

std::string Utf8(const std::wstring& text)
{
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(),
                                                         static_cast<int>(text.size()), bytes.data(),
                                                         static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

const auto Tool = [](const wchar_t* name) { return Quote(BinFolder() + name + L".exe"); };

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH];
    std::wstring folder(temp, GetTempPathW(MAX_PATH, temp));
    folder.pop_back();
    return folder;
}

// Every subkey and value below a key with its type and data, as one text: equal texts, equal trees.
std::wstring Snapshot(HKEY root, const std::wstring& path)
{
    SRegistryKeyHandle key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return L"<none>";
    std::wstring text;
    wchar_t name[512];
    BYTE data[2048];
    for (DWORD i = 0;; ++i)
    {
        DWORD nameChars = 512, bytes = sizeof(data), type = 0;
        if (RegEnumValueW(key.Get(), i, name, &nameChars, nullptr, &type, data, &bytes) != ERROR_SUCCESS)
            break;
        text += path + L"|" + name + L"|" + std::to_wstring(type) + L"|" +
                std::wstring(reinterpret_cast<const wchar_t*>(data), bytes / sizeof(wchar_t)) + L"\n";
    }
    for (DWORD i = 0;; ++i)
    {
        DWORD nameChars = 512;
        if (RegEnumKeyExW(key.Get(), i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        text += Snapshot(root, path + L"\\" + name);
    }
    return text;
}

// The output line about one Fonts entry, or nothing.
std::string LineOf(const std::string& output, const std::wstring& name)
{
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(Utf8(L"\"" + name + L"\""), 0) == 0)
            return line;
    return {};
}

// Fonts keys of the current user's profile (the one the agent reads in a launched process) in a
// session of this test's own, removed afterwards.
class ToolsTest : public testing::Test
{
protected:
    ToolsTest() : m_Session(60000 + GetCurrentProcessId() % 10000)
    {
        // The first GDI user of a fresh wineserver starts the desktop process, which keeps its
        // starter's standard handles: a child's would hold the test's output pipe open for good.
        STest::IsFontFamilyVisible(L"Lumerelx");
        SString account, profile, sid;
        EXPECT_TRUE(GetCurrentUserProfile(account, profile, sid));
        m_Profile = profile.c_str();
    }
    ~ToolsTest() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, SessionKey().c_str()); }

    std::wstring SessionKey() const { return m_Profile + L"-" + std::to_wstring(m_Session); }
    std::wstring Scope(const std::wstring& app) const
    {
        return L"--app-id " + app + L" --session " + std::to_wstring(m_Session);
    }
    void SetFonts(const std::wstring& app, const std::vector<std::pair<std::wstring, std::wstring>>& fonts)
    {
        const std::wstring path =
            GetApplicationFontsKeyLocation(SString(m_Profile.c_str()), SString(app.c_str()), m_Session)
                .path.c_str();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
        for (const auto& [name, data] : fonts)
            STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, path, name, data);
    }
    static std::wstring Font(const wchar_t* file) { return BinFolder() + L"testfonts\\" + file; }
    STest::ProcessResult Probe(const std::wstring& app, const std::wstring& families) const
    {
        return STest::RunProcess(Tool(L"launcher") + L" " + Scope(app) + L" " + Tool(L"fontprobe") + L" " +
                                 families);
    }

    std::wstring m_Profile;
    uint32_t m_Session;
};

} // namespace

TEST_F(ToolsTest, HelpAndBadArgumentsGiveTheDocumentedExitCodes)
{
    SetFonts(L"{keep-1}", {{L"One", Font(L"one.ttf")}});
    SetFonts(L"{keep-2}", {{L"Two", Font(L"two.ttf")}, {L"Three", L"three.ttf"}});
    const std::wstring before = Snapshot(HKEY_LOCAL_MACHINE, SessionKey());
    // A program path over 260 characters.
    const std::wstring longFolder = TempFolder() + L"\\" + std::wstring(200, L'l');
    const std::wstring longProbe = longFolder + L"\\" + std::wstring(60, L'p') + L".exe";
    CreateDirectoryW((L"\\\\?\\" + longFolder).c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((BinFolder() + L"fontprobe.exe").c_str(), (L"\\\\?\\" + longProbe).c_str(), FALSE));
    const std::wstring session = L" --session " + std::to_wstring(m_Session);
    const std::wstring unicodeProgram = L"C:\\нет\\程序.exe";
    const std::wstring appfonts = Tool(L"appfonts") + L" ", launcher = Tool(L"launcher") + L" ",
                       fontprobe = Tool(L"fontprobe") + L" ";
    const std::tuple<std::wstring, DWORD, std::wstring> cases[] = {
        {appfonts + L"--help", 0, L"usage: appfonts"},
        {appfonts + L"/?", 0, L"  check   --app-id ID [--session N] [--profile P]"},
        {Tool(L"appfonts"), 2, L"usage: appfonts"},
        {appfonts + L"frobnicate", 2, L"unknown command \"frobnicate\""},
        {appfonts + L"remove --app-id \"\"" + session, 2, L"blank"},
        {appfonts + L"remove --app-id \" \t\"" + session, 2, L"blank"},
        {appfonts + L"remove" + session, 2, L"needs --app-id"},
        {appfonts + L"list --app-id a --session abc", 2, L"\"abc\" is not an unsigned decimal number"},
        {appfonts + L"list --app-id a --session -1", 2, L"not an unsigned decimal number"},
        {appfonts + L"list --app-id a --session 4294967296", 2, L"not an unsigned decimal number"},
        {appfonts + L"add --app-id a" + session, 2, L"needs a FONT"},
        {appfonts + L"add --app-id {new}" + session + L" " + Quote(Font(L"missing.ttf")), 1, L"file missing"},
        {appfonts + L"add --app-id {new}" + session + L" " + Quote(Tool(L"appfonts")), 1, L"not a font"},
        {appfonts + L"remove --app-id {absent}" + session, 1, L"nothing to remove"},
        {launcher + L"--help", 0, L"127 the program does not exist"},
        {launcher + L"/?", 0, L"usage: launcher"},
        {launcher + L"--session abc " + Tool(L"fontprobe"), 125, L"not an unsigned decimal number"},
        {launcher + Quote(unicodeProgram), 127, L"program not found: " + unicodeProgram},
        {launcher + L"lumerelx-no-such-program.exe", 127,
         L"program not found: lumerelx-no-such-program.exe: File not found (error 2)"},
        {launcher + Quote(BinFolder() + L"..\\CMakeCache.txt"), 126, L"cannot start"},
        {launcher + L"-- " + fontprobe + L"--help", 0, L"usage: fontprobe"},
        {launcher + Quote(longProbe), 0, L"handoff-values=0"},
        {fontprobe + L"--help", 0, L"usage: fontprobe"},
        {fontprobe + L"--wait-ms abc", 2, L"not a number of milliseconds: abc"},
        {fontprobe + L"--wait-ms", 2, L"--wait-ms needs a value"},
        {fontprobe + L"--bogus", 2, L"unknown option --bogus"},
        {fontprobe + L"\"Lumerelx No Such Family\"", 1, L"font \"Lumerelx No Such Family\": absent"},
    };
    for (const auto& [command, exitCode, says] : cases)
    {
        const STest::ProcessResult result = STest::RunProcess(command);
        SCOPED_TRACE(Utf8(command) + "\n" + result.output);
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_NE(result.output.find(Utf8(says)), std::string::npos);
    }
    EXPECT_EQ(Snapshot(HKEY_LOCAL_MACHINE, SessionKey()), before);
    DeleteFileW((L"\\\\?\\" + longProbe).c_str());
    RemoveDirectoryW((L"\\\\?\\" + longFolder).c_str());
}

// One row per outcome, between Three and Two: check's verdict on each entry must be what the agent
// does in a launched process, and what comes before a failure is still added.
TEST_F(ToolsTest, CheckAgreesWithWhatALaunchedProcessSees)
{
    std::vector<std::tuple<STest::FontLimitRow, const wchar_t*, const wchar_t*>> rows = {
        {{"missing file", 0, 0, FontEntryOutcome::Failed},
         L"missing.ttf",
         L"would stop the job here: file missing"},
        {{"not a font", 0, 0, FontEntryOutcome::Failed},
         L"..\\fontprobe.exe",
         L"would stop the job here: not a font"},
    };
    const wchar_t* const says[] = {L"would be added", L"", L"skipped: name too long",
                                   L"skipped: data too long"};
    for (const STest::FontLimitRow& limits : STest::kFontLimitRows)
        rows.emplace_back(limits, L"one.ttf", says[static_cast<int>(limits.outcome)]);
    for (const auto& [limits, file, verdict] : rows)
    {
        const STest::PaddedFontCopy one(TempFolder(), Font(file), L"one.ttf", limits.pathChars);
        const std::wstring name = STest::RowName(limits, L"1 One");
        SetFonts(L"{agree}",
                 {{L"0 Three", Font(L"three.ttf")}, {name, one.Path()}, {L"2 Two", Font(L"two.ttf")}});
        const bool added = limits.outcome == FontEntryOutcome::Applied;
        const bool stops = limits.outcome == FontEntryOutcome::Failed;
        const STest::ProcessResult check =
            STest::RunProcess(Tool(L"appfonts") + L" check " + Scope(L"{agree}"));
        const STest::ProcessResult probe =
            Probe(L"{agree}", L"\"Lumerelx Test One\" \"Lumerelx Test Two\" \"Lumerelx Test Three\"");
        SCOPED_TRACE(std::string(limits.label) + "\n" + check.output + probe.output);
        EXPECT_EQ(check.exitCode, added ? 0u : 1u);
        EXPECT_NE(
            LineOf(check.output, L"0 Three").find(Utf8(L" -> " + Font(L"three.ttf") + L": would be added")),
            std::string::npos);
        EXPECT_NE(LineOf(check.output, name).find(Utf8(verdict)), std::string::npos);
        EXPECT_NE(LineOf(check.output, L"2 Two").find(stops ? "never reached" : "would be added"),
                  std::string::npos);
        EXPECT_NE(probe.output.find(added ? "Test One\": visible" : "Test One\": absent"), std::string::npos);
        EXPECT_NE(probe.output.find(stops ? "Test Two\": absent" : "Test Two\": visible"), std::string::npos);
        EXPECT_NE(probe.output.find("Test Three\": visible"), std::string::npos);
    }
}

TEST_F(ToolsTest, NonAsciiFileAndFamilyNamesComeOutIntact)
{
    const std::wstring file =
        TempFolder() + L"\\Шрифт 字体 " + std::to_wstring(GetCurrentProcessId()) + L".ttf";
    ASSERT_TRUE(CopyFileW(Font(L"unicode.ttf").c_str(), file.c_str(), FALSE));
    const std::wstring leaf = file.substr(file.find_last_of(L'\\') + 1), family = L"Lumerelx Тест 字体";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {Tool(L"appfonts") + L" add " + Scope(L"{unicode}") + L" " + Quote(file),
         L"added \"" + leaf + L"\" = " + file},
        {Tool(L"appfonts") + L" list " + Scope(L"{unicode}"), L"\"" + leaf + L"\" = " + file},
        {Tool(L"appfonts") + L" check " + Scope(L"{unicode}"),
         L"\"" + leaf + L"\" -> " + file + L": would be added"},
        {Tool(L"launcher") + L" " + Scope(L"{unicode}") + L" " + Tool(L"fontprobe") + L" " + Quote(family),
         L"font \"" + family + L"\": visible"},
        // Last: --force writes what add would refuse, and still says why.
        {Tool(L"appfonts") + L" add --force " + Scope(L"{unicode}") + L" " + Quote(file + L".missing"),
         L"warning: " + file + L".missing: file missing"},
    };
    for (const auto& [command, says] : cases)
    {
        const STest::ProcessResult result = STest::RunProcess(command);
        SCOPED_TRACE(Utf8(says) + "\n" + result.output);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_NE(result.output.find(Utf8(says)), std::string::npos);
    }
    DeleteFileW(file.c_str());
}
