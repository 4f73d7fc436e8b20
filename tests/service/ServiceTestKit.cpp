#include "ServiceTestKit.h"
#include "common/ProcessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <map>
#include <utility>

namespace STest
{

namespace
{

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

// Wine hands out the same few process ids run after run, so a run is also told apart by its start.
const std::wstring& OwnPrefix()
{
    static const std::wstring prefix = []
    {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return Said(L"LxSvcTest_%ls_", std::to_wstring(GetCurrentProcessId()) + L"x" +
                                           std::to_wstring(now.QuadPart & 0xFFFFFFFFFF));
    }();
    return prefix;
}

void EndProcess(DWORD processId)
{
    HANDLE process =
        processId != 0 ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId) : nullptr;
    if (process == nullptr)
        return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

} // namespace

void LogCapture::Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
                       int32_t result, const wchar_t* text)
{
    std::lock_guard lock(m_Lock);
    m_Lines.push_back({component, level.GetValue(), result, text});
}

std::vector<LogCapture::Line> LogCapture::Lines() const
{
    std::lock_guard lock(m_Lock);
    return m_Lines;
}

std::vector<LogCapture::Line> LogCapture::LinesWith(const std::wstring& needle) const
{
    std::vector<Line> found;
    for (const Line& line : Lines())
        if (line.text.find(needle) != std::wstring::npos)
            found.push_back(line);
    return found;
}

std::vector<std::wstring> LogCapture::TextsWith(const std::wstring& needle) const
{
    std::vector<std::wstring> texts;
    for (const Line& line : LinesWith(needle))
        texts.push_back(line.text);
    return texts;
}

bool LogCapture::Has(const std::wstring& text) const
{
    const auto lines = Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const Line& line) { return line.text == text; });
}

std::wstring Said(const wchar_t* format, const std::wstring& name)
{
    wchar_t text[1024];
    swprintf(text, 1024, format, name.c_str());
    return text;
}

// ---------------------------------------------------------------------------------------------

std::wstring TestService::UniqueName(const std::wstring& tag)
{
    static std::atomic<unsigned> serial{0};
    return OwnPrefix() + std::to_wstring(++serial) + L"_" + tag;
}

void TestService::SweepStaleServices()
{
    static std::once_flag swept;
    std::call_once(
        swept,
        []
        {
            S::SServiceManager manager;
            S::SResult result;
            S::SListT<S::SServiceEntry> services;
            if (GetEnvironmentVariableW(ChildVariable, nullptr, 0) != 0 ||
                manager.Init(result, S::ServiceManagerAccess::All, nullptr, nullptr).Failed() ||
                manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, services).Failed())
                return;
            for (const S::SServiceEntry& entry : services.GetItems())
            {
                const std::wstring name(entry.name.c_str());
                std::unique_ptr<S::SService> stale;
                if (name.rfind(L"LxSvcTest_", 0) != 0 || name.rfind(OwnPrefix(), 0) == 0 ||
                    manager.OpenService(result, &stale, entry.name, S::ServiceAccess::All).Failed())
                    continue;
                EndProcess(entry.status.processId);
                stale->Delete(result);
            }
        });
}

TestService::TestService(const std::wstring& tag, const std::wstring& options, bool hold)
    : m_Name(UniqueName(tag)), m_RecordKey(L"Software\\LumerelxTests\\Services\\" + m_Name)
{
    SweepStaleServices();
    std::wstring command =
        L"\"" + BinFolder() + L"service_host.exe\" " + m_Name + L" " + options + L" --record=" + m_RecordKey;
    if (hold)
    {
        const std::wstring holdName = L"Global\\" + m_Name + L"_hold";
        m_Hold = CreateEventW(nullptr, TRUE, FALSE, holdName.c_str());
        command += L" --hold=" + holdName;
    }
    S::SResult result;
    S::SServiceConfig config;
    config.serviceType = SERVICE_WIN32_OWN_PROCESS;
    config.startType = SERVICE_DEMAND_START;
    config.errorControl = SERVICE_ERROR_IGNORE;
    config.binaryPath = command.c_str();
    if (m_Manager.Init(result, S::ServiceManagerAccess::All, nullptr, nullptr).Succeeded())
        m_Manager.CreateService(result, &m_Service, SName(), config, S::ServiceAccess::All, nullptr);
    EXPECT_EQ(result.Code(), 0) << "cannot register the service";
}

