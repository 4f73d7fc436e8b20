#include "library/system/file/SFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
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
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = longPath + L"\\" + name;
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
        ++calls;
        if (calls == 1 || denyAlways)
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
        std::filesystem::create_directories(m_Root);
    }
    void TearDown() override { RemoveTree(LongForm(m_Root)); }

    static std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }
    std::wstring PathOf(const wchar_t* name) const { return m_Root + L"\\" + name; }
    static void WriteText(const std::wstring& path, const std::string& text)
    {
        const HANDLE h = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(h);
    }
    static std::string ReadText(const std::wstring& path)
    {
        const HANDLE h = CreateFileW(LongForm(path).c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return "<missing>";
        std::string text(4096, '\0');
        DWORD read = 0;
        ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
        CloseHandle(h);
        text.resize(read);
        return text;
    }
    static DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(LongForm(path).c_str()); }

    std::wstring m_Root;
};

} // namespace

TEST(FileOpenParameters, FlagTable)
{
    const struct
    {
        uint32_t mode;
        bool directory;
        DWORD access;
        DWORD share;
        DWORD disposition;
        DWORD flags;
    } rows[] = {
        {0x0, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL},
        {0x1, false, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL},
        {0x2, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
         FILE_ATTRIBUTE_NORMAL},
        {0x800, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
         FILE_ATTRIBUTE_NORMAL},
        // The first disposition flag in the order 0x8, 0x10, 0x20, 0x40 wins.
        {0x8, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL},
        {0x10, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL},
        {0x20, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL},
        {0x40, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, TRUNCATE_EXISTING,
         FILE_ATTRIBUTE_NORMAL},
        {0x78, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL},
        {0x70, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL},
        {0x60, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL},
        {0x1000 | 0x2000 | 0x4000 | 0x1, false,
         GENERIC_READ | GENERIC_EXECUTE | ACCESS_SYSTEM_SECURITY | 0x1F0000, FILE_SHARE_READ, OPEN_EXISTING,
         FILE_ATTRIBUTE_NORMAL},
        {0x80 | 0x100 | 0x200 | 0x400 | 0x8000 | 0x10000, false, GENERIC_READ | GENERIC_WRITE,
         FILE_SHARE_READ, OPEN_EXISTING,
         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OVERLAPPED |
             FILE_FLAG_NO_BUFFERING | FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_OPEN_REPARSE_POINT},
        // Directories: other rights, reading and writing always shared, backup semantics.
        {0x0, true, 0x401F0000, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
         FILE_FLAG_BACKUP_SEMANTICS},
        {0x1, true, 0x1F0000, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS},
        {0x800 | 0x8, true, 0x401F0000, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS,
         FILE_FLAG_BACKUP_SEMANTICS},
    };
    for (const auto& row : rows)
    {
        const SFileOpenParameters p = FileOpenParameters(row.mode, row.directory);
        EXPECT_EQ(p.access, row.access) << std::hex << row.mode << " dir " << row.directory;
        EXPECT_EQ(p.share, row.share) << std::hex << row.mode << " dir " << row.directory;
        EXPECT_EQ(p.disposition, row.disposition) << std::hex << row.mode << " dir " << row.directory;
        EXPECT_EQ(p.flagsAndAttributes, row.flags) << std::hex << row.mode << " dir " << row.directory;
    }
}

