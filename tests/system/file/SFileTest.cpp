#include "library/system/file/SFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

using namespace S;

namespace
{

// Deletes a tree of any path length (the runtime's filesystem library stops at long paths).
void RemoveTree(const std::wstring& longPath)
{
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((longPath + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring name = data.cFileName, child = longPath + L"\\" + name;
            if (name == L"." || name == L"..")
                continue;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(longPath.c_str());
}

// Answers "access denied" to the first raw open, as Windows does for a writer of a read-only
// file (under Wine a privileged user is let through), and opens for real after that.
class DeniedOnceFile : public SFile
{
public:
    using SFile::SFile;
    SResult OpenRaw(DWORD access, DWORD share, DWORD disposition, DWORD flags, SECURITY_ATTRIBUTES* security,
                    bool directory, SResult& result) noexcept override
    {
        if (++calls == 1 || denyAlways)
            return result = SResult(0x80070005u);
        return SFile::OpenRaw(access, share, disposition, flags, security, directory, result);
    }
    int calls = 0;
    bool denyAlways = false;
};

// A private folder below the temp folder, removed with everything in it afterwards.
class SFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_Root = std::wstring(temp) + L"lumerelx-sfile-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(LongForm(m_Root));
        CreateDirectoryW(m_Root.c_str(), nullptr);
    }
    void TearDown() override { RemoveTree(LongForm(m_Root)); }

    static std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }
    std::wstring PathOf(const wchar_t* name) const { return m_Root + L"\\" + name; }
    static void WriteText(const std::wstring& path, const std::string& text)
    {
        std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
    }
    static std::string ReadText(const std::wstring& path)
    {
        std::ifstream in(std::filesystem::path(path), std::ios::binary);
        return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
    }
    static DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(LongForm(path).c_str()); }
    static bool Gone(const std::wstring& path) { return Attributes(path) == INVALID_FILE_ATTRIBUTES; }

    std::wstring m_Root;
    SResult m_Result;
};

} // namespace

TEST(FileOpenParameters, FlagTable)
{
    constexpr DWORD RW = GENERIC_READ | GENERIC_WRITE, R = FILE_SHARE_READ, N = FILE_ATTRIBUTE_NORMAL;
    const struct
    {
        uint32_t mode;
        bool directory;
        DWORD access, share, disposition, flags;
    } rows[] = {
        {0x0, false, RW, R, OPEN_EXISTING, N},
        {0x1, false, GENERIC_READ, R, OPEN_EXISTING, N},
        {0x2, false, RW, R | FILE_SHARE_WRITE, OPEN_EXISTING, N},
        {0x800, false, RW, R | FILE_SHARE_DELETE, OPEN_EXISTING, N},
        // The first disposition flag in the order 0x8, 0x10, 0x20, 0x40 wins.
        {0x8, false, RW, R, OPEN_ALWAYS, N},
        {0x10, false, RW, R, CREATE_NEW, N},
        {0x20, false, RW, R, CREATE_ALWAYS, N},
        {0x40, false, RW, R, TRUNCATE_EXISTING, N},
        {0x78, false, RW, R, OPEN_ALWAYS, N},
        {0x70, false, RW, R, CREATE_NEW, N},
        {0x60, false, RW, R, CREATE_ALWAYS, N},
        {0x1000 | 0x2000 | 0x4000 | 0x1, false,
         GENERIC_READ | GENERIC_EXECUTE | ACCESS_SYSTEM_SECURITY | 0x1F0000, R, OPEN_EXISTING, N},
        {0x80 | 0x100 | 0x200 | 0x400 | 0x8000 | 0x10000, false, RW, R, OPEN_EXISTING,
         N | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OVERLAPPED |
             FILE_FLAG_NO_BUFFERING | FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_OPEN_REPARSE_POINT},
        // Directories: other rights, reading and writing always shared, backup semantics.
        {0x0, true, 0x401F0000, R | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS},
        {0x1, true, 0x1F0000, R | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS},
        {0x800 | 0x8, true, 0x401F0000, R | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS,
         FILE_FLAG_BACKUP_SEMANTICS},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(testing::Message() << std::hex << row.mode << " dir " << row.directory);
        const SFileOpenParameters p = FileOpenParameters(row.mode, row.directory);
        EXPECT_EQ(p.access, row.access);
        EXPECT_EQ(p.share, row.share);
        EXPECT_EQ(p.disposition, row.disposition);
        EXPECT_EQ(p.flagsAndAttributes, row.flags);
    }
}

