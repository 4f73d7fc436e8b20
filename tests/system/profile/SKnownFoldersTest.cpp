#include "library/system/profile/SKnownFolders.h"

#include "library/system/profile/SFolderTable.h"

#include "process/TokenTestHelpers.h"
#include "system/profile/ProfileTestHelpers.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

using S::SResult;
using S::SString;

namespace
{

constexpr SResult Unresolved = 0xA0040408u;

std::wstring Text(const SString& text)
{
    return {text.c_str(), text.GetLength()};
}

bool SamePath(const SString& path, const std::wstring& expected)
{
    return !expected.empty() && _wcsicmp(path.c_str(), expected.c_str()) == 0;
}

std::wstring WindowsFolder()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return {folder, length};
}

std::wstring ParentOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

using Lookup = SResult (*)(unsigned, SString&, HANDLE);

// Every lookup ends the impersonation it started, on every path out of it.
class KnownFolders : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(STest::ThreadImpersonates());
        ASSERT_FALSE(STest::ShellWindowExists());
    }
    void TearDown() override { EXPECT_FALSE(STest::ThreadImpersonates()); }
};

} // namespace

TEST_F(KnownFolders, FontsFolderThroughBothLookupsAndImpersonationFailures)
{
    for (const Lookup lookup : {&S::GetFolderPathForVista, &S::GetFolderPath})
    {
        SString path(L"stale");
        EXPECT_EQ(lookup(11, path, nullptr), SResult(0));
        EXPECT_TRUE(SamePath(path, WindowsFolder() + L"\\Fonts")) << Text(path);
    }
    SString path;
    // The legacy lookup returns any impersonation failure.
    EXPECT_EQ(S::GetFolderPath(11, path, INVALID_HANDLE_VALUE), SResult(0x80070057u));
    // The current lookup goes on in the caller's context when the interactive user is asked for...
    EXPECT_EQ(S::GetFolderPathForVista(11, path, INVALID_HANDLE_VALUE), SResult(0));
    EXPECT_TRUE(SamePath(path, WindowsFolder() + L"\\Fonts")) << Text(path);
    // ...and returns the failure for any other token.
    const S::SHandle notAToken(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(S::GetFolderPathForVista(11, path, notAToken.Get()), SResult(0x80070005u));
}

// Both lookups: rows without a Known Folder ID or legacy resolution, and indices past the table.
TEST_F(KnownFolders, IndicesWithoutResolutionAreUnresolved)
{
    for (const unsigned index : {75u, 80u, 101u, 123u, 1000u, 0xFFFFFFFFu})
    {
        SString path(L"stale");
        EXPECT_EQ(S::GetFolderPathForVista(index, path, nullptr), Unresolved) << index;
        EXPECT_TRUE(path.IsEmpty()) << index;
    }
    const S::SHandle token = STest::DuplicateProcessToken();
    for (unsigned index = 0; index <= S::kFolderIndexCount; ++index)
    {
        const bool none = (index >= 5 && index <= 8) || index == 32 || index == 43 || index == 44 ||
                          index == 49 || index == 60 || (index >= 63 && index <= 71) ||
                          (index >= 73 && index <= 86) || index >= 88;
        if (!none)
            continue;
        SString path(L"stale");
        EXPECT_EQ(S::GetFolderPath(index, path, nullptr), Unresolved) << index;
        EXPECT_TRUE(path.IsEmpty()) << index;
        EXPECT_EQ(S::GetFolderPath(index, path, token.Get()), Unresolved) << index;
    }
}

TEST_F(KnownFolders, ShellResultTranslation)
{
    const std::pair<uint32_t, uint32_t> results[] = {
        {0, 0},
        {1, 0xA0040501u},
        {0x80004005u, 0xA0040501u},
        {0x80070057u, 0xA0040502u},
        {0x80070002u, 0xA0040500u},
        {0x8000FFFFu, 0xA0040500u},
        {2, 0xA0040500u},
    };
    for (const auto& [shell, expected] : results)
        EXPECT_EQ(S::TranslateShellResult(static_cast<HRESULT>(shell)), SResult(expected))
            << std::hex << shell;
    // A virtual folder has no path: Wine's shell answers E_INVALIDARG for it.
    SString path(L"stale");
    EXPECT_EQ(S::GetFolderPathForVista(0, path, nullptr), SResult(0xA0040502u));
    EXPECT_TRUE(path.IsEmpty());
}

TEST_F(KnownFolders, TemplatesAreExpandedAndMayNameAFolderOrNothing)
{
    SString first, second;
    EXPECT_EQ(S::GetFolderPathForVista(27, first, nullptr), SResult(0));
    EXPECT_EQ(S::GetFolderPathForVista(87, second, nullptr), SResult(0));
    EXPECT_EQ(Text(second), Text(first)) << "the second ProgramData index";

    STest::TempFolder folder;
    STest::EnvironmentOverride allUsers(L"ALLUSERSPROFILE", folder.Path().c_str());
    STest::EnvironmentOverride appData(L"APPDATA", (folder.Path() + L"\\Roaming").c_str());
    EXPECT_EQ(S::GetFolderPath(87, second, nullptr), SResult(0));
    EXPECT_EQ(Text(second), folder.Path());
    const std::pair<unsigned, std::wstring> rows[] = {
        {61, folder.Path() + L"\\Documents\\My Music\\Sample Music"},
        {62, folder.Path() + L"\\Documents\\My Pictures\\Sample Pictures"},
        {72, folder.Path() + L"\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch"},
    };
    for (const auto& [index, expected] : rows)
    {
        SString path;
        // Nothing there yet.
        EXPECT_EQ(S::GetFolderPath(index, path, nullptr), SResult(0)) << index;
        EXPECT_EQ(Text(path), expected);
        // A file of that name.
        SHCreateDirectoryExW(nullptr, ParentOf(expected).c_str(), nullptr);
        ASSERT_TRUE(
            S::SHandle(CreateFileW(expected.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
        EXPECT_EQ(S::GetFolderPath(index, path, nullptr), SResult(0xA0040502u)) << index;
        // A folder of that name.
        ASSERT_TRUE(DeleteFileW(expected.c_str()) && CreateDirectoryW(expected.c_str(), nullptr));
        EXPECT_EQ(S::GetFolderPath(index, path, nullptr), SResult(0)) << index;
        EXPECT_EQ(Text(path), expected);
    }
}