TEST_F(SFileTest, DispositionsOnRealFiles)
{
    const std::wstring path = PathOf(L"a.txt");
    SResult result;
    {
        SFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(SFileMode::ReadOnly, nullptr, false, result),
                  SResult(0x80070002u)); // open existing
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.Open(SFileMode::Truncate, nullptr, false, result), SResult(0x80070002u));
        EXPECT_EQ(file.Open(SFileMode::CreateNew, nullptr, false, result).Code(), 0);
        EXPECT_TRUE(file.IsOpen());
        EXPECT_FALSE(file.IsDirectory());
        // Already open: success, nothing happens.
        const HANDLE handle = file.GetHandle();
        EXPECT_EQ(file.Open(SFileMode::ReadOnly, nullptr, false, result).Code(), 0);
        EXPECT_EQ(file.GetHandle(), handle);
    }
    WriteText(path, "content");
    {
        SFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(SFileMode::CreateNew, nullptr, false, result),
                  SResult(0x80070005u)); // exists: error 80
        EXPECT_EQ(file.Open(SFileMode::OpenAlways, nullptr, false, result).Code(), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }
    EXPECT_EQ(ReadText(path), "content");
    {
        SFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(SFileMode::Truncate, nullptr, false, result).Code(), 0);
    }
    EXPECT_EQ(ReadText(path), "");
    WriteText(path, "content");
    {
        SFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(SFileMode::CreateAlways, nullptr, false, result).Code(), 0);
    }
    EXPECT_EQ(ReadText(path), "");

    // Reparse point and create-always contradict each other; nothing is created.
    const std::wstring other = PathOf(L"never.txt");
    SFile file{SPath(other.c_str())};
    EXPECT_EQ(file.Open(0x10020, nullptr, false, result), SResult(0xA004040Au));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(Attributes(other), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SFileTest, ReadOnlyModeAndShareModes)
{
    const std::wstring path = PathOf(L"shared.txt");
    WriteText(path, "abc");
    SResult result;

    SFile reader{SPath(path.c_str())};
    ASSERT_EQ(reader.Open(SFileMode::ReadOnly, nullptr, false, result).Code(), 0);
    DWORD written = 7;
    EXPECT_EQ(reader.Write("x", 1, 0, &written, result), SResult(0x80070005u));
    EXPECT_EQ(written, 0u);

    // The reader shares reading only: a writer is refused, another reader is not.
    SFile writer{SPath(path.c_str())};
    EXPECT_EQ(writer.Open(0, nullptr, false, result), SResult(0x80070020u));
    SFile secondReader{SPath(path.c_str())};
    EXPECT_EQ(secondReader.Open(SFileMode::ReadOnly, nullptr, false, result).Code(), 0);
    reader.Close();
    secondReader.Close();

    // Writers that share writing admit each other.
    SFile first{SPath(path.c_str())};
    SFile second{SPath(path.c_str())};
    ASSERT_EQ(first.Open(SFileMode::ShareWrite, nullptr, false, result).Code(), 0);
    EXPECT_EQ(second.Open(SFileMode::ShareWrite, nullptr, false, result).Code(), 0);
    SFile plain{SPath(path.c_str())};
    EXPECT_EQ(plain.Open(0, nullptr, false, result), SResult(0x80070020u));
}

TEST_F(SFileTest, ReadOnlyAttributeIsClearedForWritersAndRestoredOnFailure)
{
    const std::wstring path = PathOf(L"ro.txt");
    WriteText(path, "ro");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    // Wine adds the archive attribute on its own; only these two are the test's.
    constexpr DWORD kWatched = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    SResult result;
    {
        // Readers are never retried and leave the attribute alone.
        DeniedOnceFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(SFileMode::ReadOnly, nullptr, false, result), SResult(0x80070005u));
        EXPECT_EQ(file.calls, 1);
        EXPECT_NE(Attributes(path) & FILE_ATTRIBUTE_READONLY, 0u);
    }
    {
        // The second attempt fails too: the attribute is set again, the others untouched.
        DeniedOnceFile file{SPath(path.c_str())};
        file.denyAlways = true;
        EXPECT_EQ(file.Open(0, nullptr, false, result), SResult(0x80070005u));
        EXPECT_EQ(file.calls, 2);
        EXPECT_EQ(Attributes(path) & kWatched,
                  static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    }
    {
        // Create-new on an existing file keeps failing for real (error 80 reads as access denied).
        SFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(SFileMode::CreateNew, nullptr, false, result), SResult(0x80070005u));
        EXPECT_NE(Attributes(path) & FILE_ATTRIBUTE_READONLY, 0u);
    }
    {
        DeniedOnceFile file{SPath(path.c_str())};
        EXPECT_EQ(file.Open(0, nullptr, false, result).Code(), 0);
        EXPECT_EQ(file.calls, 2);
        EXPECT_EQ(Attributes(path) & kWatched, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
        DWORD written = 0;
        EXPECT_EQ(file.Write("RW", 2, 0, &written, result).Code(), 0);
    }
    EXPECT_EQ(ReadText(path), "RW");

    // A file that was not read-only is retried once and keeps its attributes.
    DeniedOnceFile other{SPath(PathOf(L"normal.txt").c_str())};
    other.denyAlways = true;
    EXPECT_EQ(other.Open(SFileMode::CreateAlways, nullptr, false, result), SResult(0x80070005u));
    EXPECT_EQ(other.calls, 2);
}

