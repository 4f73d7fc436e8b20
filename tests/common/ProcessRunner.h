// Starts a program from a test and collects its real exit code, its standard output and the files it
// leaves.
#pragma once

#include "library/system/SHandle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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

// A file's bytes; "<missing>" when it cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

struct FolderRun
{
    ProcessResult run;
    std::map<std::wstring, std::string> files; // what the run left in its folder, by name
};

// Runs a copy of `program` named `name`, with `arguments`, in `folder`: made for the run (a killed
// run may have left one of that name) and removed after it.
inline FolderRun RunCopyInFolder(const std::wstring& program, const std::filesystem::path& folder,
                                 const std::wstring& name, const std::wstring& arguments, DWORD timeoutMs)
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(program, folder / name);
    FolderRun result{
        RunProcess(Quote((folder / name).wstring()) + L" " + arguments, timeoutMs, folder.c_str()), {}};
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename() != name)
            result.files[entry.path().filename().wstring()] = ReadFileBytes(entry.path());
    std::filesystem::remove_all(folder, ignored);
    return result;
}

} // namespace STest
