#include "library/crypto/Sha256.h"

#include "library/crypto/SCpuFeatures.h"

#include "CryptoTestSupport.h"

#include <windows.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace
{

using crypto_test::ToHex;

// Hashes the message in pieces: the first `cut` bytes, then the rest in steps of `step`.
std::string Hash(std::string_view message, size_t cut = 0, size_t step = size_t{1} << 30)
{
    S::SSha256Context context;
    S::Sha256Init(context);
    S::Sha256Update(context, message.data(), cut);
    for (size_t done = cut; done < message.size(); done += step)
        S::Sha256Update(context, message.data() + done, std::min(step, message.size() - done));
    uint8_t digest[S::Sha256DigestSize];
    S::Sha256Final(context, digest);
    return ToHex(digest);
}

// An independent implementation to compare with: the system's own, through CNG.
std::string HashWithBcrypt(std::string_view message)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    uint8_t digest[S::Sha256DigestSize] = {};
    EXPECT_EQ(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), 0);
    EXPECT_EQ(BCryptHash(algorithm, nullptr, 0, PUCHAR(message.data()), ULONG(message.size()), digest, 32),
              0);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return ToHex(digest);
}

// Runs every case once per engine the processor can run.
struct Sha256Engines : testing::TestWithParam<S::SSha256Engine>
{
    void SetUp() override
    {
        // Each case starts on the default engine, which must be the fastest the processor runs.
        EXPECT_EQ(m_Previous == S::SSha256Engine::ShaNi, S::CpuCanUseShaNi());
        if (!S::Sha256UseEngine(GetParam()))
            GTEST_SKIP() << "the processor lacks the SHA extensions";
        ASSERT_EQ(S::Sha256ActiveEngine(), GetParam());
    }
    void TearDown() override { S::Sha256UseEngine(m_Previous); }
    const S::SSha256Engine m_Previous = S::Sha256ActiveEngine();
};

// Short messages are the next case's, against the system's hash; these add the one-shot call, the
// text form and a message far longer than any block count the other case reaches.
TEST_P(Sha256Engines, MatchesTheStandardVectors)
{
    const std::pair<std::string, const char*> vectors[] = {
        {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"}};
    for (const auto& [message, digest] : vectors)
    {
        uint8_t oneShot[S::Sha256DigestSize];
        char text[2 * S::Sha256DigestSize + 1];
        std::ranges::fill(text, 'x');
        S::Sha256(message.data(), message.size(), oneShot);
        S::Sha256ToHex(oneShot, text);
        EXPECT_STREQ(text, digest) << message.size() << " bytes";
    }
}

// Every length through five blocks covers each padding case: room for the length in the last
// block or not, and messages ending exactly on a block boundary. Then one message split at
// every offset, and fed byte by byte.
TEST_P(Sha256Engines, AgreesWithTheSystemHashHoweverTheInputIsSplit)
{
    std::mt19937 generator(7);
    std::string message;
    for (size_t length = 0; length <= 320; message += char(generator()), ++length)
        ASSERT_EQ(Hash(message), HashWithBcrypt(message)) << "length " << length;
    message.resize(200);
    const std::string whole = HashWithBcrypt(message);
    for (size_t cut = 0; cut <= message.size(); ++cut)
        ASSERT_EQ(Hash(message, cut), whole) << "cut at " << cut;
    for (size_t step : {1, 3, 63, 65})
        ASSERT_EQ(Hash(message, 0, step), whole) << "steps of " << step;
}

INSTANTIATE_TEST_SUITE_P(Sha256, Sha256Engines,
                         testing::Values(S::SSha256Engine::Portable, S::SSha256Engine::ShaNi),
                         [](const testing::TestParamInfo<S::SSha256Engine>& info)
                         { return info.param == S::SSha256Engine::ShaNi ? "ShaNi" : "Portable"; });

} // namespace
