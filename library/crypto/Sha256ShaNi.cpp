// SHA-256 compression with the processor's SHA extensions. Compiled for those instructions
// function by function, so the rest of the module still runs on processors without them;
// only called after CpuCanUseShaNi().
#include "library/crypto/Sha256Blocks.h"

#include <immintrin.h>

namespace S
{

namespace
{

// Message words 4*quarter .. 4*quarter+3 of a block; they are big-endian, so the bytes of each
// 32-bit lane are reversed.
[[gnu::target("sha,ssse3,sse4.1")]] inline __m128i LoadWords(const uint8_t* block, size_t quarter) noexcept
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * quarter)),
                            byteSwap);
}

// Four message words plus their round constants, fed to four rounds.
[[gnu::target("sha,ssse3,sse4.1")]] inline void FourRounds(__m128i& abef, __m128i& cdgh, __m128i words,
                                                           size_t group) noexcept
{
    const __m128i constants =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(Sha256RoundConstants.data() + 4 * group));
    __m128i scheduled = _mm_add_epi32(words, constants);
    // Each instruction does two rounds; afterwards the old A,B,E,F are the new C,D,G,H.
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, scheduled);
    scheduled = _mm_shuffle_epi32(scheduled, 0x0E);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, scheduled);
}

// W[t..t+3] from W[t-16..t-1], held in four registers oldest first.
[[gnu::target("sha,ssse3,sse4.1")]] inline __m128i NextWords(__m128i w0, __m128i w1, __m128i w2,
                                                             __m128i w3) noexcept
{
    __m128i partial = _mm_sha256msg1_epu32(w0, w1);
    partial = _mm_add_epi32(partial, _mm_alignr_epi8(w3, w2, 4));
    return _mm_sha256msg2_epu32(partial, w3);
}

} // namespace

[[gnu::target("sha,ssse3,sse4.1")]] void Sha256CompressShaNi(uint32_t (&state)[8], const uint8_t* data,
                                                             size_t blocks) noexcept
{
    // The instructions keep the state as {F,E,B,A} and {H,G,D,C}, lowest lane first.
    const __m128i abcd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    const __m128i efgh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    __m128i abef = _mm_shuffle_epi32(_mm_unpacklo_epi64(abcd, efgh), 0x1B);
    __m128i cdgh = _mm_shuffle_epi32(_mm_unpackhi_epi64(abcd, efgh), 0x1B);

    for (; blocks != 0; --blocks, data += 64)
    {
        const __m128i savedAbef = abef;
        const __m128i savedCdgh = cdgh;

        __m128i w0 = LoadWords(data, 0), w1 = LoadWords(data, 1), w2 = LoadWords(data, 2),
                w3 = LoadWords(data, 3);
        FourRounds(abef, cdgh, w0, 0);
        FourRounds(abef, cdgh, w1, 1);
        FourRounds(abef, cdgh, w2, 2);
        FourRounds(abef, cdgh, w3, 3);
        for (size_t group = 4; group < 16; group += 4)
        {
            w0 = NextWords(w0, w1, w2, w3);
            FourRounds(abef, cdgh, w0, group);
            w1 = NextWords(w1, w2, w3, w0);
            FourRounds(abef, cdgh, w1, group + 1);
            w2 = NextWords(w2, w3, w0, w1);
            FourRounds(abef, cdgh, w2, group + 2);
            w3 = NextWords(w3, w0, w1, w2);
            FourRounds(abef, cdgh, w3, group + 3);
        }

        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B); // {A,B,E,F}
    const __m128i hgdc = _mm_shuffle_epi32(cdgh, 0x1B); // {C,D,G,H}
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_unpacklo_epi64(feba, hgdc));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_unpackhi_epi64(feba, hgdc));
}

} // namespace S
