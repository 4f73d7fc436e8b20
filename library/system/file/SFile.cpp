#include "library/system/file/SFile.h"

#include "library/diagnostics/SWin32ErrorResult.h"
#include "library/system/SModule.h"
#include "library/system/process/SEvent.h"

#include <atomic>
#include <new>

namespace S
{

namespace
{

SPath LongForm(const SPath& path)
{
    SPath out;
    path.GetExtendedLengthPath(out);
    return out;
}

// FileStandardInformation as NtQueryInformationFile returns it.
struct FileStandardInformation
{
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    ULONG numberOfLinks;
    BOOLEAN deletePending;
    BOOLEAN directory;
};
static_assert(sizeof(FileStandardInformation) == 24);

struct IoStatusBlock
{
    union
    {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};

using NtQueryInformationFileFn = LONG(WINAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);
constexpr int FileStandardInformationClass = 5;

// Looked up once; a missing entry point is remembered as missing.
NtQueryInformationFileFn QueryInformationFileEntry() noexcept
{
    static const NtQueryInformationFileFn entry =
        FindLoadedModuleFunction<NtQueryInformationFileFn>(L"ntdll.dll", "NtQueryInformationFile");
    return entry;
}

// GetFileAttributesW on the long form; INVALID_FILE_ATTRIBUTES with the last error set on failure.
DWORD AttributesOf(const SPath& longPath) noexcept
{
    return GetFileAttributesW(longPath.c_str());
}

bool SetAttributes(const SPath& longPath, DWORD attributes) noexcept
{
    return SetFileAttributesW(longPath.c_str(), attributes) != FALSE;
}

bool CreateOneDirectory(const SPath& longPath, SECURITY_ATTRIBUTES* security) noexcept
{
    return CreateDirectoryW(longPath.c_str(), security) != FALSE;
}

bool RemoveOneDirectory(const SPath& longPath) noexcept
{
    return RemoveDirectoryW(longPath.c_str()) != FALSE;
}

bool MoveOrDelay(const SPath& longFrom, const SPath* longTo, DWORD flags) noexcept
{
    return MoveFileExW(longFrom.c_str(), longTo != nullptr ? longTo->c_str() : nullptr, flags) != FALSE;
}

} // namespace

SFileOpenParameters FileOpenParameters(uint32_t mode, bool directory) noexcept
{
    SFileOpenParameters p;
    const bool readOnly = (mode & SFileMode::ReadOnly) != 0;
    if (directory)
        p.access = readOnly ? STANDARD_RIGHTS_ALL : (GENERIC_WRITE | STANDARD_RIGHTS_ALL);
    else
        p.access = readOnly ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    if (mode & SFileMode::Execute)
        p.access |= GENERIC_EXECUTE;
    if (mode & SFileMode::SystemSecurity)
        p.access |= ACCESS_SYSTEM_SECURITY;
    if (mode & SFileMode::AllStandardRights)
        p.access |= STANDARD_RIGHTS_ALL;

    p.share = FILE_SHARE_READ;
    if ((mode & SFileMode::ShareWrite) || directory)
        p.share |= FILE_SHARE_WRITE;
    if (mode & SFileMode::ShareDelete)
        p.share |= FILE_SHARE_DELETE;

    if (mode & SFileMode::OpenAlways)
        p.disposition = OPEN_ALWAYS;
    else if (mode & SFileMode::CreateNew)
        p.disposition = CREATE_NEW;
    else if (mode & SFileMode::CreateAlways)
        p.disposition = CREATE_ALWAYS;
    else if (mode & SFileMode::Truncate)
        p.disposition = TRUNCATE_EXISTING;
    else
        p.disposition = OPEN_EXISTING;

    p.flagsAndAttributes = directory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL;
    const struct
    {
        uint32_t mode;
        DWORD flag;
    } flags[] = {{SFileMode::WriteThrough, FILE_FLAG_WRITE_THROUGH},
                 {SFileMode::SequentialScan, FILE_FLAG_SEQUENTIAL_SCAN},
                 {SFileMode::Overlapped, FILE_FLAG_OVERLAPPED},
                 {SFileMode::NoBuffering, FILE_FLAG_NO_BUFFERING},
                 {SFileMode::RandomAccess, FILE_FLAG_RANDOM_ACCESS},
                 {SFileMode::OpenReparsePoint, FILE_FLAG_OPEN_REPARSE_POINT}};
    for (const auto& f : flags)
        if (mode & f.mode)
            p.flagsAndAttributes |= f.flag;
    return p;
}

SFile::SFile(const SPath& path)
{
    if (!path.IsEmpty())
        m_Path = path;
}

SFile::~SFile()
{
    Close();
}

SResult SFile::SetPath(const SPath& path, SResult& result)
{
    if (IsOpen())
        return result = kResultFileNotAllowed;
    m_Path = path;
    return result = 0;
}

SResult SFile::Attach(HANDLE handle, bool overlapped, bool directory, SResult& result) noexcept
{
    if (IsOpen())
        return result = 0;
    if (!SHandle::IsValid(handle))
    {
        const DWORD error = GetLastError();
        m_WorkBuffer = SBufferT<unsigned char, 0>();
        return result = ResultFromWin32Error(error);
    }
    m_Handle.Reset(handle);
    m_IsOverlapped = overlapped ? 1 : 0;
    m_IsDirectory = directory ? 1 : 0;
    return result = 0;
}

SResult SFile::OpenRaw(DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes,
                       SECURITY_ATTRIBUTES* security, bool directory, SResult& result) noexcept
{
    if (IsOpen())
        return result = 0;
    try
    {
        const SPath longPath = LongForm(m_Path);
        if (directory && disposition != OPEN_EXISTING)
        {
            CreateOneDirectory(longPath, security);
            disposition = OPEN_EXISTING;
        }
        const HANDLE handle =
            CreateFileW(longPath.c_str(), access, share, security, disposition, flagsAndAttributes, nullptr);
        const DWORD error = GetLastError();
        Attach(handle, (flagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0, directory, result);
        SetLastError(error);
        return result;
    }
    catch (const std::bad_alloc&)
    {
        return result = kResultOutOfMemory;
    }
}

SResult SFile::Open(uint32_t mode, SECURITY_ATTRIBUTES* security, bool directory, SResult& result) noexcept
{
    if (IsOpen())
        return result = 0;
    if ((mode & SFileMode::OpenReparsePoint) && (mode & SFileMode::CreateAlways))
        return result = kResultFileNotAllowed;
    const SFileOpenParameters p = FileOpenParameters(mode, directory);
    OpenRaw(p.access, p.share, p.disposition, p.flagsAndAttributes, security, directory, result);
    if (result != kResultAccessDenied || (mode & SFileMode::ReadOnly))
        return result;
    try
    {
        // A read-only file refuses writers: clear the attribute and try once more.
        const SPath longPath = LongForm(m_Path);
        const DWORD attributes = AttributesOf(longPath);
        const bool wasReadOnly =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
        if (wasReadOnly)
            SetAttributes(longPath, attributes & ~FILE_ATTRIBUTE_READONLY);
        OpenRaw(p.access, p.share, p.disposition, p.flagsAndAttributes, security, directory, result);
        if (result.Failed() && wasReadOnly)
            SetAttributes(longPath, attributes);
        return result;
    }
    catch (const std::bad_alloc&)
    {
        return result = kResultOutOfMemory;
    }
}

void SFile::Close() noexcept
{
    m_Handle.Reset();
    m_WorkBuffer = SBufferT<unsigned char, 0>();
    m_IsDirectory = -1;
    m_IsOverlapped = 0;
}

SResult SFile::Transfer(bool write, void* buffer, DWORD bytes, uint64_t offset, DWORD* done) noexcept
{
    *done = 0;
    if (!IsOpen())
        return kResultFileNotAllowed;
    const HANDLE handle = m_Handle.Get();
    auto issue = [&](OVERLAPPED* overlapped, DWORD* count)
    {
        return write ? WriteFile(handle, buffer, bytes, count, overlapped)
                     : ReadFile(handle, buffer, bytes, count, overlapped);
    };

    if (!IsOverlapped())
    {
        if (offset != SFileCurrentPosition)
        {
            LARGE_INTEGER position;
            position.QuadPart = static_cast<LONGLONG>(offset);
            if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN))
                return kResultBadPosition;
        }
        if (!issue(nullptr, done))
            return ResultFromWin32Error(GetLastError());
        return (write && *done < bytes) ? kResultGeneralFailure : SResult(0);
    }

