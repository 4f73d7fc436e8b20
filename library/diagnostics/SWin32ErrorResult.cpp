#include "library/diagnostics/SWin32ErrorResult.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace S
{
namespace
{

struct Translation
{
    DWORD error;
    const wchar_t* name;
    SResult general;
    SResult service;
};

// Rows carry the error's own spelling as their name.
#define S_WIDE(text) L##text
#define S_ROW(error, general, service)                                                                       \
    Translation                                                                                              \
    {                                                                                                        \
        error, S_WIDE(#error), general, service                                                              \
    }

constexpr SResult kGeneralNone = kResultGeneralFailure;
constexpr SResult kServiceNone = kResultServiceOtherError;

constexpr Translation kTable[] = {
    S_ROW(ERROR_SUCCESS, SResult(0), SResult(0)),
    S_ROW(ERROR_FILE_NOT_FOUND, kResultFileNotFound, kServiceNone),
    S_ROW(ERROR_PATH_NOT_FOUND, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_TOO_MANY_OPEN_FILES, kResultTooManyOpenFiles, kServiceNone),
    S_ROW(ERROR_ACCESS_DENIED, kResultAccessDenied, kResultServiceAccessDenied),
    S_ROW(ERROR_INVALID_HANDLE, kResultFileNotFound, kResultServiceInvalidHandle),
    S_ROW(ERROR_BAD_FORMAT, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_INVALID_ACCESS, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_INVALID_DATA, kGeneralNone, kResultServiceInvalidArgument),
    S_ROW(ERROR_INVALID_DRIVE, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_CURRENT_DIRECTORY, kResultDirectoryNotRemovable, kServiceNone),
    S_ROW(ERROR_NOT_SAME_DEVICE, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_NO_MORE_FILES, kResultFileNotFound, kServiceNone),
    S_ROW(ERROR_WRITE_PROTECT, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_BAD_UNIT, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_NOT_READY, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_BAD_COMMAND, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_CRC, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_BAD_LENGTH, kResultBadPosition, kServiceNone),
    S_ROW(ERROR_SEEK, kResultBadPosition, kServiceNone),
    S_ROW(ERROR_NOT_DOS_DISK, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_SECTOR_NOT_FOUND, kResultBadPosition, kServiceNone),
    S_ROW(ERROR_WRITE_FAULT, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_READ_FAULT, kResultBadPosition, kServiceNone),
    S_ROW(ERROR_SHARING_VIOLATION, kResultSharingViolation, kServiceNone),
    S_ROW(ERROR_LOCK_VIOLATION, kResultLocked, kServiceNone),
    S_ROW(ERROR_WRONG_DISK, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_SHARING_BUFFER_EXCEEDED, kResultTooManyOpenFiles, kServiceNone),
    S_ROW(ERROR_HANDLE_EOF, kResultHandleEof, kServiceNone),
    S_ROW(ERROR_HANDLE_DISK_FULL, kResultDiskFull, kServiceNone),
    S_ROW(ERROR_DUP_NAME, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_BAD_NETPATH, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_NETWORK_BUSY, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_DEV_NOT_EXIST, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_ADAP_HDW_ERR, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_BAD_NET_RESP, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_UNEXP_NET_ERR, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_BAD_REM_ADAP, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_NO_SPOOL_SPACE, kResultNoSpoolSpace, kServiceNone),
    S_ROW(ERROR_NETNAME_DELETED, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_NETWORK_ACCESS_DENIED, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_BAD_DEV_TYPE, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_BAD_NET_NAME, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_TOO_MANY_NAMES, kResultTooManyOpenFiles, kServiceNone),
    S_ROW(ERROR_SHARING_PAUSED, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_REQ_NOT_ACCEP, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_FILE_EXISTS, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_CANNOT_MAKE, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_ALREADY_ASSIGNED, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_INVALID_PASSWORD, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_INVALID_PARAMETER, kGeneralNone, kResultServiceInvalidArgument),
    S_ROW(ERROR_NET_WRITE_FAULT, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_DISK_CHANGE, kResultFileNotFound, kServiceNone),
    S_ROW(ERROR_DRIVE_LOCKED, kResultLocked, kServiceNone),
    S_ROW(ERROR_BUFFER_OVERFLOW, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_DISK_FULL, kResultDiskFull, kServiceNone),
    S_ROW(ERROR_NO_MORE_SEARCH_HANDLES, kResultTooManyOpenFiles, kServiceNone),
    S_ROW(ERROR_INVALID_TARGET_HANDLE, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_INVALID_CATEGORY, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_INSUFFICIENT_BUFFER, kGeneralNone, kResultServiceBufferTooSmall),
    S_ROW(ERROR_INVALID_NAME, kResultPathNotFound, kResultServiceInvalidArgument),
    S_ROW(ERROR_INVALID_LEVEL, kResultPathNotFound, kResultServiceInvalidArgument),
    S_ROW(ERROR_NO_VOLUME_LABEL, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_NEGATIVE_SEEK, kResultBadPosition, kServiceNone),
    S_ROW(ERROR_SEEK_ON_DEVICE, kResultBadPosition, kServiceNone),
    S_ROW(ERROR_DIR_NOT_ROOT, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_DIR_NOT_EMPTY, kResultDirectoryNotRemovable, kServiceNone),
    S_ROW(ERROR_LABEL_TOO_LONG, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_BAD_PATHNAME, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_LOCK_FAILED, kResultLocked, kServiceNone),
    S_ROW(ERROR_BUSY, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_INVALID_ORDINAL, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_ALREADY_EXISTS, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_INVALID_EXE_SIGNATURE, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_BAD_EXE_FORMAT, kResultBadFormat, kServiceNone),
    S_ROW(ERROR_FILENAME_EXCED_RANGE, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_META_EXPANSION_TOO_LONG, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_MORE_DATA, kGeneralNone, kResultServiceBufferTooSmall),
    S_ROW(ERROR_DIRECTORY, kResultPathNotFound, kServiceNone),
    S_ROW(ERROR_OPERATION_ABORTED, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_IO_INCOMPLETE, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_IO_PENDING, kResultDeviceFailed, kServiceNone),
    S_ROW(ERROR_SWAPERROR, kResultAccessDenied, kServiceNone),
    S_ROW(ERROR_DEPENDENT_SERVICES_RUNNING, kGeneralNone, kResultServiceDependents),
    S_ROW(ERROR_INVALID_SERVICE_CONTROL, kGeneralNone, kResultServiceInvalidControl),
    S_ROW(ERROR_SERVICE_REQUEST_TIMEOUT, kGeneralNone, kResultServiceTimedOut),
    S_ROW(ERROR_SERVICE_DATABASE_LOCKED, kGeneralNone, kResultServiceAccessDenied),
    S_ROW(ERROR_SERVICE_ALREADY_RUNNING, kGeneralNone, kResultServiceAlreadyRunning),
    S_ROW(ERROR_INVALID_SERVICE_ACCOUNT, kGeneralNone, kResultServiceInvalidAccount),
    S_ROW(ERROR_SERVICE_DISABLED, kGeneralNone, kResultServiceDisabled),
    S_ROW(ERROR_SERVICE_DOES_NOT_EXIST, kGeneralNone, kResultServiceNotFound),
    S_ROW(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, kGeneralNone, kResultServiceCannotAccept),
    S_ROW(ERROR_SERVICE_NOT_ACTIVE, kGeneralNone, kResultServiceNotActive),
    S_ROW(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, kGeneralNone, kResultServiceControllerConnect),
    S_ROW(ERROR_DATABASE_DOES_NOT_EXIST, kGeneralNone, kResultServiceNotFound),
    S_ROW(ERROR_SERVICE_DEPENDENCY_FAIL, kGeneralNone, kResultServiceDependents),
    S_ROW(ERROR_INVALID_SERVICE_LOCK, kGeneralNone, kResultServiceInvalidArgument),
    S_ROW(ERROR_SERVICE_MARKED_FOR_DELETE, kGeneralNone, kResultServiceMarkedForDelete),
    S_ROW(ERROR_SERVICE_DEPENDENCY_DELETED, kGeneralNone, kResultServiceDependents),
    S_ROW(ERROR_SHUTDOWN_IN_PROGRESS, kGeneralNone, kResultServiceShuttingDown),
};

#undef S_ROW
#undef S_WIDE

// The system codes of the result list are the HRESULTs of these errors: a wrong digit fails the build.
struct SystemCode
{
    DWORD error;
    SResult code;
};

constexpr SystemCode kSystemCodes[] = {
    {ERROR_SUCCESS, 0},
    {ERROR_FILE_NOT_FOUND, kResultFileNotFound},
    {ERROR_PATH_NOT_FOUND, kResultPathNotFound},
    {ERROR_TOO_MANY_OPEN_FILES, kResultTooManyOpenFiles},
    {ERROR_ACCESS_DENIED, kResultAccessDenied},
    {ERROR_NOT_ENOUGH_MEMORY, kResultNotEnoughMemory},
    {ERROR_OUTOFMEMORY, kResultOutOfMemory},
    {ERROR_WRITE_FAULT, kResultWriteFault},
    {ERROR_GEN_FAILURE, kResultGenFailure},
    {ERROR_SHARING_VIOLATION, kResultSharingViolation},
    {ERROR_HANDLE_EOF, kResultHandleEof},
    {ERROR_NOT_SUPPORTED, kResultNotSupported},
    {ERROR_NO_SPOOL_SPACE, kResultNoSpoolSpace},
    {ERROR_INVALID_PARAMETER, kResultInvalidArgument},
    {ERROR_DISK_FULL, kResultDiskFull},
    {ERROR_INSUFFICIENT_BUFFER, kResultInsufficientBuffer},
    {ERROR_PROC_NOT_FOUND, kResultFunctionMissing},
    {ERROR_ALREADY_EXISTS, kResultAlreadyExists},
    {ERROR_FILENAME_EXCED_RANGE, kResultFilenameTooLong},
    {ERROR_INVALID_SID, kResultInvalidSid},
    {ERROR_INTERNAL_ERROR, kResultInternalError},
};

constexpr bool SystemCodesMatch() noexcept
{
    for (const SystemCode& row : kSystemCodes)
        if (HResultFromWin32(row.error) != row.code)
            return false;
    return true;
}
static_assert(SystemCodesMatch(), "a system code is not the HRESULT of its error");
static_assert(HResultFromWin32(0xF0005u) == kResultAccessDenied,
              "only the low 16 bits of an error are carried");

const Translation* Find(uint32_t win32Error) noexcept
{
    const auto it = std::find_if(std::begin(kTable), std::end(kTable),
                                 [win32Error](const Translation& row) { return row.error == win32Error; });
    return it == std::end(kTable) ? nullptr : it;
}

} // namespace

SResult ResultFromWin32Error(uint32_t win32Error, SWin32ErrorUse use) noexcept
{
    const Translation* row = Find(win32Error);
    if (use == SWin32ErrorUse::Service)
        return row != nullptr ? row->service : kServiceNone;
    return row != nullptr ? row->general : kGeneralNone;
}

const wchar_t* ServiceErrorName(uint32_t win32Error) noexcept
{
    const Translation* row = Find(win32Error);
    return row != nullptr && row->service != kServiceNone ? row->name : L"<UNKNOWN>";
}

} // namespace S
