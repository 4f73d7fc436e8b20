// Stopping the system's font-cache service ("FontCache") from a job on the font-cache pool.
// Requests that arrive while a job is pending are folded into it: a burst of requests causes one
// check of the service, and requests made while a check runs cause exactly one more.
// Thread-safety: RequestFontCacheStop may be called from any thread. The request counter is the
// only shared state and changes atomically only, so at most one StopJob exists at a time.
// Failure contract: nothing is reported to the requester; the job logs what fails and still
// counts the requests it handled as done.
#pragma once

#include "library/system/process/thread/SThreadPool.h"

#include <cstdint>

namespace S
{

class SFontCacheService
{
public:
    class StopJob : public SThreadPool::Job
    {
    public:
        ~StopJob() override = default;
        // Checks the service, stops it when it runs, and repeats once for every batch of
        // requests that came in meanwhile. Returns 0.
        int Run() override;
    };
};

// Counts a request; the request that finds none pending posts a StopJob to the font-cache pool.
void RequestFontCacheStop() noexcept;

// Requests counted and not yet handled by a job.
uint32_t PendingFontCacheStopRequests() noexcept;

// Test seam (set it through SScopedForTesting): points the job at the service `name` instead of
// "FontCache" (null: "FontCache" again) and returns the name set before, null for "FontCache".
// `name` must stay valid while it is set.
const wchar_t* SetFontCacheServiceNameForTesting(const wchar_t* name) noexcept;

} // namespace S
