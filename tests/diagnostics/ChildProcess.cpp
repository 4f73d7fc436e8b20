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

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

std::string ChildRun::Fact(const std::string& key) const
{
    const auto count = facts.count(key);
    EXPECT_EQ(count, 1u) << "fact " << key << " in:\n" << output;
    return count == 0 ? std::string() : facts.find(key)->second;
}

Folder::Folder(size_t executablePathLength)
{
    static std::atomic<int> serial{0};
    wchar_t path[MAX_PATH];
    m_Path = std::wstring(path, GetTempPathW(MAX_PATH, path)) + L"diag_" +
             std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
    const size_t plain = m_Path.size() + sizeof "\\child.exe" - 1;
    if (executablePathLength > plain)
        m_Path += L"_" + std::wstring(executablePathLength - plain - 1, L'p');
    if (!CreateDirectoryW(m_Path.c_str(), nullptr))
        ADD_FAILURE() << "cannot create " << Narrow(m_Path) << ": " << GetLastError();
    m_Child = m_Path + L"\\child.exe";
    const std::wstring test(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    const std::wstring source = test.substr(0, test.find_last_of(L'\\') + 1) + L"diagnostics_crash_child.exe";
    if (!CopyFileW(source.c_str(), m_Child.c_str(), TRUE))
        ADD_FAILURE() << "cannot copy the child to " << Narrow(m_Child) << ": " << GetLastError();
}

Folder::~Folder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_Path, ignored);
}

std::vector<std::wstring> Folder::Reports() const
{
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_Path))
        if (entry.path().filename() != L"child.exe")
            names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
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
    EXPECT_EQ(WaitForSingleObject(processHandle.Get(), 120000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.Get(), &exitCode);
    run.exitCode = exitCode;

    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("debug: ", 0) == 0)
            run.announcements.push_back(line.substr(7) + "\n");
        else if (const size_t equals = line.find('='); equals != std::string::npos)
            run.facts.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return run;
}

} // namespace ChildProcess