TEST_F(SFileTest, SynchronousReadAndWrite)
{
    const std::wstring path = PathOf(L"sync.bin");
    SFile file{SPath(path.c_str())};
    SResult result;
    DWORD done = 99;
    EXPECT_EQ(file.Write("x", 1, 0, &done, result), SResult(0xA004040Au)); // closed
    EXPECT_EQ(done, 0u);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 1, 0, &done, result), SResult(0xA004040Au));

    ASSERT_EQ(file.Open(SFileMode::CreateAlways, nullptr, false, result).Code(), 0);
    EXPECT_EQ(file.SetPath(SPath(L"elsewhere"), result), SResult(0xA004040Au));
    EXPECT_STREQ(file.GetPath().c_str(), path.c_str());
    EXPECT_EQ(file.Write("hello", 5, 0, &done, result).Code(), 0);
    EXPECT_EQ(done, 5u);
    EXPECT_EQ(file.Write(" world", 6, SFileCurrentPosition, &done, result).Code(), 0);
    EXPECT_EQ(file.Write("J", 1, 0, &done, result).Code(), 0);
    EXPECT_EQ(file.Write("", 0, 3, &done, result).Code(), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(file.Write("x", 1, 0x8000000000000000ull, &done, result), SResult(0xA0040403u));

    EXPECT_EQ(file.Read(buffer, sizeof(buffer), 0, &done, result).Code(), 0);
    EXPECT_EQ(std::string(buffer, done), "Jello world");
    EXPECT_EQ(file.Read(buffer, 4, 6, &done, result).Code(), 0);
    EXPECT_EQ(std::string(buffer, done), "worl");
    EXPECT_EQ(file.Read(buffer, 4, SFileCurrentPosition, &done, result).Code(), 0);
    EXPECT_EQ(std::string(buffer, done), "d"); // a short read is success
    EXPECT_EQ(file.Read(buffer, 4, 100, &done, result).Code(), 0);
    EXPECT_EQ(done, 0u);
}

