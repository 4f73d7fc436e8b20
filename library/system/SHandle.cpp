#include "library/system/SHandle.h"

#include "library/diagnostics/WerApiShim.h"
#include "library/system/SModule.h"

#include <objbase.h>
#include <winnetwk.h>

namespace S
{

namespace
{

// Modules the DLL does not import: each is loaded by the first Resolve and then stays.
constinit SLazyFunction<decltype(&CoTaskMemFree)> g_TaskMemFree{L"ole32.dll", "CoTaskMemFree"};
constinit SLazyFunction<decltype(&WNetCloseEnum)> g_CloseEnum{L"mpr.dll", "WNetCloseEnum"};
constinit SLazyFunction<decltype(&WerReportCloseHandle)> g_WerReportCloseHandle{L"wer.dll",
                                                                                "WerReportCloseHandle"};

} // namespace

void SKernelHandlePolicy::Close(HANDLE handle) noexcept
{
    CloseHandle(handle);
}

void SRegistryKeyPolicy::Close(HKEY key) noexcept
{
    RegCloseKey(key);
}

void SServiceHandlePolicy::Close(SC_HANDLE handle) noexcept
{
    CloseServiceHandle(handle);
}

void SModulePolicy::Close(HMODULE module) noexcept
{
    FreeLibrary(module);
}

void SThreadSlotPolicy::Close(DWORD slot) noexcept
{
    TlsFree(slot);
}

void SLocalMemoryPolicy::Close(void* memory) noexcept
{
    LocalFree(memory);
}

bool STaskMemoryPolicy::Resolve() noexcept
{
    return g_TaskMemFree.Get() != nullptr;
}

void STaskMemoryPolicy::Close(void* memory) noexcept
{
    if (const auto free = g_TaskMemFree.GetIfResolved())
        free(memory);
}

bool SNetworkEnumerationPolicy::Resolve() noexcept
{
    return g_CloseEnum.Get() != nullptr;
}

void SNetworkEnumerationPolicy::Close(HANDLE enumeration) noexcept
{
    if (const auto close = g_CloseEnum.GetIfResolved())
        close(enumeration);
}

bool SErrorReportPolicy::Resolve() noexcept
{
    return g_WerReportCloseHandle.Get() != nullptr;
}

void SErrorReportPolicy::Close(HANDLE report) noexcept
{
    if (const auto close = g_WerReportCloseHandle.GetIfResolved())
        close(report);
}

} // namespace S
