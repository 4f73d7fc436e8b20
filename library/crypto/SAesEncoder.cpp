#include "library/crypto/SAesEncoder.h"

#include "library/crypto/AesNi.h"
#include "library/crypto/SCpuFeatures.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace S
{

// An AES-128 decryption schedule (11 round keys, the rest zero) of the module's own key.
const uint8_t AesStaticDecryptionRoundKeys[(AesMaxRounds + 1) * AesBlockSize] = {
    0x9f, 0x7d, 0x85, 0xfd, 0x0e, 0x4f, 0xbd, 0xa6, 0xda, 0x66, 0xb8, 0xcf, 0x0e, 0xb8, 0x58, 0xbf,
    0x48, 0x9f, 0xba, 0x24, 0xc4, 0x03, 0xf6, 0xf1, 0x29, 0x1f, 0xc1, 0x66, 0x36, 0x0a, 0x2d, 0x8b,
    0x2b, 0x77, 0x44, 0x4c, 0x8c, 0x9c, 0x4c, 0xd5, 0xed, 0x1c, 0x37, 0x97, 0x1f, 0x15, 0xec, 0xed,
    0xb6, 0x56, 0x1d, 0x19, 0xa7, 0xeb, 0x08, 0x99, 0x61, 0x80, 0x7b, 0x42, 0xf2, 0x09, 0xdb, 0x7a,
    0xfc, 0x12, 0x15, 0xc2, 0x11, 0xbd, 0x15, 0x80, 0xc6, 0x6b, 0x73, 0xdb, 0x93, 0x89, 0xa0, 0x38,
    0xc8, 0xad, 0x1a, 0x9a, 0xed, 0xaf, 0x00, 0x42, 0xd7, 0xd6, 0x66, 0x5b, 0x55, 0xe2, 0xd3, 0xe3,
    0xa4, 0xe7, 0x58, 0x5e, 0x25, 0x02, 0x1a, 0xd8, 0x3a, 0x79, 0x66, 0x19, 0x82, 0x34, 0xb5, 0xb8,
    0xf5, 0x58, 0x23, 0x00, 0x81, 0xe5, 0x42, 0x86, 0x1f, 0x7b, 0x7c, 0xc1, 0xb8, 0x4d, 0xd3, 0xa1,
    0x1e, 0x6e, 0xac, 0x9f, 0x74, 0xbd, 0x61, 0x86, 0x9e, 0x9e, 0x3e, 0x47, 0xa7, 0x36, 0xaf, 0x60,
    0x97, 0x8c, 0x8a, 0xdb, 0x6a, 0xd3, 0xcd, 0x19, 0xea, 0x23, 0x5f, 0xc1, 0x39, 0xa8, 0x91, 0x27,
    0x49, 0xe2, 0xd2, 0x74, 0x85, 0x48, 0x71, 0x9b, 0x5a, 0x0e, 0x3c, 0x52, 0x13, 0x71, 0xee, 0xfc,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

namespace
{

SAesEncoder g_StaticAesEncoder(AesStaticDecryptionRoundKeys, 10);

} // namespace

void SAesEncoder::WipeSchedule::operator()(SAesKeySchedule* schedule) const noexcept
{
    SecureZeroMemory(schedule, sizeof *schedule);
    delete schedule;
}

SAesEncoder::SAesEncoder(const uint8_t (&decryptionRoundKeys)[(AesMaxRounds + 1) * AesBlockSize],
                         uint32_t rounds) noexcept
    : m_pDecryptKeys(new (std::nothrow) SAesKeySchedule)
{
    // Without memory the encoder simply has no schedule, and says so on use.
    if (m_pDecryptKeys)
    {
        std::memcpy(m_pDecryptKeys->m_RoundKeys, decryptionRoundKeys, sizeof m_pDecryptKeys->m_RoundKeys);
        m_pDecryptKeys->m_Rounds = rounds;
    }
}

SAesEncoder::~SAesEncoder()
{
    m_UseAesNi = 0;
    m_pEncryptKeys.reset();
    m_pDecryptKeys.reset();
    ReleaseKey();
}

void SAesEncoder::ReleaseKey() noexcept
{
    if (m_pKey)
        SecureZeroMemory(m_pKey.get(), m_KeyLength);
    m_pKey.reset();
    m_KeyLength = 0;
}

SResult SAesEncoder::EncryptBlock(SResult& result, size_t inputLength, const uint8_t* input,
                                  uint8_t* output) const
{
    if (!m_pEncryptKeys)
        return result = kResultAesNoKeySchedule;
    if (inputLength < m_BlockSize)
        return result = kResultAesInputTooShort;
    if (m_UseAesNi)
        AesNiEncryptBlock(input, output, m_pEncryptKeys.get());
    else
        AesSoftwareEncryptBlock(input, output, *m_pEncryptKeys);
    return result = 0;
}

SResult SAesEncoder::DecryptBlock(SResult& result, size_t inputLength, const uint8_t* input,
                                  uint8_t* output) const
{
    if (!m_pDecryptKeys)
        return result = kResultAesNoKeySchedule;
    if (inputLength < m_BlockSize)
        return result = kResultAesInputTooShort;
    if (m_UseAesNi)
        AesNiDecryptBlock(input, output, m_pDecryptKeys.get());
    else
        AesSoftwareDecryptBlock(input, output, *m_pDecryptKeys);
    return result = 0;
}

SResult SAesEncoder::SetKey(SResult& result, const uint8_t* key, size_t length, Engine engine)
{
    if (key == nullptr || (length != 16 && length != 24 && length != 32))
        return result = kResultInvalidArgument;
    if (engine == Engine::AesNi && !CpuCanUseAesNi())
        return result = kResultNotSupported;

    SchedulePtr encryptKeys(new (std::nothrow) SAesKeySchedule);
    SchedulePtr decryptKeys(new (std::nothrow) SAesKeySchedule);
    std::unique_ptr<uint8_t[]> keyCopy(new (std::nothrow) uint8_t[length]);
    if (!encryptKeys || !decryptKeys || !keyCopy)
        return result = kResultOutOfMemory;

    AesExpandEncryptionKey(key, length, *encryptKeys);
    AesMakeDecryptionSchedule(*encryptKeys, *decryptKeys);
    std::memcpy(keyCopy.get(), key, length);

    m_pEncryptKeys = std::move(encryptKeys);
    m_pDecryptKeys = std::move(decryptKeys);
    ReleaseKey();
    m_pKey = std::move(keyCopy);
    m_KeyLength = static_cast<uint32_t>(length);
    m_UseAesNi = engine == Engine::AesNi || (engine == Engine::Auto && CpuCanUseAesNi()) ? 1 : 0;
    return result = 0;
}

SAesEncoder& StaticAesEncoder() noexcept
{
    return g_StaticAesEncoder;
}

} // namespace S
