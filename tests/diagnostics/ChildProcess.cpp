#include "diagnostics/ChildProcess.h"

#include "library/system/SHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ChildProcess
{
namespace
{

std::wstring ModuleFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring TempFolder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, path);
    return std::wstring(path, length);
}

void Parse(ChildRun& run)
{
    std::istringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("debug: ", 0) == 0)
            run.announcements.push_back(line.substr(7) + "\n");
        else if (const size_t equals = line.find('='); equals != std::string::npos)
            run.facts.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
}

} // namespace

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string ChildRun::Fact(const std::string& key) const
{
    const auto count = facts.count(key);
    EXPECT_EQ(count, 1u) << "fact " << key << " in:\n" << output;
    return count == 0 ? std::string() : facts.find(key)->second;
}

Folder::Folder(size_t executablePathLength, const std::wstring& childName)
{
    static std::atomic<int> serial{0};
    m_Path =
        TempFolder() + L"diag_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
    const size_t plain = m_Path.size() + 1 + childName.size();
    if (executablePathLength > plain)
        m_Path += L"_" + std::wstring(executablePathLength - plain - 1, L'p');
    if (!CreateDirectoryW(m_Path.c_str(), nullptr))
        ADD_FAILURE() << "cannot create " << Narrow(m_Path) << ": " << GetLastError();
    m_Child = m_Path + L"\\" + childName;
    const std::wstring source = ModuleFolder() + L"diagnostics_crash_child.exe";
    if (!CopyFileW(source.c_str(), m_Child.c_str(), TRUE))
        ADD_FAILURE() << "cannot copy the child to " << Narrow(m_Child) << ": " << GetLastError();
}

Folder::~Folder()
{
    for (const std::wstring& name : Files())
        DeleteFileW((m_Path + L"\\" + name).c_str());
    RemoveDirectoryW(m_Path.c_str());
}

std::vector<std::wstring> Folder::Files() const
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((m_Path + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> Folder::Reports() const
{
    std::vector<std::wstring> names = Files();
    std::erase(names, m_Child.substr(m_Path.size() + 1));
    return names;
}

std::string Folder::ReadFile(const std::wstring& name) const
{
    std::ifstream file(std::filesystem::path(m_Path + L"\\" + name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

ChildRun Folder::Start(const std::wstring& mode) const
{
    ChildRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
    {
        ADD_FAILURE() << "CreatePipe: " << GetLastError();
        return run;
    }
    S::SHandle reader(readEnd);
    S::SHandle writer(writeEnd);
    SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer.Get();
    startup.hStdError = writer.Get();
    std::wstring commandLine = L"\"" + m_Child + L"\" " + mode;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(m_Child.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        m_Path.c_str(), &startup, &process))
    {
        ADD_FAILURE() << "CreateProcessW " << Narrow(m_Child) << ": " << GetLastError();
        return run;
    }
    S::SHandle processHandle(process.hProcess);
    S::SHandle threadHandle(process.hThread);
    writer.Reset(); // the child holds the only write end now, so reading ends with the child

    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(reader.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        run.output.append(buffer, read);
    if (WaitForSingleObject(processHandle.Get(), 120000) != WAIT_OBJECT_0)
    {
        ADD_FAILURE() << "the child did not end";
        TerminateProcess(processHandle.Get(), 1);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.Get(), &exitCode);
    run.exitCode = exitCode;
    Parse(run);
    return run;
}

} // namespace ChildProcess
