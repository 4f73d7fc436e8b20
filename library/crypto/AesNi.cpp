#include "library/crypto/AesNi.h"

#include <wmmintrin.h>

namespace S
{

namespace
{

[[gnu::target("aes")]] inline __m128i RoundKey(const SAesKeySchedule* keys, uint32_t round) noexcept
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys->m_RoundKeys[round]));
}

} // namespace

[[gnu::target("aes")]] void AesNiEncryptBlock(const uint8_t* in, uint8_t* out,
                                              const SAesKeySchedule* keys) noexcept
{
    const uint32_t rounds = keys->m_Rounds;
    __m128i state = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), RoundKey(keys, 0));
    for (uint32_t round = 1; round < rounds; ++round)
        state = _mm_aesenc_si128(state, RoundKey(keys, round));
    state = _mm_aesenclast_si128(state, RoundKey(keys, rounds));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), state);
}

[[gnu::target("aes")]] void AesNiDecryptBlock(const uint8_t* in, uint8_t* out,
                                              const SAesKeySchedule* keys) noexcept
{
    const uint32_t rounds = keys->m_Rounds;
    __m128i state = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), RoundKey(keys, 0));
    for (uint32_t round = 1; round < rounds; ++round)
        state = _mm_aesdec_si128(state, RoundKey(keys, round));
    state = _mm_aesdeclast_si128(state, RoundKey(keys, rounds));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), state);
}

} // namespace S
