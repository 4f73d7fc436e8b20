// Starts a program from a test and collects its real exit code and standard output.
#pragma once

#include "library/system/SHandle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace STest
{

// The folder of the running test executable, with a trailing backslash; helper programs and the
// DLL are built beside it.
inline std::wstring BinFolder()
{
    wchar_t path[MAX_PATH * 2];
    const std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH * 2));
    return file.substr(0, file.find_last_of(L"\\/") + 1);
}

inline std::wstring Quote(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

struct ProcessResult
{
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // standard output and standard error, as bytes
};

inline ProcessResult RunProcess(std::wstring commandLine, DWORD timeoutMs = 60'000,
                                const wchar_t* folder = nullptr)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    S::SHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0))
    {
        ADD_FAILURE() << "CreatePipe failed";
        return result;
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd.Get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info{};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder, &startup, &info);
    writeEnd.Reset();
    if (!started)
    {
        ADD_FAILURE() << "cannot start: " << GetLastError();
        return result;
    }
    const S::SHandle process(info.hProcess), thread(info.hThread);
    // The output is read while the process runs, and the wait is bounded even when it hangs with its
    // output open: a hung child fails the test instead of stopping the suite.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    char buffer[4096];
    for (bool ended = false;;)
    {
        DWORD available = 0, read = 0;
        const BOOL open = PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr);
        if (open && available > 0 && ReadFile(readEnd.Get(), buffer, sizeof(buffer), &read, nullptr))
            result.output.append(buffer, read);
        else if (!open || ended) // every writer is gone, or the process ended and all it wrote was read
            break;
        else if (!(ended = WaitForSingleObject(info.hProcess, 2) == WAIT_OBJECT_0) &&
                 GetTickCount64() > deadline)
            break; // hung: the wait below fails the case
    }
    // A process may close its output before it ends.
    const ULONGLONG now = GetTickCount64();
    if (WaitForSingleObject(info.hProcess, now < deadline ? static_cast<DWORD>(deadline - now) : 0) !=
        WAIT_OBJECT_0)
    {
        ADD_FAILURE() << "process did not end in time";
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10'000);
    }
    GetExitCodeProcess(info.hProcess, &result.exitCode);
    return result;
}

} // namespace STest
