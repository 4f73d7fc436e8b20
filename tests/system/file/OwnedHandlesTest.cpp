// Every owner of a handle really closes it: the process's handle count (or a module's references)
// after many opens and closes, through reopening, closing and destruction, is what it was before.
#include "library/system/SHandle.h"
#include "library/system/SModule.h"
#include "library/system/file/SFile.h"
#include "library/system/process/SEvent.h"
#include "library/system/process/SSemaphore.h"
#include "library/system/process/thread/SThread.h"
#include "library/system/registry/SRegKey.h"
#include "library/system/service/SService.h"
#include "library/system/service/SServiceManager.h"

#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <winternl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace S;

namespace
{

// The handles this process holds. GetProcessHandleCount answers 0 under Wine, so they are counted in
// the system's handle list.
size_t CountHandles()
{
    const auto query = FindLoadedModuleFunction<decltype(&NtQuerySystemInformation)>(
        L"ntdll.dll", "NtQuerySystemInformation");
    std::vector<ULONG_PTR> list(1 << 16);
    ULONG size = 0;
    while (query(SystemHandleInformation, list.data(), static_cast<ULONG>(list.size() * sizeof(ULONG_PTR)),
                 &size) == static_cast<NTSTATUS>(0xC0000004))
        list.resize(list.size() * 2);
    const auto& info = *reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(list.data());
    return static_cast<size_t>(std::count_if(info.Handle, info.Handle + info.Count,
                                             [](const SYSTEM_HANDLE_ENTRY& e)
                                             { return e.OwnerPid == GetCurrentProcessId(); }));
}

// A module nothing else here keeps loaded.
constexpr wchar_t kSpareModule[] = L"msimg32.dll";

// How many releases unload the module; each is taken back afterwards.
size_t CountModuleReferences()
{
    size_t count = 0;
    // Raw on purpose: releasing references nobody owns until the module goes is the measurement.
    for (HMODULE module; count < 1000 && (module = GetModuleHandleW(kSpareModule)) != nullptr; ++count)
        FreeLibrary(module);
    for (size_t taken = 0; taken < count; ++taken)
        LoadLibraryW(kSpareModule);
    return count;
}

// Services this test registered. A deleted one stays, marked for deletion, while any handle on it
// is open: those left are those whose handles leaked.
std::vector<std::wstring> g_Services;

size_t CountServicesLeft()
{
    const SServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    return static_cast<size_t>(std::ranges::count_if(
        g_Services,
        [&](const std::wstring& name)
        {
            return SServiceHandle(OpenServiceW(manager.Get(), name.c_str(), SERVICE_QUERY_STATUS)) ||
                   GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
        }));
}

} // namespace

TEST(OwnedHandles, EveryOwnerClosesWhatItOpened)
{
    const STest::RegistrySandbox sandbox;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SResult result;
    // Each row opens more than once on one object (each open must drop the handle before), then lets
    // the object go; true when every open succeeded.
    struct Owner
    {
        const char* name;
        size_t (*count)();
        std::function<bool()> openAndClose;
    };
    const Owner owners[] = {
        {"SRegKey", CountHandles,
         [&]
         {
             SRegKey key;
             key.SetLocation(SRegKeyLocation(HKEY_CURRENT_USER, SString(sandbox.Path().c_str())));
             return key.Open(KEY_READ).Succeeded() && (key.Close(), key.Open(KEY_READ).Succeeded()) &&
                    key.Create(KEY_READ).Succeeded();
         }},
        {"SFile", CountHandles,
         [&]
         {
             SFile file{SPath(self)};
             const auto open = [&]
             { return file.Open(SFileMode::ReadOnly, nullptr, false, result).Succeeded(); };
             return open() && (file.Close(), open()) && open();
         }},
        {"SEvent", CountHandles,
         [&]
         {
             SEvent event;
             const auto create = [&]
             { return event.Create(result, SString(), false, true, true, false, nullptr); };
             return create().Succeeded() && create().Succeeded();
         }},
        {"SSemaphore", CountHandles,
         [&]
         {
             SSemaphore semaphore;
             return semaphore.Create(result, SString(), false, true, 1, 2, nullptr).Succeeded() &&
                    semaphore.Recreate(result).Succeeded();
         }},
        {"SThread", CountHandles,
         [&]
         {
             SThread thread, current;
             const auto open = [&] { return current.Open(result, SYNCHRONIZE, false, GetCurrentThreadId()); };
             const auto exit = [](void*) -> unsigned { return 0; };
             return open().Succeeded() && open().Succeeded() &&
                    thread.Create(result, L"owned", exit, nullptr).Succeeded() &&
                    thread.Wait(result, false, 10'000).Succeeded();
         }},
        {"SServiceManager, SService", CountServicesLeft,
         [&]
         {
             g_Services.push_back(L"LxOwned_" + std::to_wstring(GetTickCount64()) + L"_" +
                                  std::to_wstring(g_Services.size()));
             const SString name(g_Services.back().c_str());
             SServiceConfig config;
             config.serviceType = SERVICE_WIN32_OWN_PROCESS;
             config.startType = SERVICE_DEMAND_START;
             config.binaryPath = self;
             SServiceManager manager;
             std::unique_ptr<SService> created, opened;
             const auto open = [&] { return manager.OpenService(result, &opened, name, ServiceAccess::All); };
             return manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Succeeded() &&
                    manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Succeeded() &&
                    manager.CreateService(result, &created, name, config, ServiceAccess::All, nullptr)
                        .Succeeded() &&
                    open().Succeeded() && open().Succeeded() && created->Delete(result).Succeeded();
         }},
        {"SModuleRef", CountModuleReferences,
         []
         {
             SModuleRef module = LoadModule(kSpareModule);
             SModuleRef second = LoadModule(kSpareModule);
             module = std::move(second);
             *second.Put() = LoadLibraryW(kSpareModule);
             return module && second;
         }},
    };
    for (const auto& [name, count, openAndClose] : owners)
    {
        ASSERT_TRUE(openAndClose()) << name; // and first-use statics are in place
        const size_t before = count();
        for (int round = 0; round < 100; ++round)
            openAndClose();
        EXPECT_EQ(count(), before) << name;
    }
}
