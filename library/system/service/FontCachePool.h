// The process-wide pool that the font-cache service controller runs its jobs on. It is built while
// the module's globals are initialised (a lock and a semaphore, no worker) and destroyed at unload;
// a worker exists only after a job was posted, and leaves after 30 s without work.
// Thread-safety: that of SThreadPool; the pool may be used from any thread once the module's
// globals are built.
// Failure contract: that of SThreadPool; getting the pool never fails.
#pragma once

#include "library/system/process/thread/SThreadPool.h"

namespace S
{

// Spelled so in the pool's log and thread names; kept on purpose for compatibility.
inline constexpr wchar_t FontCachePoolName[] = L"FontCacheProcesor";
inline constexpr DWORD FontCachePoolWaitLimitMs = 30000;

// The pool itself, for example:
//   SResult result;
//   FontCachePool().PostJob(result, std::make_unique<SFontCacheService::StopJob>());
SThreadPool& FontCachePool() noexcept;

// Test seam (set it through SScopedForTesting): makes FontCachePool hand out `pool` instead (null:
// the process-wide pool again) and returns the pool set before, null for the process-wide one.
// The caller keeps `pool` alive meanwhile.
SThreadPool* SetFontCachePoolForTesting(SThreadPool* pool) noexcept;

} // namespace S
