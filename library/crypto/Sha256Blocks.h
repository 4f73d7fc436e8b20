// The SHA-256 compression functions behind Sha256Update: each folds `blocks` consecutive
// 64-byte blocks into the eight state words. Stateless; thread-safe. The portable function and
// the constants are in Sha256.cpp, the SHA-NI function in Sha256ShaNi.cpp.
// Failure contract: nothing here fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace S
{

void Sha256CompressPortable(uint32_t (&state)[8], const uint8_t* data, size_t blocks) noexcept;
// Needs SHA, SSSE3 and SSE4.1 (CpuCanUseShaNi).
void Sha256CompressShaNi(uint32_t (&state)[8], const uint8_t* data, size_t blocks) noexcept;

// The 64 round constants: the first 32 bits of the fractional parts of the cube roots of the
// first 64 primes.
extern const std::array<uint32_t, 64> Sha256RoundConstants;

} // namespace S
