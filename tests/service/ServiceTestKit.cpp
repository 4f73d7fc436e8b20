#include "ServiceTestKit.h"

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

constexpr wchar_t NamePrefix[] = L"LxSvcTest_";

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

// Wine hands out the same few process ids run after run, so the run is told apart by its start.
std::wstring OwnPrefix()
{
    static const std::wstring prefix = []
    {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        wchar_t text[64];
        swprintf(text, 64, L"%ls%lx%llx_", NamePrefix, GetCurrentProcessId(),
                 static_cast<unsigned long long>(now.QuadPart) & 0xFFFFFFFFFFull);
        return std::wstring(text);
    }();
    return prefix;
}

DWORD RawStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status)
{
    status = {};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof(status), &needed))
        return GetLastError();
    return 0;
}

void EndProcess(DWORD processId)
{
    if (processId == 0)
        return;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
        return;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
}

// Services left behind by an earlier run that did not finish (it crashed or was killed).
void SweepStale()
{
    S::SServiceManager manager;
    S::SResult result;
    if (manager.Init(result, S::ServiceManagerAccess::All, nullptr, nullptr).Failed())
        return;
    S::SListT<S::SServiceEntry> services;
    manager.EnumAllServices(result, SERVICE_WIN32, SERVICE_STATE_ALL, services);
    const std::wstring own = OwnPrefix();
    for (const S::SServiceEntry& entry : services.GetItems())
    {
        const std::wstring name(entry.name.c_str());
        if (name.rfind(NamePrefix, 0) != 0 || name.rfind(own, 0) == 0)
            continue;
        std::unique_ptr<S::SService> stale;
        if (manager.OpenService(result, &stale, entry.name, S::ServiceAccess::All).Failed())
            continue;
        EndProcess(entry.status.processId);
        stale->Delete(result);
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// LogCapture

LogCapture::LogCapture()
{
    S::InstallLeveledLogger(this);
}

LogCapture::~LogCapture()
{
    S::InstallLeveledLogger(nullptr);
}

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
    const std::vector<Line> lines = Lines();
    return std::any_of(lines.begin(), lines.end(), [&text](const Line& line) { return line.text == text; });
}

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// ---------------------------------------------------------------------------------------------
// TestService

std::wstring TestService::UniqueName(const std::wstring& tag)
{
    static std::atomic<unsigned> serial{0};
    wchar_t number[32];
    swprintf(number, 32, L"%u_", ++serial);
    return OwnPrefix() + number + tag;
}

TestService::TestService(const std::wstring& tag, const std::wstring& options, bool hold,
                         const std::wstring& name)
    : m_Name(name.empty() ? UniqueName(tag) : name)
{
    SweepStaleServices();

    m_RecordKey = L"Software\\LumerelxTests\\Services\\" + m_Name;
    std::wstring command =
        L"\"" + BinFolder() + L"service_host.exe\" " + m_Name + L" " + options + L" --record=" + m_RecordKey;
    if (hold)
    {
        const std::wstring holdName = L"Global\\" + m_Name + L"_hold";
        m_Hold = CreateEventW(nullptr, TRUE, FALSE, holdName.c_str());
        EXPECT_NE(m_Hold, nullptr);
        command += L" --hold=" + holdName;
    }
    S::SResult result;
    EXPECT_EQ(m_Manager.Init(result, S::ServiceManagerAccess::All, nullptr, nullptr).Code(), 0);
    S::SServiceConfig config;
    config.serviceType = SERVICE_WIN32_OWN_PROCESS;
    config.startType = SERVICE_DEMAND_START;
    config.errorControl = SERVICE_ERROR_IGNORE;
    config.binaryPath = command.c_str();
    EXPECT_EQ(
        m_Manager.CreateService(result, &m_Service, SName(), config, S::ServiceAccess::All, nullptr).Code(),
        0)
        << "cannot register " << std::string(m_Name.begin(), m_Name.end());
}

TestService::~TestService()
{
    ReleaseHold();
    if (m_Service != nullptr)
    {
        const SC_HANDLE handle = Handle();
        SERVICE_STATUS_PROCESS status{};
        if (RawStatus(handle, status) == 0 && status.dwCurrentState != SERVICE_STOPPED &&
            status.dwProcessId != 0)
        {
            if (status.dwCurrentState != SERVICE_STOP_PENDING)
            {
                SERVICE_STATUS ignored{};
                ControlService(handle, SERVICE_CONTROL_STOP, &ignored);
            }
            // Wine ends the process itself when a stop finds the service still busy with an
            // earlier one; the state then stays as it was, with no process.
            const bool ended = WaitUntil(
                [&]
                {
                    return RawStatus(handle, status) != 0 || status.dwCurrentState == SERVICE_STOPPED ||
                           status.dwProcessId == 0;
                },
                3000);
            if (!ended)
                EndProcess(status.dwProcessId);
        }
        S::SResult result;
        m_Service->Delete(result);
        EXPECT_TRUE(result.Code() == 0 || result == S::ServiceResult::MarkedForDelete)
            << std::hex << result.Code();
        m_Service.reset();
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, m_RecordKey.c_str());
    if (m_Hold != nullptr)
        CloseHandle(m_Hold);
}

void TestService::SweepStaleServices()
{
    static std::once_flag swept;
    std::call_once(swept,
                   []
                   {
                       if (GetEnvironmentVariableW(ChildVariable, nullptr, 0) == 0)
                           SweepStale();
                   });
}

SC_HANDLE TestService::Handle() const
{
    return m_Service != nullptr ? static_cast<SC_HANDLE>(m_Service->GetHandle()) : nullptr;
}

StartGate::StartGate() : m_Mutex(CreateMutexW(nullptr, FALSE, L"Global\\LxSvcTestStartGate"))
{
    // An abandoned gate (its holder died) is taken over like a released one.
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

bool TestService::Start(DWORD until)
{
    StartGate gate;
    if (!StartServiceW(Handle(), 0, nullptr))
    {
        ADD_FAILURE() << "StartServiceW failed with " << GetLastError();
        return false;
    }
    if (!WaitForState(until))
    {
        ADD_FAILURE() << "state " << State() << " instead of " << until;
        return false;
    }
    return true;
}

DWORD TestService::State() const
{
    SERVICE_STATUS_PROCESS status{};
    return RawStatus(Handle(), status) == 0 ? status.dwCurrentState : 0;
}

DWORD TestService::ProcessId() const
{
    SERVICE_STATUS_PROCESS status{};
    return RawStatus(Handle(), status) == 0 ? status.dwProcessId : 0;
}

bool TestService::WaitForState(DWORD state, DWORD timeoutMs) const
{
    return WaitUntil([&] { return State() == state; }, timeoutMs);
}

DWORD TestService::StopsReceived() const
{
    DWORD stops = 0;
    DWORD size = sizeof(stops);
    if (RegGetValueW(HKEY_CURRENT_USER, m_RecordKey.c_str(), L"Stops", RRF_RT_REG_DWORD, nullptr, &stops,
                     &size) != ERROR_SUCCESS)
        return 0;
    return stops;
}

void TestService::ReleaseHold()
{
    if (m_Hold != nullptr)
        SetEvent(m_Hold);
}

// ---------------------------------------------------------------------------------------------
// ServiceCallScript

struct ServiceCallScript::State
{
    enum class StopPolicy
    {
        Pass,
        Refuse,
        Swallow,
        HoldForDependents,
    };
    struct Service
    {
        StopPolicy stopPolicy = StopPolicy::Pass;
        int refusalsLeft = 0;
        std::vector<std::wstring> holdFor;
        bool listDependents = false;
        std::vector<std::wstring> dependents;
        int stops = 0;
        int enumerations = 0;
    };

    std::mutex lock;
    std::map<std::wstring, Service> services; // by lower-case name
    DWORD connectionError = 0;
    HANDLE gate = nullptr;
    int connections = 0;

    static State& Get()
    {
        static State state;
        return state;
    }
};

namespace
{

using ScriptState = ServiceCallScript::State;

std::wstring NameOf(SC_HANDLE service)
{
    BYTE buffer[8192];
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    if (!QueryServiceConfigW(service, config, sizeof(buffer), &needed) || config->lpDisplayName == nullptr)
        return {};
    return Lower(config->lpDisplayName);
}

// The real state of a service by name; 0 when it cannot be read.
DWORD StateOf(const std::wstring& name, SERVICE_STATUS* statusOut = nullptr)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr)
        return 0;
    DWORD state = 0;
    if (SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS))
    {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status))
        {
            state = status.dwCurrentState;
            if (statusOut != nullptr)
                *statusOut = status;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

BOOL WINAPI ScriptedControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    ScriptState& script = ScriptState::Get();
    const std::wstring name = control == SERVICE_CONTROL_STOP ? NameOf(service) : std::wstring();
    ScriptState::StopPolicy policy = ScriptState::StopPolicy::Pass;
    std::vector<std::wstring> holdFor;
    {
        std::lock_guard lock(script.lock);
        if (!name.empty())
        {
            ScriptState::Service& entry = script.services[name];
            ++entry.stops;
            policy = entry.stopPolicy;
            if (policy == ScriptState::StopPolicy::Refuse && entry.refusalsLeft-- <= 0)
                policy = ScriptState::StopPolicy::Pass;
            holdFor = entry.holdFor;
        }
    }
    if (policy == ScriptState::StopPolicy::HoldForDependents &&
        std::none_of(holdFor.begin(), holdFor.end(),
                     [](const std::wstring& dependent) { return StateOf(dependent) != SERVICE_STOPPED; }))
        policy = ScriptState::StopPolicy::Pass;

    switch (policy)
    {
    case ScriptState::StopPolicy::Refuse:
    case ScriptState::StopPolicy::HoldForDependents:
        QueryServiceStatus(service, status);
        SetLastError(policy == ScriptState::StopPolicy::Refuse ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL
                                                               : ERROR_DEPENDENT_SERVICES_RUNNING);
        return FALSE;
    case ScriptState::StopPolicy::Swallow:
        return QueryServiceStatus(service, status);
    default:
        return S::SServiceCalls::System().control(service, control, status);
    }
}

