#include "library/crypto/Sha256.h"

#include "library/crypto/CpuFeatures.h"

#include "CryptoTestSupport.h"

#include <windows.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace
{

using crypto_test::ToHex;

// Hashes the message in pieces: the first `cut` bytes, then the rest in steps of `step`.
std::string Hash(std::string_view message, size_t cut = 0, size_t step = SIZE_MAX)
{
    S::SSha256Context context;
    S::Sha256Init(context);
    S::Sha256Update(context, message.data(), cut);
    for (size_t done = cut, piece = 0; done < message.size(); done += piece)
    {
        piece = std::min(step, message.size() - done);
        S::Sha256Update(context, message.data() + done, piece);
    }
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
class Sha256Engines : public testing::TestWithParam<S::SSha256Engine>
{
protected:
    void SetUp() override
    {
        if (!S::Sha256UseEngine(GetParam()))
            GTEST_SKIP() << "the processor lacks the SHA extensions";
        ASSERT_EQ(S::Sha256ActiveEngine(), GetParam());
    }
    void TearDown() override { S::Sha256UseEngine(m_Previous); }
    const S::SSha256Engine m_Previous = S::Sha256ActiveEngine();
};

TEST_P(Sha256Engines, MatchesTheStandardVectors)
{
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
         "mnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, digest] : vectors)
    {
        uint8_t oneShot[S::Sha256DigestSize];
        S::Sha256(message.data(), message.size(), oneShot);
        EXPECT_EQ(ToHex(oneShot), digest) << message.size() << " bytes";
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

TEST(Sha256, StartsOnTheFastestEngineAndWritesUpperCaseHex)
{
    EXPECT_EQ(S::Sha256ActiveEngine() == S::SSha256Engine::ShaNi, S::CpuCanUseShaNi());
    uint8_t digest[S::Sha256DigestSize];
    S::Sha256("abc", 3, digest);
    char text[2 * S::Sha256DigestSize + 1];
    std::fill(std::begin(text), std::end(text), 'x');
    S::Sha256ToHex(digest, text);
    EXPECT_STREQ(text, "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
}

} // namespace
