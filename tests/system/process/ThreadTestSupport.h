// What the thread and pool tests and their child program share: a log capture, a counted job made of
// functions and thread counting.
#pragma once

#include "library/diagnostics/log/Log.h"
#include "library/system/SHandle.h"
#include "library/system/process/thread/SThreadPool.h"

#include "common/WaitUntil.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ThreadTest
{

using STest::WaitUntil;

struct LogLine
{
    int level = 0;
    int32_t result = 0;
    std::wstring text;
};

// The lines of the leveled logger and of the file sink (Debug lines at level 48) written since the
// capture was made. The recorder is installed for good at first use and never destroyed, since a
// worker may finish a log call after its test.
class LogCapture
{
public:
    LogCapture() { m_First = Matching(L"").size(); }
    std::vector<LogLine> Matching(const std::wstring& part) const
    {
        const std::lock_guard lock(Sink().mutex);
        std::vector<LogLine> found;
        std::copy_if(Sink().lines.begin() + m_First, Sink().lines.end(), std::back_inserter(found),
                     [&](const LogLine& line) { return line.text.find(part) != std::wstring::npos; });
        return found;
    }
    bool WaitFor(const std::wstring& part) const
    {
        return WaitUntil([&] { return !Matching(part).empty(); });
    }

private:
    struct Recorder : S::ILeveledLogger, S::IFileLogSink
    {
        Recorder()
        {
            S::InstallLeveledLogger(this);
            S::InstallFileLogSink(this);
        }
        S::SLogType GetDefaultType() const override { return S::SLogType(S::SLogType::Default); }
        bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
        void Write(const wchar_t*, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level, int32_t result,
                   const wchar_t* text) override
        {
            const std::lock_guard lock(mutex);
            lines.push_back({level.GetValue(), result, text});
        }
        int GetLevelMask() const noexcept override { return 311; }
        void WriteLine(const wchar_t* levelText, const S::SString& message) noexcept override
        {
            const std::lock_guard lock(mutex);
            lines.push_back({std::wstring(levelText) == L"Debug" ? 48 : 3, 0, message.c_str()});
        }
        std::mutex mutex;
        std::vector<LogLine> lines;
    };
    static Recorder& Sink()
    {
        static Recorder* const recorder = new Recorder;
        return *recorder;
    }
    size_t m_First = 0;
};

// A job made of functions; counts the instances alive so that tests see every job deleted.
struct FunctionJob : S::SThreadPool::Job
{
    std::function<void()> run;
    std::function<void(bool, int)> abort;
    static inline std::atomic<int> alive{0};
    const int counted = ++alive;

    ~FunctionJob() override { --alive; }
    int Run() override { return run(), 0; }
    void Abort(bool failedWhileRunning, int reserved) override { abort(failedWhileRunning, reserved); }
};

inline std::unique_ptr<S::SThreadPool::Job> MakeJob(
    std::function<void()> run, std::function<void(bool, int)> abort = [](bool, int) {})
{
    auto job = std::make_unique<FunctionJob>();
    job->run = std::move(run);
    job->abort = std::move(abort);
    return job;
}

// Threads of this process right now.
inline int CountThreads()
{
    const S::SHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    return count;
}

} // namespace ThreadTest