TEST_F(SFileTest, OverlappedReadAndWrite)
{
    const std::wstring path = PathOf(L"async.bin");
    SFile file{SPath(path.c_str())};
    SResult result;
    ASSERT_EQ(file.Open(SFileMode::CreateAlways | SFileMode::Overlapped, nullptr, false, result).Code(), 0);
    EXPECT_TRUE(file.IsOverlapped());
    DWORD done = 0;
    EXPECT_EQ(file.Write("0123456789", 10, 0, &done, result).Code(), 0);
    EXPECT_EQ(done, 10u);
    EXPECT_EQ(file.Write("AB", 2, 4, &done, result).Code(), 0);
    EXPECT_EQ(file.Write("", 0, 10, &done, result).Code(), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(file.Write("x", 1, 0x8000000000000000ull, &done, result), SResult(0xA0040403u));

    char buffer[32] = {};
    EXPECT_EQ(file.Read(buffer, sizeof(buffer), 0, &done, result).Code(), 0);
    EXPECT_EQ(std::string(buffer, done), "0123AB6789");
    EXPECT_EQ(file.Read(buffer, 4, 8, &done, result).Code(), 0);
    EXPECT_EQ(std::string(buffer, done), "89");
    // At and past the end: success and nothing read.
    done = 7;
    EXPECT_EQ(file.Read(buffer, 4, 10, &done, result).Code(), 0);
    EXPECT_EQ(done, 0u);
    done = 7;
    EXPECT_EQ(file.Read(buffer, 4, 5000, &done, result).Code(), 0);
    EXPECT_EQ(done, 0u);
    file.Close();
    EXPECT_FALSE(file.IsOverlapped());
    EXPECT_EQ(ReadText(path), "0123AB6789");
}

TEST_F(SFileTest, SizeOpenAndClosed)
{
    const std::wstring path = PathOf(L"size.bin");
    SResult result;
    uint64_t size = 77;
    {
        SFile missing{SPath(path.c_str())};
        EXPECT_EQ(missing.GetSize(size, result), SResult(0x80070002u));
        EXPECT_EQ(size, 0u);
        SFile missingFolder{SPath(PathOf(L"no-folder\\x.bin").c_str())};
        size = 77;
        EXPECT_EQ(missingFolder.GetSize(size, result), SResult(0x80070003u));
        EXPECT_EQ(size, 0u);
    }
    SFile file{SPath(path.c_str())};
    ASSERT_EQ(file.Open(SFileMode::CreateAlways, nullptr, false, result).Code(), 0);
    EXPECT_EQ(file.GetSize(size, result).Code(), 0);
    EXPECT_EQ(size, 0u);
    const std::string block(5000, 'z');
    DWORD done = 0;
    file.Write(block.data(), static_cast<DWORD>(block.size()), 0, &done, result);
    EXPECT_EQ(file.GetSize(size, result).Code(), 0);
    EXPECT_EQ(size, 5000u);
    file.Write("end", 3, 10000, &done, result);
    EXPECT_EQ(file.GetSize(size, result).Code(), 0);
    EXPECT_EQ(size, 10003u);
    file.Close();
    size = 0;
    EXPECT_EQ(file.GetSize(size, result).Code(), 0);
    EXPECT_EQ(size, 10003u);
}

TEST_F(SFileTest, RemoveFilesFoldersAndMissingPaths)
{
    SResult result;
    const std::wstring plain = PathOf(L"plain.txt");
    const std::wstring readOnly = PathOf(L"readonly.txt");
    WriteText(plain, "p");
    WriteText(readOnly, "r");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(RemoveFile(SPath(plain.c_str()), 0, false).Code(), 0);
    EXPECT_EQ(RemoveFile(SPath(readOnly.c_str()), -1, false).Code(), 0);
    EXPECT_EQ(Attributes(plain), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Attributes(readOnly), INVALID_FILE_ATTRIBUTES);

    // Missing file, missing folder on the way: both count as removed.
    EXPECT_EQ(RemoveFile(SPath(PathOf(L"missing.txt").c_str()), 0, false).Code(), 0);
    EXPECT_EQ(RemoveFile(SPath(PathOf(L"missing\\deeper.txt").c_str()), -1, false).Code(), 0);

    // Folders: by flag, by attribute, and named as a file.
    for (int flag : {1, -1, 0})
    {
        const std::wstring folder = PathOf(L"folder");
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        EXPECT_EQ(RemoveFile(SPath(folder.c_str()), flag, false).Code(), 0) << flag;
        EXPECT_EQ(Attributes(folder), INVALID_FILE_ATTRIBUTES) << flag;
    }

    // A folder that is not empty stays, with its attributes as they were.
    const std::wstring full = PathOf(L"full");
    ASSERT_TRUE(CreateDirectoryW(full.c_str(), nullptr));
    WriteText(full + L"\\inside.txt", "i");
    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_HIDDEN);
    const DWORD before = Attributes(full);
    EXPECT_EQ(RemoveFile(SPath(full.c_str()), -1, false), SResult(0xA0040401u));
    EXPECT_EQ(Attributes(full), before);

    // The object form removes its own path, closed or after closing.
    const std::wstring own = PathOf(L"own.txt");
    SFile file{SPath(own.c_str())};
    ASSERT_EQ(file.Open(SFileMode::CreateAlways, nullptr, false, result).Code(), 0);
    file.Close();
    EXPECT_EQ(file.Remove(false, result).Code(), 0);
    EXPECT_EQ(Attributes(own), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SFileTest, DirectoryHandles)
{
    const std::wstring folder = PathOf(L"made-by-open");
    SFile directory{SPath(folder.c_str())};
    SResult result;
    EXPECT_EQ(directory.Open(SFileMode::ReadOnly, nullptr, true, result), SResult(0x80070002u));
    ASSERT_EQ(directory.Open(SFileMode::OpenAlways | SFileMode::ReadOnly, nullptr, true, result).Code(), 0);
    EXPECT_TRUE(directory.IsDirectory());
    EXPECT_NE(Attributes(folder) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    directory.Close();
    EXPECT_FALSE(directory.IsDirectory());
    EXPECT_FALSE(directory.IsOpen());
}

TEST_F(SFileTest, AttachTakesValidHandlesOnly)
{
    SFile file;
    SResult result;
    SetLastError(ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(file.Attach(INVALID_HANDLE_VALUE, false, false, result), SResult(0x80070003u));
    SetLastError(ERROR_SHARING_VIOLATION);
    EXPECT_EQ(file.Attach(nullptr, false, false, result), SResult(0x80070020u));
    EXPECT_FALSE(file.IsOpen());

    const std::wstring path = PathOf(L"attached.txt");
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Attach(handle, false, false, result).Code(), 0);
    EXPECT_EQ(file.GetHandle(), handle);
    // Already open: success, and the other handle is not taken.
    const HANDLE other = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(file.Attach(other, false, false, result).Code(), 0);
    EXPECT_EQ(file.GetHandle(), handle);
    CloseHandle(other);
    DWORD done = 0;
    EXPECT_EQ(file.Write("a", 1, 0, &done, result).Code(), 0);
}

TEST_F(SFileTest, PathTest)
{
    const std::wstring path = PathOf(L"exists.txt");
    WriteText(path, "e");
    bool isDirectory = true;
    EXPECT_TRUE(FileExists(SPath(path.c_str()), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(FileExists(SPath(m_Root.c_str()), &isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_FALSE(FileExists(SPath(PathOf(L"nothing").c_str()), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(FileExists(SPath(path.c_str())));

    // Environment references are expanded first.
    ASSERT_TRUE(SetEnvironmentVariableW(L"LUMERELX_SFILE_ROOT", m_Root.c_str()));
    EXPECT_TRUE(FileExists(SPath(L"%LUMERELX_SFILE_ROOT%\\exists.txt"), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_FALSE(FileExists(SPath(L"%LUMERELX_SFILE_ROOT%\\nothing")));
    SetEnvironmentVariableW(L"LUMERELX_SFILE_ROOT", nullptr);
}

TEST_F(SFileTest, PathsOf248AndMoreCharacters)
{
    std::wstring folder = m_Root;
    while (folder.size() < 300)
        folder += L"\\a-rather-long-folder-name-for-the-path";
    const std::wstring path = folder + L"\\file.txt";
    ASSERT_GE(path.size(), 300u);
    EXPECT_FALSE(FileExists(SPath(folder.c_str())));
    EXPECT_EQ(CreateDirectoryPath(SPath(folder.c_str())).Code(), 0);
    EXPECT_EQ(CreateDirectoryPath(SPath(folder.c_str())).Code(), 0); // existing: still success
    bool isDirectory = false;
    EXPECT_TRUE(FileExists(SPath(folder.c_str()), &isDirectory));
    EXPECT_TRUE(isDirectory);

    SResult result;
    SFile file{SPath(path.c_str())};
    ASSERT_EQ(file.Open(SFileMode::CreateNew, nullptr, false, result).Code(), 0);
    DWORD done = 0;
    EXPECT_EQ(file.Write("long", 4, 0, &done, result).Code(), 0);
    file.Close();
    uint64_t size = 0;
    EXPECT_EQ(file.GetSize(size, result).Code(), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(MoveFileReplacing(SPath(path.c_str()), SPath((path + L".bak").c_str())).Code(), 0);
    EXPECT_FALSE(FileExists(SPath(path.c_str())));
    EXPECT_EQ(RemoveFile(SPath((path + L".bak").c_str()), 0, false).Code(), 0);
    EXPECT_FALSE(FileExists(SPath((path + L".bak").c_str())));
    EXPECT_EQ(RemoveFile(SPath(folder.c_str()), -1, false).Code(), 0);
    EXPECT_FALSE(FileExists(SPath(folder.c_str())));
}
