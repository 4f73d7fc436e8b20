// Every owner of a handle really closes it: the process's handle count after many opens and closes,
// through reopening, closing and destruction, is what it was before.
#include "library/system/SHandle.h"
#include "library/system/file/SFile.h"
#include "library/system/process/SEvent.h"
#include "library/system/process/SSemaphore.h"
#include "library/system/process/SThread.h"
#include "library/system/registry/SRegKey.h"

#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

using namespace S;

namespace
{

// The handles this process holds. GetProcessHandleCount answers 0 under Wine, so they are counted in
// the system's handle list.
size_t CountHandles()
{
    struct Entry
    {
        ULONG process;
        BYTE type, flags;
        USHORT value;
        void* object;
        ULONG access;
    };
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<ULONG_PTR> list(1 << 16);
    ULONG size = 0;
    while (query(16, list.data(), static_cast<ULONG>(list.size() * sizeof(ULONG_PTR)), &size) ==
           static_cast<LONG>(0xC0000004))
        list.resize(list.size() * 2);
    const auto* entries = reinterpret_cast<const Entry*>(list.data() + 1); // after the count
    return static_cast<size_t>(std::count_if(entries, entries + static_cast<ULONG>(list[0]),
                                             [](const Entry& e)
                                             { return e.process == GetCurrentProcessId(); }));
}

} // namespace

TEST(OwnedHandles, EveryOwnerClosesWhatItOpened)
{
    const STest::RegistrySandbox sandbox;
    const SRegKeyLocation location(HKEY_CURRENT_USER, SString(sandbox.Path().c_str()));
    const std::wstring file = std::filesystem::temp_directory_path().wstring() + L"lumerelx-owned-" +
                              std::to_wstring(GetCurrentProcessId());
    std::ofstream(std::filesystem::path(file)) << "x";
    const SPath path(file.c_str());
    SResult result;
    // Each row opens twice on one object (the second open must drop the first handle), then the
    // object goes; true when both opens succeeded.
    const std::pair<const char*, std::function<bool()>> owners[] = {
        {"SRegKey",
         [&]
         {
             SRegKey key;
             key.SetLocation(location);
             const bool first = key.Open(KEY_READ).Succeeded();
             key.Close();
             return first && key.Open(KEY_READ).Succeeded() && key.Create(KEY_READ).Succeeded();
         }},
        {"SFile",
         [&]
         {
             SFile opened(path);
             const bool first = opened.Open(SFileMode::ReadOnly, nullptr, false, result).Succeeded();
             opened.Close();
             return first && opened.Open(SFileMode::ReadOnly, nullptr, false, result).Succeeded() &&
                    opened.Open(SFileMode::ReadOnly, nullptr, false, result).Succeeded();
         }},
        {"SHandle",
         []
         {
             SHandle handle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
             *handle.Put() = CreateEventW(nullptr, TRUE, FALSE, nullptr);
             handle.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
             SHandle moved(std::move(handle));
             moved = SHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
             return moved.IsValid();
         }},
        {"SEvent",
         [&]
         {
             SEvent event;
             return event.Create(result, SString(), false, true, true, false, nullptr).Succeeded() &&
                    event.Create(result, SString(), false, true, true, false, nullptr).Succeeded();
         }},
        {"SSemaphore",
         [&]
         {
             SSemaphore semaphore;
             return semaphore.Create(result, SString(), false, true, 1, 2, nullptr).Succeeded() &&
                    semaphore.Recreate(result).Succeeded();
         }},
        {"SThread",
         [&]
         {
             SThread thread, current;
             const bool opened = current.Open(result, SYNCHRONIZE, false, GetCurrentThreadId()).Succeeded() &&
                                 current.Open(result, SYNCHRONIZE, false, GetCurrentThreadId()).Succeeded();
             return opened &&
                    thread
                        .Create(
                            result, L"owned", [](void*) -> unsigned { return 0; }, nullptr)
                        .Succeeded() &&
                    thread.Wait(result, false, 10'000).Succeeded();
         }},
    };
    for (const auto& [name, openAndClose] : owners)
    {
        ASSERT_TRUE(openAndClose()) << name; // and first-use statics are in place
        const size_t before = CountHandles();
        for (int round = 0; round < 100; ++round)
            openAndClose();
        EXPECT_EQ(CountHandles(), before) << name;
    }
    std::filesystem::remove(file);
}
