// What the service tests share: services of their own registered with Wine's control manager
// (always deleted again), and a script for the three replaceable control-manager calls.
// Thread-safety: a script and a service belong to one test; the scripted calls may come from any
// thread while the script lives.
#pragma once

#include "common/ProcessRunner.h"
#include "common/RecordingLogger.h"
#include "common/WaitUntil.h"
#include "library/system/SHandle.h"
#include "library/system/service/SServiceManager.h"
#include "library/system/service/SServiceCalls.h"
#include "library/system/service/ServiceControl.h"
#include "library/system/service/ServiceResult.h"
#include "library/utility/SScopedForTesting.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace STest
{

using Lines = std::vector<std::wstring>;

// The texts of the lines of `log` that contain `needle`, in order.
inline Lines TextsWith(const RecordingLogger& log, const std::wstring& needle)
{
    Lines texts;
    for (const RecordingLogger::Line& line : log.Lines())
        if (line.text.find(needle) != std::wstring::npos)
            texts.push_back(line.text);
    return texts;
}

// The line a failed control-manager call logs.
inline std::wstring Os(const std::wstring& function, const std::wstring& error)
{
    return function + L" received OS service code: " + error + L", from service: \"%ls\"";
}

// `format` with its one "%ls" filled in by `name`.
inline std::wstring Said(const std::wstring& format, const std::wstring& name)
{
    wchar_t text[1024];
    swprintf(text, 1024, format.c_str(), name.c_str());
    return text;
}

// Straight from the control manager; all zero when the service cannot be read (a call on a
// handle that could not be opened just fails).
inline SERVICE_STATUS_PROCESS StatusOf(const std::wstring& service)
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    const S::SServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const S::SServiceHandle handle(OpenServiceW(manager.Get(), service.c_str(), SERVICE_QUERY_STATUS));
    QueryServiceStatusEx(handle.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                         sizeof(status), &needed);
    return status;
}

// While it lives, the service classes wait and pause by this clock, which notes every pause. A
// virtual one only moves its own time on, a real one sleeps.
struct RecordingClock final : S::IServiceWaitClock
{
    explicit RecordingClock(bool real = false) : real(real) {}
    uint64_t NowMs() noexcept override { return real ? S::SystemServiceWaitClock().NowMs() : now; }
    void SleepMs(DWORD ms) noexcept override
    {
        sleeps.push_back(ms);
        real ? S::SystemServiceWaitClock().SleepMs(ms) : void(now += ms);
    }

    const bool real;
    uint64_t now = 1'000'000;
    std::vector<DWORD> sleeps;
    S::SScopedForTesting<S::IServiceWaitClock*> installed{S::SetServiceWaitClockForTesting, this};
};

// A service of the test's own (service_host.exe, see there for `options`) under a unique name,
// also its display name; deleted when the object goes, after ending its process: a held service
// never stops, and Wine ends the process itself when a stop finds the service busy with an
// earlier one, leaving the state as it was.
class TestService
{
public:
    explicit TestService(const std::wstring& tag, const std::wstring& options = L"") : m_Name(UniqueName(tag))
    {
        const std::wstring command =
            Quote(BinFolder() + L"service_host.exe") + L" " + m_Name + L" " + options;
        S::SServiceConfig config;
        config.serviceType = SERVICE_WIN32_OWN_PROCESS;
        config.startType = SERVICE_DEMAND_START;
        config.errorControl = SERVICE_ERROR_IGNORE;
        config.binaryPath = command.c_str();
        S::SResult result;
        if (m_Manager.Init(result, S::ServiceManagerAccess::All, nullptr, nullptr).Succeeded())
            m_Manager.CreateService(result, &m_Service, SName(), config, S::ServiceAccess::All, nullptr);
        EXPECT_EQ(result.Code(), 0) << "cannot register the service";
    }
    ~TestService()
    {
        if (m_Service == nullptr)
            return;
        const S::SHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, ProcessId()));
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 5000);
        S::SResult result;
        EXPECT_TRUE(m_Service->Delete(result).Code() == 0 || result == S::kResultServiceMarkedForDelete);
    }

    const std::wstring& Name() const { return m_Name; }
    S::SString SName() const { return S::SString(m_Name.c_str()); }
    S::SService& Service() { return *m_Service; }
    bool Registered() const { return m_Service != nullptr; }
    // Starts the service and waits until it has left start pending; false when that fails.
    // A start that the control manager refuses is asked again for a while: in a fresh prefix a
    // previous case's service can still hold Wine's one start at a time. The refusal is printed.
    bool Start()
    {
        S::SResult result;
        const auto started = [&] {
            return m_Service->Start(result, 0, nullptr).Succeeded() ||
                   result == S::kResultServiceAlreadyRunning;
        };
        if (!Registered() || !WaitUntil(started, 5000))
        {
            ADD_FAILURE() << "service " << m_Name << " not started: 0x" << std::hex << result.Unsigned();
            return false;
        }
        return WaitUntil([&] { return State() != SERVICE_START_PENDING && State() != SERVICE_STOPPED; });
    }
    DWORD State() const { return StatusOf(m_Name).dwCurrentState; }
    DWORD ProcessId() const { return StatusOf(m_Name).dwProcessId; }

    static std::wstring UniqueName(const std::wstring& tag)
    {
        // Wine hands out the same few process ids run after run, so a run is also told by its start.
        static const std::wstring run =
            std::to_wstring(GetCurrentProcessId()) + L"x" + std::to_wstring(GetTickCount64());
        static std::atomic<unsigned> serial{0};
        return L"LxSvcTest_" + run + L"_" + std::to_wstring(++serial) + L"_" + tag;
    }

