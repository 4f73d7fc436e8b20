#include "library/diagnostics/SWin32ErrorResult.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace S;

TEST(SWin32ErrorResult, EachErrorGivesItsCodeForEachUseAndItsServiceName)
{
    constexpr SResult None = kResultGeneralFailure, Other = kResultServiceOtherError;
    constexpr const wchar_t* Unknown = L"<UNKNOWN>";
    struct Row
    {
        DWORD error;
        SResult general, service;
        const wchar_t* name;
    };
    // One row or more for every code the table gives; errors it does not list close the table.
    const Row rows[] = {
        {ERROR_SUCCESS, 0, 0, L"ERROR_SUCCESS"},
        {ERROR_FILE_NOT_FOUND, kResultFileNotFound, Other, Unknown},
        {ERROR_INVALID_HANDLE, kResultFileNotFound, kResultServiceInvalidHandle, L"ERROR_INVALID_HANDLE"},
        {ERROR_DIRECTORY, kResultPathNotFound, Other, Unknown},
        {ERROR_INVALID_NAME, kResultPathNotFound, kResultServiceInvalidArgument, L"ERROR_INVALID_NAME"},
        {ERROR_NO_MORE_SEARCH_HANDLES, kResultTooManyOpenFiles, Other, Unknown},
        {ERROR_ACCESS_DENIED, kResultAccessDenied, kResultServiceAccessDenied, L"ERROR_ACCESS_DENIED"},
        {ERROR_ALREADY_EXISTS, kResultAccessDenied, Other, Unknown},
        {ERROR_BAD_EXE_FORMAT, kResultBadFormat, Other, Unknown},
        {ERROR_DIR_NOT_EMPTY, kResultDirectoryNotRemovable, Other, Unknown},
        {ERROR_IO_PENDING, kResultDeviceFailed, Other, Unknown},
        {ERROR_NEGATIVE_SEEK, kResultBadPosition, Other, Unknown},
        {ERROR_SHARING_VIOLATION, kResultSharingViolation, Other, Unknown},
        {ERROR_LOCK_FAILED, kResultLocked, Other, Unknown},
        {ERROR_HANDLE_EOF, kResultHandleEof, Other, Unknown},
        {ERROR_HANDLE_DISK_FULL, kResultDiskFull, Other, Unknown},
        {ERROR_NO_SPOOL_SPACE, kResultNoSpoolSpace, Other, Unknown},
        {ERROR_INVALID_PARAMETER, None, kResultServiceInvalidArgument, L"ERROR_INVALID_PARAMETER"},
        {ERROR_MORE_DATA, None, kResultServiceBufferTooSmall, L"ERROR_MORE_DATA"},
        {ERROR_DEPENDENT_SERVICES_RUNNING, None, kResultServiceDependents,
         L"ERROR_DEPENDENT_SERVICES_RUNNING"},
        {ERROR_SERVICE_REQUEST_TIMEOUT, None, kResultServiceTimedOut, L"ERROR_SERVICE_REQUEST_TIMEOUT"},
        {ERROR_SERVICE_DATABASE_LOCKED, None, kResultServiceAccessDenied, L"ERROR_SERVICE_DATABASE_LOCKED"},
        {ERROR_SERVICE_ALREADY_RUNNING, None, kResultServiceAlreadyRunning, L"ERROR_SERVICE_ALREADY_RUNNING"},
        {ERROR_DATABASE_DOES_NOT_EXIST, None, kResultServiceNotFound, L"ERROR_DATABASE_DOES_NOT_EXIST"},
        {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, None, kResultServiceCannotAccept,
         L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL"},
        {ERROR_SERVICE_NOT_ACTIVE, None, kResultServiceNotActive, L"ERROR_SERVICE_NOT_ACTIVE"},
        {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, None, kResultServiceControllerConnect,
         L"ERROR_FAILED_SERVICE_CONTROLLER_CONNECT"},
        {ERROR_SERVICE_MARKED_FOR_DELETE, None, kResultServiceMarkedForDelete,
         L"ERROR_SERVICE_MARKED_FOR_DELETE"},
        {ERROR_SHUTDOWN_IN_PROGRESS, None, kResultServiceShuttingDown, L"ERROR_SHUTDOWN_IN_PROGRESS"},
        {ERROR_INVALID_FUNCTION, None, Other, Unknown},
        {ERROR_PROC_NOT_FOUND, None, Other, Unknown},
        {kResultAccessDenied.Unsigned(), None, Other, Unknown}, // an HRESULT is no Win32 error
    };
    for (const Row& row : rows)
    {
        EXPECT_EQ(ResultFromWin32Error(row.error), row.general) << row.error;
        EXPECT_EQ(ResultFromWin32Error(row.error, SWin32ErrorUse::Service), row.service) << row.error;
        EXPECT_STREQ(ServiceErrorName(row.error), row.name) << row.error;
    }
}
