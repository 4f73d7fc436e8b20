#include "library/utility/SBuffer.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

using S::SBufferT;
using S::SResult;

namespace
{

using IntBuffer = SBufferT<uint32_t, 0>;

// Brings a plain buffer to capacity `capacity` holding `values`, then to count `count`.
void Prepare(IntBuffer& buffer, unsigned capacity, unsigned count, const std::vector<uint32_t>& values)
{
    SResult r;
    ASSERT_TRUE(buffer.Resize(r, capacity, false).Succeeded());
    std::copy(values.begin(), values.end(), buffer.GetData());
    ASSERT_TRUE(buffer.Resize(r, count, true).Succeeded());
}

std::vector<uint32_t> Contents(const IntBuffer& buffer)
{
    return {buffer.GetData(), buffer.GetData() + buffer.GetCount()};
}

} // namespace

TEST(SBuffer, PlainResizeTable)
{
    const struct
    {
        const char* name;
        unsigned capacity, count;
        std::vector<uint32_t> values;
        unsigned newCount;
        bool keep, sameMemory;
        unsigned newCapacity;
        std::vector<uint32_t> expected;
    } cases[] = {
        {"grow-keep copies and zero-fills", 2, 2, {7, 9}, 4, true, false, 4, {7, 9, 0, 0}},
        {"grow-discard allocates zeroed", 2, 2, {7, 9}, 3, false, false, 3, {0, 0, 0}},
        {"shrink-keep cuts the count", 4, 4, {1, 2, 3, 4}, 2, true, true, 4, {1, 2}},
        {"shrink-discard zeroes the kept part", 4, 4, {1, 2, 3, 4}, 3, false, true, 4, {0, 0, 0}},
        {"regrow-keep inside capacity zeroes the gap", 4, 2, {1, 2, 3, 4}, 4, true, true, 4, {1, 2, 0, 0}},
        {"same count with keep is a no-op", 3, 3, {5, 6, 7}, 3, true, true, 3, {5, 6, 7}},
        {"same count without keep zeroes", 3, 3, {5, 6, 7}, 3, false, true, 3, {0, 0, 0}},
        {"zero count keeps memory", 8, 8, {1, 2}, 0, false, true, 8, {}},
        {"emptied buffer reuses memory", 8, 0, {1, 2, 3}, 3, false, true, 8, {0, 0, 0}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        IntBuffer buffer;
        Prepare(buffer, c.capacity, c.count, c.values);
        const uint32_t* before = buffer.GetData();
        SResult out = -1;
        EXPECT_EQ(buffer.Resize(out, c.newCount, c.keep).Code(), 0);
        EXPECT_EQ(out.Code(), 0);
        EXPECT_EQ(buffer.GetData() == before, c.sameMemory);
        EXPECT_EQ(buffer.GetCapacity(), c.newCapacity);
        EXPECT_EQ(Contents(buffer), c.expected);
    }
}

TEST(SBuffer, MemoryIsWipedWholeBeforeItIsFreed)
{
    STest::FreedMemoryProbe probe;
    SResult out;
    {
        IntBuffer buffer;
        Prepare(buffer, 2, 2, {0xDEADBEEF, 0xCAFEF00D});
        probe.Watch(buffer.GetData());
        ASSERT_TRUE(buffer.Resize(out, 4, true).Succeeded()); // growth leaves the old memory
        EXPECT_EQ(probe.m_Fate, STest::Fate::FreedZeroed);
        EXPECT_EQ(Contents(buffer), (std::vector<uint32_t>{0xDEADBEEF, 0xCAFEF00D, 0, 0}));

        buffer[3] = 0xFEEDFACE;
        buffer.Resize(out, 2, true); // live count below capacity: the tail must be wiped too
        probe.Watch(buffer.GetData());
    }
    EXPECT_EQ(probe.m_Fate, STest::Fate::FreedZeroed);
    EXPECT_EQ(probe.m_FreedSize, 4 * sizeof(uint32_t));
}

TEST(SBuffer, MissingMemoryAndFailedAllocation)
{
    IntBuffer buffer;
    Prepare(buffer, 3, 3, {1, 2, 3});
    uint32_t* detached = buffer.Detach();
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetCount(), 3u); // the count tells the caller what it received
    EXPECT_EQ(detached[2], 3u);
    S::PlainFree(detached);
    SResult out;
    EXPECT_EQ(buffer.Resize(out, 3, true).Unsigned(), 0x8007054Fu);
    EXPECT_EQ(out.Unsigned(), 0x8007054Fu);
    EXPECT_TRUE(buffer.Resize(out, 3, false).Succeeded());
    EXPECT_EQ(Contents(buffer), (std::vector<uint32_t>{0, 0, 0}));

    SBufferT<std::array<unsigned char, 65536>, 0> huge;
    ASSERT_TRUE(huge.Resize(out, 2, false).Succeeded());
    EXPECT_EQ(huge.Resize(out, 0xFFFFFFFFu, true).Unsigned(), 0x8007000Eu);
    EXPECT_EQ(huge.GetData(), nullptr);
    EXPECT_EQ(huge.GetCount() + huge.GetCapacity(), 0u);
}

namespace
{

struct Tracked
{
    static inline int live = 0;
    int value = -1;
    Tracked() { ++live; }
    Tracked(const Tracked& other) : value(other.value) { ++live; }
    Tracked& operator=(const Tracked&) = default;
    ~Tracked() { --live; }
};

} // namespace

TEST(SBuffer, ObjectBufferConstructsCopiesAndDestroysElements)
{
    Tracked::live = 0;
    {
        SBufferT<Tracked, 1> buffer;
        SResult out;
        ASSERT_TRUE(buffer.Resize(out, 3, false).Succeeded());
        for (unsigned i = 0; i < 3; ++i)
            buffer[i].value = static_cast<int>(i) * 10;
        ASSERT_TRUE(buffer.Resize(out, 5, true).Succeeded());
        EXPECT_EQ(Tracked::live, 5);
        EXPECT_EQ(buffer[2].value, 20);
        EXPECT_EQ(buffer[3].value, -1);
        ASSERT_TRUE(buffer.Resize(out, 0, true).Succeeded());
        EXPECT_EQ(Tracked::live, 0);
        EXPECT_EQ(buffer.GetData(), nullptr);
        ASSERT_TRUE(buffer.Resize(out, 4, false).Succeeded());
    }
    EXPECT_EQ(Tracked::live, 0);
}
