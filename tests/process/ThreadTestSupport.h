// What the thread and pool tests share: sinks that capture log lines, a job built from functions
// that counts its instances, thread counting, and running the child program from a folder of its own.
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
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ThreadTest
{

struct LogLine
{
    std::wstring component;
    int level = 0;
    int type = 0;
    int32_t result = 0;
    std::wstring text;
};

// Keeps every line that reaches the leveled logger or the file sink (Debug lines included), from
// any thread. It is never destroyed: a worker may still be finishing a log call after its test.
class LogRecorder : private S::ILeveledLogger, private S::IFileLogSink
{
public:
    static constexpr int DefaultType = 19;

    static LogRecorder& Instance()
    {
        static LogRecorder* const recorder = new LogRecorder;
        return *recorder;
    }

    void Install()
    {
        Clear();
        S::InstallLeveledLogger(this);
        S::InstallFileLogSink(this);
    }
    static void Uninstall()
    {
        S::InstallLeveledLogger(nullptr);
        S::InstallFileLogSink(nullptr);
    }
    void Clear()
    {
        std::lock_guard lock(m_Mutex);
        m_Lines.clear();
    }
    std::vector<LogLine> Lines() const
    {
        std::lock_guard lock(m_Mutex);
        return m_Lines;
    }

private:
    LogRecorder() = default;

    S::SLogType GetDefaultType() const override { return S::SLogType(DefaultType); }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType type, S::SLogLevel level,
               int32_t result, const wchar_t* text) override
    {
        // The leveled logger receives every "%" doubled; undo that for comparisons.
        std::wstring plain;
        for (const wchar_t* c = text; *c != L'\0'; ++c)
        {
            plain.push_back(*c);
            if (*c == L'%' && c[1] == L'%')
                ++c;
        }
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
    void Add(LogLine line)
    {
        std::lock_guard lock(m_Mutex);
        m_Lines.push_back(std::move(line));
    }

    mutable std::mutex m_Mutex;
    std::vector<LogLine> m_Lines;
};

// Captures the log lines of its lifetime.
class LogCapture
{
public:
    static constexpr int DefaultType = LogRecorder::DefaultType;

    LogCapture() { LogRecorder::Instance().Install(); }
    ~LogCapture() { LogRecorder::Uninstall(); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogLine> Lines() const { return LogRecorder::Instance().Lines(); }
    // Lines whose text contains `part`.
    std::vector<LogLine> Matching(const std::wstring& part) const
    {
        std::vector<LogLine> found;
        for (const LogLine& line : Lines())
        {
            if (line.text.find(part) != std::wstring::npos)
                found.push_back(line);
        }
        return found;
    }
    size_t Count(const std::wstring& part) const { return Matching(part).size(); }
    // Waits (bounded) until `count` lines contain `part`.
    bool WaitFor(const std::wstring& part, size_t count = 1, int timeoutMs = 10'000) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Count(part) < count)
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            Sleep(5);
        }
        return true;
    }
};

// A job made of functions; counts the instances alive so that tests see every job deleted.
class FunctionJob : public S::SThreadPool::Job
{
public:
    using Body = std::function<void()>;
    using AbortHandler = std::function<void(bool failedWhileRunning, int reserved)>;

    explicit FunctionJob(Body body, AbortHandler onAbort = {})
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
    Body m_Body;
    AbortHandler m_OnAbort;
};

inline std::unique_ptr<S::SThreadPool::Job> MakeJob(FunctionJob::Body body,
                                                    FunctionJob::AbortHandler onAbort = {})
{
    return std::make_unique<FunctionJob>(std::move(body), std::move(onAbort));
}

// Threads of this process right now.
inline int CountThreads()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

// Waits (bounded) until the process has at most `count` threads; returns the last count seen.
inline int WaitForThreadCountAtMost(int count, int timeoutMs = 5'000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int now = CountThreads();
    while (now > count && std::chrono::steady_clock::now() < deadline)
    {
        Sleep(10);
        now = CountThreads();
    }
    return now;
}

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

// A manual-reset event for gating jobs.
class Gate
{
public:
    Gate() : m_Event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Gate() { CloseHandle(m_Event); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;
    void Open() { SetEvent(m_Event); }
    bool Wait(DWORD timeoutMs = 10'000) const
    {
        return WaitForSingleObject(m_Event, timeoutMs) == WAIT_OBJECT_0;
    }

private:
    HANDLE m_Event;
};

// The child program copied into a fresh folder below the temp folder, so that the reports it writes
// beside itself land there; the folder goes with everything in it.
class ChildFolder
{
public:
    ChildFolder()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_Path = std::filesystem::path(temp) / (L"process-tests-" + std::to_wstring(GetCurrentProcessId()) +
                                                L"-" + std::to_wstring(++Serial()));
        // A run that was killed may have left a folder of the same name behind.
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
        std::filesystem::create_directories(m_Path);
        m_Child = m_Path / L"child.exe";
        std::filesystem::copy_file(std::filesystem::path(STest::BinFolder()) / L"process_child.exe", m_Child);
    }
    ~ChildFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    ChildFolder(const ChildFolder&) = delete;
    ChildFolder& operator=(const ChildFolder&) = delete;

    std::wstring CommandLine(const std::wstring& mode) const
    {
        return STest::Quote(m_Child.wstring()) + L" " + mode;
    }
    STest::ProcessResult Run(const std::wstring& mode) const { return STest::RunProcess(CommandLine(mode)); }
    // Runs without reading the child's output, so that a child that hangs is ended after the time
    // limit (its exit code is then 0xFFFFFFFF).
    DWORD RunForExitCode(const std::wstring& mode, DWORD timeoutMs) const
    {
        std::wstring commandLine = CommandLine(mode);
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
            TerminateProcess(info.hProcess, 0xFFFFFFFFu);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return exitCode;
    }

    // Report files beside the child whose names end with `extension` ("txt", "dmp").
    std::vector<std::filesystem::path> Reports(const std::wstring& extension) const
    {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(m_Path))
        {
            const std::wstring name = entry.path().filename().wstring();
            if (name.rfind(L"child.exe_", 0) == 0 && entry.path().extension() == L"." + extension)
                found.push_back(entry.path());
        }
        return found;
    }

private:
    static int& Serial()
    {
        static int serial = 0;
        return serial;
    }

    std::filesystem::path m_Path;
    std::filesystem::path m_Child;
};

inline std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

// The child runs that fail on purpose. Their reports include minidumps, which take seconds, so they
// all start together before the first test (when a test that reads them is selected) and run
// beside the other tests; each folder lives until the program ends.
class CrashRuns
{
public:
    struct Run
    {
        const ChildFolder* folder = nullptr;
        STest::ProcessResult result;
    };

    static CrashRuns& Instance()
    {
        static CrashRuns runs;
        return runs;
    }

    // Starts every run, once.
    void Start()
    {
        if (!m_Entries.empty())
            return;
        // Every copy is made before any child starts: a child inherits the handles open at its start.
        for (const wchar_t* mode : {L"thread-fault", L"pool-faults", L"thread-sexception", L"thread-unknown"})
        {
            m_Entries.push_back(std::make_unique<Entry>());
            m_Entries.back()->mode = mode;
            m_Entries.back()->folder = std::make_unique<ChildFolder>();
            m_Entries.back()->run.folder = m_Entries.back()->folder.get();
        }
        for (auto& entry : m_Entries)
        {
            Entry& e = *entry;
            e.pending = std::async(std::launch::async, [&e]
                                   { return STest::RunProcess(e.folder->CommandLine(e.mode), 300'000); });
        }
    }

    const Run& Get(const std::wstring& mode)
    {
        Start();
        for (auto& entry : m_Entries)
        {
            if (entry->mode == mode)
            {
                if (entry->pending.valid())
                    entry->run.result = entry->pending.get();
                return entry->run;
            }
        }
        ADD_FAILURE() << "no such crash run";
        static const Run none;
        return none;
    }

private:
    struct Entry
    {
        std::wstring mode;
        std::unique_ptr<ChildFolder> folder;
        std::future<STest::ProcessResult> pending;
        Run run;
    };

    CrashRuns() = default;

    std::vector<std::unique_ptr<Entry>> m_Entries;
};

// A text report: UTF-16 without byte-order mark.
inline std::wstring ReadTextReport(const std::filesystem::path& path)
{
    std::wstring text;
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    wchar_t buffer[2048];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        text.append(buffer, read / sizeof(wchar_t));
    CloseHandle(file);
    return text;
}

} // namespace ThreadTest