TEST_F(SFileTest, DispositionsOnRealFiles)
{
    const std::wstring path = PathOf(L"a.txt");
    // Each step: the mode, the file's text before (null: missing), the result, the text after.
    const struct
    {
        uint32_t mode;
        const char* before;
        uint32_t result;
        const char* after;
    } steps[] = {
        {SFileMode::ReadOnly, nullptr, 0x80070002u, "<missing>"},
        {SFileMode::Truncate, nullptr, 0x80070002u, "<missing>"},
        {SFileMode::CreateNew, nullptr, 0, ""},
        {SFileMode::CreateNew, "content", 0x80070005u, "content"}, // error 80 reads as access denied
        {SFileMode::OpenAlways, "content", 0, "content"},
        {SFileMode::Truncate, "content", 0, ""},
        {SFileMode::CreateAlways, "content", 0, ""},
    };
    for (const auto& step : steps)
    {
        DeleteFileW(path.c_str());
        if (step.before != nullptr)
            WriteText(path, step.before);
        {
            SFile file{SPath(path.c_str())};
            EXPECT_EQ(file.Open(step.mode, nullptr, false, m_Result), SResult(step.result)) << step.mode;
            EXPECT_EQ(file.IsOpen(), step.result == 0);
        }
        EXPECT_EQ(ReadText(path), step.after) << step.mode;
    }
    // Reparse point and create-always contradict each other; nothing is created.
    SFile never{SPath(PathOf(L"never.txt").c_str())};
    EXPECT_EQ(never.Open(0x10020, nullptr, false, m_Result), SResult(0xA004040Au));
    EXPECT_TRUE(Gone(PathOf(L"never.txt")));
}

TEST_F(SFileTest, ReadOnlyModeAndShareModes)
{
    const std::wstring path = PathOf(L"shared.txt");
    WriteText(path, "abc");
    SFile reader{SPath(path.c_str())}, writer{SPath(path.c_str())}, secondReader{SPath(path.c_str())};
    ASSERT_EQ(reader.Open(SFileMode::ReadOnly, nullptr, false, m_Result).Code(), 0);
    DWORD written = 7;
    EXPECT_EQ(reader.Write("x", 1, 0, &written, m_Result), SResult(0x80070005u));
    EXPECT_EQ(written, 0u);
    // The reader shares reading only: a writer is refused, another reader is not.
    EXPECT_EQ(writer.Open(0, nullptr, false, m_Result), SResult(0x80070020u));
    EXPECT_EQ(secondReader.Open(SFileMode::ReadOnly, nullptr, false, m_Result).Code(), 0);
    reader.Close();
    secondReader.Close();
    // Writers that share writing admit each other.
    ASSERT_EQ(writer.Open(SFileMode::ShareWrite, nullptr, false, m_Result).Code(), 0);
    EXPECT_EQ(SFile{SPath(path.c_str())}.Open(SFileMode::ShareWrite, nullptr, false, m_Result).Code(), 0);
}

