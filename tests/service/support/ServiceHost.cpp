// A service program for the service tests; each registered instance picks its behaviour on its
// command line:   service_host.exe <name> [options]
//   --idle=STATE      state once started: running (default), paused, pausepending
//   --stop-hint=N     wait hint reported while stop pending
//   --hold=EVENT      stay stop pending until the named event is set
//   --on-stop=STATE   answer the first stop by moving to STATE, then --settle-ms=N later to stopped
//   --record=KEY      count the stops received in HKCU\KEY, value "Stops"
// Wine's control manager ignores what a handler returns, so refusals cannot come from here.
#include <windows.h>

#include <cwchar>
#include <string>

namespace
{

std::wstring g_Name, g_Hold, g_Record;
DWORD g_IdleState = SERVICE_RUNNING, g_OnStop = 0, g_StopHint = 0, g_SettleMs = 0;
SERVICE_STATUS_HANDLE g_Handle = nullptr;
SERVICE_STATUS g_Status{SERVICE_WIN32_OWN_PROCESS, 0, 0, 0, 0, 0, 0};
HANDLE g_Stop = CreateEventW(nullptr, FALSE, FALSE, nullptr);

DWORD State(const std::wstring& text)
{
    return text == L"paused"         ? SERVICE_PAUSED
           : text == L"pausepending" ? SERVICE_PAUSE_PENDING
                                     : SERVICE_RUNNING;
}

// Called from the handler and the service thread, never at the same time.
void Report(DWORD state, DWORD waitHint = 0)
{
    g_Status.dwCurrentState = state;
    g_Status.dwControlsAccepted =
        state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    g_Status.dwWaitHint = waitHint;
    ++g_Status.dwCheckPoint;
    SetServiceStatus(g_Handle, &g_Status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*)
{
    if (control != SERVICE_CONTROL_STOP)
        return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
    DWORD stops = 0;
    DWORD size = sizeof(stops);
    RegGetValueW(HKEY_CURRENT_USER, g_Record.c_str(), L"Stops", RRF_RT_REG_DWORD, nullptr, &stops, &size);
    ++stops;
    RegSetKeyValueW(HKEY_CURRENT_USER, g_Record.c_str(), L"Stops", REG_DWORD, &stops, sizeof(stops));
    Report(g_OnStop != 0 ? g_OnStop : SERVICE_STOP_PENDING, g_StopHint);
    SetEvent(g_Stop);
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**)
{
    if ((g_Handle = RegisterServiceCtrlHandlerExW(g_Name.c_str(), Handler, nullptr)) == nullptr)
        return;
    Report(SERVICE_START_PENDING, 1000);
    Report(g_IdleState);
    WaitForSingleObject(g_Stop, INFINITE);
    if (g_OnStop != 0)
        Sleep(g_SettleMs);
    else if (HANDLE hold = g_Hold.empty() ? nullptr : OpenEventW(SYNCHRONIZE, FALSE, g_Hold.c_str()))
        WaitForSingleObject(hold, INFINITE);
    Report(SERVICE_STOPPED);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    g_Name = argc > 1 ? argv[1] : L"";
    for (int i = 2; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        const std::wstring key = arg.substr(0, arg.find(L'='));
        const std::wstring value = arg.substr(key.size() + (key.size() < arg.size() ? 1 : 0));
        const DWORD number = wcstoul(value.c_str(), nullptr, 10);
        if (key == L"--idle")
            g_IdleState = State(value);
        else if (key == L"--stop-hint")
            g_StopHint = number;
        else if (key == L"--hold")
            g_Hold = value;
        else if (key == L"--on-stop")
            g_OnStop = State(value);
        else if (key == L"--settle-ms")
            g_SettleMs = number;
        else if (key == L"--record")
            g_Record = value;
    }
    SERVICE_TABLE_ENTRYW table[] = {{g_Name.data(), ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
