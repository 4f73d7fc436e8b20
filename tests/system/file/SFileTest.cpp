#include "library/system/file/SFile.h"

#include "common/ProcessRunner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

using namespace S;

namespace
{

// Denies the first `denials` raw opens, as Windows denies writers of read-only files (Wine lets root in).
struct DeniedFile : SFile
{
    DeniedFile(const std::wstring& path, int denials) : SFile(SPath(path.c_str())), denials(denials) {}
    SResult OpenRaw(DWORD access, DWORD share, DWORD disposition, DWORD flags, SECURITY_ATTRIBUTES* security,
                    bool directory, SResult& result) noexcept override
    {
        if (++calls <= denials)
            return result = kResultAccessDenied;
        return SFile::OpenRaw(access, share, disposition, flags, security, directory, result);
    }
    const int denials;
    int calls = 0;
};

struct SFileTest : testing::Test
{
    void SetUp() override { std::filesystem::create_directory(m_Root); }
    void TearDown() override { std::filesystem::remove_all(m_Root, m_Ignored); }

    std::wstring PathOf(const wchar_t* name) const { return m_Root + L"\\" + name; }
    static void WriteText(const std::filesystem::path& to, const char* text) { std::ofstream(to) << text; }

    const std::wstring m_Root = std::filesystem::temp_directory_path().wstring() + L"lumerelx-sfile-" +
                                std::to_wstring(GetCurrentProcessId());
    SResult m_Result;
    std::error_code m_Ignored;
};

} // namespace

TEST_F(SFileTest, DispositionsOnRealFiles)
{
    const std::wstring path = PathOf(L"a.txt");
    // The mode, the file's text before (null: missing), the result, the text after. Reparse point and
    // create-always contradict each other.
    const std::tuple<uint32_t, const char*, SResult, const char*> steps[] = {
        {SFileMode::ReadOnly, nullptr, kResultFileNotFound, "<missing>"},
        {SFileMode::Truncate, nullptr, kResultFileNotFound, "<missing>"},
        {SFileMode::CreateNew, nullptr, 0, ""},
        {SFileMode::CreateNew, "content", kResultAccessDenied, "content"}, // error 80 reads as access denied
        {SFileMode::OpenAlways, "content", 0, "content"},
        {SFileMode::Truncate, "content", 0, ""},
        {SFileMode::CreateAlways, "content", 0, ""},
        {SFileMode::CreateAlways | SFileMode::OpenReparsePoint, nullptr, kResultFileNotAllowed, "<missing>"},
    };
    for (const auto& [mode, before, expected, after] : steps)
    {
        DeleteFileW(path.c_str());
        if (before != nullptr)
            WriteText(path, before);
        SFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(mode, nullptr, false, m_Result), expected) << std::hex << mode;
        EXPECT_EQ(file.IsOpen(), expected == 0);
        EXPECT_EQ(STest::ReadFileBytes(path), after) << std::hex << mode;
    }
}

TEST_F(SFileTest, ReadOnlyModeAndShareModes)
{
    const std::wstring path = PathOf(L"shared.txt");
    WriteText(path, "abc");
    SFile reader{SPath(path.c_str())}, other{SPath(path.c_str())};
    ASSERT_EQ(reader.Open(SFileMode::ReadOnly, nullptr, false, m_Result).Code(), 0);
    DWORD written = 7;
    EXPECT_EQ(reader.Write("x", 1, 0, &written, m_Result), kResultAccessDenied);
    EXPECT_EQ(written, 0u);
    // The reader shares reading only: a writer is refused, another reader is not.
    EXPECT_EQ(other.Open(0, nullptr, false, m_Result), kResultSharingViolation);
    EXPECT_EQ(other.Open(SFileMode::ReadOnly, nullptr, false, m_Result).Code(), 0);
    reader.Close();
    other.Close();
    ASSERT_EQ(reader.Open(SFileMode::ShareWrite, nullptr, false, m_Result).Code(), 0);
    EXPECT_EQ(other.Open(SFileMode::ShareWrite, nullptr, false, m_Result).Code(), 0);
}

TEST_F(SFileTest, ReadOnlyAttributeIsClearedForWritersAndRestoredOnFailure)
{
    const std::wstring path = PathOf(L"ro.txt"), normal = PathOf(L"normal.txt");
    WriteText(path, "ro");
    WriteText(normal, "n");
    // Wine adds the archive attribute on its own; only these two are the test's.
    constexpr DWORD RO = FILE_ATTRIBUTE_READONLY, H = FILE_ATTRIBUTE_HIDDEN;
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), RO | H));
    // Path, mode, denials, result, raw opens, watched attributes after.
    const std::tuple<std::wstring, uint32_t, int, SResult, int, DWORD> cases[] = {
        {path, SFileMode::ReadOnly, 9, kResultAccessDenied, 1, RO | H}, // readers are never retried
        {path, 0, 9, kResultAccessDenied, 2, RO | H},
        {normal, 0, 9, kResultAccessDenied, 2, 0}, // retried once all the same
        {path, 0, 1, 0, 2, H},
    };
    for (const auto& [file, mode, denials, expected, calls, after] : cases)
    {
        DeniedFile opened(file, denials);
        EXPECT_EQ(opened.Open(mode, nullptr, false, m_Result), expected);
        EXPECT_EQ(opened.calls, calls);
        EXPECT_EQ(GetFileAttributesW(file.c_str()) & (RO | H), after);
    }
}

