// The DLL's only export. It never reports failure to the loader and never lets a C++ or a
// structured exception escape into it: the process must load whatever the agent meets.
#include "library/system/SHandle.h"
#include "library/system/SModule.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"
#include "startup/Startup.h"

#include <windows.h>

namespace
{

// The start-up thread keeps the module loaded until it has left the module's code: a host that
// unloads the agent at once must not pull the code from under it.
DWORD WINAPI StartupThreadEntry(LPVOID module)
{
    const DWORD exitCode = S::StartupThreadProc(nullptr);
    // Raw, not through an owner: the last reference may go here, with the code that runs this.
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), exitCode);
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
        // Without its own reference the thread could outlive the code it runs; it is not started.
        S::SModuleRef reference = S::ReferenceModuleOf(reinterpret_cast<const void*>(&StartupThreadEntry));
        if (!reference)
            return;
        const S::SHandle thread(CreateThread(nullptr, 0, StartupThreadEntry, reference.Get(), 0, nullptr));
        if (thread)
            reference.Detach(); // the thread's now
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
