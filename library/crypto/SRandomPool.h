// The entropy-stirring random source: a 72-byte pool of time-stamp, clock and counter readings
// folded through SHA-256 on every stir. Used to seed unique names, not for keys.
// Thread-safety: deliberately unlocked; concurrent stirs may interleave their updates, which
// only mixes the pool differently.
// Failure contract: nothing here fails.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace S
{

class SRandomPool
{
public:
    struct Block
    {
        uint64_t m_TimeStampSum;    // sum of processor time-stamp readings
        SYSTEMTIME m_Time;          // UTC time of the last stir
        int64_t m_PerformanceCount; // performance counter at the last stir
        uint64_t m_StirCount;       // 8 + data length added by every stir
        uint8_t m_Digest[32];       // SHA-256 of the last stir's data and the pool
    };
    static_assert(sizeof(Block) == 72);

    // Stirs below this count make GetRandom32 stir with no data first.
    static constexpr uint64_t WarmStirCount = 500;

    SRandomPool() noexcept = default;
    SRandomPool(const SRandomPool&) = delete;
    SRandomPool& operator=(const SRandomPool&) = delete;
    virtual ~SRandomPool() = default;

    // Folds the time stamp, the clocks and `length` bytes of `data` (may be null when 0) into
    // the pool: the new digest is SHA-256 of the data followed by the whole pool.
    virtual void Stir(const void* data, size_t length) noexcept;

    // Four bytes derived from the pool, written to *out and returned. Whatever *out held and
    // its address are stirred in first.
    uint32_t Random32(uint32_t* out) noexcept;

    const Block& State() const noexcept { return m_Block; }

private:
    Block m_Block{};
};

// The process-wide pool behind the two functions below.
SRandomPool& ProcessRandomPool() noexcept;

void StirRandomPool(const void* data = nullptr, size_t length = 0) noexcept;
uint32_t GetRandom32(uint32_t* out) noexcept;

} // namespace S
