#include "DebugCapture.h"

#include <windows.h>

namespace S::TestKit
{

namespace
{

std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    const size_t units = info.nDebugStringLength;
    if (info.fUnicode)
    {
        std::wstring text(units, L'\0');
        SIZE_T read = 0;
        ReadProcessMemory(process, info.lpDebugStringData, text.data(), units * sizeof(wchar_t), &read);
        text.resize(read / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        return text;
    }
    std::string narrow(units, '\0');
    SIZE_T read = 0;
    ReadProcessMemory(process, info.lpDebugStringData, narrow.data(), units, &read);
    narrow.resize(read);
    while (!narrow.empty() && narrow.back() == '\0')
        narrow.pop_back();
    std::wstring text(narrow.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), text.data(),
                                      static_cast<int>(text.size()));
    text.resize(n > 0 ? n : 0);
    return text;
}

} // namespace

std::wstring ExecutableFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

DebugCapture RunUnderDebugger(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& folder)
{
    DebugCapture capture;
    std::wstring commandLine = L"\"" + ExecutableFolder() + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return capture;
    capture.started = true;
    for (;;)
    {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 30000))
            break;
        DWORD status = DBG_CONTINUE;
        if (event.dwDebugEventCode == OUTPUT_DEBUG_STRING_EVENT)
            capture.messages.push_back(ReadDebugString(process.hProcess, event.u.DebugString));
        else if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT &&
                 event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            status = DBG_EXCEPTION_NOT_HANDLED;
        else if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT && event.u.CreateProcessInfo.hFile)
            CloseHandle(event.u.CreateProcessInfo.hFile);
        else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT && event.u.LoadDll.hFile)
            CloseHandle(event.u.LoadDll.hFile);
        const bool exited = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
        if (exited)
            capture.exitCode = event.u.ExitProcess.dwExitCode;
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (exited)
            break;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return capture;
}

} // namespace S::TestKit
