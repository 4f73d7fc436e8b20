#include "fonts/FontRegistration.h"
#include "startup/ProductLocations.h"

#include "common/FontVisibility.h"
#include "common/ProcessRunner.h"
#include "common/RecordingLogger.h"
#include "common/RegistrySandbox.h"
#include "fonts/FontLimitRows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace S;

TEST(ResolveFontPath, FullPathsPassRelativeNamesGetTheFolder)
{
    struct Case
    {
        const wchar_t* data;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"arial.ttf", L"C:\\Windows\\Fonts\\arial.ttf"},
        {L"D:\\App\\Fonts\\x.ttf", L"D:\\App\\Fonts\\x.ttf"},
        {L"d:x.ttf", L"d:x.ttf"},
        {L"\\fonts\\x.ttf", L"C:\\Windows\\Fonts\\\\fonts\\x.ttf"},
        {L"sub\\x.ttf", L"C:\\Windows\\Fonts\\sub\\x.ttf"},
        {L"x", L"C:\\Windows\\Fonts\\x"},
        {L"", L"C:\\Windows\\Fonts\\"},
        {L"\\\\server\\share\\x.ttf", L"C:\\Windows\\Fonts\\\\\\server\\share\\x.ttf"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(ResolveFontPath(SString(L"C:\\Windows\\Fonts"), SString(c.data)).c_str(), c.expected)
            << c.data;
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
        wchar_t profile[64];
        swprintf(profile, 64, L"LumerelxTest%08lx", GetCurrentProcessId());
        m_Profile = profile;
        m_KeyPath = GetApplicationFontsKeyLocation(SString(profile), SString(kApp), kSession).path.c_str();
        wchar_t windows[MAX_PATH];
        GetWindowsDirectoryW(windows, MAX_PATH);
        m_FontsFolder = std::wstring(windows) + L"\\Fonts";
        m_SubFolder = profile;
        CreateDirectoryW((m_FontsFolder + L"\\" + m_SubFolder).c_str(), nullptr);
        for (const wchar_t* file : kFiles)
            CopyFileW((STest::BinFolder() + L"testfonts\\" + file).c_str(), InFontsFolder(file).c_str(),
                      FALSE);
    }
    ~FontJobTest() override
    {
        for (const wchar_t* file : kFiles)
        {
            STest::RemovePrivateFont(Original(file));
            STest::RemovePrivateFont(InFontsFolder(file));
            STest::RemovePrivateFont(m_FontsFolder + L"\\\\" + m_SubFolder + L"\\" + file);
            DeleteFileW(InFontsFolder(file).c_str());
        }
        RemoveDirectoryW((m_FontsFolder + L"\\" + m_SubFolder).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (m_Profile + L"-7").c_str());
    }

    static std::wstring Original(const wchar_t* file) { return STest::BinFolder() + L"testfonts\\" + file; }
    std::wstring InFontsFolder(const wchar_t* file) const
    {
        return m_FontsFolder + L"\\" + m_SubFolder + L"\\" + file;
    }
    std::wstring Relative(const wchar_t* file) const { return m_SubFolder + L"\\" + file; }

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

    static std::vector<bool> Visible()
    {
        std::vector<bool> visible;
        for (const wchar_t* family : kFamilies)
            visible.push_back(STest::IsFontFamilyVisible(family));
        return visible;
    }

    static constexpr const wchar_t* kApp = L"{00000000-0000-0000-0000-0000000000aa}";
    static constexpr uint32_t kSession = 7;
    std::wstring m_Profile;
    std::wstring m_KeyPath;
    std::wstring m_FontsFolder;
    std::wstring m_SubFolder;
};

} // namespace

