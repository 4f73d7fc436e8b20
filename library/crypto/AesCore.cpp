#include "library/crypto/AesCore.h"

#include <windows.h>

#include <array>
#include <bit>
#include <cstring>

namespace S
{

namespace
{

// Arithmetic in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t Times2(uint8_t value)
{
    return static_cast<uint8_t>((value << 1) ^ ((value & 0x80) ? 0x1B : 0x00));
}

constexpr uint8_t Multiply(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    for (; b != 0; b >>= 1, a = Times2(a))
        if (b & 1)
            product ^= a;
    return product;
}

using ByteTable = std::array<uint8_t, 256>;
using WordTable = std::array<uint32_t, 256>;

// The tables are computed from the field arithmetic at compile time rather than typed in.
constexpr ByteTable MakeSubstitution()
{
    // Powers of the generator 3 give the logarithms, and with them every inverse.
    ByteTable power{}, logarithm{};
    uint8_t value = 1;
    for (int exponent = 0; exponent < 255; ++exponent)
    {
        power[exponent] = value;
        logarithm[value] = static_cast<uint8_t>(exponent);
        value = static_cast<uint8_t>(value ^ Times2(value));
    }
    ByteTable box{};
    for (int x = 0; x < 256; ++x)
    {
        const uint8_t inverse = x == 0 ? 0 : power[(255 - logarithm[x]) % 255];
        box[x] = static_cast<uint8_t>(inverse ^ std::rotl(inverse, 1) ^ std::rotl(inverse, 2) ^
                                      std::rotl(inverse, 3) ^ std::rotl(inverse, 4) ^ 0x63);
    }
    return box;
}

constexpr ByteTable MakeInverse(const ByteTable& box)
{
    ByteTable inverse{};
    for (int x = 0; x < 256; ++x)
        inverse[box[x]] = static_cast<uint8_t>(x);
    return inverse;
}

constexpr uint32_t Column(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
{
    return (uint32_t{b0} << 24) | (uint32_t{b1} << 16) | (uint32_t{b2} << 8) | b3;
}

// Table k holds the column a byte in row k contributes: SubBytes (or its inverse) and the
// (inverse) MixColumns coefficients, rotated by k bytes.
constexpr std::array<WordTable, 4> MakeRoundTables(const ByteTable& box, const std::array<uint8_t, 4>& mix)
{
    std::array<WordTable, 4> tables{};
    for (int x = 0; x < 256; ++x)
    {
        const uint8_t s = box[x];
        const uint32_t word =
            Column(Multiply(s, mix[0]), Multiply(s, mix[1]), Multiply(s, mix[2]), Multiply(s, mix[3]));
        for (int k = 0; k < 4; ++k)
            tables[k][x] = std::rotr(word, 8 * k);
    }
    return tables;
}

constexpr ByteTable Substitution = MakeSubstitution();
constexpr ByteTable InverseSubstitution = MakeInverse(Substitution);
constexpr std::array<WordTable, 4> EncryptTables = MakeRoundTables(Substitution, {2, 1, 1, 3});
constexpr std::array<WordTable, 4> DecryptTables = MakeRoundTables(InverseSubstitution, {14, 9, 13, 11});

static_assert(Substitution[0x00] == 0x63 && Substitution[0x53] == 0xED && Substitution[0xFF] == 0x16);
static_assert(InverseSubstitution[0x63] == 0x00);

constexpr uint32_t LoadBigEndian32(const uint8_t* bytes)
{
    return Column(bytes[0], bytes[1], bytes[2], bytes[3]);
}

inline void StoreBigEndian32(uint8_t* bytes, uint32_t value)
{
    value = __builtin_bswap32(value);
    std::memcpy(bytes, &value, sizeof value);
}

constexpr uint32_t SubstituteWord(uint32_t word)
{
    return Column(Substitution[word >> 24], Substitution[(word >> 16) & 0xFF],
                  Substitution[(word >> 8) & 0xFF], Substitution[word & 0xFF]);
}

constexpr uint8_t Byte(uint32_t word, int index)
{
    return static_cast<uint8_t>(word >> (24 - 8 * index));
}

} // namespace

bool AesExpandEncryptionKey(const uint8_t* key, size_t length, SAesKeySchedule& schedule) noexcept
{
    if (key == nullptr || (length != 16 && length != 24 && length != 32))
        return false;
    const size_t keyWords = length / 4;
    const auto rounds = static_cast<uint32_t>(keyWords + 6);
    const size_t totalWords = 4 * (rounds + 1);

    uint32_t words[4 * (AesMaxRounds + 1)];
    for (size_t i = 0; i < keyWords; ++i)
        words[i] = LoadBigEndian32(key + 4 * i);
    uint8_t roundConstant = 1;
    for (size_t i = keyWords; i < totalWords; ++i)
    {
        uint32_t word = words[i - 1];
        if (i % keyWords == 0)
        {
            word = SubstituteWord(std::rotl(word, 8)) ^ (uint32_t{roundConstant} << 24);
            roundConstant = Times2(roundConstant);
        }
        else if (keyWords > 6 && i % keyWords == 4)
        {
            word = SubstituteWord(word);
        }
        words[i] = words[i - keyWords] ^ word;
    }

    std::memset(&schedule, 0, sizeof schedule);
    for (size_t i = 0; i < totalWords; ++i)
        StoreBigEndian32(schedule.m_RoundKeys[i / 4] + 4 * (i % 4), words[i]);
    schedule.m_Rounds = rounds;
    SecureZeroMemory(words, sizeof words);
    return true;
}

void AesMakeDecryptionSchedule(const SAesKeySchedule& encryption, SAesKeySchedule& decryption) noexcept
{
    const uint32_t rounds = encryption.m_Rounds;
    std::memset(&decryption, 0, sizeof decryption);
    decryption.m_Rounds = rounds;
    std::memcpy(decryption.m_RoundKeys[0], encryption.m_RoundKeys[rounds], AesBlockSize);
    std::memcpy(decryption.m_RoundKeys[rounds], encryption.m_RoundKeys[0], AesBlockSize);
    for (uint32_t round = 1; round < rounds; ++round)
    {
        const uint8_t* from = encryption.m_RoundKeys[rounds - round];
        uint8_t* to = decryption.m_RoundKeys[round];
        for (size_t column = 0; column < 4; ++column)
        {
            const uint8_t* a = from + 4 * column;
            uint8_t* b = to + 4 * column;
            for (size_t row = 0; row < 4; ++row)
            {
                b[row] = Multiply(a[row], 14) ^ Multiply(a[(row + 1) % 4], 11) ^
                         Multiply(a[(row + 2) % 4], 13) ^ Multiply(a[(row + 3) % 4], 9);
            }
        }
    }
}

namespace
{

// One cipher over the round tables. Row k of column c comes from column c + k * Shift: ShiftRows
// for encryption (Shift 1), InvShiftRows for decryption (Shift 3, that is c - k).
template <size_t Shift>
void CipherBlock(const uint8_t* in, uint8_t* out, const SAesKeySchedule& keys,
                 const std::array<WordTable, 4>& tables, const ByteTable& box) noexcept
{
    const auto from = [](size_t column, size_t row) { return (column + row * Shift) % 4; };
    uint32_t state[4];
#pragma GCC unroll 4
    for (size_t c = 0; c < 4; ++c)
        state[c] = LoadBigEndian32(in + 4 * c) ^ LoadBigEndian32(keys.m_RoundKeys[0] + 4 * c);
    for (uint32_t round = 1; round < keys.m_Rounds; ++round)
    {
        const uint8_t* roundKey = keys.m_RoundKeys[round];
        uint32_t next[4];
#pragma GCC unroll 4
        for (size_t c = 0; c < 4; ++c)
            next[c] = tables[0][Byte(state[from(c, 0)], 0)] ^ tables[1][Byte(state[from(c, 1)], 1)] ^
                      tables[2][Byte(state[from(c, 2)], 2)] ^ tables[3][Byte(state[from(c, 3)], 3)] ^
                      LoadBigEndian32(roundKey + 4 * c);
        std::memcpy(state, next, sizeof state);
    }
    // The last round has no MixColumns: the row shift and the substitution only.
    const uint8_t* roundKey = keys.m_RoundKeys[keys.m_Rounds];
#pragma GCC unroll 4
    for (size_t c = 0; c < 4; ++c)
        StoreBigEndian32(out + 4 * c,
                         Column(box[Byte(state[from(c, 0)], 0)], box[Byte(state[from(c, 1)], 1)],
                                box[Byte(state[from(c, 2)], 2)], box[Byte(state[from(c, 3)], 3)]) ^
                             LoadBigEndian32(roundKey + 4 * c));
}

} // namespace

void AesSoftwareEncryptBlock(const uint8_t* in, uint8_t* out, const SAesKeySchedule& keys) noexcept
{
    CipherBlock<1>(in, out, keys, EncryptTables, Substitution);
}

void AesSoftwareDecryptBlock(const uint8_t* in, uint8_t* out, const SAesKeySchedule& keys) noexcept
{
    CipherBlock<3>(in, out, keys, DecryptTables, InverseSubstitution);
}

} // namespace S
