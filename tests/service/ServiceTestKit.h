// What the service tests share: a log capture, test services registered with Wine's control
// manager (always deleted again), and a scripted stand-in for the three replaceable
// control-manager calls.
#pragma once

#include "library/diagnostics/Log.h"
#include "library/system/service/SServiceManager.h"
#include "library/system/service/ServiceCalls.h"
#include "library/system/service/ServiceResult.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace STest
{

// Captures every leveled log line of the process while alive. Thread-safe.
class LogCapture final : public S::ILeveledLogger
{
public:
    struct Line
    {
        std::wstring component;
        int level = 0;
        int32_t result = 0;
        std::wstring text;
    };

    LogCapture();
    ~LogCapture() override;

    S::SLogType GetDefaultType() const override { return S::SLogType::Default; }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
               int32_t result, const wchar_t* text) override;

    std::vector<Line> Lines() const;
    // The lines whose text contains `needle`, in order.
    std::vector<Line> LinesWith(const std::wstring& needle) const;
    // The texts of the lines that contain `needle`, in order.
    std::vector<std::wstring> TextsWith(const std::wstring& needle) const;
    bool Has(const std::wstring& text) const;

private:
    mutable std::mutex m_Lock;
    std::vector<Line> m_Lines;
};

std::wstring BinFolder();

// A service of the test's own (service_host.exe), registered under a unique name and deleted
// (stopped, or its process ended, first) when the object goes. See ServiceHost.cpp for options.
class TestService
{
public:
    // `options` go on the service's command line after its name; `hold` adds a named event the
    // service waits on while stop pending (set by ReleaseHold and on destruction).
    explicit TestService(const std::wstring& tag, const std::wstring& options = L"", bool hold = false,
                         const std::wstring& name = L"");
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;
    ~TestService();

    const std::wstring& Name() const { return m_Name; }
    S::SString SName() const { return S::SString(m_Name.c_str()); }
    S::SService& Service() { return *m_Service; }
    SC_HANDLE Handle() const;
    bool Registered() const { return m_Service != nullptr; }

    // Starts the service and waits until it reports `until` (SERVICE_RUNNING by default).
    bool Start(DWORD until = SERVICE_RUNNING);
    DWORD State() const;
    DWORD ProcessId() const;
    bool WaitForState(DWORD state, DWORD timeoutMs = 5000) const;
    // Stop controls the service's handler has received.
    DWORD StopsReceived() const;
    void ReleaseHold();

    // A name no registered test service uses.
    static std::wstring UniqueName(const std::wstring& tag);
    // Deletes the test services that earlier runs left behind, once per process; skipped in a
    // process started by another service test (ChildVariable set).
    static void SweepStaleServices();
    static constexpr const wchar_t* ChildVariable = L"LX_SERVICE_TEST_CHILD";

private:
    std::wstring m_Name;
    std::wstring m_RecordKey;
    HANDLE m_Hold = nullptr;
    S::SServiceManager m_Manager;
    std::unique_ptr<S::SService> m_Service;
};

// Wine's control manager runs one service start at a time and lets a start wait at most 3 s for
// its turn (then ERROR_SERVICE_DATABASE_LOCKED). The suite starts services from several
// processes at once, so every start it makes holds this gate, shared by all its processes.
class StartGate
{
public:
    StartGate();
    StartGate(const StartGate&) = delete;
    StartGate& operator=(const StartGate&) = delete;
    ~StartGate();

private:
    HANDLE m_Mutex = nullptr;
};

// Replaces the control-manager calls for its lifetime with a script: per service (found by its
// display name, which the test services keep equal to their name) and for the connection.
// Anything the script does not cover goes to the system. Thread-safe.
class ServiceCallScript
{
public:
    ServiceCallScript();
    ServiceCallScript(const ServiceCallScript&) = delete;
    ServiceCallScript& operator=(const ServiceCallScript&) = delete;
    ~ServiceCallScript();

    // Stop controls: answer the first `count` with ERROR_SERVICE_CANNOT_ACCEPT_CTRL and the
    // service's real status.
    void RefuseStops(const std::wstring& service, int count);
    // Stop controls: acknowledge without passing them on, with the service's real status.
    void SwallowStops(const std::wstring& service);
    // Stop controls: ERROR_DEPENDENT_SERVICES_RUNNING while one of `dependents` is not stopped.
    void HoldForDependents(const std::wstring& service, const std::vector<std::wstring>& dependents);
    // Dependents enumeration: these services with their real status, filtered by the states asked.
    void ListDependents(const std::wstring& service, const std::vector<std::wstring>& dependents);
    // Connections fail with `error` (0: they go to the system again).
    void FailConnections(DWORD error);
    // The next connection waits until the event is set.
    void GateNextConnection(HANDLE event);

    int StopsSeen(const std::wstring& service) const;
    int EnumerationsSeen(const std::wstring& service) const;
    int ConnectionsSeen() const;

    struct State;

private:
    S::SServiceCalls m_Previous;
};

// Waits until `predicate` holds, polling every 10 ms; false after `timeoutMs`.
template <typename Predicate> bool WaitUntil(Predicate predicate, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!predicate())
    {
        if (GetTickCount64() > end)
            return false;
        Sleep(10);
    }
    return true;
}

} // namespace STest
