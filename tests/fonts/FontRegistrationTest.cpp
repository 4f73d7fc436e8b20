#include "fonts/FontRegistration.h"
#include "library/system/SHandle.h"

#include "common/FontVisibility.h"
#include "common/ProcessRunner.h"
#include "common/RecordingLogger.h"
#include "common/RegistrySandbox.h"
#include "common/FontLimitRows.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace S;

TEST(ResolveFontPath, FullPathsPassRelativeNamesGetTheFolder)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"arial.ttf", L"C:\\Windows\\Fonts\\arial.ttf"},
        {L"D:\\App\\Fonts\\x.ttf", L"D:\\App\\Fonts\\x.ttf"},
        {L"d:x.ttf", L"d:x.ttf"},
        {L"\\fonts\\x.ttf", L"C:\\Windows\\Fonts\\\\fonts\\x.ttf"},
        {L"sub\\x.ttf", L"C:\\Windows\\Fonts\\sub\\x.ttf"},
        {L"x", L"C:\\Windows\\Fonts\\x"},
        {L"", L"C:\\Windows\\Fonts\\"},
        {L"\\\\server\\share\\x.ttf", L"C:\\Windows\\Fonts\\\\\\server\\share\\x.ttf"},
    };
    for (const auto& [data, expected] : cases)
        EXPECT_STREQ(ResolveFontPath(SString(L"C:\\Windows\\Fonts"), SString(data)).c_str(), expected)
            << data;
}

namespace
{

const wchar_t* const kFamilies[] = {L"Lumerelx Test One", L"Lumerelx Test Two", L"Lumerelx Test Three",
                                    L"Lumerelx Test Four"};
const wchar_t* const kFiles[] = {L"one.ttf", L"two.ttf", L"three.ttf", L"four.ttf"};

// A virtual Fonts key of a private profile name below HKEY_LOCAL_MACHINE, and private copies of
// the test fonts in a subfolder of the system's fonts folder (files directly in it would be
// public to every process).
class FontJobTest : public testing::Test
{
protected:
    FontJobTest()
    {
        wchar_t windows[MAX_PATH];
        GetWindowsDirectoryW(windows, MAX_PATH);
        m_FontsFolder = std::wstring(windows) + L"\\Fonts";
        CreateDirectoryW((m_FontsFolder + L"\\" + m_Profile).c_str(), nullptr);
        for (const wchar_t* file : kFiles)
            CopyFileW(Original(file).c_str(), InFontsFolder(file).c_str(), FALSE);
    }
    ~FontJobTest() override
    {
        for (const wchar_t* file : kFiles)
        {
            STest::RemovePrivateFont(Original(file));
            STest::RemovePrivateFont(InFontsFolder(file));
            STest::RemovePrivateFont(m_FontsFolder + L"\\\\" + m_Profile + L"\\" + file);
            DeleteFileW(InFontsFolder(file).c_str());
        }
        RemoveDirectoryW((m_FontsFolder + L"\\" + m_Profile).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (m_Profile + L"-7").c_str());
    }

    static std::wstring Original(const wchar_t* file) { return STest::BinFolder() + L"testfonts\\" + file; }
    std::wstring InFontsFolder(const wchar_t* file) const
    {
        return m_FontsFolder + L"\\" + m_Profile + L"\\" + file;
    }
    std::wstring Relative(const wchar_t* file) const { return m_Profile + L"\\" + file; }

    void AddValue(const std::wstring& name, const std::wstring& data)
    {
        STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, m_KeyPath, name, data);
    }
    void AddBytes(const std::wstring& name, DWORD type, const void* data, DWORD size)
    {
        STest::RegistrySandbox::SetBytes(HKEY_LOCAL_MACHINE, m_KeyPath, name, type, data, size);
    }
    BOOL Run(BOOL add)
    {
        return RegisterApplicationFonts(kSession, SString(m_Profile.c_str()), SString(kApp), add);
    }

    // One digit per family, 1 when it is visible.
    static std::string Visible()
    {
        std::string visible;
        for (const wchar_t* family : kFamilies)
            visible += STest::IsFontFamilyVisible(family) ? '1' : '0';
        return visible;
    }

    static constexpr const wchar_t* kApp = L"{00000000-0000-0000-0000-0000000000aa}";
    static constexpr uint32_t kSession = 7;
    // Also the name of the fonts' subfolder.
    const std::wstring m_Profile = L"LumerelxTest" + std::to_wstring(GetCurrentProcessId());
    const std::wstring m_KeyPath =
        GetApplicationFontsKeyLocation(SString(m_Profile.c_str()), SString(kApp), kSession).path.c_str();
    std::wstring m_FontsFolder;
};

} // namespace

