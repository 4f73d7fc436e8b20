#include "library/crypto/Sha256.h"

#include "library/crypto/CpuFeatures.h"

#include "CryptoTestSupport.h"

#include <windows.h>

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

using crypto_test::ToHex;
using Digest = std::array<uint8_t, S::Sha256DigestSize>;

Digest HashOnce(const void* data, size_t length)
{
    uint8_t digest[S::Sha256DigestSize];
    S::Sha256(data, length, digest);
    return std::to_array(digest);
}

// Feeds the message in pieces ending at each of `cuts`.
Digest HashInPieces(const std::vector<uint8_t>& message, std::initializer_list<size_t> cuts)
{
    S::SSha256Context context;
    S::Sha256Init(context);
    size_t done = 0;
    for (size_t cut : cuts)
    {
        S::Sha256Update(context, message.data() + done, cut - done);
        done = cut;
    }
    S::Sha256Update(context, message.data() + done, message.size() - done);
    uint8_t digest[S::Sha256DigestSize];
    S::Sha256Final(context, digest);
    return std::to_array(digest);
}

// An independent implementation to compare with: the system's own, through CNG.
Digest HashWithBcrypt(const std::vector<uint8_t>& message)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    Digest digest{};
    EXPECT_EQ(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), 0);
    EXPECT_EQ(BCryptHash(algorithm, nullptr, 0, const_cast<PUCHAR>(message.data()),
                         static_cast<ULONG>(message.size()), digest.data(),
                         static_cast<ULONG>(digest.size())),
              0);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return digest;
}

std::vector<uint8_t> RandomBytes(size_t length, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(generator());
    return bytes;
}

// Runs every case once per engine the processor can run.
class Sha256Engines : public testing::TestWithParam<S::SSha256Engine>
{
protected:
    void SetUp() override
    {
        m_Previous = S::Sha256ActiveEngine();
        if (!S::Sha256UseEngine(GetParam()))
            GTEST_SKIP() << "the processor lacks the SHA extensions";
        ASSERT_EQ(S::Sha256ActiveEngine(), GetParam());
    }
    void TearDown() override { S::Sha256UseEngine(m_Previous); }

private:
    S::SSha256Engine m_Previous = S::SSha256Engine::Portable;
};

TEST_P(Sha256Engines, MatchesTheStandardVectors)
{
    struct Vector
    {
        std::string message;
        const char* digest;
    };
    const Vector vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pqrstnopq"
         "rstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Vector& vector : vectors)
    {
        SCOPED_TRACE(vector.message.substr(0, 16) + "... (" + std::to_string(vector.message.size()) +
                     " bytes)");
        EXPECT_EQ(ToHex(HashOnce(vector.message.data(), vector.message.size())), vector.digest);
    }
}

// Every length through five blocks covers each padding case: room for the length in the last
// block or not, and messages ending exactly on a block boundary.
TEST_P(Sha256Engines, AgreesWithTheSystemHashForEveryShortLength)
{
    for (size_t length = 0; length <= 320; ++length)
    {
        const auto message = RandomBytes(length, static_cast<uint32_t>(length));
        ASSERT_EQ(ToHex(HashOnce(message.data(), message.size())), ToHex(HashWithBcrypt(message)))
            << "length " << length;
    }
}

TEST_P(Sha256Engines, SplittingTheInputNeverChangesTheDigest)
{
    const auto message = RandomBytes(200, 7);
    const Digest whole = HashWithBcrypt(message);
    for (size_t cut = 0; cut <= message.size(); ++cut)
        ASSERT_EQ(HashInPieces(message, {cut}), whole) << "one cut at " << cut;
    // Two cuts, each somewhere around the first and second block boundaries.
    for (size_t first = 48; first <= 80; ++first)
        for (size_t second = first; second <= 144; ++second)
            ASSERT_EQ(HashInPieces(message, {first, second}), whole) << "cuts at " << first << ", " << second;
    S::SSha256Context context;
    S::Sha256Init(context);
    for (uint8_t b : message)
        S::Sha256Update(context, &b, 1);
    uint8_t digest[S::Sha256DigestSize];
    S::Sha256Final(context, digest);
    EXPECT_EQ(std::to_array(digest), whole);
}

INSTANTIATE_TEST_SUITE_P(Sha256, Sha256Engines,
                         testing::Values(S::SSha256Engine::Portable, S::SSha256Engine::ShaNi),
                         [](const testing::TestParamInfo<S::SSha256Engine>& info)
                         { return info.param == S::SSha256Engine::ShaNi ? "ShaNi" : "Portable"; });

TEST(Sha256, StartsOnTheFastestEngineTheProcessorOffers)
{
    EXPECT_EQ(S::Sha256ActiveEngine() == S::SSha256Engine::ShaNi, S::CpuCanUseShaNi());
}

TEST(Sha256, HexTextIsUpperCaseTwoDigitsPerByte)
{
    uint8_t digest[S::Sha256DigestSize];
    S::Sha256("abc", 3, digest);
    char text[2 * S::Sha256DigestSize + 1];
    std::memset(text, 'x', sizeof text);
    S::Sha256ToHex(digest, text);
    EXPECT_STREQ(text, "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
}

} // namespace