TestService::~TestService()
{
    ReleaseHold();
    SERVICE_STATUS_PROCESS status{};
    if (m_Service != nullptr && Status(status) && status.dwCurrentState != SERVICE_STOPPED &&
        status.dwProcessId != 0)
    {
        SERVICE_STATUS ignored{};
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            ControlService(Handle(), SERVICE_CONTROL_STOP, &ignored);
        // Wine ends the process itself when the stop finds the service still busy with an earlier
        // one; the state then stays as it was, with no process.
        if (!WaitUntil(
                [&] {
                    return !Status(status) || status.dwCurrentState == SERVICE_STOPPED ||
                           status.dwProcessId == 0;
                },
                3000))
            EndProcess(status.dwProcessId);
    }
    if (m_Service != nullptr)
    {
        S::SResult result;
        m_Service->Delete(result);
        EXPECT_TRUE(result.Code() == 0 || result == S::ServiceResult::MarkedForDelete)
            << std::hex << result.Code();
    }
    m_Service.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, m_RecordKey.c_str());
    if (m_Hold != nullptr)
        CloseHandle(m_Hold);
}

SC_HANDLE TestService::Handle() const
{
    return m_Service != nullptr ? static_cast<SC_HANDLE>(m_Service->GetHandle()) : nullptr;
}

