// The DLL's only export. It never reports failure to the loader and never lets a C++ or a
// structured exception escape into it: the process must load whatever the agent meets.
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"
#include "startup/Startup.h"

#include <windows.h>

namespace
{

void CloseThreadHandle(HANDLE thread) noexcept
{
    try
    {
        CloseHandle(thread);
    }
    catch (...)
    {
    }
}

void AttachToProcess(HINSTANCE instance)
{
    DisableThreadLibraryCalls(instance);
    S::ModuleInstance = instance;
    const DWORD processId = GetCurrentProcessId();
    S::SString asynchronous;
    S::ReadHandoffValue(processId, S::SString(S::kHandoffAsynchronous), asynchronous);
    if (asynchronous.IsEqualNoCase(S::SString(L"TRUE")))
    {
        const HANDLE thread = CreateThread(nullptr, 0, S::StartupThreadProc, nullptr, 0, nullptr);
        if (thread != nullptr && thread != INVALID_HANDLE_VALUE)
            CloseThreadHandle(thread);
    }
    else
    {
        S::RunStartup();
    }
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    S::RunShielded([](void* module) { AttachToProcess(static_cast<HINSTANCE>(module)); }, instance);
    return TRUE;
}
