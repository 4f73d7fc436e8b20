// What the thread and pool tests share: a log capture, a job made of functions that counts its
// instances, thread counting, and the child program run from a folder of its own.
#pragma once

#include "common/ProcessRunner.h"
#include "library/diagnostics/Log.h"
#include "library/system/process/SThreadPool.h"

#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ThreadTest
{

struct LogLine
{
    std::wstring component;
    int level = 0;
    int type = 0;
    int32_t result = 0;
    std::wstring text; // "%" as in the message (the leveled logger's doubling undone)
};

// Waits (bounded) until `done` holds.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10'000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        Sleep(2);
    }
    return true;
}

// While it lives, keeps every line of the leveled logger and of the file sink (Debug lines
// included). The sink behind it is never destroyed, since a worker may finish a log call after its test.
class LogCapture
{
public:
    static constexpr int DefaultType = 19;

    LogCapture()
    {
        Sink().Clear();
        S::InstallLeveledLogger(&Sink());
        S::InstallFileLogSink(&Sink());
    }
    ~LogCapture()
    {
        S::InstallLeveledLogger(nullptr);
        S::InstallFileLogSink(nullptr);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Lines whose text contains `part`.
    std::vector<LogLine> Matching(const std::wstring& part) const { return Sink().Matching(part); }
    size_t Count(const std::wstring& part) const { return Matching(part).size(); }
    bool WaitFor(const std::wstring& part) const
    {
        return WaitUntil([&] { return Count(part) > 0; });
    }

private:
    class Recorder : public S::ILeveledLogger, public S::IFileLogSink
    {
    public:
        void Clear()
        {
            std::lock_guard lock(m_Mutex);
            m_Lines.clear();
        }
        std::vector<LogLine> Matching(const std::wstring& part) const
        {
            std::lock_guard lock(m_Mutex);
            std::vector<LogLine> found;
            for (const LogLine& line : m_Lines)
            {
                if (line.text.find(part) != std::wstring::npos)
                    found.push_back(line);
            }
            return found;
        }

        S::SLogType GetDefaultType() const override { return S::SLogType(DefaultType); }
        bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
        void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType type, S::SLogLevel level,
                   int32_t result, const wchar_t* text) override
        {
            std::wstring plain;
            for (const wchar_t* c = text; *c != L'\0'; c += (c[0] == L'%' && c[1] == L'%') ? 2 : 1)
                plain.push_back(*c);
            Add({component, level.GetValue(), type.GetValue(), result, plain});
        }
        int GetLevelMask() const noexcept override { return 311; }
        void WriteLine(const wchar_t* levelText, const S::SString& message) noexcept override
        {
            try
            {
                Add({L"file", std::wstring(levelText) == L"Debug" ? 48 : 3, 0, 0, message.c_str()});
            }
            catch (...)
            {
            }
        }

    private:
        void Add(LogLine line)
        {
            std::lock_guard lock(m_Mutex);
            m_Lines.push_back(std::move(line));
        }

        mutable std::mutex m_Mutex;
        std::vector<LogLine> m_Lines;
    };

    static Recorder& Sink()
    {
        static Recorder* const recorder = new Recorder; // never destroyed, see above
        return *recorder;
    }
};

// A job made of functions; counts the instances alive so that tests see every job deleted.
class FunctionJob : public S::SThreadPool::Job
{
public:
    using AbortHandler = std::function<void(bool failedWhileRunning, int reserved)>;

    explicit FunctionJob(std::function<void()> body, AbortHandler onAbort = {})
        : m_Body(std::move(body)), m_OnAbort(std::move(onAbort))
    {
        ++Alive();
    }
    ~FunctionJob() override { --Alive(); }
    int Run() override
    {
        if (m_Body)
            m_Body();
        return 0;
    }
    void Abort(bool failedWhileRunning, int reserved) override
    {
        if (m_OnAbort)
            m_OnAbort(failedWhileRunning, reserved);
    }
    static std::atomic<int>& Alive()
    {
        static std::atomic<int> alive{0};
        return alive;
    }

private:
    std::function<void()> m_Body;
    AbortHandler m_OnAbort;
};

