// What the service tests share: a log capture, test services registered with Wine's control
// manager (always deleted again), a gate for starts, and a script for the three replaceable
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

    LogCapture() { S::InstallLeveledLogger(this); }
    ~LogCapture() override { S::InstallLeveledLogger(nullptr); }

    S::SLogType GetDefaultType() const override { return S::SLogType::Default; }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
               int32_t result, const wchar_t* text) override;

    std::vector<Line> Lines() const;
    // The lines whose text contains `needle`, in order.
    std::vector<Line> LinesWith(const std::wstring& needle) const;
    std::vector<std::wstring> TextsWith(const std::wstring& needle) const;
    bool Has(const std::wstring& text) const;

private:
    mutable std::mutex m_Lock;
    std::vector<Line> m_Lines;
};

// `format` with its one "%ls" filled in by `name`.
std::wstring Said(const wchar_t* format, const std::wstring& name);

// A service of the test's own (service_host.exe; see there for `options`), registered under a
// unique name and deleted when the object goes, after stopping it or ending its process.
class TestService
{
public:
    // `hold`: the service stays stop pending until ReleaseHold (or destruction).
    explicit TestService(const std::wstring& tag, const std::wstring& options = L"", bool hold = false);
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;
    ~TestService();

    const std::wstring& Name() const { return m_Name; }
    S::SString SName() const { return S::SString(m_Name.c_str()); }
    S::SService& Service() { return *m_Service; }
    bool Registered() const { return m_Service != nullptr; }

    // Starts the service (under the start gate) and waits until it reports `until`.
    bool Start(DWORD until = SERVICE_RUNNING);
    DWORD State() const;
    DWORD ProcessId() const;
    bool WaitForState(DWORD state, DWORD timeoutMs = 5000) const;
    // Stop controls that reached the service's handler.
    DWORD StopsReceived() const;
    void ReleaseHold();

    static std::wstring UniqueName(const std::wstring& tag);
    // Deletes test services earlier runs left behind, once per process; not in a process that
    // another service test started (ChildVariable set), where they may be a sibling's.
    static void SweepStaleServices();
    static constexpr const wchar_t* ChildVariable = L"LX_SERVICE_TEST_CHILD";

private:
    SC_HANDLE Handle() const;
    bool Status(SERVICE_STATUS_PROCESS& status) const;

    std::wstring m_Name;
    std::wstring m_RecordKey;
    HANDLE m_Hold = nullptr;
    S::SServiceManager m_Manager;
    std::unique_ptr<S::SService> m_Service;
};

// Wine's control manager runs one service start at a time and lets a start wait at most 3 s for
// its turn (then ERROR_SERVICE_DATABASE_LOCKED). The suite starts services from several
// processes at once, so each start it makes holds this gate, shared by all its processes.
class StartGate
{
public:
    StartGate();
    StartGate(const StartGate&) = delete;
    StartGate& operator=(const StartGate&) = delete;
    ~StartGate();

private:
    HANDLE m_Mutex;
};

// Replaces the control-manager calls for its lifetime with a script, per service (found by its
// display name, which the test services keep equal to their name) and for connections. What
// the script does not cover goes to the system. Thread-safe.
class ServiceCallScript
{
public:
    ServiceCallScript();
    ServiceCallScript(const ServiceCallScript&) = delete;
    ServiceCallScript& operator=(const ServiceCallScript&) = delete;
    ~ServiceCallScript();

    // Stops of `service` are answered with ERROR_SERVICE_CANNOT_ACCEPT_CTRL `count` times...
    void RefuseStops(const std::wstring& service, int count);
    // ...or acknowledged without being passed on...
    void SwallowStops(const std::wstring& service);
    // ...or refused with ERROR_DEPENDENT_SERVICES_RUNNING while one of `dependents` is active;
    // always with the service's real status.
    void HoldForDependents(const std::wstring& service, const std::vector<std::wstring>& dependents);
    // The dependents enumeration of `service` lists these, with their real status.
    void ListDependents(const std::wstring& service, const std::vector<std::wstring>& dependents);
    // Connections fail with `error`.
    void FailConnections(DWORD error);
    // The next connection waits until `event` is set.
    void GateNextConnection(HANDLE event);

    int StopsSeen(const std::wstring& service) const;
    int EnumerationsSeen(const std::wstring& service) const;
    int ConnectionsSeen() const;

private:
    S::SServiceCalls m_Previous;
};

// Polls `predicate` every 10 ms; false when it does not hold within `timeoutMs`.
template <typename Predicate> bool WaitUntil(Predicate predicate, DWORD timeoutMs)
{
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !predicate(); Sleep(10))
        if (GetTickCount64() > end)
            return false;
    return true;
}

} // namespace STest
