// The client's launcher: starts a program of a virtualized application suspended, writes that
// process's hand-off values, places the agent DLL in it before any of its code runs, resumes it
// and returns its exit code.
//
//   launcher [--app-id ID] [--session N] [--async] [--handoff NAME=TEXT]... [--dll PATH]
//            [--] PROGRAM [ARGUMENTS...]
//
// --handoff writes any further hand-off value as given (for example another "Asynchronous" text).
// Its own exit codes lie above what programs commonly return, as shells do: 125 usage or set-up
// (the DLL missing or not placed: the process is then ended and its hand-off values removed),
// 126 the program cannot be started, 127 the program does not exist.
#include "library/system/SHandle.h"
#include "library/system/SModule.h"
#include "library/system/registry/SRegKey.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include "ToolSupport.h"

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace
{

using STool::Print;
using STool::Stream;

constexpr int kExitSetup = 125;
constexpr int kExitCannotStart = 126;
constexpr int kExitMissing = 127;
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

const wchar_t kUsage[] =
    L"usage: launcher [--app-id ID] [--session N] [--async] [--handoff NAME=TEXT]... [--dll PATH]\n"
    L"                [--] PROGRAM [ARGUMENTS...]\n"
    L"Starts PROGRAM with the agent DLL (default: Lumerelx64.dll beside the launcher) placed in it,\n"
    L"after writing its hand-off values, and returns PROGRAM's exit code. Without --session and\n"
    L"--app-id the agent adds no font. --async lets the agent work on a thread of its own.\n"
    L"Options end at the first argument that is not one, or after --.\n"
    L"Exit codes of the launcher itself: 125 usage or set-up error (DLL missing or not placed),\n"
    L"126 the program cannot be started, 127 the program does not exist.\n";

// Nothing when the launch is to go ahead, else the exit code (0 after --help).
std::optional<int> ParseArguments(int argc, wchar_t** argv, Options& options)
{
    int i = 1;
    auto takeValue = [&](const wchar_t* flag) -> std::optional<std::wstring>
    {
        if (i + 1 >= argc)
        {
            Print(Stream::Err, L"launcher: %ls needs a value\n", flag);
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
        if (arg == L"--help" || arg == L"-h" || arg == L"/?")
        {
            Print(Stream::Out, L"%ls", kUsage);
            return 0;
        }
        if (arg.rfind(L"--", 0) != 0)
            break;
        if (arg == L"--async")
            options.async = true;
        else if (arg == L"--app-id")
        {
            if (!(options.appId = takeValue(L"--app-id")))
                return kExitSetup;
        }
        else if (arg == L"--session")
        {
            DWORD number = 0;
            if (!(options.session = takeValue(L"--session")))
                return kExitSetup;
            if (!STool::ParseDecimal(*options.session, number))
            {
                Print(Stream::Err, L"launcher: the session \"%ls\" is not an unsigned decimal number\n",
                      options.session->c_str());
                return kExitSetup;
            }
        }
        else if (arg == L"--handoff")
        {
            auto value = takeValue(L"--handoff");
            const size_t equals = value ? value->find(L'=') : std::wstring::npos;
            if (equals == std::wstring::npos || equals == 0)
            {
                Print(Stream::Err, L"launcher: --handoff needs NAME=TEXT\n");
                return kExitSetup;
            }
            options.extra.emplace_back(value->substr(0, equals), value->substr(equals + 1));
        }
        else if (arg == L"--dll")
        {
            auto value = takeValue(L"--dll");
            if (!value)
                return kExitSetup;
            options.dllPath = *value;
        }
        else
        {
            Print(Stream::Err, L"launcher: unknown option %ls\n", arg.c_str());
            return kExitSetup;
        }
    }
    for (; i < argc; ++i)
        options.program.emplace_back(argv[i]);
    if (options.program.empty())
    {
        Print(Stream::Err, L"launcher: no program given\n");
        return kExitSetup;
    }
    if (options.dllPath.empty())
    {
        const std::wstring own = STool::OwnPath();
        options.dllPath = own.substr(0, own.find_last_of(L"\\/") + 1) + L"Lumerelx64.dll";
    }
    return std::nullopt;
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
                Print(Stream::Err, L"launcher: cannot open the hand-off key (0x%08x)\n", created.Unsigned());
                return false;
            }
        }
        const S::SString valueName = S::HandoffValueName(m_ProcessId, S::SString(name));
        const LSTATUS error = RegSetValueExW(m_Key.GetHandle(), valueName.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(text.c_str()),
                                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        if (error != ERROR_SUCCESS)
        {
            Print(Stream::Err, L"launcher: cannot write %ls: %ls\n", valueName.c_str(),
                  STool::DescribeError(static_cast<DWORD>(error)).c_str());
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
        Print(Stream::Err, L"launcher: cannot allocate in the process: %ls\n",
              STool::DescribeError(GetLastError()).c_str());
        return false;
    }
    bool loaded = false;
    if (WriteProcessMemory(process, remote, dllPath.c_str(), bytes, nullptr))
    {
        const auto loadLibrary =
            S::FindLoadedModuleFunction<LPTHREAD_START_ROUTINE>(L"kernel32.dll", "LoadLibraryW");
        S::SHandle thread(CreateRemoteThread(process, nullptr, 0, loadLibrary, remote, 0, nullptr));
        if (!thread)
            Print(Stream::Err, L"launcher: cannot start the loading thread: %ls\n",
                  STool::DescribeError(GetLastError()).c_str());
        else if (WaitForSingleObject(thread.Get(), kLoadTimeoutMs) != WAIT_OBJECT_0)
            Print(Stream::Err, L"launcher: the DLL did not finish loading\n");
        else
        {
            DWORD module = 0;
            loaded = GetExitCodeThread(thread.Get(), &module) && module != 0;
            if (!loaded)
                Print(Stream::Err, L"launcher: the DLL failed to load: %ls\n", dllPath.c_str());
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return loaded;
}

// The program's full path when it names a folder, else the program as given for the system's own
// search. Paths of MAX_PATH and more take the extended form, made short where the file system has
// short names: Wine's CreateProcessW fails with error 2 on a long extended path.
std::wstring ApplicationPath(const std::wstring& program)
{
    if (program.find_first_of(L"\\/") == std::wstring::npos)
        return program;
    const DWORD length = GetFullPathNameW(program.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return program;
    std::wstring full(length, L'\0');
    full.resize(GetFullPathNameW(program.c_str(), length, full.data(), nullptr));
    if (full.size() < MAX_PATH)
        return full;
    full = STool::ExtendedPath(full);
    std::wstring shortPath(full.size() + 1, L'\0');
    const DWORD shortLength =
        GetShortPathNameW(full.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (shortLength == 0 || shortLength >= shortPath.size())
        return full;
    shortPath.resize(shortLength);
    return shortPath;
}

int Launch(const Options& options)
{
    if (GetFileAttributesW(STool::ExtendedPath(options.dllPath).c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        Print(Stream::Err, L"launcher: DLL not found: %ls: %ls\n", options.dllPath.c_str(),
              STool::DescribeError(GetLastError()).c_str());
        return kExitSetup;
    }
    std::wstring commandLine;
    for (const std::wstring& arg : options.program)
    {
        if (!commandLine.empty())
            commandLine.push_back(L' ');
        commandLine += STool::QuoteArgument(arg);
    }
    const std::wstring application = ApplicationPath(options.program.front());
    const bool named = application.find_first_of(L"\\/") != std::wstring::npos;
    if (named && GetFileAttributesW(STool::ExtendedPath(application).c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        Print(Stream::Err, L"launcher: program not found: %ls: %ls\n", options.program.front().c_str(),
              STool::DescribeError(GetLastError()).c_str());
        return kExitMissing;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(named ? application.c_str() : nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED, nullptr, nullptr, &startup, &info))
    {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        Print(Stream::Err, L"launcher: %ls %ls: %ls\n", missing ? L"program not found:" : L"cannot start",
              options.program.front().c_str(), STool::DescribeError(error).c_str());
        return missing ? kExitMissing : kExitCannotStart;
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
        TerminateProcess(process.Get(), kExitSetup);
        WaitForSingleObject(process.Get(), INFINITE);
        return kExitSetup;
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
    Options options;
    if (const std::optional<int> done = ParseArguments(argc, argv, options))
    {
        if (*done != 0)
            Print(Stream::Err, L"(launcher --help shows the usage)\n");
        return *done;
    }
    return Launch(options);
}
