#include "library/crypto/SAesEncoder.h"

#include "library/crypto/SCpuFeatures.h"

#include "CryptoTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

namespace
{

using crypto_test::FromHex;
using crypto_test::ToHex;
using Block = std::vector<uint8_t>;
using Engine = S::SAesEncoder::Engine;
using Operation = S::SResult (S::SAesBaseEncoder::*)(S::SResult&, size_t, const uint8_t*, uint8_t*) const;
constexpr Operation Encrypt = &S::SAesBaseEncoder::EncryptBlock;
constexpr Operation Decrypt = &S::SAesBaseEncoder::DecryptBlock;

std::unique_ptr<S::SAesEncoder> Keyed(const std::vector<uint8_t>& key, Engine engine)
{
    auto encoder = std::make_unique<S::SAesEncoder>();
    S::SResult result;
    EXPECT_EQ(encoder->SetKey(result, key.data(), key.size(), engine), S::SResult(0));
    return encoder;
}

// One block through an operation; the result must be success and equal the returned code.
Block Apply(const S::SAesBaseEncoder& encoder, Operation operation, const Block& in)
{
    Block out(16);
    S::SResult result = -1;
    EXPECT_EQ((encoder.*operation)(result, in.size(), in.data(), out.data()), S::SResult(0));
    EXPECT_EQ(result, S::SResult(0));
    return out;
}

std::vector<Engine> Engines()
{
    return S::CpuCanUseAesNi() ? std::vector{Engine::Software, Engine::AesNi} : std::vector{Engine::Software};
}

// Expects `code` from the operation on `length` bytes, with the output left untouched.
void ExpectRefused(const S::SAesBaseEncoder& encoder, Operation operation, size_t length, S::SResult code)
{
    const Block in(16);
    Block out(16, 0xEE);
    S::SResult result;
    EXPECT_EQ((encoder.*operation)(result, length, in.data(), out.data()), code) << length;
    EXPECT_EQ(result, code);
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), 16) << "output written";
}

