// What the service tests share: a log capture, test services registered with Wine's control
// manager (always deleted again), and a script for the three replaceable control-manager calls.
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

// Captures every leveled log line of the process while alive, passing each on to the capture it
// replaced. Thread-safe.
class LogCapture final : public S::ILeveledLogger
{
public:
    struct Line
    {
        std::wstring text;
        int level = 0;
        int32_t result = 0;
        std::wstring component;
    };

    LogCapture() : m_Outer(S::InstallLeveledLogger(this)) {}
    ~LogCapture() override { S::InstallLeveledLogger(m_Outer); }
    S::SLogType GetDefaultType() const override { return S::SLogType::Default; }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
               int32_t result, const wchar_t* text) override;

    // The lines whose text contains `needle`, in order.
    std::vector<Line> With(const std::wstring& needle = L"") const;
    std::vector<std::wstring> TextsWith(const std::wstring& needle) const;

private:
    S::ILeveledLogger* m_Outer;
    mutable std::mutex m_Lock;
    std::vector<Line> m_Lines;
};

// `format` with its one "%ls" filled in by `name`.
std::wstring Said(const wchar_t* format, const std::wstring& name);

// A service of the test's own (service_host.exe, see there for `options`) under a unique name,
// deleted when the object goes, after stopping it or ending its process.
class TestService
{
public:
    // `hold`: the service stays stop pending until the object goes.
    explicit TestService(const std::wstring& tag, const std::wstring& options = L"", bool hold = false);
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;
    ~TestService();

    const std::wstring& Name() const { return m_Name; }
    S::SString SName() const { return S::SString(m_Name.c_str()); }
    S::SService& Service() { return *m_Service; }
    bool Registered() const { return m_Service != nullptr; }
    // Starts the service and waits until it reports `until`.
    bool Start(DWORD until = SERVICE_RUNNING);
    DWORD State() const { return Status().dwCurrentState; }
    DWORD ProcessId() const { return Status().dwProcessId; }
    bool WaitForState(DWORD state) const;
    // Stop controls that reached the service's handler.
    DWORD StopsReceived() const;

    static std::wstring UniqueName(const std::wstring& tag);
    // Deletes test services earlier runs left behind, once per process; not in a process that
    // another service test started (ChildVariable set), where they may be a sibling's.
    static void SweepStaleServices();
    static constexpr const wchar_t* ChildVariable = L"LX_SERVICE_TEST_CHILD";

private:
    SERVICE_STATUS_PROCESS Status() const;

    std::wstring m_Name;
    std::wstring m_RecordKey;
    HANDLE m_Hold = nullptr;
    S::SServiceManager m_Manager;
    std::unique_ptr<S::SService> m_Service;
};

// Replaces the control-manager calls for its lifetime with a script, per service (found by its
// display name, which the test services keep equal to their name) and for connections. What
// it does not cover goes to the system. Thread-safe.
class ServiceCallScript
{
public:
    ServiceCallScript();
    ServiceCallScript(const ServiceCallScript&) = delete;
    ServiceCallScript& operator=(const ServiceCallScript&) = delete;
    ~ServiceCallScript();

    // The next `count` stops of `service` get ERROR_SERVICE_CANNOT_ACCEPT_CTRL with its real status.
    void RefuseStops(const std::wstring& service, int count);
    // Stops of `service` get ERROR_DEPENDENT_SERVICES_RUNNING while one of `dependents` is active.
    void HoldForDependents(const std::wstring& service, const std::vector<std::wstring>& dependents);
    // The dependents enumeration of `service` lists these, with their real status.
    void ListDependents(const std::wstring& service, const std::vector<std::wstring>& dependents);
    // Connections fail with `error` (0: they succeed again).
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
template <typename Predicate> bool WaitUntil(Predicate predicate, DWORD timeoutMs = 5000)
{
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !predicate(); Sleep(10))
        if (GetTickCount64() > end)
            return false;
    return true;
}

} // namespace STest
