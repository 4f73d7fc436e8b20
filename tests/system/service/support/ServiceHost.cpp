// A service program for the service tests:   service_host.exe <name> [options]
//   --paused, --pause-pending   the state once started, instead of running
//   --start-pending             stay start pending for good
//   --hold=HINT                 answer a stop by staying stop pending for good, with wait hint HINT
//   --pause-on-stop=MS          answer a stop by moving to pause pending, and MS later to stopped
//   --stop-pauses               answer every stop by reporting paused, and never stop
// Wine's control manager ignores what a handler returns, so refusals cannot come from here.
#include <windows.h>

#include <cwchar>

namespace
{

wchar_t* g_Name = nullptr;
SERVICE_STATUS_HANDLE g_Handle = nullptr;
SERVICE_STATUS g_Status{SERVICE_WIN32_OWN_PROCESS, 0, 0, 0, 0, 0, 0};
HANDLE g_Stop = CreateEventW(nullptr, FALSE, FALSE, nullptr);

const wchar_t* Find(const wchar_t* option)
{
    return wcsstr(GetCommandLineW(), option);
}

// The number after `option` on the command line, 0 when it is not there.
DWORD Number(const wchar_t* option)
{
    const wchar_t* found = Find(option);
    return found != nullptr ? wcstoul(found + wcslen(option), nullptr, 10) : 0;
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
    if (control == SERVICE_CONTROL_STOP && Find(L"--stop-pauses"))
        Report(SERVICE_PAUSED);
    else if (control == SERVICE_CONTROL_STOP)
    {
        Report(Find(L"--pause-on-stop=") ? SERVICE_PAUSE_PENDING : SERVICE_STOP_PENDING, Number(L"--hold="));
        SetEvent(g_Stop); // only now may the service thread report
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**)
{
    if ((g_Handle = RegisterServiceCtrlHandlerExW(g_Name, Handler, nullptr)) == nullptr)
        return;
    Report(SERVICE_START_PENDING, 1000);
    if (Find(L"--start-pending"))
        Sleep(INFINITE);
    Report(Find(L"--paused")          ? SERVICE_PAUSED
           : Find(L"--pause-pending") ? SERVICE_PAUSE_PENDING
                                      : SERVICE_RUNNING);
    WaitForSingleObject(g_Stop, INFINITE);
    Sleep(Find(L"--hold=") ? INFINITE : Number(L"--pause-on-stop="));
    Report(SERVICE_STOPPED);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    g_Name = argc > 1 ? argv[1] : nullptr;
    SERVICE_TABLE_ENTRYW table[] = {{g_Name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
