// Single-block AES with the processor's AES instructions. Both routines read the round count
// from the end of the schedule (10, 12 or 14) and take the same schedules as the table-driven
// routines. Only to be called after CpuCanUseAesNi(). Stateless; thread-safe.
// Failure contract: nothing here fails.
#pragma once

#include "library/crypto/AesCore.h"

namespace S
{

void AesNiEncryptBlock(const uint8_t* in, uint8_t* out, const SAesKeySchedule* keys) noexcept;
// `keys` is an equivalent-inverse-cipher schedule (AesMakeDecryptionSchedule).
void AesNiDecryptBlock(const uint8_t* in, uint8_t* out, const SAesKeySchedule* keys) noexcept;

} // namespace S
