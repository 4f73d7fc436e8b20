#include "library/crypto/Sha256.h"

#include "library/crypto/SCpuFeatures.h"
#include "library/crypto/Sha256Blocks.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>

namespace S
{

namespace
{

// The constants are derived rather than typed in, so a slip of a digit cannot hide in them.
constexpr std::array<uint32_t, 64> FirstPrimes()
{
    std::array<uint32_t, 64> primes{};
    size_t found = 0;
    for (uint32_t candidate = 2; found < primes.size(); ++candidate)
    {
        bool prime = true;
        for (uint32_t divisor = 2; divisor * divisor <= candidate && prime; ++divisor)
            prime = candidate % divisor != 0;
        if (prime)
            primes[found++] = candidate;
    }
    return primes;
}

// The largest x with x^power <= value, for power 2 or 3.
constexpr uint64_t IntegerRoot(unsigned __int128 value, int power)
{
    uint64_t low = 0, high = uint64_t{1} << 40;
    while (low < high)
    {
        const uint64_t middle = low + (high - low + 1) / 2;
        unsigned __int128 raised = 1;
        for (int i = 0; i < power; ++i)
            raised *= middle;
        if (raised <= value)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// The first 32 bits of the fractional part of prime^(1/power).
constexpr uint32_t FractionBits(uint32_t prime, int power)
{
    const unsigned __int128 scaled = static_cast<unsigned __int128>(prime) << (32 * power);
    return static_cast<uint32_t>(IntegerRoot(scaled, power));
}

constexpr std::array<uint32_t, 64> MakeRoundConstants()
{
    std::array<uint32_t, 64> constants{};
    const auto primes = FirstPrimes();
    for (size_t i = 0; i < constants.size(); ++i)
        constants[i] = FractionBits(primes[i], 3);
    return constants;
}

constexpr std::array<uint32_t, 8> MakeInitialState()
{
    std::array<uint32_t, 8> state{};
    const auto primes = FirstPrimes();
    for (size_t i = 0; i < state.size(); ++i)
        state[i] = FractionBits(primes[i], 2);
    return state;
}

constexpr auto InitialState = MakeInitialState();
static_assert(InitialState[0] == 0x6a09e667 && InitialState[7] == 0x5be0cd19);

using CompressFunction = void (*)(uint32_t (&)[8], const uint8_t*, size_t) noexcept;

// Null until first use, so hashing from another module's static initialiser still works.
std::atomic<CompressFunction> g_Compress{nullptr};

CompressFunction Compressor() noexcept
{
    CompressFunction compress = g_Compress.load(std::memory_order_relaxed);
    if (compress == nullptr)
    {
        compress = CpuCanUseShaNi() ? &Sha256CompressShaNi : &Sha256CompressPortable;
        g_Compress.store(compress, std::memory_order_relaxed);
    }
    return compress;
}

uint32_t LoadBigEndian32(const uint8_t* bytes) noexcept
{
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return __builtin_bswap32(value);
}

void StoreBigEndian32(uint8_t* bytes, uint32_t value) noexcept
{
    value = __builtin_bswap32(value);
    std::memcpy(bytes, &value, sizeof value);
}

// One round: the new A lands in h's place and the new E in d's; the caller renames the rest.
inline void Round(uint32_t a, uint32_t b, uint32_t c, uint32_t& d, uint32_t e, uint32_t f, uint32_t g,
                  uint32_t& h, uint32_t scheduled) noexcept
{
    const uint32_t sum1 = std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25);
    const uint32_t choose = g ^ (e & (f ^ g));
    // Grouped so that only the last two additions wait for e.
    const uint32_t t1 = sum1 + (choose + (h + scheduled));
    const uint32_t sum0 = std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22);
    const uint32_t majority = (a & b) | (c & (a | b));
    d += t1;
    h = t1 + sum0 + majority;
}

} // namespace

constinit const std::array<uint32_t, 64> Sha256RoundConstants = MakeRoundConstants();
static_assert(MakeRoundConstants()[0] == 0x428a2f98 && MakeRoundConstants()[63] == 0xc67178f2);

void Sha256CompressPortable(uint32_t (&state)[8], const uint8_t* data, size_t blocks) noexcept
{
    for (; blocks != 0; --blocks, data += Sha256BlockSize)
    {
        uint32_t w[64];
        for (size_t t = 0; t < 16; ++t)
            w[t] = LoadBigEndian32(data + 4 * t);
        for (size_t t = 16; t < 64; ++t)
        {
            const uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }

        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        // Eight rounds per pass with the roles rotated instead of the values moved.
        for (size_t t = 0; t < 64; t += 8)
        {
            Round(a, b, c, d, e, f, g, h, w[t] + Sha256RoundConstants[t]);
            Round(h, a, b, c, d, e, f, g, w[t + 1] + Sha256RoundConstants[t + 1]);
            Round(g, h, a, b, c, d, e, f, w[t + 2] + Sha256RoundConstants[t + 2]);
            Round(f, g, h, a, b, c, d, e, w[t + 3] + Sha256RoundConstants[t + 3]);
            Round(e, f, g, h, a, b, c, d, w[t + 4] + Sha256RoundConstants[t + 4]);
            Round(d, e, f, g, h, a, b, c, w[t + 5] + Sha256RoundConstants[t + 5]);
            Round(c, d, e, f, g, h, a, b, w[t + 6] + Sha256RoundConstants[t + 6]);
            Round(b, c, d, e, f, g, h, a, w[t + 7] + Sha256RoundConstants[t + 7]);
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

void Sha256Init(SSha256Context& context) noexcept
{
    context.m_TotalLength = 0;
    context.m_Pending = 0;
    std::copy(InitialState.begin(), InitialState.end(), context.m_State);
    std::memset(context.m_Block, 0, sizeof context.m_Block);
}

void Sha256Update(SSha256Context& context, const void* data, size_t length) noexcept
{
    if (length == 0)
        return;
    const CompressFunction compress = Compressor();
    const auto* bytes = static_cast<const uint8_t*>(data);
    context.m_TotalLength += length;

    if (context.m_Pending != 0)
    {
        const size_t take = std::min<size_t>(Sha256BlockSize - context.m_Pending, length);
        std::memcpy(context.m_Block + context.m_Pending, bytes, take);
        context.m_Pending += static_cast<uint32_t>(take);
        bytes += take;
        length -= take;
        if (context.m_Pending < Sha256BlockSize)
            return;
        compress(context.m_State, context.m_Block, 1);
        context.m_Pending = 0;
    }

    // Whole blocks are compressed straight from the caller's buffer.
    const size_t blocks = length / Sha256BlockSize;
    if (blocks != 0)
    {
        compress(context.m_State, bytes, blocks);
        bytes += blocks * Sha256BlockSize;
        length -= blocks * Sha256BlockSize;
    }
    std::memcpy(context.m_Block, bytes, length);
    context.m_Pending = static_cast<uint32_t>(length);
}

void Sha256Final(SSha256Context& context, uint8_t (&digest)[Sha256DigestSize]) noexcept
{
    const CompressFunction compress = Compressor();
    const uint64_t bitLength = context.m_TotalLength * 8;
    constexpr size_t lengthOffset = Sha256BlockSize - sizeof bitLength;

    size_t used = context.m_Pending;
    context.m_Block[used++] = 0x80;
    if (used > lengthOffset)
    {
        std::memset(context.m_Block + used, 0, Sha256BlockSize - used);
        compress(context.m_State, context.m_Block, 1);
        used = 0;
    }
    std::memset(context.m_Block + used, 0, lengthOffset - used);
    StoreBigEndian32(context.m_Block + lengthOffset, static_cast<uint32_t>(bitLength >> 32));
    StoreBigEndian32(context.m_Block + lengthOffset + 4, static_cast<uint32_t>(bitLength));
    compress(context.m_State, context.m_Block, 1);

    for (size_t i = 0; i < 8; ++i)
        StoreBigEndian32(digest + 4 * i, context.m_State[i]);
    Sha256Clear(context);
}

void Sha256Clear(SSha256Context& context) noexcept
{
    SecureZeroMemory(&context, sizeof context);
}

void Sha256(const void* data, size_t length, uint8_t (&digest)[Sha256DigestSize]) noexcept
{
    SSha256Context context;
    Sha256Init(context);
    Sha256Update(context, data, length);
    Sha256Final(context, digest);
}

void Sha256ToHex(const uint8_t (&digest)[Sha256DigestSize], char (&text)[2 * Sha256DigestSize + 1]) noexcept
{
    constexpr char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < Sha256DigestSize; ++i)
    {
        text[2 * i] = digits[digest[i] >> 4];
        text[2 * i + 1] = digits[digest[i] & 0x0F];
    }
    text[2 * Sha256DigestSize] = '\0';
}

SSha256Engine Sha256ActiveEngine() noexcept
{
    return Compressor() == &Sha256CompressShaNi ? SSha256Engine::ShaNi : SSha256Engine::Portable;
}

bool Sha256UseEngine(SSha256Engine engine) noexcept
{
    if (engine == SSha256Engine::ShaNi && !CpuCanUseShaNi())
        return false;
    g_Compress.store(engine == SSha256Engine::ShaNi ? &Sha256CompressShaNi : &Sha256CompressPortable,
                     std::memory_order_relaxed);
    return true;
}

} // namespace S