TEST(SAesEncoder, BothPathsMatchTheStandardVectorsAndRefuseShortInputAndBadKeys)
{
    const char* const vectors[][3] = {
        {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
         "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
         "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    };
    for (Engine engine : Engines())
        for (const auto& [key, plainHex, cipherHex] : vectors)
        {
            SCOPED_TRACE(testing::Message() << key << (engine == Engine::AesNi ? " AES-NI" : " software"));
            const auto encoder = Keyed(FromHex(key), engine);
            EXPECT_EQ(encoder->UsesAesNi(), engine == Engine::AesNi);
            const Block plain = FromHex(plainHex), cipher = FromHex(cipherHex);
            EXPECT_EQ(Apply(*encoder, Encrypt, plain), cipher);
            EXPECT_EQ(Apply(*encoder, Decrypt, cipher), plain);

            // In place, and from the start of a longer input.
            std::vector<uint8_t> buffer =
                FromHex(std::string(plainHex) + "0123456789abcdef0123456789abcdef01");
            S::SResult result;
            encoder->EncryptBlock(result, buffer.size(), buffer.data(), buffer.data());
            EXPECT_EQ(ToHex(std::span(buffer).first(16)), cipherHex);

            for (Operation operation : {Encrypt, Decrypt})
                for (size_t length : {0, 15})
                    ExpectRefused(*encoder, operation, length, S::kResultAesInputTooShort);
            // Bad keys are refused and the old one stays.
            for (size_t length : {0, 15, 17, 31, 33})
                EXPECT_EQ(encoder->SetKey(result, buffer.data(), length, engine), S::kResultInvalidArgument);
            EXPECT_EQ(result, S::kResultInvalidArgument);
            EXPECT_EQ(encoder->SetKey(result, nullptr, 16, engine), S::kResultInvalidArgument);
            EXPECT_EQ(Apply(*encoder, Encrypt, plain), cipher);
        }
}

TEST(SAesEncoder, BothPathsAgreeOnRandomKeysAndBlocks)
{
    if (!S::CpuCanUseAesNi())
        GTEST_SKIP() << "the processor lacks AES-NI";
    std::mt19937_64 generator(20240611);
    const auto random = [&] { return uint8_t(generator()); };
    for (int keyIndex = 0; keyIndex < 600; ++keyIndex)
    {
        std::vector<uint8_t> key(16 + 8 * (keyIndex % 3));
        std::ranges::generate(key, random);
        const auto software = Keyed(key, Engine::Software);
        const auto hardware = Keyed(key, Engine::AesNi);
        SCOPED_TRACE("key " + ToHex(key));
        for (int blockIndex = 0; blockIndex < 8; ++blockIndex)
        {
            Block plain(16);
            std::ranges::generate(plain, random);
            const Block cipher = Apply(*software, Encrypt, plain);
            ASSERT_EQ(Apply(*hardware, Encrypt, plain), cipher) << "block " << ToHex(plain);
            ASSERT_EQ(Apply(*hardware, Decrypt, cipher), plain);
            ASSERT_EQ(Apply(*software, Decrypt, cipher), plain);
        }
    }
}

TEST(SAesEncoder, MissingScheduleIsReportedFirstAndTheStaticInstanceOnlyDecrypts)
{
    const S::SAesEncoder unkeyed;
    for (Operation operation : {Encrypt, Decrypt})
        for (size_t length : {3, 16})
            ExpectRefused(unkeyed, operation, length, S::kResultAesNoKeySchedule);

    const S::SAesEncoder& encoder = S::StaticAesEncoder();
    EXPECT_FALSE(encoder.UsesAesNi());
    ExpectRefused(encoder, Encrypt, 16, S::kResultAesNoKeySchedule);
    ExpectRefused(encoder, Decrypt, 15, S::kResultAesInputTooShort);
    // The last round key of an AES-128 decryption schedule is the cipher key itself: what is
    // encrypted under it, the static schedule must undo.
    const auto software = Keyed(
        {S::AesStaticDecryptionRoundKeys + 160, S::AesStaticDecryptionRoundKeys + 176}, Engine::Software);
    const Block plain = FromHex("00112233445566778899aabbccddeeff");
    EXPECT_EQ(Apply(encoder, Decrypt, Apply(*software, Encrypt, plain)), plain);
}

TEST(SAesEncoder, KeyMaterialIsWipedBeforeItsMemoryIsReleased)
{
    const auto key = FromHex("5d1e0a77f3b2c4e1990a1b2c3d4e5f607182939c4e5f6a7b8c9d0e1f20314253");
    const auto other = FromHex("a0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
    {
        // The scanner is only worth something if it notices a block that was not wiped.
        crypto_test::FreedBlockScanner scanner(key);
        std::make_unique<std::vector<uint8_t>>(key).reset();
        EXPECT_EQ(scanner.m_Holding, 1u);
    }
    for (Engine engine : {Engine::Software, Engine::Auto})
    {
        auto encoder = Keyed(key, engine);
        {
            // Replacing the key releases the old key buffer and both old schedules, each of
            // which holds the key's first 16 bytes.
            crypto_test::FreedBlockScanner scanner{std::span(key).first(16)};
            S::SResult result;
            encoder->SetKey(result, other.data(), other.size(), engine);
            EXPECT_EQ(scanner.m_Released, 3u);
            EXPECT_EQ(scanner.m_Holding, 0u);
        }
        crypto_test::FreedBlockScanner scanner(other);
        encoder.reset();
        EXPECT_EQ(scanner.m_Released, 4u); // the encoder, two schedules, the key
        EXPECT_EQ(scanner.m_Holding, 0u);
    }
}

// The crypto_openssl_vectors ctest step writes vectors with the host's openssl for this run and
// names the file; the plain run of the suite skips this case.
TEST(AesOpenSslVectors, BothPathsMatchTheHostOpenSsl)
{
    const char* path = std::getenv("S_AES_OPENSSL_VECTORS");
    if (path == nullptr)
        GTEST_SKIP() << "run by the crypto_openssl_vectors ctest step";
    std::ifstream file(path);
    std::string keyHex, plainHex, cipherHex;
    size_t vectors = 0;
    for (; file >> keyHex >> plainHex >> cipherHex; ++vectors)
        for (Engine engine : Engines())
        {
            SCOPED_TRACE(testing::Message() << keyHex << (engine == Engine::AesNi ? " AES-NI" : " software"));
            const auto encoder = Keyed(FromHex(keyHex), engine);
            std::string encrypted, decrypted;
            for (size_t at = 0; at < plainHex.size(); at += 32)
            {
                const Block cipher =
                    Apply(*encoder, Encrypt, FromHex(std::string_view(plainHex).substr(at, 32)));
                encrypted += ToHex(cipher);
                decrypted += ToHex(Apply(*encoder, Decrypt, cipher));
            }
            ASSERT_EQ(encrypted, cipherHex);
            ASSERT_EQ(decrypted, plainHex);
        }
    EXPECT_GE(vectors, 30u) << "too few vectors in " << path;
}

} // namespace