bool TestService::Status(SERVICE_STATUS_PROCESS& status) const
{
    DWORD needed = 0;
    status = {};
    return QueryServiceStatusEx(Handle(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof(status), &needed) != FALSE;
}

bool TestService::Start(DWORD until)
{
    StartGate gate;
    if (!StartServiceW(Handle(), 0, nullptr))
        ADD_FAILURE() << "StartServiceW failed with " << GetLastError();
    else if (!WaitForState(until))
        ADD_FAILURE() << "state " << State() << " instead of " << until;
    else
        return true;
    return false;
}

DWORD TestService::State() const
{
    SERVICE_STATUS_PROCESS status;
    return Status(status) ? status.dwCurrentState : 0;
}

DWORD TestService::ProcessId() const
{
    SERVICE_STATUS_PROCESS status;
    return Status(status) ? status.dwProcessId : 0;
}

bool TestService::WaitForState(DWORD state, DWORD timeoutMs) const
{
    return WaitUntil([&] { return State() == state; }, timeoutMs);
}

DWORD TestService::StopsReceived() const
{
    DWORD stops = 0;
    DWORD size = sizeof(stops);
    RegGetValueW(HKEY_CURRENT_USER, m_RecordKey.c_str(), L"Stops", RRF_RT_REG_DWORD, nullptr, &stops, &size);
    return stops;
}

void TestService::ReleaseHold()
{
    if (m_Hold != nullptr)
        SetEvent(m_Hold);
}

StartGate::StartGate() : m_Mutex(CreateMutexW(nullptr, FALSE, L"Global\\LxSvcTestStartGate"))
{
    // A gate whose holder died (abandoned) is taken over like a released one.
    if (m_Mutex != nullptr && WaitForSingleObject(m_Mutex, 60000) == WAIT_TIMEOUT)
    {
        ADD_FAILURE() << "the start gate stayed taken";
        CloseHandle(std::exchange(m_Mutex, nullptr));
    }
}

StartGate::~StartGate()
{
    if (m_Mutex != nullptr)
    {
        ReleaseMutex(m_Mutex);
        CloseHandle(m_Mutex);
    }
}

// ---------------------------------------------------------------------------------------------

namespace
{

enum class StopPolicy
{
    Pass,
    Refuse,
    Swallow,
    HoldForDependents,
};

struct ScriptedService
{
    StopPolicy stopPolicy = StopPolicy::Pass;
    int refusalsLeft = 0;
    std::vector<std::wstring> holdFor;
    bool listDependents = false;
    std::vector<std::wstring> dependents;
    int stops = 0;
    int enumerations = 0;
};

struct Script
{
    std::mutex lock;
    std::map<std::wstring, ScriptedService> services; // by lower-case name
    DWORD connectionError = 0;
    HANDLE gate = nullptr;
    int connections = 0;
};

Script& TheScript()
{
    static Script script;
    return script;
}

std::wstring NameOf(SC_HANDLE service)
{
    alignas(8) BYTE buffer[8192];
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    if (!QueryServiceConfigW(service, config, sizeof(buffer), &needed) || config->lpDisplayName == nullptr)
        return {};
    return Lower(config->lpDisplayName);
}

// The real status of a service by name; false when it cannot be read.
bool StatusOf(const std::wstring& name, SERVICE_STATUS& status)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager != nullptr ? OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
    const bool read = service != nullptr && QueryServiceStatus(service, &status);
    if (service != nullptr)
        CloseServiceHandle(service);
    if (manager != nullptr)
        CloseServiceHandle(manager);
    return read;
}

bool Active(const std::wstring& name)
{
    SERVICE_STATUS status{};
    return StatusOf(name, status) && status.dwCurrentState != SERVICE_STOPPED;
}

BOOL WINAPI ScriptedControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    Script& script = TheScript();
    StopPolicy policy = StopPolicy::Pass;
    std::vector<std::wstring> holdFor;
    if (const std::wstring name = control == SERVICE_CONTROL_STOP ? NameOf(service) : L""; !name.empty())
    {
        std::lock_guard lock(script.lock);
        ScriptedService& entry = script.services[name];
        ++entry.stops;
        policy = entry.stopPolicy == StopPolicy::Refuse && entry.refusalsLeft-- <= 0 ? StopPolicy::Pass
                                                                                     : entry.stopPolicy;
        holdFor = entry.holdFor;
    }
    if (policy == StopPolicy::HoldForDependents && std::none_of(holdFor.begin(), holdFor.end(), Active))
        policy = StopPolicy::Pass;
    if (policy == StopPolicy::Pass)
        return S::SServiceCalls::System().control(service, control, status);
    QueryServiceStatus(service, status);
    if (policy == StopPolicy::Swallow)
        return TRUE;
    SetLastError(policy == StopPolicy::Refuse ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL
                                              : ERROR_DEPENDENT_SERVICES_RUNNING);
    return FALSE;
}

