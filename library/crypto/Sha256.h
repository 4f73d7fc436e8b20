// SHA-256 (FIPS 180-4) with a compression function chosen at run time: the processor's SHA
// instructions when CPUID reports them, portable code otherwise.
// Thread-safety: a context belongs to one thread at a time (callers keep it on their stack);
// the functions share only the engine choice, which is read atomically.
// Failure contract: nothing here fails.
#pragma once

#include <cstddef>
#include <cstdint>

namespace S
{

inline constexpr size_t Sha256DigestSize = 32;
inline constexpr size_t Sha256BlockSize = 64;

struct SSha256Context
{
    uint64_t m_TotalLength;           // bytes hashed so far
    uint32_t m_Pending;               // bytes waiting in m_Block
    uint32_t m_State[8];              // H0..H7
    uint8_t m_Block[Sha256BlockSize]; // the incomplete block
};

void Sha256Init(SSha256Context& context) noexcept;
void Sha256Update(SSha256Context& context, const void* data, size_t length) noexcept;
// Pads, writes the digest and clears the context; Sha256Init before using it again.
void Sha256Final(SSha256Context& context, uint8_t (&digest)[Sha256DigestSize]) noexcept;
// Overwrites the whole context with zeros.
void Sha256Clear(SSha256Context& context) noexcept;

// One-shot digest of a buffer; the context it uses is cleared before returning.
void Sha256(const void* data, size_t length, uint8_t (&digest)[Sha256DigestSize]) noexcept;

// The digest as 64 upper-case hexadecimal digits and a terminating NUL.
void Sha256ToHex(const uint8_t (&digest)[Sha256DigestSize], char (&text)[2 * Sha256DigestSize + 1]) noexcept;

enum class SSha256Engine
{
    Portable,
    ShaNi,
};

// The engine in use: SHA-NI when the processor has it, chosen at start-up.
SSha256Engine Sha256ActiveEngine() noexcept;
// Switches engines (for tests and benchmarks); false, and no change, when the processor
// cannot run the one asked for. Not meant to race with hashing on other threads.
bool Sha256UseEngine(SSha256Engine engine) noexcept;

} // namespace S
