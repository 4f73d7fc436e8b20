// AES (FIPS-197) key schedules and the table-driven block routines.
// Stateless apart from constant tables; thread-safe. Schedules are plain data owned by callers.
// Failure contract: key expansion gives false for a key length other than 16, 24 or 32 and then
// leaves the schedule untouched; nothing else fails.
#pragma once

#include <cstddef>
#include <cstdint>

namespace S
{

inline constexpr size_t AesBlockSize = 16;
inline constexpr size_t AesMaxRounds = 14;

// Round keys in byte order, then the round count (10, 12 or 14), which the block routines
// read from the end of the schedule.
struct SAesKeySchedule
{
    uint8_t m_RoundKeys[AesMaxRounds + 1][AesBlockSize];
    uint32_t m_Rounds;
};
static_assert(sizeof(SAesKeySchedule) == 244);

// The encryption schedule of a 16, 24 or 32-byte key; false (schedule untouched) for other
// lengths.
bool AesExpandEncryptionKey(const uint8_t* key, size_t length, SAesKeySchedule& schedule) noexcept;

// The schedule of the equivalent inverse cipher: the round keys in reverse order, all but the
// outer two passed through InvMixColumns.
void AesMakeDecryptionSchedule(const SAesKeySchedule& encryption, SAesKeySchedule& decryption) noexcept;

// One 16-byte block with the round tables; in and out may be the same buffer.
void AesSoftwareEncryptBlock(const uint8_t* in, uint8_t* out, const SAesKeySchedule& keys) noexcept;
void AesSoftwareDecryptBlock(const uint8_t* in, uint8_t* out, const SAesKeySchedule& keys) noexcept;

} // namespace S
