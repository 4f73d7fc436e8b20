#include "ServiceTestKit.h"
#include "common/ProcessRunner.h"
#include "library/system/service/ServiceCalls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace STest
{

namespace
{

std::atomic<ServiceCallScript*> g_Script{nullptr};

bool Scripted(SC_HANDLE service, const ServiceCallScript& script)
{
    alignas(8) BYTE buffer[8192];
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    DWORD needed = 0;
    return QueryServiceConfigW(service, config, sizeof(buffer), &needed) &&
           config->lpDisplayName != nullptr && config->lpDisplayName == script.service;
}

BOOL WINAPI ScriptedControl(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    ServiceCallScript& script = *g_Script;
    DWORD refusal = 0;
    if (control == SERVICE_CONTROL_STOP && Scripted(service, script))
    {
        ++script.stops;
        refusal = script.refusals-- > 0 ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL : 0;
        if (std::ranges::any_of(script.dependents, [](const std::wstring& dependent)
                                { return StatusOf(dependent).dwCurrentState > SERVICE_STOPPED; }))
            refusal = ERROR_DEPENDENT_SERVICES_RUNNING;
    }
    if (refusal == 0 && control == SERVICE_CONTROL_STOP && script.takeStopsWhilePaused &&
        Scripted(service, script) && QueryServiceStatus(service, status) &&
        status->dwCurrentState == SERVICE_PAUSED)
        return TRUE;
    if (refusal == 0)
        return S::SServiceCalls::System().control(service, control, status);
    QueryServiceStatus(service, status);
    SetLastError(refusal);
    return FALSE;
}

// The names the entries point to are the script's own.
BOOL WINAPI ScriptedEnumDependents(SC_HANDLE service, DWORD states, LPENUM_SERVICE_STATUSW buffer, DWORD size,
                                   LPDWORD needed, LPDWORD count)
{
    ServiceCallScript& script = *g_Script;
    if (!script.listed || !Scripted(service, script))
        return S::SServiceCalls::System().enumDependents(service, states, buffer, size, needed, count);
    std::vector<ENUM_SERVICE_STATUSW> found;
    for (std::wstring& dependent : script.dependents)
    {
        SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0};
        if (const SERVICE_STATUS_PROCESS real = StatusOf(dependent); real.dwCurrentState != 0)
            std::memcpy(&status, &real, sizeof(status)); // the same fields come first
        if (states & (status.dwCurrentState == SERVICE_STOPPED ? SERVICE_INACTIVE : SERVICE_ACTIVE))
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

SC_HANDLE WINAPI ScriptedOpenManager(LPCWSTR machine, LPCWSTR database, DWORD access)
{
    ServiceCallScript& script = *g_Script;
    ++script.connections;
    if (const HANDLE gate = script.gate.exchange(nullptr))
        WaitForSingleObject(gate, 10000);
    if (script.connectionError == 0)
        return S::SServiceCalls::System().openManager(machine, database, access);
    SetLastError(script.connectionError);
    return nullptr;
}

} // namespace

Lines TextsWith(const RecordingLogger& log, const std::wstring& needle)
{
    Lines texts;
    for (const RecordingLogger::Line& line : log.Lines())
        if (line.text.find(needle) != std::wstring::npos)
            texts.push_back(line.text);
    return texts;
}

std::wstring Said(const std::wstring& format, const std::wstring& name)
{
    wchar_t text[1024];
    swprintf(text, 1024, format.c_str(), name.c_str());
    return text;
}

SERVICE_STATUS_PROCESS StatusOf(const std::wstring& service)
{
    // A call on a handle that could not be opened just fails.
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE handle = OpenServiceW(manager, service.c_str(), SERVICE_QUERY_STATUS);
    QueryServiceStatusEx(handle, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                         &needed);
    CloseServiceHandle(handle);
    CloseServiceHandle(manager);
    return status;
}

std::wstring TestService::UniqueName(const std::wstring& tag)
{
    // Wine hands out the same few process ids run after run, so a run is also told by its start.
    static const std::wstring run =
        std::to_wstring(GetCurrentProcessId()) + L"x" + std::to_wstring(GetTickCount64());
    static std::atomic<unsigned> serial{0};
    return L"LxSvcTest_" + run + L"_" + std::to_wstring(++serial) + L"_" + tag;
}

TestService::TestService(const std::wstring& tag, const std::wstring& options) : m_Name(UniqueName(tag))
{
    const std::wstring command = Quote(BinFolder() + L"service_host.exe") + L" " + m_Name + L" " + options;
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
    if (m_Service == nullptr)
        return;
    // A held service never stops; and Wine ends the process itself when a stop finds the service
    // busy with an earlier one, leaving the state as it was.
    const SERVICE_STATUS_PROCESS status = StatusOf(m_Name);
    SERVICE_STATUS ignored{};
    if (status.dwProcessId != 0 &&
        (status.dwCurrentState == SERVICE_STOP_PENDING ||
         !ControlService(static_cast<SC_HANDLE>(m_Service->GetHandle()), SERVICE_CONTROL_STOP, &ignored) ||
         !WaitUntil([&] { return State() == SERVICE_STOPPED || ProcessId() == 0; }, 3000)))
    {
        const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId);
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
    S::SResult result;
    EXPECT_TRUE(m_Service->Delete(result).Code() == 0 || result == S::ServiceResult::MarkedForDelete);
}

bool TestService::Start()
{
    S::SResult result;
    return Registered() && m_Service->Start(result, 0, nullptr).Succeeded() &&
           WaitUntil([&] { return State() != SERVICE_START_PENDING && State() != SERVICE_STOPPED; });
}

ServiceCallScript::ServiceCallScript(const std::wstring& service) : service(service)
{
    g_Script = this;
    S::InstallServiceCalls({ScriptedOpenManager, ScriptedEnumDependents, ScriptedControl});
}

ServiceCallScript::~ServiceCallScript()
{
    S::InstallServiceCalls({}); // the system's calls again
}

} // namespace STest