BOOL WINAPI ScriptedEnumDependents(SC_HANDLE service, DWORD states, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                                   LPDWORD needed, LPDWORD count)
{
    ScriptState& script = ScriptState::Get();
    const std::wstring name = NameOf(service);
    std::vector<std::wstring> dependents;
    {
        std::lock_guard lock(script.lock);
        auto found = script.services.find(name);
        if (found == script.services.end() || !found->second.listDependents)
            return S::SServiceCalls::System().enumDependents(service, states, buffer, size, needed, count);
        dependents = found->second.dependents;
    }
    struct Listed
    {
        std::wstring name;
        SERVICE_STATUS status;
    };
    std::vector<Listed> listed;
    for (const std::wstring& dependent : dependents)
    {
        SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
        StateOf(dependent, &status); // a dependent that does not exist stays "running"
        const bool active = status.dwCurrentState != SERVICE_STOPPED;
        if ((active && (states & SERVICE_ACTIVE)) || (!active && (states & SERVICE_INACTIVE)))
            listed.push_back({dependent, status});
    }
    DWORD bytes = static_cast<DWORD>(listed.size() * sizeof(ENUM_SERVICE_STATUSW));
    for (const Listed& entry : listed)
        bytes += static_cast<DWORD>((entry.name.size() + 1) * sizeof(wchar_t) * 2);
    *count = 0;
    if (size < bytes)
    {
        *needed = bytes;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    *needed = 0;
    {
        std::lock_guard lock(script.lock);
        ++script.services[name].enumerations; // a complete answer, not a size probe
    }
    auto* text = reinterpret_cast<wchar_t*>(buffer + listed.size());
    for (size_t i = 0; i < listed.size(); ++i)
    {
        // The test services keep their display name equal to their name.
        for (LPWSTR* field : {&buffer[i].lpServiceName, &buffer[i].lpDisplayName})
        {
            *field = text;
            text = std::copy(listed[i].name.begin(), listed[i].name.end(), text);
            *text++ = L'\0';
        }
        buffer[i].ServiceStatus = listed[i].status;
    }
    *count = static_cast<DWORD>(listed.size());
    return TRUE;
}

SC_HANDLE WINAPI ScriptedOpenManager(LPCWSTR machine, LPCWSTR database, DWORD access)
{
    ScriptState& script = ScriptState::Get();
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
    if (error != 0)
    {
        SetLastError(error);
        return nullptr;
    }
    return S::SServiceCalls::System().openManager(machine, database, access);
}

ScriptState::Service& Entry(ScriptState& script, const std::wstring& service)
{
    return script.services[Lower(service)];
}

} // namespace

