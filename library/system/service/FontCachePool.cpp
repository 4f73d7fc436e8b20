#include "library/system/service/FontCachePool.h"

namespace S
{

SThreadPool& FontCachePool() noexcept
{
    static SThreadPool pool(0, 0, FontCachePoolName, FontCachePoolWaitLimitMs);
    return pool;
}

namespace
{

// Builds the pool with the module's other globals, before DllMain runs, whichever global initialiser
// happens to reach it first.
[[maybe_unused]] SThreadPool& g_BuiltAtLoad = FontCachePool();

} // namespace

} // namespace S
