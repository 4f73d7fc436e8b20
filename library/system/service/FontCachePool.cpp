#include "library/system/service/FontCachePool.h"

#include <atomic>

namespace S
{

namespace
{

// Lock-free: read and replaced by one atomic operation each; null means the process's pool.
constinit std::atomic<SThreadPool*> InstalledPool{nullptr};

} // namespace

SThreadPool& FontCachePool() noexcept
{
    static SThreadPool pool(0, 0, FontCachePoolName, FontCachePoolWaitLimitMs);
    SThreadPool* const installed = InstalledPool.load();
    return installed != nullptr ? *installed : pool;
}

SThreadPool* SetFontCachePoolForTesting(SThreadPool* pool) noexcept
{
    return InstalledPool.exchange(pool);
}

namespace
{

// Builds the pool with the module's other globals, before DllMain runs, whichever global initialiser
// happens to reach it first.
[[maybe_unused]] SThreadPool& g_BuiltAtLoad = FontCachePool();

} // namespace

} // namespace S