TEST_F(SFileTest, ReadOnlyAttributeIsClearedForWritersAndRestoredOnFailure)
{
    const std::wstring path = PathOf(L"ro.txt");
    WriteText(path, "ro");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    // Wine adds the archive attribute on its own; only these two are the test's.
    constexpr DWORD kWatched = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    // Readers are never retried; a writer denied twice gets the attribute back, the others untouched.
    for (const auto& [mode, calls] : {std::pair{SFileMode::ReadOnly, 1}, std::pair{0u, 2}})
    {
        DeniedOnceFile file{SPath(path.c_str())};
        file.denyAlways = true;
        EXPECT_EQ(file.Open(mode, nullptr, false, m_Result), SResult(0x80070005u));
        EXPECT_EQ(file.calls, calls);
        EXPECT_EQ(Attributes(path) & kWatched, kWatched);
    }
    {
        DeniedOnceFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(0, nullptr, false, m_Result).Code(), 0);
        EXPECT_EQ(file.calls, 2);
        EXPECT_EQ(Attributes(path) & kWatched, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
        DWORD written = 0;
        EXPECT_EQ(file.Write("RW", 2, 0, &written, m_Result).Code(), 0);
    }
    EXPECT_EQ(ReadText(path), "RW");
    // A file that was not read-only is retried once and keeps its attributes.
    DeniedOnceFile other{SPath(PathOf(L"normal.txt").c_str())};
    other.denyAlways = true;
    EXPECT_EQ(other.Open(SFileMode::CreateAlways, nullptr, false, m_Result), SResult(0x80070005u));
    EXPECT_EQ(other.calls, 2);
}

TEST_F(SFileTest, SynchronousAndOverlappedReadAndWrite)
{
    for (const uint32_t extra : {0u, static_cast<uint32_t>(SFileMode::Overlapped)})
    {
        SCOPED_TRACE(extra);
        const std::wstring path = PathOf(extra != 0 ? L"async.bin" : L"sync.bin");
        SFile file{SPath(path.c_str())};
        DWORD done = 99;
        char buffer[32] = {};
        EXPECT_EQ(file.Write("x", 1, 0, &done, m_Result), SResult(0xA004040Au)); // closed
        EXPECT_EQ(done, 0u);
        EXPECT_EQ(file.Read(buffer, 1, 0, &done, m_Result), SResult(0xA004040Au));
        ASSERT_EQ(file.Open(SFileMode::CreateAlways | extra, nullptr, false, m_Result).Code(), 0);
        EXPECT_EQ(file.IsOverlapped(), extra != 0);
        EXPECT_EQ(file.Write("0123456789", 10, 0, &done, m_Result).Code(), 0);
        EXPECT_EQ(done, 10u);
        EXPECT_EQ(file.Write("AB", 2, 4, &done, m_Result).Code(), 0);
        done = 7;
        EXPECT_EQ(file.Write("", 0, 3, &done, m_Result).Code(), 0);
        EXPECT_EQ(done, 0u);
        EXPECT_EQ(file.Write("x", 1, 0x8000000000000000ull, &done, m_Result), SResult(0xA0040403u));
        EXPECT_EQ(file.Read(buffer, sizeof(buffer), 0, &done, m_Result).Code(), 0);
        EXPECT_EQ(std::string(buffer, done), "0123AB6789");
        EXPECT_EQ(file.Read(buffer, 4, 8, &done, m_Result).Code(), 0);
        EXPECT_EQ(std::string(buffer, done), "89"); // a short read is success
        // At and past the end: success and nothing read.
        for (const uint64_t offset : {10ull, 5000ull})
        {
            done = 7;
            EXPECT_EQ(file.Read(buffer, 4, offset, &done, m_Result).Code(), 0);
            EXPECT_EQ(done, 0u);
        }
        if (extra == 0)
        {
            EXPECT_EQ(file.Read(buffer, 2, 2, &done, m_Result).Code(), 0);
            EXPECT_EQ(file.Read(buffer, 3, SFileCurrentPosition, &done, m_Result).Code(), 0);
            EXPECT_EQ(std::string(buffer, done), "AB6");
        }
        file.Close();
        EXPECT_FALSE(file.IsOverlapped());
        EXPECT_EQ(ReadText(path), "0123AB6789");
    }
}

