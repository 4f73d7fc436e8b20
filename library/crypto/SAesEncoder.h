// SAesEncoder: encrypts and decrypts single 16-byte AES blocks under key schedules it owns,
// with the AES instructions when its flag says so, else with the round tables.
// Failure contract: a failed EncryptBlock/DecryptBlock writes nothing to the output; a failed
// SetKey leaves the encoder as it was.
// Thread-safety: once keyed, EncryptBlock/DecryptBlock may run on several threads at once;
// SetKey and destruction need exclusive access.
#pragma once

#include "library/crypto/AesCore.h"
#include "library/diagnostics/SResultCodes.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace S
{

class SAesBaseEncoder
{
public:
    SAesBaseEncoder(const SAesBaseEncoder&) = delete;
    SAesBaseEncoder& operator=(const SAesBaseEncoder&) = delete;
    virtual ~SAesBaseEncoder() = default;

    // One block from the first 16 bytes of `input` into `output` (16 bytes).
    virtual SResult EncryptBlock(SResult& result, size_t inputLength, const uint8_t* input,
                                 uint8_t* output) const = 0;
    virtual SResult DecryptBlock(SResult& result, size_t inputLength, const uint8_t* input,
                                 uint8_t* output) const = 0;

protected:
    SAesBaseEncoder() = default;
};

class SAesEncoder : public SAesBaseEncoder
{
public:
    enum class Engine
    {
        Auto,     // AES instructions when the processor has them
        Software, // round tables
        AesNi,    // AES instructions; SetKey fails without them
    };

    // No schedules, software path: both block operations fail until SetKey.
    SAesEncoder() noexcept = default;
    // Decrypt-only, software path: takes a copy of ready decryption round keys (15 of 16
    // bytes, unused ones zero) with their round count.
    SAesEncoder(const uint8_t (&decryptionRoundKeys)[(AesMaxRounds + 1) * AesBlockSize],
                uint32_t rounds) noexcept;
    ~SAesEncoder() override;

    SResult EncryptBlock(SResult& result, size_t inputLength, const uint8_t* input,
                         uint8_t* output) const override;
    SResult DecryptBlock(SResult& result, size_t inputLength, const uint8_t* input,
                         uint8_t* output) const override;

    // Builds both schedules from a 16, 24 or 32-byte key and keeps a copy of the key.
    // Fails with kResultInvalidArgument for another length, ERROR_NOT_SUPPORTED (as an HRESULT) for
    // Engine::AesNi on a processor without it, kResultOutOfMemory when allocation fails.
    SResult SetKey(SResult& result, const uint8_t* key, size_t length, Engine engine = Engine::Auto);

    bool UsesAesNi() const noexcept { return m_UseAesNi != 0; }
    uint32_t BlockSize() const noexcept { return m_BlockSize; }

private:
    // Schedules are key material: zeroed before their memory is released.
    struct WipeSchedule
    {
        void operator()(SAesKeySchedule* schedule) const noexcept;
    };
    using SchedulePtr = std::unique_ptr<SAesKeySchedule, WipeSchedule>;

    void ReleaseKey() noexcept;

    SchedulePtr m_pEncryptKeys;
    SchedulePtr m_pDecryptKeys;
    uint32_t m_UseAesNi = 0;
    uint32_t m_BlockSize = AesBlockSize;
    std::unique_ptr<uint8_t[]> m_pKey;
    uint32_t m_KeyLength = 0;
};

// The round keys of the AES-128 decryption schedule the module's static encoder holds.
extern const uint8_t AesStaticDecryptionRoundKeys[(AesMaxRounds + 1) * AesBlockSize];

// The module's static encoder, built while static objects are initialised: decryption only,
// software path. Nothing in the agent uses it.
SAesEncoder& StaticAesEncoder() noexcept;

} // namespace S
