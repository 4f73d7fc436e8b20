// Compares both AES paths with vectors the host's openssl produced for this run. The ctest step
// crypto_openssl_vectors writes them and starts this case with S_AES_OPENSSL_VECTORS naming
// the file; in the plain run of the suite the case has nothing to read and is skipped.
#include "library/crypto/SAesEncoder.h"

#include "library/crypto/CpuFeatures.h"

#include "CryptoTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace
{

using crypto_test::FromHex;
using crypto_test::ToHex;

TEST(AesOpenSslVectors, BothPathsMatchTheHostOpenSsl)
{
    const char* path = std::getenv("S_AES_OPENSSL_VECTORS");
    if (path == nullptr)
        GTEST_SKIP() << "run by the crypto_openssl_vectors ctest step";
    std::vector<S::SAesEncoder::Engine> engines{S::SAesEncoder::Engine::Software};
    if (S::CpuCanUseAesNi())
        engines.push_back(S::SAesEncoder::Engine::AesNi);

    std::ifstream file(path);
    std::string keyHex, plainHex, cipherHex;
    size_t vectors = 0;
    while (file >> keyHex >> plainHex >> cipherHex)
    {
        const auto key = FromHex(keyHex), plain = FromHex(plainHex);
        ASSERT_EQ(plainHex.size(), cipherHex.size());
        ASSERT_EQ(plain.size() % 16, 0u);
        ++vectors;
        for (auto engine : engines)
        {
            S::SAesEncoder encoder;
            S::SResult result;
            ASSERT_EQ(encoder.SetKey(result, key.data(), key.size(), engine), S::SResult(0));
            std::string encrypted, decrypted;
            for (size_t offset = 0; offset < plain.size(); offset += 16)
            {
                uint8_t block[16], back[16];
                encoder.EncryptBlock(result, 16, plain.data() + offset, block);
                encoder.DecryptBlock(result, 16, block, back);
                encrypted += ToHex(block);
                decrypted += ToHex(back);
            }
            ASSERT_EQ(encrypted, cipherHex)
                << "key " << keyHex << (encoder.UsesAesNi() ? " AES-NI" : " software");
            ASSERT_EQ(decrypted, plainHex) << "key " << keyHex;
        }
    }
    EXPECT_GE(vectors, 30u) << "too few vectors in " << path;
}

} // namespace