    if (offset > 0x7FFFFFFFFFFFFFFFull)
        return kResultBadPosition;
    try
    {
        SEvent event;
        SResult created;
        event.Create(created, SString(write ? L"SFile::AsyncWriteFile" : L"SFile::AsyncReadFile"), true,
                     false, true, false, nullptr);
        if (created.Failed())
            return created;
        OVERLAPPED overlapped{};
        overlapped.Offset = static_cast<DWORD>(offset);
        overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
        overlapped.hEvent = event.GetHandle();
        BOOL ok = issue(&overlapped, nullptr);
        DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (ok || error == ERROR_IO_PENDING)
        {
            // Finished at once or pending: either way the count comes from the overlapped result.
            ok = GetOverlappedResult(handle, &overlapped, done, TRUE);
            error = ok ? ERROR_SUCCESS : GetLastError();
            if (error == ERROR_IO_PENDING || error == ERROR_IO_INCOMPLETE)
                return kResultGeneralFailure;
        }
        // Reading at or past the end is a read of nothing.
        if (!write && error == ERROR_HANDLE_EOF)
            return 0;
        if (error != ERROR_SUCCESS)
            return ResultFromWin32Error(error);
        return (write && *done < bytes) ? kResultGeneralFailure : SResult(0);
    }
    catch (const std::bad_alloc&)
    {
        return kResultOutOfMemory;
    }
}

SResult SFile::Read(void* buffer, DWORD bytes, uint64_t offset, DWORD* bytesRead, SResult& result) noexcept
{
    DWORD done = 0;
    result = Transfer(false, buffer, bytes, offset, &done);
    if (bytesRead != nullptr)
        *bytesRead = done;
    return result;
}

SResult SFile::Write(const void* buffer, DWORD bytes, uint64_t offset, DWORD* bytesWritten,
                     SResult& result) noexcept
{
    DWORD done = 0;
    result = Transfer(true, const_cast<void*>(buffer), bytes, offset, &done);
    if (bytesWritten != nullptr)
        *bytesWritten = done;
    return result;
}

SResult SFile::GetSize(uint64_t& size, SResult& result) noexcept
{
    size = 0;
    if (IsOpen())
    {
        if (const NtQueryInformationFileFn query = QueryInformationFileEntry())
        {
            IoStatusBlock status{};
            FileStandardInformation info{};
            if (query(m_Handle.Get(), &status, &info, sizeof(info), FileStandardInformationClass) >= 0)
            {
                size = static_cast<uint64_t>(info.endOfFile.QuadPart);
                return result = 0;
            }
        }
    }
    try
    {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(LongForm(m_Path).c_str(), GetFileExInfoStandard, &data))
            return result = HResultFromWin32(GetLastError());
        size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return result = 0;
    }
    catch (const std::bad_alloc&)
    {
        return result = kResultOutOfMemory;
    }
}

