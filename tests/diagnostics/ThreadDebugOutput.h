// Collects what the calling thread writes to the debugger while an instance lives. Debugger output
// reaches a process as an exception that the output routine handles itself; a vectored handler
// sees it first.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

class ThreadDebugOutput
{
public:
    ThreadDebugOutput() : m_Thread(GetCurrentThreadId())
    {
        std::lock_guard lock(Mutex());
        Active() = this;
        m_Handler = AddVectoredExceptionHandler(1, &Collect);
    }
    ~ThreadDebugOutput()
    {
        RemoveVectoredExceptionHandler(m_Handler);
        std::lock_guard lock(Mutex());
        Active() = nullptr;
    }
    ThreadDebugOutput(const ThreadDebugOutput&) = delete;
    ThreadDebugOutput& operator=(const ThreadDebugOutput&) = delete;

    std::vector<std::string> Lines() const
    {
        std::lock_guard lock(Mutex());
        return m_Lines;
    }

private:
    static LONG CALLBACK Collect(EXCEPTION_POINTERS* pointers)
    {
        const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
        if (record.ExceptionCode != DBG_PRINTEXCEPTION_C || record.NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        std::lock_guard lock(Mutex());
        if (Active() != nullptr && Active()->m_Thread == GetCurrentThreadId())
            Active()->m_Lines.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_SEARCH;
    }
    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static ThreadDebugOutput*& Active()
    {
        static ThreadDebugOutput* active = nullptr;
        return active;
    }

    DWORD m_Thread;
    void* m_Handler = nullptr;
    std::vector<std::string> m_Lines;
};
