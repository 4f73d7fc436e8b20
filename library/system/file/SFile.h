// SFile: a path, an optional open handle, and operations that work on the handle while the file
// is open and on the path otherwise. Open takes the library's own mode flags (SFileMode).
// Thread-safety: one thread at a time per object; overlapped reads and writes wait for their
// completion, so callers see synchronous behaviour either way. The NtQueryInformationFile entry
// point is a process-wide cache written once.
// Failure contract: nothing throws; operations write their SResult to `result` and return it; a
// failed open leaves the object closed; out-parameters hold 0 on failure (GetSize: size 0), but a
// short write (kResultGeneralFailure) reports the bytes it did write.
#pragma once

#include "library/diagnostics/SResultCodes.h"
#include "library/system/SHandle.h"
#include "library/utility/SBuffer.h"
#include "library/utility/SPath.h"

#include <windows.h>

#include <cstdint>

namespace S
{

// Open-mode flags, combined with |.
namespace SFileMode
{
inline constexpr uint32_t ReadOnly = 0x1;
inline constexpr uint32_t ShareWrite = 0x2;
inline constexpr uint32_t OpenAlways = 0x8;
inline constexpr uint32_t CreateNew = 0x10;
inline constexpr uint32_t CreateAlways = 0x20;
inline constexpr uint32_t Truncate = 0x40;
inline constexpr uint32_t WriteThrough = 0x80;
inline constexpr uint32_t SequentialScan = 0x100;
inline constexpr uint32_t Overlapped = 0x200;
inline constexpr uint32_t NoBuffering = 0x400;
inline constexpr uint32_t ShareDelete = 0x800;
inline constexpr uint32_t Execute = 0x1000;
inline constexpr uint32_t SystemSecurity = 0x2000;
inline constexpr uint32_t AllStandardRights = 0x4000;
inline constexpr uint32_t RandomAccess = 0x8000;
inline constexpr uint32_t OpenReparsePoint = 0x10000;
} // namespace SFileMode

// Offset meaning "the current file position" for synchronous reads and writes.
inline constexpr uint64_t SFileCurrentPosition = ~uint64_t{0};

// The CreateFileW arguments for a set of mode flags.
struct SFileOpenParameters
{
    DWORD access = 0;
    DWORD share = 0;
    DWORD disposition = 0;
    DWORD flagsAndAttributes = 0;
};
SFileOpenParameters FileOpenParameters(uint32_t mode, bool directory) noexcept;

class IFile
{
public:
    virtual ~IFile() = default;
    virtual SPath GetPath() const = 0;
    virtual SResult SetPath(const SPath& path, SResult& result) = 0;
    virtual SResult GetSize(uint64_t& size, SResult& result) noexcept = 0;
    virtual SResult Remove(bool delay, SResult& result) noexcept = 0;
};

class SFileBase
{
protected:
    SPath m_Path;
};

class IFileOpener
{
public:
    virtual ~IFileOpener() = default;
    virtual HANDLE GetHandle() const noexcept = 0;
    virtual bool IsOpen() const noexcept = 0;
    virtual SResult OpenRaw(DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes,
                            SECURITY_ATTRIBUTES* security, bool directory, SResult& result) noexcept = 0;
    virtual SResult Open(uint32_t mode, SECURITY_ATTRIBUTES* security, bool directory,
                         SResult& result) noexcept = 0;
    virtual void Close() noexcept = 0;
};

class IFileAccessor
{
public:
    virtual ~IFileAccessor() = default;
    virtual SResult Read(void* buffer, DWORD bytes, uint64_t offset, DWORD* bytesRead,
                         SResult& result) noexcept = 0;
    virtual SResult Write(const void* buffer, DWORD bytes, uint64_t offset, DWORD* bytesWritten,
                          SResult& result) noexcept = 0;
    virtual SResult Attach(HANDLE handle, bool overlapped, bool directory, SResult& result) noexcept = 0;
};

class SFile : public IFile, public SFileBase, public IFileOpener, public IFileAccessor
{
public:
    SFile() = default;
    explicit SFile(const SPath& path);
    SFile(const SFile&) = delete;
    SFile& operator=(const SFile&) = delete;
    ~SFile() override;

    SPath GetPath() const override { return m_Path; }
    // Only while closed (else kResultFileNotAllowed).
    SResult SetPath(const SPath& path, SResult& result) override;
    // Open: the end-of-file position of the handle; closed (or when that fails): the size of
    // the file at the path, with the plain HRESULT of the Win32 error on failure.
    SResult GetSize(uint64_t& size, SResult& result) noexcept override;
    SResult Remove(bool delay, SResult& result) noexcept override;

    HANDLE GetHandle() const noexcept override { return m_Handle.Get(); }
    bool IsOpen() const noexcept override { return m_Handle.Get() != nullptr; }
    // Success leaves the thread's last error as CreateFileW set it (ERROR_ALREADY_EXISTS when
    // an existing file was opened with an open-always or create-always disposition).
    SResult OpenRaw(DWORD access, DWORD share, DWORD disposition, DWORD flagsAndAttributes,
                    SECURITY_ATTRIBUTES* security, bool directory, SResult& result) noexcept override;
    // Opening a read-only file for writing clears its read-only attribute (set again if the
    // open still fails).
    SResult Open(uint32_t mode, SECURITY_ATTRIBUTES* security, bool directory,
                 SResult& result) noexcept override;
    void Close() noexcept override;

    // `offset` is where the transfer starts; SFileCurrentPosition continues at the file pointer
    // of a synchronous handle. A short read is success; a short write gives kResultGeneralFailure.
    SResult Read(void* buffer, DWORD bytes, uint64_t offset, DWORD* bytesRead,
                 SResult& result) noexcept override;
    SResult Write(const void* buffer, DWORD bytes, uint64_t offset, DWORD* bytesWritten,
                  SResult& result) noexcept override;
    SResult Attach(HANDLE handle, bool overlapped, bool directory, SResult& result) noexcept override;

    bool IsDirectory() const noexcept { return m_IsDirectory == 1; }
    bool IsOverlapped() const noexcept { return m_IsOverlapped != 0; }

private:
    SResult Transfer(bool write, void* buffer, DWORD bytes, uint64_t offset, DWORD* done) noexcept;

    SHandle m_Handle;
    int32_t m_IsDirectory = -1;
    uint32_t m_IsOverlapped = 0;
    SBufferT<unsigned char, 0> m_WorkBuffer;
};

// Removes a file or folder. `directory` 1 or 0 says which it is, -1 decides from the path's
// attributes; `delay` leaves a file for removal at the next restart. A missing path is success.
SResult RemoveFile(const SPath& path, int directory, bool delay) noexcept;

// Whether something exists at `path`, taken literally (ExpandedFileExists expands it first);
// *isDirectory tells whether it is a folder.
bool FileExists(const SPath& path, bool* isDirectory = nullptr);

// Creates `path` and every missing folder above it. An existing folder is success.
SResult CreateDirectoryPath(const SPath& path) noexcept;

// Moves `from` to `to`, replacing any file there.
SResult MoveFileReplacing(const SPath& from, const SPath& to) noexcept;

} // namespace S
