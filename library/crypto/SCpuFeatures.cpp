#include "library/crypto/SCpuFeatures.h"

#include <cpuid.h>

namespace S
{

namespace
{

SCpuFeatures ReadCpuFeatures() noexcept
{
    SCpuFeatures features;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx))
    {
        features.Ssse3 = (ecx & bit_SSSE3) != 0;
        features.Sse41 = (ecx & bit_SSE4_1) != 0;
        features.AesNi = (ecx & bit_AES) != 0;
    }
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        features.ShaNi = (ebx & bit_SHA) != 0;
    return features;
}

} // namespace

const SCpuFeatures& CpuFeatures() noexcept
{
    static const SCpuFeatures features = ReadCpuFeatures();
    return features;
}

} // namespace S
