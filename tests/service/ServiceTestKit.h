// What the service tests share: services of their own registered with Wine's control manager
// (always deleted again), and a script for the three replaceable control-manager calls.
#pragma once

#include "common/RecordingLogger.h"
#include "library/system/service/SServiceManager.h"
#include "library/system/service/ServiceResult.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace STest
{

using Lines = std::vector<std::wstring>;

// The texts of the lines of `log` that contain `needle`, in order.
Lines TextsWith(const RecordingLogger& log, const std::wstring& needle);
// `format` with its one "%ls" filled in by `name`.
std::wstring Said(const std::wstring& format, const std::wstring& name);
// Straight from the control manager; all zero when the service cannot be read.
SERVICE_STATUS_PROCESS StatusOf(const std::wstring& service);

// Polls `predicate` every 10 ms; false when it does not hold within `timeoutMs`.
template <typename Predicate> bool WaitUntil(Predicate predicate, DWORD timeoutMs = 5000)
{
    for (const ULONGLONG end = GetTickCount64() + timeoutMs; !predicate(); Sleep(10))
        if (GetTickCount64() > end)
            return false;
    return true;
}

// A service of the test's own (service_host.exe, see there for `options`) under a unique name,
// also its display name; deleted when the object goes, after stopping it or ending its process.
class TestService
{
public:
    explicit TestService(const std::wstring& tag, const std::wstring& options = L"");
    ~TestService();

    const std::wstring& Name() const { return m_Name; }
    S::SString SName() const { return S::SString(m_Name.c_str()); }
    S::SService& Service() { return *m_Service; }
    bool Registered() const { return m_Service != nullptr; }
    // Starts the service and waits until it has left start pending; false when that fails.
    bool Start();
    DWORD State() const { return StatusOf(m_Name).dwCurrentState; }
    DWORD ProcessId() const { return StatusOf(m_Name).dwProcessId; }
    bool WaitForState(DWORD state) const
    {
        return WaitUntil([&] { return State() == state; });
    }

    static std::wstring UniqueName(const std::wstring& tag);

private:
    std::wstring m_Name;
    S::SServiceManager m_Manager;
    std::unique_ptr<S::SService> m_Service;
};

// While it lives, the control-manager calls go through this script; what it does not cover goes
// on to the system. Set the fields before the calls they concern start.
struct ServiceCallScript
{
    explicit ServiceCallScript(const std::wstring& service = L"");
    ~ServiceCallScript();

    const std::wstring service;   // the one service scripted and counted, by its display name
    std::atomic<int> refusals{0}; // its next stops get ERROR_SERVICE_CANNOT_ACCEPT_CTRL
    // Its stops while it is paused are taken without reaching it (Wine would refuse them).
    std::atomic<bool> takeStopsWhilePaused{false};
    // Its stops get ERROR_DEPENDENT_SERVICES_RUNNING while one of these is active; when `listed`,
    // its dependents enumeration gives them (one that does not exist as running).
    Lines dependents;
    bool listed = false;
    DWORD connectionError = 0;         // connections fail with it
    std::atomic<HANDLE> gate{nullptr}; // the next connection waits until it is set
    std::atomic<int> stops{0}, enumerations{0}, connections{0};
};

} // namespace STest
