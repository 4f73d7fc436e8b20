// SCpuFeatures: the instruction-set extensions the crypto code can use, read once from CPUID.
// Thread-safe: the answer is computed under the thread-safe initialisation of a local static
// and never changes afterwards.
// Failure contract: nothing here fails; a processor that cannot say reports no extension.
#pragma once

namespace S
{

struct SCpuFeatures
{
    bool Ssse3 = false;
    bool Sse41 = false;
    bool AesNi = false;
    bool ShaNi = false;
};

const SCpuFeatures& CpuFeatures() noexcept;

// AES-NI single-block routines need AES and SSE2 (always there on x64).
inline bool CpuCanUseAesNi() noexcept
{
    return CpuFeatures().AesNi;
}

// The SHA-NI compression also shuffles and blends with SSSE3 and SSE4.1 instructions.
inline bool CpuCanUseShaNi() noexcept
{
    const SCpuFeatures& features = CpuFeatures();
    return features.ShaNi && features.Ssse3 && features.Sse41;
}

} // namespace S
