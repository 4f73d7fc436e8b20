// Compares both AES paths with vectors the host's openssl produced for this run. The ctest step
// crypto_openssl_vectors writes them and starts this case with S_AES_OPENSSL_VECTORS naming
// the file; in the plain run of the suite the case has nothing to read and is skipped.
#include "library/crypto/SAesEncoder.h"

#include "library/crypto/CpuFeatures.h"

#include "CryptoTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{

using crypto_test::FromHex;
using crypto_test::ToHex;

struct OpenSslVector
{
    std::vector<uint8_t> key, plain, cipher;
};

std::vector<OpenSslVector> ReadVectors(const char* path)
{
    std::vector<OpenSslVector> vectors;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line))
    {
        std::istringstream fields(line);
        std::string key, plain, cipher;
        if (fields >> key >> plain >> cipher)
            vectors.push_back({FromHex(key), FromHex(plain), FromHex(cipher)});
    }
    return vectors;
}

TEST(AesOpenSslVectors, BothPathsMatchTheHostOpenSsl)
{
    const char* path = std::getenv("S_AES_OPENSSL_VECTORS");
    if (path == nullptr)
        GTEST_SKIP() << "run by the crypto_openssl_vectors ctest step";
    const auto vectors = ReadVectors(path);
    ASSERT_GE(vectors.size(), 30u) << "too few vectors in " << path;

    std::vector<S::SAesEncoder::Engine> engines{S::SAesEncoder::Engine::Software};
    if (S::CpuCanUseAesNi())
        engines.push_back(S::SAesEncoder::Engine::AesNi);
    size_t sizes[33] = {};
    for (const OpenSslVector& vector : vectors)
    {
        ASSERT_EQ(vector.plain.size(), vector.cipher.size());
        ASSERT_EQ(vector.plain.size() % 16, 0u);
        ++sizes[vector.key.size()];
        for (auto engine : engines)
        {
            S::SAesEncoder encoder;
            S::SResult result;
            ASSERT_EQ(encoder.SetKey(result, vector.key.data(), vector.key.size(), engine), S::SResult(0));
            for (size_t offset = 0; offset < vector.plain.size(); offset += 16)
            {
                uint8_t block[16];
                encoder.EncryptBlock(result, 16, vector.plain.data() + offset, block);
                ASSERT_EQ(ToHex(block), ToHex(std::span(vector.cipher).subspan(offset, 16)))
                    << "key " << ToHex(vector.key) << (encoder.UsesAesNi() ? " AES-NI" : " software");
                encoder.DecryptBlock(result, 16, vector.cipher.data() + offset, block);
                ASSERT_EQ(ToHex(block), ToHex(std::span(vector.plain).subspan(offset, 16)));
            }
        }
    }
    EXPECT_GT(sizes[16], 0u);
    EXPECT_GT(sizes[24], 0u);
    EXPECT_GT(sizes[32], 0u);
}

} // namespace