// Each row's values, what the add answers and which families it makes visible; the removal after
// it succeeds and takes them away. Wine enumerates values in name order, Windows in the order
// written: both give the rows' order. At and one past each limit, with Two behind, a skipped entry
// neither fails nor stops the job; a cut-off read of an overlong path would name a missing file.
// The type is not checked: any data is text ending at its terminator or its end.
TEST_F(FontJobTest, AddsWhatTheKeyNamesAndRemovesItAgain)
{
    EXPECT_TRUE(Run(TRUE));                                            // no key: nothing to do
    using Value = std::tuple<std::wstring, DWORD, std::wstring, bool>; // name, type, data, terminated
    std::vector<std::tuple<std::vector<Value>, BOOL, std::string>> rows = {
        {{{L"One (TrueType)", REG_SZ, Original(L"one.ttf"), true},
          {L"Two (TrueType)", REG_SZ, Relative(L"two.ttf"), true},
          {L"Three (TrueType)", REG_SZ, L"\\" + Relative(L"three.ttf"), true}},
         TRUE,
         "1110"},
        {{}, TRUE, "0000"}, // a key without values
        {{{L"Binary", REG_BINARY, Original(L"three.ttf"), true},
          {L"Unterminated", REG_SZ, Original(L"two.ttf"), false}},
         TRUE,
         "0110"},
        {{{L"Number", REG_DWORD, L"AB", false}, {L"Two", REG_SZ, Original(L"two.ttf"), true}}, FALSE, "0000"},
    };
    wchar_t temp[MAX_PATH];
    std::wstring base(temp, GetTempPathW(MAX_PATH, temp));
    base.pop_back();
    std::vector<std::unique_ptr<STest::PaddedFontCopy>> copies;
    for (const STest::FontLimitRow& row : STest::kFontLimitRows)
    {
        copies.push_back(
            std::make_unique<STest::PaddedFontCopy>(base, Original(L"one.ttf"), L"one.ttf", row.pathChars));
        const bool added = row.outcome == FontEntryOutcome::Applied;
        rows.push_back({{{STest::RowName(row, L"1 One"), REG_SZ, copies.back()->Path(), true},
                         {L"2 Two", REG_SZ, Original(L"two.ttf"), true}},
                        TRUE,
                        added ? "1100" : "0100"});
    }
    for (size_t i = 0; i < rows.size(); ++i)
    {
        SCOPED_TRACE(i);
        const auto& [values, added, visible] = rows[i];
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_KeyPath.c_str());
        SRegistryKeyHandle key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_KeyPath.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                  key.Put(), nullptr),
                  ERROR_SUCCESS);
        for (const auto& [name, type, data, terminated] : values)
            AddBytes(name, type, data.c_str(), DWORD((data.size() + terminated) * sizeof(wchar_t)));
        EXPECT_EQ(Run(TRUE), added);
        EXPECT_EQ(Visible(), visible);
        EXPECT_TRUE(Run(FALSE));
        EXPECT_EQ(Visible(), "0000");
    }
}

// Removal goes on past the entry that fails, and so reaches Three.
TEST_F(FontJobTest, FailedAdditionEndsTheJobKeepsEarlierFontsAndRemovalAttemptsEveryEntry)
{
    // Wine enumerates values in name order, Windows in the order written: both give this order.
    AddValue(L"1 One", Original(L"one.ttf"));
    AddValue(L"2 Missing", Original(L"missing.ttf"));
    AddValue(L"3 Three", Original(L"three.ttf"));
    STest::RecordingLogger logger;
    EXPECT_FALSE(Run(TRUE));
    EXPECT_EQ(Visible(), "1000");
    const auto lines = logger.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].component == L"ACB" && lines[0].level == SLogLevel::Warning);
    EXPECT_EQ(lines[0].text,
              L"Adding font \"" + Original(L"missing.ttf") + L"\" failed for application \"" + kApp + L"\".");
    ASSERT_NE(AddFontResourceExW(Original(L"three.ttf").c_str(), FR_PRIVATE, nullptr), 0);
    EXPECT_TRUE(Run(FALSE));
    EXPECT_EQ(Visible(), "0000");
}

// Profile, session and application (left out when empty) lead to the redirected machine fonts key.
TEST(FontRegistration, ApplicationFontsKeyLocation)
{
    const std::wstring fonts = L"rhklm\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    const std::tuple<const wchar_t*, const wchar_t*, uint32_t, std::wstring> cases[] = {
        {L"john", L"{00000000-0000-0000-0000-000000000001}", 2,
         L"john-2\\{00000000-0000-0000-0000-000000000001}\\" + fonts},
        {L"SYSTEM", L"app", 0, L"SYSTEM-0\\app\\" + fonts},
        {L"u", L"", 4294967295u, L"u-4294967295\\" + fonts},
    };
    for (const auto& [profile, app, session, expected] : cases)
    {
        const SRegKeyLocation location =
            GetApplicationFontsKeyLocation(SString(profile), SString(app), session);
        EXPECT_EQ(location.root, HKEY_LOCAL_MACHINE);
        EXPECT_STREQ(location.path.c_str(), expected.c_str());
    }
}
