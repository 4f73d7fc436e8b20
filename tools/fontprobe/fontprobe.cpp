// Shows what a process of a virtualized application sees: its own hand-off values still waiting
// under the hand-off key, and which of the named font families GDI enumerates in this process.
//
//   fontprobe [--wait-ms N] [--wait-consumed-ms N] [--reload-dll NAME] [FAMILY...]
//
// Prints "pid=", "handoff-values=", "agent-threads=" (threads started at code of the agent DLL),
// "older-than-vista=" (the system as this program is shown it), one "font "<family>": visible|absent" line
// per family; with
// --wait-ms it first waits up to N ms for every family to appear (the agent may work on a thread
// of its own); with --wait-consumed-ms up to N ms for its hand-off values to be gone. --reload-dll unloads
// the named DLL completely and loads it again first.
#include "fonts/FontRegistration.h"
#include "library/system/osversion/OSVersion.h"
#include "library/system/registry/SRegKey.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

// Threads whose start address lies in the agent DLL, counted as they attach: the agent's own
// start-up thread may be gone by the time the program looks.
LONG g_AgentThreads = 0;

using QueryThreadFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kThreadQuerySetWin32StartAddress = 9;

void NTAPI CountAgentThread(PVOID, DWORD reason, PVOID)
{
    if (reason != DLL_THREAD_ATTACH)
        return;
    static const auto query = reinterpret_cast<QueryThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    const HMODULE agent = GetModuleHandleW(L"Lumerelx64.dll");
    void* start = nullptr;
    if (query == nullptr || agent == nullptr ||
        query(GetCurrentThread(), kThreadQuerySetWin32StartAddress, &start, sizeof(start), nullptr) != 0)
        return;
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(start, &info, sizeof(info)) != 0 && info.AllocationBase == agent)
        InterlockedIncrement(&g_AgentThreads);
}

extern "C" __attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK g_CountAgentThread =
    CountAgentThread;

int CALLBACK MarkFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool IsFamilyVisible(const std::wstring& family)
{
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr)
        return false;
    LOGFONTW font{};
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, family.c_str(), LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(dc, &font, MarkFound, reinterpret_cast<LPARAM>(&found), 0);
    DeleteDC(dc);
    return found;
}

int CountOwnHandoffValues()
{
    S::SRegKey key;
    key.SetLocation(S::GetHandoffKeyLocation());
    if (key.Open(KEY_READ).Failed())
        return 0;
    const S::SString prefix = S::HandoffValueName(GetCurrentProcessId(), S::SString(L""));
    int count = 0;
    for (DWORD index = 0;; ++index)
    {
        wchar_t name[256];
        DWORD length = static_cast<DWORD>(std::size(name));
        const LSTATUS error =
            RegEnumValueW(key.GetHandle(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS)
            break;
        if (error == ERROR_SUCCESS && S::SString(name).StartsWith(prefix, 0, nullptr))
            ++count;
    }
    return count;
}

bool ReloadDll(const std::wstring& name)
{
    HMODULE module = GetModuleHandleW(name.c_str());
    while (module != nullptr)
    {
        FreeLibrary(module);
        module = GetModuleHandleW(name.c_str());
    }
    return LoadLibraryW(name.c_str()) != nullptr;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    DWORD waitMs = 0;
    DWORD waitConsumedMs = 0;
    std::vector<std::wstring> families;
    for (int i = 1; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        if (arg == L"--wait-ms" && i + 1 < argc)
            waitMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--wait-consumed-ms" && i + 1 < argc)
            waitConsumedMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--reload-dll" && i + 1 < argc)
            std::wprintf(L"reloaded=%d\n", ReloadDll(argv[++i]) ? 1 : 0);
        else
            families.push_back(arg);
    }

    const ULONGLONG deadline = GetTickCount64() + waitMs;
    auto allVisible = [&]
    {
        for (const std::wstring& family : families)
            if (!IsFamilyVisible(family))
                return false;
        return true;
    };
    while (!allVisible() && GetTickCount64() < deadline)
        Sleep(20);
    const ULONGLONG consumedDeadline = GetTickCount64() + waitConsumedMs;
    while (CountOwnHandoffValues() != 0 && GetTickCount64() < consumedDeadline)
        Sleep(20);

    std::wprintf(L"pid=%08lx\n", GetCurrentProcessId());
    std::wprintf(L"handoff-values=%d\n", CountOwnHandoffValues());
    std::wprintf(L"agent-threads=%ld\n", InterlockedCompareExchange(&g_AgentThreads, 0, 0));
    std::wprintf(L"older-than-vista=%d\n",
                 S::CompareOSVersion(S::GetOSInfo(), S::kVistaVersionConstant, 0) != 0 ? 1 : 0);
    for (const std::wstring& family : families)
        std::wprintf(L"font \"%ls\": %ls\n", family.c_str(),
                     IsFamilyVisible(family) ? L"visible" : L"absent");
    std::fflush(stdout);
    return 0;
}
