// Shows what a process of a virtualized application sees: its own hand-off values still waiting
// under the hand-off key, and which of the named font families GDI enumerates in this process.
//
//   fontprobe [--wait-ms N] [--wait-consumed-ms N] [--reload-dll NAME] [--] [FAMILY...]
//
// Prints "pid=", "handoff-values=", "agent-threads=" (threads started at code of the agent DLL),
// "older-than-vista=" (the system as this program is shown it), one "font "<family>": visible|absent" line
// per family; with
// --wait-ms it first waits up to N ms for every family to appear (the agent may work on a thread
// of its own); with --wait-consumed-ms up to N ms for its hand-off values to be gone. --reload-dll unloads
// the named DLL completely and loads it again first. Exit codes: 0 every family visible, 1 one of
// them absent, 2 usage error.
#include "fonts/FontRegistration.h"
#include "library/system/SModule.h"
#include "library/system/osversion/SOSInfo.h"
#include "library/system/registry/SRegKey.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include "ToolSupport.h"

#include <windows.h>

#include <string>
#include <vector>

namespace
{

using STool::Print;
using STool::Stream;

const wchar_t kUsage[] =
    L"usage: fontprobe [--wait-ms N] [--wait-consumed-ms N] [--reload-dll NAME] [--] [FAMILY...]\n"
    L"Prints this process's id, its hand-off values still waiting, the threads the agent started,\n"
    L"whether the system is shown as older than Vista, and whether GDI enumerates each FAMILY.\n"
    L"--wait-ms waits up to N ms for every family, --wait-consumed-ms up to N ms for the hand-off\n"
    L"values to be consumed; --reload-dll unloads the DLL completely and loads it again first.\n"
    L"Exit codes: 0 every family visible, 1 a family absent, 2 usage error.\n";

int UsageError(const wchar_t* format, const wchar_t* detail)
{
    Print(Stream::Err, L"fontprobe: ");
    Print(Stream::Err, format, detail);
    Print(Stream::Err, L"\n(fontprobe --help shows the usage)\n");
    return 2;
}

// Threads whose start address lies in the agent DLL, counted as they attach: the agent's own
// start-up thread may be gone by the time the program looks.
LONG g_AgentThreads = 0;

using QueryThreadFn = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kThreadQuerySetWin32StartAddress = 9;

void NTAPI CountAgentThread(PVOID, DWORD reason, PVOID)
{
    if (reason != DLL_THREAD_ATTACH)
        return;
    static const auto query =
        S::FindLoadedModuleFunction<QueryThreadFn>(L"ntdll.dll", "NtQueryInformationThread");
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
        // Raw: this drops references the probe never took as owners, until the module is gone.
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
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        if (optionsEnded || (arg.rfind(L"-", 0) != 0 && arg != L"/?"))
        {
            families.push_back(arg);
            continue;
        }
        if (arg == L"--")
            optionsEnded = true;
        else if (arg == L"--help" || arg == L"-h" || arg == L"/?")
        {
            Print(Stream::Out, L"%ls", kUsage);
            return 0;
        }
        else if (arg != L"--wait-ms" && arg != L"--wait-consumed-ms" && arg != L"--reload-dll")
            return UsageError(L"unknown option %ls", arg.c_str());
        else if (i + 1 >= argc)
            return UsageError(L"%ls needs a value", arg.c_str());
        else if (arg == L"--reload-dll")
            Print(Stream::Out, L"reloaded=%d\n", ReloadDll(argv[++i]) ? 1 : 0);
        else if (!STool::ParseDecimal(argv[++i], arg == L"--wait-ms" ? waitMs : waitConsumedMs))
            return UsageError(L"not a number of milliseconds: %ls", argv[i]);
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

    Print(Stream::Out, L"pid=%08lx\n", GetCurrentProcessId());
    Print(Stream::Out, L"handoff-values=%d\n", CountOwnHandoffValues());
    Print(Stream::Out, L"agent-threads=%ld\n", InterlockedCompareExchange(&g_AgentThreads, 0, 0));
    Print(Stream::Out, L"older-than-vista=%d\n",
          S::CompareOSVersion(S::GetOSInfo(), S::OSVersionConstant::VistaLineage, 0) != 0 ? 1 : 0);
    bool everyVisible = true;
    for (const std::wstring& family : families)
    {
        const bool visible = IsFamilyVisible(family);
        everyVisible = everyVisible && visible;
        Print(Stream::Out, L"font \"%ls\": %ls\n", family.c_str(), visible ? L"visible" : L"absent");
    }
    return everyVisible ? 0 : 1;
}