BOOL WINAPI ScriptedEnumDependents(SC_HANDLE service, DWORD states, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                                   LPDWORD needed, LPDWORD count)
{
    Script& script = TheScript();
    const std::wstring name = NameOf(service);
    std::vector<std::wstring> dependents;
    {
        std::lock_guard lock(script.lock);
        const auto found = script.services.find(name);
        if (found == script.services.end() || !found->second.listDependents)
            return S::SServiceCalls::System().enumDependents(service, states, buffer, size, needed, count);
        dependents = found->second.dependents;
    }
    std::vector<std::pair<std::wstring, SERVICE_STATUS>> listed;
    DWORD bytes = 0;
    for (const std::wstring& dependent : dependents)
    {
        // One that does not exist is listed as running.
        SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
        StatusOf(dependent, status);
        if (states & (status.dwCurrentState != SERVICE_STOPPED ? SERVICE_ACTIVE : SERVICE_INACTIVE))
        {
            listed.emplace_back(dependent, status);
            bytes += static_cast<DWORD>(sizeof(ENUM_SERVICE_STATUSW) +
                                        (dependent.size() + 1) * 2 * sizeof(wchar_t));
        }
    }
    *count = 0;
    *needed = size < bytes ? bytes : 0;
    if (size < bytes)
    {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    auto* text = reinterpret_cast<wchar_t*>(buffer + listed.size());
    for (const auto& [dependent, status] : listed)
    {
        // The test services keep their display name equal to their name.
        for (LPWSTR* field : {&buffer->lpServiceName, &buffer->lpDisplayName})
        {
            *field = text;
            text = std::copy(dependent.begin(), dependent.end(), text);
            *text++ = L'\0';
        }
        (buffer++)->ServiceStatus = status;
    }
    *count = static_cast<DWORD>(listed.size());
    std::lock_guard lock(script.lock);
    ++script.services[name].enumerations;
    return TRUE;
}

SC_HANDLE WINAPI ScriptedOpenManager(LPCWSTR machine, LPCWSTR database, DWORD access)
{
    Script& script = TheScript();
    HANDLE gate = nullptr;
    DWORD error = 0;
    {
        std::lock_guard lock(script.lock);
        ++script.connections;
        gate = std::exchange(script.gate, nullptr);
        error = script.connectionError;
    }
    if (gate != nullptr)
        WaitForSingleObject(gate, 10000);
    if (error == 0)
        return S::SServiceCalls::System().openManager(machine, database, access);
    SetLastError(error);
    return nullptr;
}

template <typename Change> void Edit(Change change)
{
    std::lock_guard lock(TheScript().lock);
    change(TheScript());
}

template <typename Read> int Count(const std::wstring& service, Read read)
{
    std::lock_guard lock(TheScript().lock);
    const auto found = TheScript().services.find(Lower(service));
    return found != TheScript().services.end() ? read(found->second) : 0;
}

} // namespace

ServiceCallScript::ServiceCallScript()
{
    Edit(
        [](Script& script)
        {
            script.services.clear();
            script.connectionError = 0;
            script.gate = nullptr;
            script.connections = 0;
        });
    S::SServiceCalls calls;
    calls.openManager = ScriptedOpenManager;
    calls.enumDependents = ScriptedEnumDependents;
    calls.control = ScriptedControl;
    m_Previous = S::InstallServiceCalls(calls);
}

ServiceCallScript::~ServiceCallScript()
{
    S::InstallServiceCalls(m_Previous);
}

void ServiceCallScript::RefuseStops(const std::wstring& service, int count)
{
    Edit(
        [&](Script& script)
        {
            script.services[Lower(service)].stopPolicy = StopPolicy::Refuse;
            script.services[Lower(service)].refusalsLeft = count;
        });
}

void ServiceCallScript::SwallowStops(const std::wstring& service)
{
    Edit([&](Script& script) { script.services[Lower(service)].stopPolicy = StopPolicy::Swallow; });
}

void ServiceCallScript::HoldForDependents(const std::wstring& service,
                                          const std::vector<std::wstring>& dependents)
{
    Edit(
        [&](Script& script)
        {
            script.services[Lower(service)].stopPolicy = StopPolicy::HoldForDependents;
            script.services[Lower(service)].holdFor = dependents;
        });
}

void ServiceCallScript::ListDependents(const std::wstring& service,
                                       const std::vector<std::wstring>& dependents)
{
    Edit(
        [&](Script& script)
        {
            script.services[Lower(service)].listDependents = true;
            script.services[Lower(service)].dependents = dependents;
        });
}

void ServiceCallScript::FailConnections(DWORD error)
{
    Edit([&](Script& script) { script.connectionError = error; });
}

void ServiceCallScript::GateNextConnection(HANDLE event)
{
    Edit([&](Script& script) { script.gate = event; });
}

int ServiceCallScript::StopsSeen(const std::wstring& service) const
{
    return Count(service, [](const ScriptedService& entry) { return entry.stops; });
}

int ServiceCallScript::EnumerationsSeen(const std::wstring& service) const
{
    return Count(service, [](const ScriptedService& entry) { return entry.enumerations; });
}

int ServiceCallScript::ConnectionsSeen() const
{
    std::lock_guard lock(TheScript().lock);
    return TheScript().connections;
}

} // namespace STest