// Synchronous on a short path, overlapped on one of 248 characters and more.
TEST_F(SFileTest, ReadWriteAndSizeOnShortAndLongPaths)
{
    std::wstring folder = m_Root;
    while (folder.size() < 300)
        folder += L"\\a-rather-long-folder-name-for-the-path";
    EXPECT_EQ(CreateDirectoryPath(SPath(folder.c_str())).Code(), 0);
    EXPECT_EQ(CreateDirectoryPath(SPath(folder.c_str())).Code(), 0); // existing: still success
    bool isDirectory = false;
    EXPECT_TRUE(FileExists(SPath(folder.c_str()), &isDirectory) && isDirectory);
    uint64_t size = 77;
    EXPECT_EQ(SFile{SPath(PathOf(L"none").c_str())}.GetSize(size, m_Result), kResultFileNotFound);
    EXPECT_EQ(size, 0u);
    const std::wstring longPath = folder + L"\\async.bin";
    for (const auto& [path, extra] : {std::pair{PathOf(L"sync.bin"), 0u}, {longPath, SFileMode::Overlapped}})
    {
        SCOPED_TRACE(extra);
        SFile file{SPath(path.c_str())};
        DWORD done = 99;
        EXPECT_EQ(file.Write("x", 1, 0, &done, m_Result), kResultFileNotAllowed); // closed
        ASSERT_EQ(file.Open(SFileMode::CreateNew | extra, nullptr, false, m_Result).Code(), 0);
        EXPECT_EQ(file.IsOverlapped(), extra != 0);
        EXPECT_EQ(file.Write("0123456789", 10, 0, &done, m_Result).Code(), 0);
        EXPECT_EQ(file.Write("AB", 2, 4, &done, m_Result).Code(), 0);
        done = 7;
        EXPECT_EQ(file.Write("", 0, 3, &done, m_Result).Code(), 0);
        EXPECT_EQ(done, 0u);
        EXPECT_EQ(file.Write("x", 1, 0x8000000000000000ull, &done, m_Result), kResultBadPosition);
        // A short read is success; at and past the end nothing is read.
        for (const auto& [offset, text] :
             {std::pair{0ull, "0123AB6789"}, {8ull, "89"}, {10ull, ""}, {5000ull, ""}})
        {
            char buffer[32] = {};
            done = 7;
            EXPECT_EQ(file.Read(buffer, offset == 0 ? 32 : 4, offset, &done, m_Result).Code(), 0);
            EXPECT_EQ(std::string(buffer, done), text) << offset;
        }
        for (const char* state : {"open", "closed"})
        {
            EXPECT_TRUE(file.GetSize(size = 0, m_Result).Succeeded() && size == 10u) << state << size;
            file.Close();
        }
    }
    // Only the extended form keeps a final dot or space, so such a name tells which form reached the
    // system (Wine opens long paths in either form): the plain one for short paths, else the extended.
    for (const auto& [base, last] : {std::pair{m_Root, L'.'}, {m_Root, L' '}, {folder, L'.'}, {folder, L' '}})
    {
        const std::wstring path = base + L"\\name" + last,
                           kept = path.size() >= 248 ? L"name" + std::wstring(1, last) : L"name";
        SFile file{SPath(path.c_str())};
        ASSERT_EQ(file.Open(SFileMode::CreateNew, nullptr, false, m_Result).Code(), 0);
        file.Close();
        const auto Found = [&base]
        {
            WIN32_FIND_DATAW found{};
            const HANDLE search = FindFirstFileW((L"\\\\?\\" + base + L"\\name*").c_str(), &found);
            return search != INVALID_HANDLE_VALUE && FindClose(search) ? std::wstring(found.cFileName) : L"";
        };
        EXPECT_EQ(Found(), kept) << path.size();
        EXPECT_TRUE(FileExists(SPath(path.c_str()))) << path.size();
        EXPECT_EQ(RemoveFile(SPath(path.c_str()), 0, false).Code(), 0);
        EXPECT_EQ(Found(), L"") << path.size();
    }
    // Removed level by level, since the test's own cleanup cannot reach paths this long.
    EXPECT_EQ(RemoveFile(SPath(longPath.c_str()), 0, false).Code(), 0);
    for (std::wstring level = folder; level.size() > m_Root.size(); level.resize(level.rfind(L'\\')))
        EXPECT_EQ(RemoveFile(SPath(level.c_str()), -1, false).Code(), 0) << level.size();
    EXPECT_FALSE(FileExists(SPath(folder.c_str())));
}

TEST_F(SFileTest, RemoveFilesFoldersAndMissingPaths)
{
    WriteText(PathOf(L"plain.txt"), "p");
    WriteText(PathOf(L"readonly.txt"), "r");
    SetFileAttributesW(PathOf(L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    for (const wchar_t* folder : {L"flagged", L"decided", L"named-as-file", L"full"})
        CreateDirectoryW(PathOf(folder).c_str(), nullptr);
    // A missing file or a missing folder on the way counts as removed.
    const std::pair<const wchar_t*, int> removals[] = {
        {L"plain.txt", 0}, {L"readonly.txt", -1}, {L"missing.txt", 0},   {L"missing\\deeper.txt", -1},
        {L"flagged", 1},   {L"decided", -1},      {L"named-as-file", 0},
    };
    for (const auto& [name, directory] : removals)
    {
        EXPECT_EQ(RemoveFile(SPath(PathOf(name).c_str()), directory, false).Code(), 0) << name;
        EXPECT_EQ(GetFileAttributesW(PathOf(name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    }
    // A folder that is not empty stays, with its attributes as they were.
    const std::wstring full = PathOf(L"full");
    WriteText(full + L"\\inside.txt", "i");
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const DWORD before = GetFileAttributesW(full.c_str());
    EXPECT_EQ(RemoveFile(SPath(full.c_str()), -1, false), kResultDirectoryNotRemovable);
    EXPECT_EQ(GetFileAttributesW(full.c_str()), before);
}
