// A network provider whose enumeration probes memory the way third-party providers do: through calls
// that fault and handle their own faults. It lists no connection. What the probes answered goes to the
// registry value named by LUMERELX_PROBE_KEY (under HKEY_CURRENT_USER), so that a test can see that the
// enumeration ran and kept its answers.
#include <windows.h>
#include <winnetwk.h>
extern "C"
{
#include <npapi.h>
}

#include <string>

extern "C" DWORD APIENTRY NPGetCaps(DWORD index)
{
    return index == WNNC_SPEC_VERSION  ? WNNC_SPEC_VERSION51
           : index == WNNC_NET_TYPE    ? 0x00FD0000
           : index == WNNC_ENUMERATION ? WNNC_ENUM_LOCAL
                                       : 0;
}

extern "C" DWORD APIENTRY NPOpenEnum(DWORD scope, DWORD, DWORD, LPNETRESOURCEW, LPHANDLE handle)
{
    if (scope != RESOURCE_CONNECTED)
        return WN_NOT_SUPPORTED;
    const std::wstring answers = std::to_wstring(IsBadReadPtr(reinterpret_cast<void*>(1), 4)) + L"|" +
                                 std::to_wstring(lstrlenW(reinterpret_cast<LPCWSTR>(1)));
    wchar_t key[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LUMERELX_PROBE_KEY", key, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Answers", REG_SZ, answers.c_str(),
                        static_cast<DWORD>((answers.size() + 1) * sizeof(wchar_t)));
    *handle = reinterpret_cast<HANDLE>(1);
    return WN_SUCCESS;
}

extern "C" DWORD APIENTRY NPEnumResource(HANDLE, LPDWORD count, LPVOID, LPDWORD)
{
    *count = 0;
    return WN_NO_MORE_ENTRIES;
}

extern "C" DWORD APIENTRY NPCloseEnum(HANDLE)
{
    return WN_SUCCESS;
}
