#include "library/system/process/SyncSeed.h"

#include <windows.h>

namespace S
{

uint32_t UniqueNameSeed() noexcept
{
    // Interim seed until the library's random pool is available.
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return static_cast<uint32_t>(counter.QuadPart) ^ (GetCurrentProcessId() << 16);
}

} // namespace S
