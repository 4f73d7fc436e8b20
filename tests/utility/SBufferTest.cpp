#include "library/utility/SBuffer.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <tuple>
#include <vector>

using S::SBufferT;
using S::SResult;
using IntBuffer = SBufferT<uint32_t, 0>;
using Ints = std::vector<uint32_t>;

// Brings a plain buffer to capacity `values.size()` holding `values`, then to count `count`.
static void Prepare(IntBuffer& buffer, unsigned count, const Ints& values)
{
    SResult r;
    ASSERT_TRUE(buffer.Resize(r, static_cast<unsigned>(values.size()), false).Succeeded());
    std::copy(values.begin(), values.end(), buffer.GetData());
    ASSERT_TRUE(buffer.Resize(r, count, true).Succeeded());
}

TEST(SBuffer, PlainResizeTable)
{
    // count, values up to the capacity, new count, keep contents, same memory, contents after
    const std::tuple<unsigned, Ints, unsigned, bool, bool, Ints> cases[] = {
        {2, {7, 9}, 4, true, false, {7, 9, 0, 0}},      // growth copies and zero-fills
        {4, {1, 2, 3, 4}, 3, false, true, {0, 0, 0}},   // shrinking without keep zeroes
        {2, {1, 2, 3, 4}, 4, true, true, {1, 2, 0, 0}}, // regrowth inside the capacity zeroes the gap
        {3, {5, 6, 7}, 3, false, true, {0, 0, 0}},      // same count without keep zeroes
        {0, {1, 2, 3}, 3, false, true, {0, 0, 0}},      // an emptied buffer reuses its memory
    };
    for (const auto& [count, values, newCount, keep, sameMemory, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << count << " of " << values.size() << " to " << newCount);
        IntBuffer buffer;
        Prepare(buffer, count, values);
        const uint32_t* before = buffer.GetData();
        SResult out = -1;
        EXPECT_EQ(buffer.Resize(out, newCount, keep).Code(), 0);
        EXPECT_EQ(out.Code(), 0);
        EXPECT_EQ(buffer.GetData() == before, sameMemory);
        EXPECT_EQ(Ints(buffer.GetData(), buffer.GetData() + buffer.GetCount()), expected);
    }
}

TEST(SBuffer, MemoryIsWipedBeforeItIsFreedAndFailuresAreReported)
{
    SResult out;
    IntBuffer buffer;
    Prepare(buffer, 2, {0xDEADBEEF, 0xCAFEF00D});
    {
        const STest::FreedMemoryProbe probe(buffer.GetData());
        ASSERT_TRUE(buffer.Resize(out, 4, true).Succeeded()); // growth leaves the old memory
        EXPECT_EQ(probe.m_FreedZeroed, true);
    }
    buffer[3] = 0xFEEDFACE;
    buffer.Resize(out, 2, true); // live count below capacity: the tail must be wiped too
    const STest::FreedMemoryProbe probe(buffer.GetData());
    buffer = IntBuffer();
    EXPECT_EQ(probe.m_FreedZeroed, true);
    EXPECT_EQ(probe.m_FreedSize, 4 * sizeof(uint32_t));

    Prepare(buffer, 3, {1, 2, 3});
    S::PlainFree(buffer.Detach());
    EXPECT_EQ(buffer.GetCount(), 3u); // the count tells the caller what it received
    EXPECT_EQ(buffer.Resize(out, 3, true), S::kResultInternalError);
    EXPECT_EQ(out, S::kResultInternalError);
    EXPECT_TRUE(buffer.Resize(out, 3, false).Succeeded());

    SBufferT<std::array<unsigned char, 65536>, 0> huge;
    ASSERT_TRUE(huge.Resize(out, 2, false).Succeeded());
    EXPECT_EQ(huge.Resize(out, 0xFFFFFFFFu, true), S::kResultOutOfMemory);
    EXPECT_EQ(huge.GetData(), nullptr);
    EXPECT_EQ(huge.GetCount() + huge.GetCapacity(), 0u);
}
