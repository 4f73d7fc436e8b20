#include "library/crypto/SRandomPool.h"

#include "library/crypto/Sha256.h"

#include <x86intrin.h>

#include <cstring>

namespace S
{

namespace
{

int64_t ReadPerformanceCounter() noexcept
{
    // Cannot fail on any system this module runs on.
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

SYSTEMTIME ReadUtcTime() noexcept
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return now;
}

// Constant-initialised, so usable from any static initialiser.
constinit SRandomPool g_ProcessPool;

} // namespace

void SRandomPool::Stir(const void* data, size_t length) noexcept
{
    m_Block.m_TimeStampSum += __rdtsc();
    m_Block.m_Time = ReadUtcTime();
    m_Block.m_PerformanceCount = ReadPerformanceCounter();
    m_Block.m_StirCount += 8 + length;

    SSha256Context context;
    Sha256Init(context);
    Sha256Update(context, data, length);
    Sha256Update(context, &m_Block, sizeof m_Block); // still holds the previous digest
    Sha256Final(context, m_Block.m_Digest);
}

uint32_t SRandomPool::Random32(uint32_t* out) noexcept
{
    while (m_Block.m_StirCount < WarmStirCount)
        Stir(nullptr, 0);
    Stir(out, sizeof *out);
    const uintptr_t address = reinterpret_cast<uintptr_t>(out);
    Stir(&address, sizeof address);
    Stir(nullptr, 0);
    std::memcpy(out, m_Block.m_Digest, sizeof *out);
    return *out;
}

SRandomPool& ProcessRandomPool() noexcept
{
    return g_ProcessPool;
}

void StirRandomPool(const void* data, size_t length) noexcept
{
    ProcessRandomPool().Stir(data, length);
}

uint32_t GetRandom32(uint32_t* out) noexcept
{
    return ProcessRandomPool().Random32(out);
}

} // namespace S
