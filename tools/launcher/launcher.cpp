// The client's launcher: starts a program of a virtualized application suspended, writes that
// process's hand-off values, places the agent DLL in it before any of its code runs, resumes it
// and returns its exit code.
//
//   launcher [--app-id ID] [--session N] [--async] [--handoff NAME=TEXT]... [--dll PATH]
//            [--] PROGRAM [ARGUMENTS...]
//
// --handoff writes any further hand-off value as given (for example another "Asynchronous" text).
// Exit codes of its own: 2 bad arguments, 3 the program could not be started, 4 the DLL could not
// be placed (the process is then ended and its hand-off values removed).
#include "library/system/SHandle.h"
#include "library/system/registry/SRegKey.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace
{

constexpr int kExitBadArguments = 2;
constexpr int kExitStartFailed = 3;
constexpr int kExitPlacementFailed = 4;
constexpr DWORD kLoadTimeoutMs = 60'000;

struct Options
{
    std::optional<std::wstring> appId;
    std::optional<std::wstring> session;
    bool async = false;
    std::vector<std::pair<std::wstring, std::wstring>> extra; // further hand-off values
    std::wstring dllPath;
    std::vector<std::wstring> program; // program and its arguments
};

void PrintUsage()
{
    std::fwprintf(stderr, L"usage: launcher [--app-id ID] [--session N] [--async] [--handoff NAME=TEXT]... "
                          L"[--dll PATH] [--] PROGRAM [ARGUMENTS...]\n");
}

std::wstring ModuleFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size())
        {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::optional<Options> ParseArguments(int argc, wchar_t** argv)
{
    Options options;
    int i = 1;
    auto takeValue = [&](const wchar_t* flag) -> std::optional<std::wstring>
    {
        if (i + 1 >= argc)
        {
            std::fwprintf(stderr, L"launcher: %ls needs a value\n", flag);
            return std::nullopt;
        }
        return std::wstring(argv[++i]);
    };
    for (; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        if (arg == L"--")
        {
            ++i;
            break;
        }
        if (arg.rfind(L"--", 0) != 0)
            break;
        if (arg == L"--async")
            options.async = true;
        else if (arg == L"--app-id")
        {
            if (!(options.appId = takeValue(L"--app-id")))
                return std::nullopt;
        }
        else if (arg == L"--session")
        {
            if (!(options.session = takeValue(L"--session")))
                return std::nullopt;
        }
        else if (arg == L"--handoff")
        {
            auto value = takeValue(L"--handoff");
            const size_t equals = value ? value->find(L'=') : std::wstring::npos;
            if (equals == std::wstring::npos || equals == 0)
            {
                std::fwprintf(stderr, L"launcher: --handoff needs NAME=TEXT\n");
                return std::nullopt;
            }
            options.extra.emplace_back(value->substr(0, equals), value->substr(equals + 1));
        }
        else if (arg == L"--dll")
        {
            auto value = takeValue(L"--dll");
            if (!value)
                return std::nullopt;
            options.dllPath = *value;
        }
        else
        {
            std::fwprintf(stderr, L"launcher: unknown option %ls\n", arg.c_str());
            return std::nullopt;
        }
    }
    for (; i < argc; ++i)
        options.program.emplace_back(argv[i]);
    if (options.program.empty())
    {
        std::fwprintf(stderr, L"launcher: no program given\n");
        return std::nullopt;
    }
    if (options.dllPath.empty())
        options.dllPath = ModuleFolder() + L"Lumerelx64.dll";
    return options;
}

// Quotes one argument so that the C runtime's parser gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg)
    {
        if (c == L'\\')
        {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

// The hand-off values written for one process; removes them again unless the process ran.
class HandoffValues
{
public:
    explicit HandoffValues(DWORD processId) : m_ProcessId(processId) {}
    HandoffValues(const HandoffValues&) = delete;
    HandoffValues& operator=(const HandoffValues&) = delete;
    ~HandoffValues()
    {
        if (!m_Kept)
            Remove();
    }

    bool Write(const wchar_t* name, const std::wstring& text)
    {
        if (!m_Key.IsOpen())
        {
            m_Key.SetLocation(S::GetHandoffKeyLocation());
            const S::SResult created = m_Key.Create(KEY_READ | KEY_SET_VALUE);
            if (created.Failed())
            {
                std::fwprintf(stderr, L"launcher: cannot open the hand-off key (0x%08x)\n",
                              created.Unsigned());
                return false;
            }
        }
        const S::SString valueName = S::HandoffValueName(m_ProcessId, S::SString(name));
        const LSTATUS error = RegSetValueExW(m_Key.GetHandle(), valueName.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(text.c_str()),
                                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        if (error != ERROR_SUCCESS)
        {
            std::fwprintf(stderr, L"launcher: cannot write %ls (error %ld)\n", valueName.c_str(), error);
            return false;
        }
        m_Written.push_back(valueName);
        return true;
    }

    void Keep() { m_Kept = true; }

private:
    void Remove()
    {
        for (const S::SString& name : m_Written)
            RegDeleteValueW(m_Key.GetHandle(), name.c_str());
    }

    DWORD m_ProcessId;
    S::SRegKey m_Key;
    std::vector<S::SString> m_Written;
    bool m_Kept = false;
};

// Loads the DLL in the suspended process through a remote thread on LoadLibraryW and waits until
// DllMain has returned there.
bool PlaceDll(HANDLE process, const std::wstring& dllPath)
{
    const SIZE_T bytes = (dllPath.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr)
    {
        std::fwprintf(stderr, L"launcher: cannot allocate in the process (error %lu)\n", GetLastError());
        return false;
    }
    bool loaded = false;
    if (WriteProcessMemory(process, remote, dllPath.c_str(), bytes, nullptr))
    {
        const auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
        S::SHandle thread(CreateRemoteThread(process, nullptr, 0, loadLibrary, remote, 0, nullptr));
        if (!thread)
            std::fwprintf(stderr, L"launcher: cannot start the loading thread (error %lu)\n", GetLastError());
        else if (WaitForSingleObject(thread.Get(), kLoadTimeoutMs) != WAIT_OBJECT_0)
            std::fwprintf(stderr, L"launcher: the DLL did not finish loading\n");
        else
        {
            DWORD module = 0;
            loaded = GetExitCodeThread(thread.Get(), &module) && module != 0;
            if (!loaded)
                std::fwprintf(stderr, L"launcher: the DLL failed to load: %ls\n", dllPath.c_str());
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return loaded;
}

int Launch(const Options& options)
{
    if (GetFileAttributesW(options.dllPath.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        std::fwprintf(stderr, L"launcher: DLL not found: %ls\n", options.dllPath.c_str());
        return kExitPlacementFailed;
    }
    std::wstring commandLine;
    for (const std::wstring& arg : options.program)
    {
        if (!commandLine.empty())
            commandLine.push_back(L' ');
        commandLine += QuoteArgument(arg);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &info))
    {
        std::fwprintf(stderr, L"launcher: cannot start %ls (error %lu)\n", options.program.front().c_str(),
                      GetLastError());
        return kExitStartFailed;
    }
    S::SHandle process(info.hProcess);
    S::SHandle mainThread(info.hThread);

    HandoffValues handoff(info.dwProcessId);
    bool ready = (!options.async || handoff.Write(S::kHandoffAsynchronous, L"TRUE")) &&
                 (!options.session || handoff.Write(S::kHandoffSessionId, *options.session)) &&
                 (!options.appId || handoff.Write(S::kHandoffAppId, *options.appId));
    for (const auto& [name, text] : options.extra)
        ready = ready && handoff.Write(name.c_str(), text);
    ready = ready && PlaceDll(process.Get(), options.dllPath);
    if (!ready)
    {
        TerminateProcess(process.Get(), kExitPlacementFailed);
        WaitForSingleObject(process.Get(), INFINITE);
        return kExitPlacementFailed;
    }
    // From here on the values belong to the running process: the agent consumes what it reads.
    handoff.Keep();
    ResumeThread(mainThread.Get());
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    return static_cast<int>(exitCode);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::optional<Options> options = ParseArguments(argc, argv);
    if (!options)
    {
        PrintUsage();
        return kExitBadArguments;
    }
    return Launch(*options);
}