inline std::unique_ptr<S::SThreadPool::Job> MakeJob(std::function<void()> body,
                                                    FunctionJob::AbortHandler onAbort = {})
{
    return std::make_unique<FunctionJob>(std::move(body), std::move(onAbort));
}

// Threads of this process right now.
inline int CountThreads()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

// A manual-reset event for holding jobs back.
class Gate
{
public:
    Gate() : m_Event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Gate() { CloseHandle(m_Event); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    void Open() { SetEvent(m_Event); }
    bool Wait() const { return WaitForSingleObject(m_Event, 10'000) == WAIT_OBJECT_0; }

private:
    HANDLE m_Event;
};

inline std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

// The child program copied into a fresh folder below the temp folder, so that the reports it writes
// beside itself land there; the folder goes with everything in it.
class ChildFolder
{
public:
    ChildFolder()
    {
        static int serial = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_Path = std::filesystem::path(temp) / (L"process-tests-" + std::to_wstring(GetCurrentProcessId()) +
                                                L"-" + std::to_wstring(++serial));
        std::error_code ignored; // a killed run may have left a folder of this name
        std::filesystem::remove_all(m_Path, ignored);
        std::filesystem::create_directories(m_Path);
        std::filesystem::copy_file(std::filesystem::path(STest::BinFolder()) / L"process_child.exe", Child());
    }
    ~ChildFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    ChildFolder(const ChildFolder&) = delete;
    ChildFolder& operator=(const ChildFolder&) = delete;

    std::filesystem::path Child() const { return m_Path / L"child.exe"; }
    STest::ProcessResult Run(const std::wstring& arguments) const
    {
        return STest::RunProcess(STest::Quote(Child().wstring()) + L" " + arguments, 300'000);
    }
    // Without reading the output, so that a child that hangs is ended after the limit (0xFFFFFFFF).
    DWORD RunForExitCode(const std::wstring& arguments, DWORD timeoutMs) const
    {
        std::wstring commandLine = STest::Quote(Child().wstring()) + L" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            return 0xFFFFFFFEu;
        DWORD exitCode = 0xFFFFFFFFu;
        if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(info.hProcess, &exitCode);
        else
            TerminateProcess(info.hProcess, exitCode);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return exitCode;
    }
    // The text of the reports beside the child with this extension (text reports are UTF-16).
    std::vector<std::wstring> Reports(const std::wstring& extension) const
    {
        std::vector<std::wstring> texts;
        for (const auto& entry : std::filesystem::directory_iterator(m_Path))
        {
            if (entry.path().filename().wstring().rfind(L"child.exe_", 0) != 0 ||
                entry.path().extension() != L"." + extension)
                continue;
            std::wstring text;
            const HANDLE file = CreateFileW(entry.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr);
            wchar_t buffer[1024];
            DWORD read = 0;
            while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
                text.append(buffer, read / sizeof(wchar_t));
            CloseHandle(file);
            texts.push_back(text);
        }
        return texts;
    }

private:
    std::filesystem::path m_Path;
};

// The child runs that fail on purpose. Their minidumps take seconds, so the first test that needs
// one starts them all at once; the folders live until the program ends.
class CrashRuns
{
public:
    struct Run
    {
        ChildFolder folder;
        std::shared_future<STest::ProcessResult> result;
    };

    static Run& Get(const std::wstring& mode) { return *Instance().at(mode); }

private:
    static std::map<std::wstring, std::unique_ptr<Run>>& Instance()
    {
        static std::map<std::wstring, std::unique_ptr<Run>> runs = []
        {
            std::map<std::wstring, std::unique_ptr<Run>> made;
            // Every copy exists before any child starts: a child inherits the handles open at its start.
            for (const wchar_t* mode :
                 {L"thread-fault", L"pool-faults", L"thread-sexception", L"thread-unknown"})
                made[mode] = std::make_unique<Run>();
            for (auto& [mode, run] : made)
                run->result = std::async(std::launch::async,
                                         [&run = *run, mode = mode] { return run.folder.Run(mode); });
            return made;
        }();
        return runs;
    }
};

} // namespace ThreadTest
