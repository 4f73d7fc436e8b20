// Every result code the library gives or tests for, in one list. The constants are SResult, not
// integers: a code then cannot be passed where a Win32 error number or an exit code is expected
// (both are plain 32-bit integers too), and it compares with a result as it is.
// System codes are HRESULTs (0x8007xxxx carries a Win32 error); the library's own are 0xA004xxxx.
// Constants only; thread-safe.
// Failure contract: none; constants only.
#pragma once

#include "library/diagnostics/SResult.h"

#include <iterator>

namespace S
{

// System codes.
inline constexpr SResult kResultFail{0x80004005u};               // unspecified failure
inline constexpr SResult kResultFileNotFound{0x80070002u};       // the file is not there
inline constexpr SResult kResultPathNotFound{0x80070003u};       // a path or name that leads nowhere
inline constexpr SResult kResultTooManyOpenFiles{0x80070004u};   // out of handles or names
inline constexpr SResult kResultAccessDenied{0x80070005u};       // refused by security or file state
inline constexpr SResult kResultNotEnoughMemory{0x80070008u};    // the system had no memory for a call
inline constexpr SResult kResultOutOfMemory{0x8007000Eu};        // our own allocation failed
inline constexpr SResult kResultWriteFault{0x8007001Du};         // fewer bytes written than asked
inline constexpr SResult kResultGenFailure{0x8007001Fu};         // a call failed without saying why
inline constexpr SResult kResultSharingViolation{0x80070020u};   // another open handle does not share
inline constexpr SResult kResultHandleEof{0x80070026u};          // read at the end of the file
inline constexpr SResult kResultNotSupported{0x80070032u};       // not available on this system
inline constexpr SResult kResultNoSpoolSpace{0x8007003Eu};       // the print spooler is out of space
inline constexpr SResult kResultInvalidArgument{0x80070057u};    // a bad argument
inline constexpr SResult kResultDiskFull{0x80070070u};           // no room left on the disk
inline constexpr SResult kResultInsufficientBuffer{0x8007007Au}; // a text or buffer does not fit
inline constexpr SResult kResultFunctionMissing{0x8007007Fu};    // a function could not be found
inline constexpr SResult kResultAlreadyExists{0x800700B7u};      // the key or name is already there
inline constexpr SResult kResultFilenameTooLong{0x800700CEu};    // a path too long for the buffer
inline constexpr SResult kResultInvalidSid{0x80070539u};         // a token or SID that is not valid
inline constexpr SResult kResultInternalError{0x8007054Fu};      // memory expected but missing

// Exceptions and the profile.
inline constexpr SResult kResultUnknownException{0xA0040200u};  // an exception of no known type
inline constexpr SResult kResultProfileUnreadable{0xA0040201u}; // the profile directory could not be read

// Files, registry and folders; the first six are targets of the Win32 error translation.
inline constexpr SResult kResultBadFormat{0xA0040400u}; // not an image or medium of a known format
inline constexpr SResult kResultDirectoryNotRemovable{0xA0040401u}; // a current or non-empty directory
inline constexpr SResult kResultDeviceFailed{0xA0040402u};     // a device or network that failed or is busy
inline constexpr SResult kResultBadPosition{0xA0040403u};      // a seek, length or offset the file refuses
inline constexpr SResult kResultLocked{0xA0040404u};           // a region or drive locked by another
inline constexpr SResult kResultGeneralFailure{0xA0040406u};   // no more specific code, or a short transfer
inline constexpr SResult kResultFolderUnresolved{0xA0040408u}; // no resolution, or template not expandable
inline constexpr SResult kResultFileNotAllowed{0xA004040Au};   // wrong state for the operation, or bad flags
inline constexpr SResult kResultLogFileUnsafe{0xA0040412u};    // the log file keeps a null DACL
inline constexpr SResult kResultRegistryFailed{0xA0040480u};   // a registry error with no translation
inline constexpr SResult kResultRegistryKeyNotFound{0xA0040481u};   // the key does not exist
inline constexpr SResult kResultRegistryValueNotFound{0xA0040482u}; // the value does not exist
inline constexpr SResult kResultShellFailed{0xA0040500u};           // any other shell failure
inline constexpr SResult kResultShellNoPath{0xA0040501u};           // the shell gave S_FALSE or kResultFail
inline constexpr SResult kResultShellBadArgument{
    0xA0040502u}; // the shell gave kResultInvalidArgument, or a template names a file

// Services.
inline constexpr SResult kResultServiceOtherError{0xA0040781u}; // a Win32 error with no own code
inline constexpr SResult kResultServiceUnexpectedState{
    0xA0040782u};                                            // neither the pending nor the target state
inline constexpr SResult kResultServiceNotOpen{0xA0040783u}; // the object holds no handle
inline constexpr SResult kResultServiceControllerConnect{0xA0040784u}; // not run by the control manager
inline constexpr SResult kResultServiceBufferTooSmall{0xA0040786u};    // the buffer is too small
inline constexpr SResult kResultServiceInvalidArgument{0xA0040787u};   // a bad argument or missing output
inline constexpr SResult kResultServiceInvalidHandle{0xA0040788u};     // the handle is not valid
inline constexpr SResult kResultServiceInvalidControl{0xA0040789u};    // the control is not valid
inline constexpr SResult kResultServiceAccessDenied{0xA0040790u};      // refused, or the database locked
inline constexpr SResult kResultServiceAlreadyRunning{0xA0040791u};    // a start of a running service
inline constexpr SResult kResultServiceNotFound{0xA0040792u};          // no such service or database
inline constexpr SResult kResultServiceNotActive{0xA0040793u};         // a control to a stopped service
inline constexpr SResult kResultServiceDisabled{0xA0040794u};          // the service is disabled
inline constexpr SResult kResultServiceDependents{0xA0040795u};        // dependent services are in the way
inline constexpr SResult kResultServiceCannotAccept{0xA0040796u};      // cannot accept the control now
inline constexpr SResult kResultServiceTimedOut{0xA0040797u};          // the service or the wait timed out
inline constexpr SResult kResultServiceShuttingDown{0xA0040798u};      // the system is shutting down
inline constexpr SResult kResultServiceInvalidAccount{0xA0040799u};    // the service account is not valid
inline constexpr SResult kResultServiceMarkedForDelete{0xA004079Au};   // the service is marked for deletion

// Registry helpers.
inline constexpr SResult kResultRegistryParentNotOpened{0xA0040827u}; // the parent key could not be opened
inline constexpr SResult kResultRegistrySubKeyNotOpened{0xA0040828u}; // the sub-key could not be opened
inline constexpr SResult kResultRegistryDwordNotRead{0xA0040829u};    // the DWORD value could not be read

// Threads and synchronization objects.
inline constexpr SResult kResultNoHandle{0xA0040902u};         // the object holds no handle
inline constexpr SResult kResultCreateFailed{0xA0040903u};     // the object could not be created or opened
inline constexpr SResult kResultWaitFailed{0xA0040905u};       // the wait itself failed
inline constexpr SResult kResultObjectExisted{0xA0040908u};    // the named object already existed
inline constexpr SResult kResultInvalidCounts{0xA0040909u};    // semaphore counts that cannot hold
inline constexpr SResult kResultWaitAbandoned{0xA004090Cu};    // the wait ended on an abandoned object
inline constexpr SResult kResultWaitTimeout{0xA004090Du};      // the wait timed out
inline constexpr SResult kResultWaitIoCompletion{0xA004090Eu}; // a queued I/O callback or APC ended the wait
inline constexpr SResult kResultCallFailed{0xA0040910u};       // the system call failed

// Collections and AES.
inline constexpr SResult kResultInsertFailed{0xA0040A40u};     // the insertion through the iterator failed
inline constexpr SResult kResultIndexOutOfRange{0xA0040A42u};  // the index is past the count
inline constexpr SResult kResultElementNotFound{0xA0040A43u};  // end reached, value or key not found
inline constexpr SResult kResultAesNoKeySchedule{0xA0040AC0u}; // no schedule for the direction asked
inline constexpr SResult kResultAesInputTooShort{0xA0040AC1u}; // fewer than 16 bytes of input

// Thread pool.
inline constexpr SResult kResultPoolJobFailed{0xA0040B01u};        // a job raised an exception (logged only)
inline constexpr SResult kResultPoolSemaphoreFailed{0xA0040B03u};  // creating the semaphore failed
inline constexpr SResult kResultPoolSemaphoreExisted{0xA0040B04u}; // the semaphore already existed
inline constexpr SResult kResultPoolWorkerCreateFailed{0xA0040B05u}; // a worker thread could not be created
inline constexpr SResult kResultPoolWorkerResumeFailed{0xA0040B06u}; // a new worker could not be resumed
inline constexpr SResult kResultPoolNoJob{0xA0040B09u};              // PostJob was given no job

namespace ResultCodesDetail
{
// Every constant above; a new code goes here too, so that a value given twice fails the build.
// clang-format off
inline constexpr SResult kAll[] = {
    kResultFail, kResultFileNotFound, kResultPathNotFound, kResultTooManyOpenFiles, kResultAccessDenied,
    kResultNotEnoughMemory, kResultOutOfMemory, kResultWriteFault, kResultGenFailure, kResultSharingViolation,
    kResultHandleEof, kResultNotSupported, kResultNoSpoolSpace, kResultInvalidArgument, kResultDiskFull,
    kResultInsufficientBuffer, kResultFunctionMissing, kResultAlreadyExists, kResultFilenameTooLong,
    kResultInvalidSid, kResultInternalError, kResultUnknownException, kResultProfileUnreadable,
    kResultBadFormat, kResultDirectoryNotRemovable, kResultDeviceFailed, kResultBadPosition, kResultLocked,
    kResultGeneralFailure, kResultFolderUnresolved, kResultFileNotAllowed, kResultLogFileUnsafe,
    kResultRegistryFailed, kResultRegistryKeyNotFound, kResultRegistryValueNotFound, kResultShellFailed,
    kResultShellNoPath, kResultShellBadArgument, kResultServiceOtherError, kResultServiceUnexpectedState,
    kResultServiceNotOpen, kResultServiceControllerConnect, kResultServiceBufferTooSmall,
    kResultServiceInvalidArgument, kResultServiceInvalidHandle, kResultServiceInvalidControl,
    kResultServiceAccessDenied, kResultServiceAlreadyRunning, kResultServiceNotFound, kResultServiceNotActive,
    kResultServiceDisabled, kResultServiceDependents, kResultServiceCannotAccept, kResultServiceTimedOut,
    kResultServiceShuttingDown, kResultServiceInvalidAccount, kResultServiceMarkedForDelete,
    kResultRegistryParentNotOpened, kResultRegistrySubKeyNotOpened, kResultRegistryDwordNotRead,
    kResultNoHandle, kResultCreateFailed, kResultWaitFailed, kResultObjectExisted, kResultInvalidCounts,
    kResultWaitAbandoned, kResultWaitTimeout, kResultWaitIoCompletion, kResultCallFailed, kResultInsertFailed,
    kResultIndexOutOfRange, kResultElementNotFound, kResultAesNoKeySchedule, kResultAesInputTooShort,
    kResultPoolJobFailed, kResultPoolSemaphoreFailed, kResultPoolSemaphoreExisted,
    kResultPoolWorkerCreateFailed, kResultPoolWorkerResumeFailed, kResultPoolNoJob};
// clang-format on

constexpr bool AllFailuresAndDistinct() noexcept
{
    for (const SResult* a = kAll; a != kAll + std::size(kAll); ++a)
    {
        if (!a->Failed())
            return false;
        for (const SResult* b = a + 1; b != kAll + std::size(kAll); ++b)
            if (*a == *b)
                return false;
    }
    return true;
}
static_assert(AllFailuresAndDistinct(), "every result code is a failure and has a value of its own");
} // namespace ResultCodesDetail

} // namespace S
