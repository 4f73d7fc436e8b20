// Shared by the benchmarks: runs work for a fixed wall-clock time and divides by the user CPU
// time of the calling thread, as openssl speed does by default, so that figures taken on a
// busy machine stay comparable with the host's.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>

namespace bench
{

inline double ThreadUserSeconds()
{
    FILETIME creation, exit, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user))
        return 0.0;
    const uint64_t ticks = (uint64_t{user.dwHighDateTime} << 32) | user.dwLowDateTime;
    return static_cast<double>(ticks) / 1e7;
}

// Calls batch() until two seconds have passed; returns the bytes processed per CPU second in
// MB/s of 10^6 bytes. batch() returns the bytes it processed.
template <typename Batch> double MegabytesPerCpuSecond(Batch batch)
{
    using Clock = std::chrono::steady_clock;
    const auto wallStart = Clock::now();
    const double cpuStart = ThreadUserSeconds();
    uint64_t bytes = 0;
    do
        bytes += batch();
    while (Clock::now() - wallStart < std::chrono::seconds(2));
    const double cpuSeconds = ThreadUserSeconds() - cpuStart;
    return cpuSeconds > 0 ? static_cast<double>(bytes) / cpuSeconds / 1e6 : 0.0;
}

} // namespace bench
