#include "library/system/service/ServiceResult.h"

#include "library/diagnostics/log/Log.h"

namespace S
{

const wchar_t* ServiceErrorName(DWORD error) noexcept
{
    switch (error)
    {
    case 0:
        return L"ERROR_SUCCESS";
    case 5:
        return L"ERROR_ACCESS_DENIED";
    case 6:
        return L"ERROR_INVALID_HANDLE";
    case 13:
        return L"ERROR_INVALID_DATA";
    case 87:
        return L"ERROR_INVALID_PARAMETER";
    case 122:
        return L"ERROR_INSUFFICIENT_BUFFER";
    case 123:
        return L"ERROR_INVALID_NAME";
    case 124:
        return L"ERROR_INVALID_LEVEL";
    case 234:
        return L"ERROR_MORE_DATA";
    case 1051:
        return L"ERROR_DEPENDENT_SERVICES_RUNNING";
    case 1052:
        return L"ERROR_INVALID_SERVICE_CONTROL";
    case 1053:
        return L"ERROR_SERVICE_REQUEST_TIMEOUT";
    case 1055:
        return L"ERROR_SERVICE_DATABASE_LOCKED";
    case 1056:
        return L"ERROR_SERVICE_ALREADY_RUNNING";
    case 1057:
        return L"ERROR_INVALID_SERVICE_ACCOUNT";
    case 1058:
        return L"ERROR_SERVICE_DISABLED";
    case 1060:
        return L"ERROR_SERVICE_DOES_NOT_EXIST";
    case 1061:
        return L"ERROR_SERVICE_CANNOT_ACCEPT_CTRL";
    case 1062:
        return L"ERROR_SERVICE_NOT_ACTIVE";
    case 1063:
        return L"ERROR_FAILED_SERVICE_CONTROLLER_CONNECT";
    case 1065:
        return L"ERROR_DATABASE_DOES_NOT_EXIST";
    case 1068:
        return L"ERROR_SERVICE_DEPENDENCY_FAIL";
    case 1071:
        return L"ERROR_INVALID_SERVICE_LOCK";
    case 1072:
        return L"ERROR_SERVICE_MARKED_FOR_DELETE";
    case 1075:
        return L"ERROR_SERVICE_DEPENDENCY_DELETED";
    case 1115:
        return L"ERROR_SHUTDOWN_IN_PROGRESS";
    default:
        return L"<UNKNOWN>";
    }
}

namespace
{

SResult TranslateServiceError(DWORD error) noexcept
{
    switch (error)
    {
    case 0:
        return 0;
    case 5:
    case 1055:
        return ServiceResult::AccessDenied;
    case 6:
        return ServiceResult::InvalidHandle;
    case 13:
    case 87:
    case 123:
    case 124:
    case 1071:
        return ServiceResult::InvalidArgument;
    case 122:
    case 234:
        return ServiceResult::BufferTooSmall;
    case 1051:
    case 1068:
    case 1075:
        return ServiceResult::DependentServices;
    case 1052:
        return ServiceResult::InvalidControl;
    case 1053:
        return ServiceResult::TimedOut;
    case 1056:
        return ServiceResult::AlreadyRunning;
    case 1057:
        return ServiceResult::InvalidAccount;
    case 1058:
        return ServiceResult::Disabled;
    case 1060:
    case 1065:
        return ServiceResult::NotFound;
    case 1061:
        return ServiceResult::CannotAcceptControl;
    case 1062:
        return ServiceResult::NotActive;
    case 1063:
        return ServiceResult::ControllerConnectFailed;
    case 1072:
        return ServiceResult::MarkedForDelete;
    case 1115:
        return ServiceResult::ShuttingDown;
    default:
        return ServiceResult::OtherError;
    }
}

} // namespace

SResult ServiceResultFromWin32Error(const wchar_t* serviceName, DWORD error, const wchar_t* function) noexcept
{
    if (function != nullptr)
    {
        const SLogContext context{L"Service", SLogLevel::Debug, SLogType::None};
        if (serviceName != nullptr && serviceName[0] != L'\0')
            Log(context, L"%s received OS service code: %s (0x%08x), from service: \"%s\"", function,
                ServiceErrorName(error), static_cast<unsigned>(error), serviceName);
        else
            Log(context, L"%s received OS service code: %s (0x%08x).", function, ServiceErrorName(error),
                static_cast<unsigned>(error));
    }
    return TranslateServiceError(error);
}

} // namespace S
