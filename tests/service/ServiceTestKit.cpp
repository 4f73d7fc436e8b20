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
        return L"LxSvcTest_" + std::to_wstring(GetCurrentProcessId()) + L"x" +
               std::to_wstring(now.QuadPart & 0xFFFFFFFFFF) + L"_";
    }();
    return prefix;
}

void EndProcess(DWORD processId)
{
    if (HANDLE process =
            processId != 0 ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId) : nullptr)
    {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

} // namespace

void LogCapture::Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
                       int32_t result, const wchar_t* text)
{
    {
        std::lock_guard lock(m_Lock);
        m_Lines.push_back({text, level.GetValue(), result, component});
    }
    if (m_Outer != nullptr)
        m_Outer->Write(component, 0, 0, 0, S::SLogType::Default, level, result, text);
}

std::vector<LogCapture::Line> LogCapture::With(const std::wstring& needle) const
{
    std::lock_guard lock(m_Lock);
    std::vector<Line> found;
    std::copy_if(m_Lines.begin(), m_Lines.end(), std::back_inserter(found),
                 [&](const Line& line) { return line.text.find(needle) != std::wstring::npos; });
    return found;
}

std::vector<std::wstring> LogCapture::TextsWith(const std::wstring& needle) const
{
    std::vector<std::wstring> texts;
    for (const Line& line : With(needle))
        texts.push_back(line.text);
    return texts;
}

std::wstring Said(const wchar_t* format, const std::wstring& name)
{
    wchar_t text[1024];
    swprintf(text, 1024, format, name.c_str());
    return text;
}

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
                if (name.rfind(L"LxSvcTest_", 0) == 0 && name.rfind(OwnPrefix(), 0) != 0 &&
                    manager.OpenService(result, &stale, entry.name, S::ServiceAccess::All).Succeeded())
                {
                    EndProcess(entry.status.processId);
                    stale->Delete(result);
                }
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
        m_Hold = CreateEventW(nullptr, TRUE, FALSE, (L"Global\\" + m_Name).c_str());
        command += L" --hold=Global\\" + m_Name;
    }
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

TestService::~TestService()
{
    if (m_Hold != nullptr)
        SetEvent(m_Hold);
    if (SERVICE_STATUS_PROCESS status = Status(); m_Service != nullptr && status.dwProcessId != 0)
    {
        SERVICE_STATUS ignored{};
        if (status.dwCurrentState != SERVICE_STOP_PENDING)
            ControlService(static_cast<SC_HANDLE>(m_Service->GetHandle()), SERVICE_CONTROL_STOP, &ignored);
        // Wine ends the process itself when a stop finds the service still busy with an earlier
        // one; the state then stays as it was, with no process.
        if (!WaitUntil([&] { return State() == SERVICE_STOPPED || ProcessId() == 0; }, 3000))
            EndProcess(status.dwProcessId);
    }
    if (m_Service != nullptr)
    {
        S::SResult result;
        EXPECT_TRUE(m_Service->Delete(result).Code() == 0 || result == S::ServiceResult::MarkedForDelete);
    }
    m_Service.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, m_RecordKey.c_str());
    if (m_Hold != nullptr)
        CloseHandle(m_Hold);
}

SERVICE_STATUS_PROCESS TestService::Status() const
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (m_Service != nullptr)
        QueryServiceStatusEx(static_cast<SC_HANDLE>(m_Service->GetHandle()), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof(status), &needed);
    return status;
}

bool TestService::Start(DWORD until)
{
    S::SResult result;
    EXPECT_EQ(m_Service->Start(result, 0, nullptr).Code(), 0);
    return result.Succeeded() && WaitForState(until);
}

bool TestService::WaitForState(DWORD state) const
{
    return WaitUntil([&] { return State() == state; });
}

DWORD TestService::StopsReceived() const
{
    DWORD stops = 0;
    DWORD size = sizeof(stops);
    RegGetValueW(HKEY_CURRENT_USER, m_RecordKey.c_str(), L"Stops", RRF_RT_REG_DWORD, nullptr, &stops, &size);
    return stops;
}

namespace
{

struct ScriptedService
{
    int refusals = 0;
    std::vector<std::wstring> holdFor;
    std::vector<std::wstring> dependents;
    bool listDependents = false;
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
} g_Script;

std::wstring NameOf(SC_HANDLE service)
{
    alignas(8) BYTE buffer[8192];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    DWORD needed = 0;
    if (!QueryServiceConfigW(service, config, sizeof(buffer), &needed) || config->lpDisplayName == nullptr)
        return {};
    return Lower(config->lpDisplayName);
}

// A real status by service name; one that cannot be read stays as given.
SERVICE_STATUS StatusOf(const std::wstring& name, SERVICE_STATUS status = {})
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (SC_HANDLE service = manager ? OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr)
    {
        QueryServiceStatus(service, &status);
        CloseServiceHandle(service);
    }
    if (manager != nullptr)
        CloseServiceHandle(manager);
    return status;
}