private:
    std::wstring m_Name;
    S::SServiceManager m_Manager;
    std::unique_ptr<S::SService> m_Service;
};

// While it lives, the control-manager calls go through this script; what it does not cover goes
// on to the system. Set the fields before the calls they concern start.
struct ServiceCallScript
{
    explicit ServiceCallScript(const std::wstring& service = L"") : service(service) { current = this; }

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
    std::atomic<DWORD> access{0}, control{0}; // the last connection's access, the last control sent

private:
    static inline std::atomic<ServiceCallScript*> current{nullptr};
    // Last, so that it goes first.
    const S::SScopedForTesting<S::SServiceCalls> installed{S::SetServiceCallsForTesting,
                                                           {OpenManager, EnumDependents, Control}};

    static bool Scripted(SC_HANDLE service)
    {
        alignas(8) BYTE buffer[8192];
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
        DWORD needed = 0;
        return QueryServiceConfigW(service, config, sizeof(buffer), &needed) &&
               config->lpDisplayName != nullptr && config->lpDisplayName == current.load()->service;
    }

    static BOOL WINAPI Control(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
    {
        ServiceCallScript& script = *current;
        script.control = control;
        if (control != SERVICE_CONTROL_STOP || !Scripted(service))
            return S::SServiceCalls::System().control(service, control, status);
        ++script.stops;
        DWORD refusal = script.refusals-- > 0 ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL : 0;
        if (std::ranges::any_of(script.dependents, [](const std::wstring& dependent)
                                { return StatusOf(dependent).dwCurrentState > SERVICE_STOPPED; }))
            refusal = ERROR_DEPENDENT_SERVICES_RUNNING;
        const bool paused = QueryServiceStatus(service, status) && status->dwCurrentState == SERVICE_PAUSED;
        if (refusal == 0 && !(paused && script.takeStopsWhilePaused))
            return S::SServiceCalls::System().control(service, control, status);
        SetLastError(refusal);
        return refusal == 0;
    }

    // The names the entries point to are the script's own.
    static BOOL WINAPI EnumDependents(SC_HANDLE service, DWORD states, LPENUM_SERVICE_STATUSW buffer,
                                      DWORD size, LPDWORD needed, LPDWORD count)
    {
        ServiceCallScript& script = *current;
        if (!script.listed || !Scripted(service))
            return S::SServiceCalls::System().enumDependents(service, states, buffer, size, needed, count);
        std::vector<ENUM_SERVICE_STATUSW> found;
        for (std::wstring& dependent : script.dependents)
        {
            const DWORD state = StatusOf(dependent).dwCurrentState;
            const SERVICE_STATUS status{
                SERVICE_WIN32_OWN_PROCESS, state != 0 ? state : SERVICE_RUNNING, 0, 0, 0, 0, 0};
            if (states & (state == SERVICE_STOPPED ? SERVICE_INACTIVE : SERVICE_ACTIVE))
                found.push_back({dependent.data(), dependent.data(), status});
        }
        *needed = static_cast<DWORD>(found.size() * sizeof(ENUM_SERVICE_STATUSW));
        if (size < *needed)
        {
            SetLastError(ERROR_MORE_DATA);
            return FALSE;
        }
        std::ranges::copy(found, buffer);
        *count = static_cast<DWORD>(found.size());
        ++script.enumerations;
        return TRUE;
    }

    static SC_HANDLE WINAPI OpenManager(LPCWSTR machine, LPCWSTR database, DWORD access)
    {
        ServiceCallScript& script = *current;
        ++script.connections;
        script.access = access;
        if (const HANDLE gate = script.gate.exchange(nullptr))
            WaitForSingleObject(gate, 10000);
        if (script.connectionError == 0)
            return S::SServiceCalls::System().openManager(machine, database, access);
        SetLastError(script.connectionError);
        return nullptr;
    }
};

} // namespace STest
