// The floor of the fresh-process figure: a DLL built and linked as the agent is, doing nothing.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