BOOL WINAPI ScriptedControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    DWORD refusal = 0;
    if (const std::wstring name = control == SERVICE_CONTROL_STOP ? NameOf(service) : L""; !name.empty())
    {
        std::unique_lock lock(g_Script.lock);
        ScriptedService& entry = g_Script.services[name];
        ++entry.stops;
        const std::vector<std::wstring> holdFor = entry.holdFor;
        if (entry.refusals > 0)
        {
            --entry.refusals;
            refusal = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        }
        lock.unlock();
        if (std::any_of(holdFor.begin(), holdFor.end(),
                        [](const std::wstring& dependent)
                        { return StatusOf(dependent).dwCurrentState > SERVICE_STOPPED; }))
            refusal = ERROR_DEPENDENT_SERVICES_RUNNING;
    }
    if (refusal == 0)
        return S::SServiceCalls::System().control(service, control, status);
    QueryServiceStatus(service, status);
    SetLastError(refusal);
    return FALSE;
}

BOOL WINAPI ScriptedEnumDependents(SC_HANDLE service, DWORD states, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                                   LPDWORD needed, LPDWORD count)
{
    const std::wstring name = NameOf(service);
    std::unique_lock lock(g_Script.lock);
    const auto found = g_Script.services.find(name);
    const bool scripted = found != g_Script.services.end() && found->second.listDependents;
    const std::vector<std::wstring> dependents =
        scripted ? found->second.dependents : std::vector<std::wstring>();
    lock.unlock();
    if (!scripted)
        return S::SServiceCalls::System().enumDependents(service, states, buffer, size, needed, count);
    std::vector<std::pair<std::wstring, SERVICE_STATUS>> listed;
    DWORD bytes = 0;
    for (const std::wstring& dependent : dependents)
    {
        // One that does not exist is listed as running.
        const SERVICE_STATUS status =
            StatusOf(dependent, {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0});
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
        for (LPWSTR* field : {&buffer->lpServiceName, &buffer->lpDisplayName}) // display name = name
        {
            *field = text;
            text = std::copy(dependent.begin(), dependent.end(), text);
            *text++ = L'\0';
        }
        (buffer++)->ServiceStatus = status;
    }
    *count = static_cast<DWORD>(listed.size());
    std::lock_guard relock(g_Script.lock);
    ++g_Script.services[name].enumerations;
    return TRUE;
}

SC_HANDLE WINAPI ScriptedOpenManager(LPCWSTR machine, LPCWSTR database, DWORD access)
{
    std::unique_lock lock(g_Script.lock);
    ++g_Script.connections;
    const HANDLE gate = std::exchange(g_Script.gate, nullptr);
    const DWORD error = g_Script.connectionError;
    lock.unlock();
    if (gate != nullptr)
        WaitForSingleObject(gate, 10000);
    if (error == 0)
        return S::SServiceCalls::System().openManager(machine, database, access);
    SetLastError(error);
    return nullptr;
}

template <typename Change> void Edit(const std::wstring& service, Change change)
{
    std::lock_guard lock(g_Script.lock);
    change(g_Script.services[Lower(service)]);
}

} // namespace

ServiceCallScript::ServiceCallScript()
{
    {
        std::lock_guard lock(g_Script.lock);
        g_Script.services.clear();
        g_Script.connectionError = 0;
        g_Script.gate = nullptr;
        g_Script.connections = 0;
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
    Edit(service, [&](ScriptedService& entry) { entry.refusals = count; });
}

void ServiceCallScript::HoldForDependents(const std::wstring& service,
                                          const std::vector<std::wstring>& dependents)
{
    Edit(service, [&](ScriptedService& entry) { entry.holdFor = dependents; });
}

void ServiceCallScript::ListDependents(const std::wstring& service,
                                       const std::vector<std::wstring>& dependents)
{
    Edit(service,
         [&](ScriptedService& entry)
         {
             entry.listDependents = true;
             entry.dependents = dependents;
         });
}

void ServiceCallScript::FailConnections(DWORD error)
{
    std::lock_guard lock(g_Script.lock);
    g_Script.connectionError = error;
}

void ServiceCallScript::GateNextConnection(HANDLE event)
{
    std::lock_guard lock(g_Script.lock);
    g_Script.gate = event;
}

int ServiceCallScript::StopsSeen(const std::wstring& service) const
{
    int stops = 0;
    Edit(service, [&](ScriptedService& entry) { stops = entry.stops; });
    return stops;
}

int ServiceCallScript::EnumerationsSeen(const std::wstring& service) const
{
    int enumerations = 0;
    Edit(service, [&](ScriptedService& entry) { enumerations = entry.enumerations; });
    return enumerations;
}

int ServiceCallScript::ConnectionsSeen() const
{
    std::lock_guard lock(g_Script.lock);
    return g_Script.connections;
}

} // namespace STest