TEST_F(SFileTest, SizeOpenAndClosed)
{
    uint64_t size = 77;
    for (const auto& [name, expected] :
         {std::pair{L"size.bin", 0x80070002u}, {L"no-folder\\x.bin", 0x80070003u}})
    {
        size = 77;
        EXPECT_EQ(SFile{SPath(PathOf(name).c_str())}.GetSize(size, m_Result), SResult(expected));
        EXPECT_EQ(size, 0u);
    }
    SFile file{SPath(PathOf(L"size.bin").c_str())};
    ASSERT_EQ(file.Open(SFileMode::CreateAlways, nullptr, false, m_Result).Code(), 0);
    EXPECT_EQ(file.GetSize(size, m_Result).Code(), 0);
    EXPECT_EQ(size, 0u);
    DWORD done = 0;
    file.Write("end", 3, 10000, &done, m_Result);
    EXPECT_EQ(file.GetSize(size, m_Result).Code(), 0);
    EXPECT_EQ(size, 10003u);
    file.Close();
    size = 0;
    EXPECT_EQ(file.GetSize(size, m_Result).Code(), 0);
    EXPECT_EQ(size, 10003u);
}

TEST_F(SFileTest, RemoveFilesFoldersAndMissingPaths)
{
    const std::wstring plain = PathOf(L"plain.txt"), readOnly = PathOf(L"readonly.txt");
    WriteText(plain, "p");
    WriteText(readOnly, "r");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(RemoveFile(SPath(plain.c_str()), 0, false).Code(), 0);
    EXPECT_EQ(RemoveFile(SPath(readOnly.c_str()), -1, false).Code(), 0);
    EXPECT_TRUE(Gone(plain));
    EXPECT_TRUE(Gone(readOnly));
    // Missing file, missing folder on the way: both count as removed.
    EXPECT_EQ(RemoveFile(SPath(PathOf(L"missing.txt").c_str()), 0, false).Code(), 0);
    EXPECT_EQ(RemoveFile(SPath(PathOf(L"missing\\deeper.txt").c_str()), -1, false).Code(), 0);
    // Folders: by flag, by attribute, and named as a file.
    for (int flag : {1, -1, 0})
    {
        const std::wstring folder = PathOf(L"folder");
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        EXPECT_EQ(RemoveFile(SPath(folder.c_str()), flag, false).Code(), 0) << flag;
        EXPECT_TRUE(Gone(folder)) << flag;
    }
    // A folder that is not empty stays, with its attributes as they were.
    const std::wstring full = PathOf(L"full");
    ASSERT_TRUE(CreateDirectoryW(full.c_str(), nullptr));
    WriteText(full + L"\\inside.txt", "i");
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const DWORD before = Attributes(full);
    EXPECT_EQ(RemoveFile(SPath(full.c_str()), -1, false), SResult(0xA0040401u));
    EXPECT_EQ(Attributes(full), before);
}

TEST_F(SFileTest, PathsOf248AndMoreCharacters)
{
    std::wstring folder = m_Root;
    while (folder.size() < 300)
        folder += L"\\a-rather-long-folder-name-for-the-path";
    const std::wstring path = folder + L"\\file.txt";
    EXPECT_FALSE(FileExists(SPath(folder.c_str())));
    EXPECT_EQ(CreateDirectoryPath(SPath(folder.c_str())).Code(), 0);
    EXPECT_EQ(CreateDirectoryPath(SPath(folder.c_str())).Code(), 0); // existing: still success
    bool isDirectory = false;
    EXPECT_TRUE(FileExists(SPath(folder.c_str()), &isDirectory));
    EXPECT_TRUE(isDirectory);

    SFile file{SPath(path.c_str())};
    ASSERT_EQ(file.Open(SFileMode::CreateNew, nullptr, false, m_Result).Code(), 0);
    DWORD done = 0;
    EXPECT_EQ(file.Write("long", 4, 0, &done, m_Result).Code(), 0);
    file.Close();
    uint64_t size = 0;
    EXPECT_EQ(file.GetSize(size, m_Result).Code(), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_TRUE(FileExists(SPath(path.c_str()), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(RemoveFile(SPath(path.c_str()), 0, false).Code(), 0);
    EXPECT_EQ(RemoveFile(SPath(folder.c_str()), -1, false).Code(), 0);
    EXPECT_FALSE(FileExists(SPath(folder.c_str())));
}
