#include "library/system/service/ServiceResult.h"

#include "library/diagnostics/log/Log.h"

namespace S
{

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
    return ResultFromWin32Error(error, SWin32ErrorUse::Service);
}

} // namespace S