TEST_F(FontJobTest, AddsFullPathsAndNamesInTheFontsFolder)
{
    ASSERT_EQ(Visible(), (std::vector<bool>{false, false, false, false}));
    AddValue(L"One (TrueType)", Original(L"one.ttf"));
    AddValue(L"Two (TrueType)", Relative(L"two.ttf"));
    AddValue(L"Three (TrueType)", L"\\" + Relative(L"three.ttf"));
    EXPECT_TRUE(Run(TRUE));
    EXPECT_EQ(Visible(), (std::vector<bool>{true, true, true, false}));

    EXPECT_TRUE(Run(FALSE));
    EXPECT_EQ(Visible(), (std::vector<bool>{false, false, false, false}));
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
    EXPECT_EQ(Visible(), (std::vector<bool>{true, false, false, false}));
    const auto lines = logger.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].component == L"ACB" && lines[0].level == SLogLevel::Warning);
    EXPECT_EQ(lines[0].text,
              L"Adding font \"" + Original(L"missing.ttf") + L"\" failed for application \"" + kApp + L"\".");
    ASSERT_NE(AddFontResourceExW(Original(L"three.ttf").c_str(), FR_PRIVATE, nullptr), 0);
    EXPECT_TRUE(Run(FALSE));
    EXPECT_EQ(Visible(), (std::vector<bool>{false, false, false, false}));
}

TEST_F(FontJobTest, NoFontsKeyOrNoValuesIsNothingToDo)
{
    EXPECT_TRUE(Run(TRUE));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_KeyPath.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(Run(TRUE));
    EXPECT_TRUE(Run(FALSE));
    EXPECT_EQ(Visible(), (std::vector<bool>{false, false, false, false}));
}

// At and one past each limit, with Two behind: a skipped entry neither fails nor stops the job, and a
// cut-off read of an overlong path would name a missing file and fail it.
TEST_F(FontJobTest, EntriesAtTheLimitsAreAddedAndOnePastAreSkipped)
{
    wchar_t temp[MAX_PATH];
    std::wstring base(temp, GetTempPathW(MAX_PATH, temp));
    base.pop_back();
    for (const STest::FontLimitRow& row : STest::kFontLimitRows)
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_KeyPath.c_str());
        const STest::PaddedFontCopy one(base, Original(L"one.ttf"), L"one.ttf", row.pathChars);
        AddValue(STest::RowName(row, L"1 One"), one.Path());
        AddValue(L"2 Two", Original(L"two.ttf"));
        EXPECT_TRUE(Run(TRUE)) << row.label;
        const bool added = row.outcome == FontEntryOutcome::Applied;
        EXPECT_EQ(Visible(), (std::vector<bool>{added, true, false, false})) << row.label;
        EXPECT_TRUE(Run(FALSE)) << row.label;
        EXPECT_EQ(Visible(), (std::vector<bool>{false, false, false, false})) << row.label;
    }
}

TEST_F(FontJobTest, DataOfAnyTypeIsTextEndingAtItsTerminatorOrItsEnd)
{
    // The type is not checked: binary data holding a terminated path is a font like any other.
    const std::wstring three = Original(L"three.ttf");
    AddBytes(L"Binary", REG_BINARY, three.c_str(), static_cast<DWORD>((three.size() + 1) * sizeof(wchar_t)));
    const std::wstring two = Original(L"two.ttf");
    AddBytes(L"Unterminated", REG_SZ, two.c_str(), static_cast<DWORD>(two.size() * sizeof(wchar_t)));
    EXPECT_TRUE(Run(TRUE));
    EXPECT_EQ(Visible(), (std::vector<bool>{false, true, true, false}));
}

TEST_F(FontJobTest, NonTextDataIsTakenAsTextAndFailsLikeAnyMissingFile)
{
    const DWORD number = 0x00420041; // "AB"
    AddBytes(L"Number", REG_DWORD, &number, sizeof(number));
    AddValue(L"Two", Original(L"two.ttf"));
    EXPECT_FALSE(Run(TRUE));
    EXPECT_EQ(Visible(), (std::vector<bool>{false, false, false, false}));
}
