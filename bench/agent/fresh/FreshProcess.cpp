// A fresh process that stands for an ordinary application: it has user32 and gdi32 and nothing of
// the agent's. It loads each module named on its command line, in order, and exits with the
// microseconds that took in all (0xFFFFFFF0 and above: it failed). Modules named before a "--" are
// loaded first and not counted.
#include <windows.h>

int main(int argc, char** argv)
{
    // An application that draws text has these two loaded before anything is placed in it.
    if (GetSystemMetrics(SM_CXSCREEN) < 0 || GetStockObject(DEFAULT_GUI_FONT) == nullptr)
        return static_cast<int>(0xFFFFFFF0u);
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    int first = 1;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && argv[i][1] == '-' && argv[i][2] == '\0')
            first = i + 1;
    for (int i = 1; i + 1 < first; ++i)
        if (LoadLibraryA(argv[i]) == nullptr)
            return static_cast<int>(0xFFFFFFF1u);
    QueryPerformanceCounter(&start);
    for (int i = first; i < argc; ++i)
        if (LoadLibraryA(argv[i]) == nullptr)
            return static_cast<int>(0xFFFFFFF1u);
    QueryPerformanceCounter(&end);
    return static_cast<int>((end.QuadPart - start.QuadPart) * 1'000'000 / frequency.QuadPart);
}
