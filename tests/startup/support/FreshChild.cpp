// A fresh process standing for an ordinary application (user32 and gdi32, nothing of the agent's). It
// removes any hand-off values a reused process id may have left under the key named by its second
// argument, loads the DLL named by its first, and exits with which of the watched modules were loaded
// before (bits 8-15) and after (bits 0-7); 0x10000 when the DLL did not load.
#include <windows.h>

#include <cwchar>
#include <initializer_list>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || GetSystemMetrics(SM_CXSCREEN) < 0 || GetStockObject(DEFAULT_GUI_FONT) == nullptr)
        return 0x20000;
    for (const wchar_t* name : {L"Asynchronous", L"SessionId", L"AppId"})
    {
        wchar_t value[64];
        std::swprintf(value, 64, L"%08x-%ls", GetCurrentProcessId(), name);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, argv[2], value);
    }
    const wchar_t* const watched[] = {L"shell32.dll", L"ole32.dll",   L"dbghelp.dll",
                                      L"wer.dll",     L"userenv.dll", L"mpr.dll"};
    const auto loaded = [&]
    {
        int mask = 0;
        for (int i = 0; i < 6; ++i)
            mask |= GetModuleHandleW(watched[i]) != nullptr ? 1 << i : 0;
        return mask;
    };
    const int before = loaded();
    if (LoadLibraryW(argv[1]) == nullptr)
        return 0x10000;
    return before << 8 | loaded();
}
