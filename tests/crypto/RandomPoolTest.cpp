#include "library/crypto/SRandomPool.h"

#include "library/crypto/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

const auto BytesOf = [](const void* data, size_t length)
{ return Bytes(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length); };

// Records each stir's data before the pool folds it in.
struct RecordingPool : S::SRandomPool
{
    void Stir(const void* data, size_t length) noexcept override
    {
        m_Stirs.push_back(BytesOf(data, length));
        SRandomPool::Stir(data, length);
    }
    std::vector<Bytes> m_Stirs;
};

TEST(RandomPool, FirstValueWarmsThePoolWithSixtyThreeEmptyStirsThenThree)
{
    RecordingPool pool;
    uint32_t value = 0x11223344;
    uint32_t* const address = &value;
    const uint32_t returned = pool.Random32(address);

    ASSERT_EQ(pool.m_Stirs.size(), 63u + 3u);
    EXPECT_EQ(std::count(pool.m_Stirs.begin(), pool.m_Stirs.begin() + 63, Bytes{}), 63);
    EXPECT_EQ(pool.m_Stirs[63], BytesOf("\x44\x33\x22\x11", 4)); // what the output held
    EXPECT_EQ(pool.m_Stirs[64], BytesOf(&address, sizeof address));
    EXPECT_TRUE(pool.m_Stirs[65].empty());
    // 63 * 8 = 504 reaches the threshold of 500; then 12, 16 and 8 more.
    EXPECT_EQ(pool.State().m_StirCount, 504u + 12u + 16u + 8u);
    EXPECT_EQ(returned, value);
    EXPECT_EQ(std::memcmp(&value, pool.State().m_Digest, sizeof value), 0);

    // Once warm, a value takes three stirs, the first with the previous value.
    const uint32_t first = value;
    pool.m_Stirs.clear();
    EXPECT_NE(pool.Random32(&value), first);
    ASSERT_EQ(pool.m_Stirs.size(), 3u);
    EXPECT_EQ(pool.m_Stirs[0], BytesOf(&first, sizeof first));
}

TEST(RandomPool, StirHashesTheDataThenThePoolWithItsPreviousDigest)
{
    S::SRandomPool pool;
    pool.Stir("seed", 4);
    const S::SRandomPool::Block before = pool.State();
    const char data[] = "some data to stir";
    pool.Stir(data, sizeof data);
    const S::SRandomPool::Block after = pool.State();
    EXPECT_EQ(after.m_StirCount, before.m_StirCount + 8 + sizeof data);
    EXPECT_NE(after.m_TimeStampSum, before.m_TimeStampSum);
    EXPECT_GT(after.m_PerformanceCount, 0);
    EXPECT_GE(after.m_Time.wYear, 2024);

    S::SRandomPool::Block hashed = after;
    std::memcpy(hashed.m_Digest, before.m_Digest, sizeof hashed.m_Digest);
    S::SSha256Context context;
    S::Sha256Init(context);
    S::Sha256Update(context, data, sizeof data);
    S::Sha256Update(context, &hashed, sizeof hashed);
    uint8_t expected[S::Sha256DigestSize];
    S::Sha256Final(context, expected);
    EXPECT_EQ(std::memcmp(after.m_Digest, expected, sizeof expected), 0);
}

TEST(RandomPool, ProcessWideSourceGivesVaryingValues)
{
    std::set<uint32_t> seen;
    for (uint32_t i = 0, value = 0; i < 200; ++i)
        seen.insert(S::GetRandom32(&value));
    EXPECT_GE(seen.size(), 199u);
}

} // namespace
