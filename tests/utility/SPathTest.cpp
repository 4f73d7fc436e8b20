#include "library/utility/SPath.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace S;

namespace
{

std::wstring Wide(const SString& s)
{
    return std::wstring(s.c_str(), s.GetLength());
}

// A path of exactly `length` units: the start, then letters.
std::wstring PathOfLength(const std::wstring& start, size_t length)
{
    std::wstring path = start;
    while (path.size() < length)
        path += static_cast<wchar_t>(L'a' + path.size() % 26);
    return path;
}

} // namespace

TEST(SPath, ExtendedLengthBoundaryTable)
{
    const std::wstring prefix = L"\\\\?\\";
    struct Case
    {
        const char* name;
        std::wstring path;
        bool prefixed;
    };
    const Case cases[] = {
        {"short", L"C:\\Windows", false},
        {"247 units", PathOfLength(L"C:\\", 247), false},
        {"248 units", PathOfLength(L"C:\\", 248), true},
        {"300 units", PathOfLength(L"C:\\", 300), true},
        {"already prefixed", PathOfLength(prefix + L"C:\\", 300), false},
        {"relative", PathOfLength(L"dir\\", 260), true},
        {"network", PathOfLength(L"\\\\server\\share\\", 260), true},
        {"empty", L"", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const SPath path(c.path.c_str());
        SPath out(L"stale");
        EXPECT_EQ(&path.GetExtendedLengthPath(out), &out);
        EXPECT_EQ(Wide(out), c.prefixed ? prefix + c.path : c.path);
        EXPECT_EQ(out.GetLength(), c.path.size() + (c.prefixed ? 4 : 0));
        EXPECT_EQ(Wide(path), c.path); // the path itself keeps its plain form
    }
}

TEST(SPath, ExtendedFormIntoItself)
{
    SPath path(PathOfLength(L"C:\\", 248).c_str());
    path.GetExtendedLengthPath(path);
    EXPECT_EQ(path.GetLength(), 252u);
    EXPECT_TRUE(path.StartsWith(SString(L"\\\\?\\C:\\")));
}

TEST(SPath, NarrowSourcesConvertInTheirOwnCodePage)
{
    const SStringUtf8 utf8("C:\\caf\xC3\xA9\\\xE2\x82\xAC");
    EXPECT_EQ(Wide(SPath(utf8)), L"C:\\caf\u00E9\\\u20AC");
    EXPECT_EQ(SPath(utf8).GetCodePage(), 1u);

    if (GetACP() != 1252)
        GTEST_SKIP() << "ANSI expectation written for code page 1252";
    const SStringA ansi("C:\\caf\xE9\\\x80");
    EXPECT_EQ(Wide(SPath(ansi)), L"C:\\caf\u00E9\\\u20AC");
}

TEST(SPath, DestructionWipesThePath)
{
    STest::FreedMemoryProbe probe;
    const void* storage = nullptr;
    {
        const SPath path(PathOfLength(L"C:\\secret\\", 120).c_str());
        storage = path.GetNativeBuffer();
        probe.Watch(storage);
    }
    ASSERT_TRUE(probe.WasFreed(storage));
    EXPECT_TRUE(probe.WasZeroWhenFreed(storage));
}

TEST(SPath, ExtendedFormReachesFilesBeyondTheClassicLimit)
{
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    SPath base;
    base.Format(L"%sspath-%lu", temp, GetCurrentProcessId());

    // Nested folders until the file path is well past 260 units.
    std::vector<SPath> folders{base};
    while (folders.back().GetLength() < 280)
    {
        SPath next(folders.back());
        next.Append(L"\\a-folder-name-of-some-length");
        folders.push_back(next);
    }
    SPath extended;
    for (const SPath& folder : folders)
        ASSERT_TRUE(CreateDirectoryW(folder.GetExtendedLengthPath(extended).c_str(), nullptr))
            << GetLastError();

    SPath file(folders.back());
    file.Append(L"\\file.txt");
    file.GetExtendedLengthPath(extended);
    HANDLE h =
        CreateFileW(extended.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    EXPECT_NE(GetFileAttributesW(extended.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileW(extended.c_str()));

    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        EXPECT_TRUE(RemoveDirectoryW(it->GetExtendedLengthPath(extended).c_str())) << GetLastError();
}