SResult SFile::Remove(bool delay, SResult& result) noexcept
{
    return result = RemoveFile(m_Path, m_IsDirectory, delay);
}

SResult RemoveFile(const SPath& path, int directory, bool delay) noexcept
{
    try
    {
        const SPath longPath = LongForm(path);
        const DWORD attributes = AttributesOf(longPath);
        if (attributes == INVALID_FILE_ATTRIBUTES)
        {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? SResult(0)
                       : ResultFromWin32Error(error);
        }
        if (directory == -1)
            directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
        if (attributes != FILE_ATTRIBUTE_NORMAL)
            SetAttributes(longPath, FILE_ATTRIBUTE_NORMAL);

        bool removed = false;
        if (directory == 1)
            removed = RemoveOneDirectory(longPath);
        else if (delay)
            removed = MoveOrDelay(longPath, nullptr, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
        else
        {
            removed = DeleteFileW(longPath.c_str());
            // A folder named as a file answers "access denied" to DeleteFileW.
            if (!removed && GetLastError() == ERROR_ACCESS_DENIED)
                removed = RemoveOneDirectory(longPath);
        }
        if (removed)
            return 0;
        const DWORD error = GetLastError();
        SetAttributes(longPath, attributes);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return 0;
        return ResultFromWin32Error(error);
    }
    catch (const std::bad_alloc&)
    {
        return kResultOutOfMemory;
    }
}

bool FileExists(const SPath& path, bool* isDirectory)
{
    if (isDirectory != nullptr)
        *isDirectory = false;
    const DWORD attributes = AttributesOf(LongForm(path));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (isDirectory != nullptr)
        *isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

SResult CreateDirectoryPath(const SPath& path) noexcept
{
    try
    {
        // Every folder from the top down; those that exist already (and the drive or server
        // parts of the path, which are no folders) simply fail and are passed over.
        SPath prefix;
        DWORD lastError = ERROR_SUCCESS;
        const size_t length = path.GetLength();
        for (size_t end = 0; end <= length; ++end)
        {
            if (end < length && path[end] != L'\\' && path[end] != L'/')
                continue;
            path.Mid(prefix, 0, end);
            if (prefix.IsEmpty() || prefix.EndsWithChar(L'\\') || prefix.EndsWithChar(L'/'))
                continue;
            if (!CreateOneDirectory(LongForm(prefix), nullptr))
                lastError = GetLastError();
        }
        bool isDirectory = false;
        const DWORD attributes = AttributesOf(LongForm(path));
        isDirectory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        return isDirectory ? SResult(0) : ResultFromWin32Error(lastError);
    }
    catch (const std::bad_alloc&)
    {
        return kResultOutOfMemory;
    }
}

SResult MoveFileReplacing(const SPath& from, const SPath& to) noexcept
{
    try
    {
        const SPath longTo = LongForm(to);
        if (MoveOrDelay(LongForm(from), &longTo, MOVEFILE_REPLACE_EXISTING))
            return 0;
        return ResultFromWin32Error(GetLastError());
    }
    catch (const std::bad_alloc&)
    {
        return kResultOutOfMemory;
    }
}

} // namespace S