ServiceCallScript::ServiceCallScript()
{
    ScriptState& script = ScriptState::Get();
    {
        std::lock_guard lock(script.lock);
        script.services.clear();
        script.connectionError = 0;
        script.gate = nullptr;
        script.connections = 0;
    }
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
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    State::Service& entry = Entry(script, service);
    entry.stopPolicy = State::StopPolicy::Refuse;
    entry.refusalsLeft = count;
}

void ServiceCallScript::SwallowStops(const std::wstring& service)
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    Entry(script, service).stopPolicy = State::StopPolicy::Swallow;
}

void ServiceCallScript::HoldForDependents(const std::wstring& service,
                                          const std::vector<std::wstring>& dependents)
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    State::Service& entry = Entry(script, service);
    entry.stopPolicy = State::StopPolicy::HoldForDependents;
    entry.holdFor = dependents;
}

void ServiceCallScript::ListDependents(const std::wstring& service,
                                       const std::vector<std::wstring>& dependents)
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    State::Service& entry = Entry(script, service);
    entry.listDependents = true;
    entry.dependents = dependents;
}

void ServiceCallScript::FailConnections(DWORD error)
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    script.connectionError = error;
}

void ServiceCallScript::GateNextConnection(HANDLE event)
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    script.gate = event;
}

int ServiceCallScript::StopsSeen(const std::wstring& service) const
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    auto found = script.services.find(Lower(service));
    return found != script.services.end() ? found->second.stops : 0;
}

int ServiceCallScript::EnumerationsSeen(const std::wstring& service) const
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    auto found = script.services.find(Lower(service));
    return found != script.services.end() ? found->second.enumerations : 0;
}

int ServiceCallScript::ConnectionsSeen() const
{
    ScriptState& script = ScriptState::Get();
    std::lock_guard lock(script.lock);
    return script.connections;
}

} // namespace STest
