// A service program for the service tests. Every registered instance gets its behaviour from its
// own command line, so one binary can play a well-behaved service, one that hangs in stop
// pending, or one that acknowledges a stop and then lands in the wrong state.
//
//   service_host.exe <name> [options]
//     --start-ms=N      time spent in start pending before the idle state
//     --idle=STATE      state after starting: running (default), paused, pausepending
//     --stop-ms=N       time spent in stop pending before stopped
//     --stop-hint=N     wait hint reported while stop pending
//     --hold=EVENT      stay in stop pending until the named event is set
//     --on-stop=STATE   answer the first stop by moving to STATE instead of stop pending
//     --settle-ms=N     with --on-stop: report stopped N ms after that first stop
//     --record=KEY      count the stop controls received in HKCU\KEY, value "Stops"
//
// Wine's control manager ignores what a handler returns, so refusals cannot come from here.
#include <windows.h>

#include <cwchar>
#include <string>
#include <utility>

namespace
{

struct Options
{
    std::wstring name;
    DWORD startMs = 0;
    DWORD idleState = SERVICE_RUNNING;
    DWORD stopMs = 0;
    DWORD stopHint = 0;
    std::wstring holdEvent;
    DWORD onStopState = 0;
    DWORD settleMs = 0;
    std::wstring recordKey;
};

Options g_Options;
SERVICE_STATUS_HANDLE g_StatusHandle = nullptr;
SERVICE_STATUS g_Status{};
CRITICAL_SECTION g_Lock;
HANDLE g_StopEvent = nullptr;
bool g_Detoured = false; // the first stop moved the service to the --on-stop state

DWORD ParseState(const std::wstring& text)
{
    if (text == L"running")
        return SERVICE_RUNNING;
    if (text == L"paused")
        return SERVICE_PAUSED;
    if (text == L"pausepending")
        return SERVICE_PAUSE_PENDING;
    return 0;
}

void ParseOptions(int argc, wchar_t** argv)
{
    if (argc > 1)
        g_Options.name = argv[1];
    for (int i = 2; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        const size_t equals = arg.find(L'=');
        const std::wstring key = arg.substr(0, equals);
        const std::wstring value = equals == std::wstring::npos ? L"" : arg.substr(equals + 1);
        const DWORD number = static_cast<DWORD>(wcstoul(value.c_str(), nullptr, 10));
        if (key == L"--start-ms")
            g_Options.startMs = number;
        else if (key == L"--idle")
            g_Options.idleState = ParseState(value);
        else if (key == L"--stop-ms")
            g_Options.stopMs = number;
        else if (key == L"--stop-hint")
            g_Options.stopHint = number;
        else if (key == L"--hold")
            g_Options.holdEvent = value;
        else if (key == L"--on-stop")
            g_Options.onStopState = ParseState(value);
        else if (key == L"--settle-ms")
            g_Options.settleMs = number;
        else if (key == L"--record")
            g_Options.recordKey = value;
    }
}

void Report(DWORD state, DWORD waitHint = 0)
{
    EnterCriticalSection(&g_Lock);
    g_Status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_Status.dwCurrentState = state;
    g_Status.dwControlsAccepted =
        state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    g_Status.dwWin32ExitCode = NO_ERROR;
    g_Status.dwWaitHint = waitHint;
    g_Status.dwCheckPoint =
        state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : g_Status.dwCheckPoint + 1;
    SetServiceStatus(g_StatusHandle, &g_Status);
    LeaveCriticalSection(&g_Lock);
}

void RecordStop()
{
    if (g_Options.recordKey.empty())
        return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, g_Options.recordKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    DWORD stops = 0;
    DWORD size = sizeof(stops);
    RegQueryValueExW(key, L"Stops", nullptr, nullptr, reinterpret_cast<BYTE*>(&stops), &size);
    ++stops;
    RegSetValueExW(key, L"Stops", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stops), sizeof(stops));
    RegCloseKey(key);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*)
{
    if (control == SERVICE_CONTROL_INTERROGATE)
        return NO_ERROR;
    if (control != SERVICE_CONTROL_STOP)
        return ERROR_CALL_NOT_IMPLEMENTED;
    RecordStop();
    if (g_Options.onStopState != 0)
    {
        g_Detoured = true;
        Report(std::exchange(g_Options.onStopState, 0));
    }
    else
    {
        Report(SERVICE_STOP_PENDING, g_Options.stopHint);
    }
    SetEvent(g_StopEvent);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**)
{
    g_StatusHandle = RegisterServiceCtrlHandlerExW(g_Options.name.c_str(), Handler, nullptr);
    if (g_StatusHandle == nullptr)
        return;
    Report(SERVICE_START_PENDING, g_Options.startMs + 1000);
    if (g_Options.startMs > 0)
        Sleep(g_Options.startMs);
    Report(g_Options.idleState != 0 ? g_Options.idleState : SERVICE_RUNNING);

    WaitForSingleObject(g_StopEvent, INFINITE);
    if (g_Detoured)
    {
        if (g_Options.settleMs > 0)
        {
            Sleep(g_Options.settleMs);
            Report(SERVICE_STOPPED);
            return;
        }
        // A later stop that reaches the handler ends the service normally.
        WaitForSingleObject(g_StopEvent, INFINITE);
    }
    if (!g_Options.holdEvent.empty())
    {
        HANDLE hold = OpenEventW(SYNCHRONIZE, FALSE, g_Options.holdEvent.c_str());
        if (hold != nullptr)
        {
            WaitForSingleObject(hold, INFINITE);
            CloseHandle(hold);
        }
    }
    else if (g_Options.stopMs > 0)
    {
        Sleep(g_Options.stopMs);
    }
    Report(SERVICE_STOPPED);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    ParseOptions(argc, argv);
    if (g_Options.name.empty())
        return 2;
    InitializeCriticalSection(&g_Lock);
    g_StopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SERVICE_TABLE_ENTRYW table[] = {{g_Options.name.data(), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
