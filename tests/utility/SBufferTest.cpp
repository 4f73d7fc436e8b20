#include "library/utility/SBuffer.h"
#include "library/utility/SString.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using S::SBufferT;
using S::SResult;

namespace
{

using IntBuffer = SBufferT<uint32_t, 0>;

// Brings a plain buffer to count `count` and capacity `capacity` with the given leading values.
void Prepare(IntBuffer& buffer, unsigned capacity, unsigned count, const std::vector<uint32_t>& values)
{
    SResult r;
    ASSERT_TRUE(buffer.Resize(r, capacity, false).Succeeded());
    for (size_t i = 0; i < values.size(); ++i)
        buffer[static_cast<unsigned>(i)] = values[i];
    if (count != capacity)
    {
        ASSERT_TRUE(buffer.Resize(r, count, true).Succeeded());
    }
}

std::vector<uint32_t> Contents(const IntBuffer& buffer)
{
    return {buffer.GetData(), buffer.GetData() + buffer.GetCount()};
}

struct ResizeCase
{
    const char* name;
    unsigned capacity;
    unsigned count;
    std::vector<uint32_t> values;
    unsigned newCount;
    bool keep;
    bool sameMemory;
    unsigned newCapacity;
    std::vector<uint32_t> expected;
};

} // namespace

TEST(SBuffer, PlainResizeTable)
{
    const ResizeCase cases[] = {
        {"grow-keep copies and zero-fills", 2, 2, {7, 9}, 4, true, false, 4, {7, 9, 0, 0}},
        {"grow-discard allocates zeroed", 2, 2, {7, 9}, 3, false, false, 3, {0, 0, 0}},
        {"shrink-keep cuts the count", 4, 4, {1, 2, 3, 4}, 2, true, true, 4, {1, 2}},
        {"shrink-discard zeroes the kept part", 4, 4, {1, 2, 3, 4}, 3, false, true, 4, {0, 0, 0}},
        {"regrow-keep inside capacity zeroes the gap", 4, 2, {1, 2, 3, 4}, 4, true, true, 4, {1, 2, 0, 0}},
        {"same count with keep is a no-op", 3, 3, {5, 6, 7}, 3, true, true, 3, {5, 6, 7}},
        {"same count without keep zeroes", 3, 3, {5, 6, 7}, 3, false, true, 3, {0, 0, 0}},
        {"zero count keeps memory", 8, 8, {1, 2}, 0, false, true, 8, {}},
    };
    for (const ResizeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        IntBuffer buffer;
        Prepare(buffer, c.capacity, c.count, c.values);
        const uint32_t* before = buffer.GetData();
        SResult out;
        const SResult returned = buffer.Resize(out, c.newCount, c.keep);
        EXPECT_EQ(returned.Code(), 0);
        EXPECT_EQ(out.Code(), 0);
        EXPECT_EQ(buffer.GetData() == before, c.sameMemory);
        EXPECT_EQ(buffer.GetCapacity(), c.newCapacity);
        EXPECT_EQ(Contents(buffer), c.expected);
    }
}

TEST(SBuffer, EmptiedBufferReusesItsMemoryAndZeroesWhatItHandsOut)
{
    IntBuffer buffer;
    Prepare(buffer, 8, 8, {1, 2, 3, 4, 5, 6, 7, 8});
    const uint32_t* memory = buffer.GetData();
    SResult out;
    buffer.Resize(out, 0, false);
    EXPECT_EQ(buffer.GetCount(), 0u);
    EXPECT_EQ(buffer.GetData(), memory);
    EXPECT_TRUE(buffer.Resize(out, 5, false).Succeeded());
    EXPECT_EQ(buffer.GetData(), memory);
    EXPECT_EQ(Contents(buffer), (std::vector<uint32_t>{0, 0, 0, 0, 0}));
}

TEST(SBuffer, GrowthWipesTheOldMemoryBeforeFreeingIt)
{
    STest::FreedMemoryProbe probe;
    IntBuffer buffer;
    Prepare(buffer, 2, 2, {0xDEADBEEF, 0xCAFEF00D});
    probe.Watch(buffer.GetData());
    const uint32_t* old = buffer.GetData();
    SResult out;
    ASSERT_TRUE(buffer.Resize(out, 4, true).Succeeded());
    ASSERT_TRUE(probe.WasFreed(old));
    EXPECT_TRUE(probe.WasZeroWhenFreed(old));
    EXPECT_EQ(Contents(buffer), (std::vector<uint32_t>{0xDEADBEEF, 0xCAFEF00D, 0, 0}));
}

TEST(SBuffer, DestructionWipesTheWholeCapacity)
{
    STest::FreedMemoryProbe probe;
    const void* memory = nullptr;
    {
        IntBuffer buffer;
        Prepare(buffer, 6, 6, {1, 2, 3, 4, 5, 6});
        SResult out;
        buffer.Resize(out, 2, true); // live count below capacity: the tail must be wiped too
        memory = buffer.GetData();
        probe.Watch(memory);
    }
    ASSERT_TRUE(probe.WasFreed(memory));
    EXPECT_TRUE(probe.WasZeroWhenFreed(memory));
    EXPECT_GE(probe.FreedSize(memory), 6 * sizeof(uint32_t));
}

TEST(SBuffer, MissingMemoryWithUnchangedCountIsReported)
{
    IntBuffer buffer;
    Prepare(buffer, 3, 3, {1, 2, 3});
    uint32_t* detached = buffer.Detach();
    ASSERT_NE(detached, nullptr);
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetCount(), 3u); // the count tells the caller what it received
    EXPECT_EQ(detached[2], 3u);
    S::PlainFree(detached);

    SResult out;
    EXPECT_EQ(buffer.Resize(out, 3, true).Unsigned(), 0x8007054Fu);
    EXPECT_EQ(out.Unsigned(), 0x8007054Fu);
    EXPECT_TRUE(buffer.Resize(out, 3, false).Succeeded());
    EXPECT_EQ(Contents(buffer), (std::vector<uint32_t>{0, 0, 0}));
}

TEST(SBuffer, FailedAllocationLeavesAnEmptyBuffer)
{
    struct Huge
    {
        unsigned char bytes[65536];
    };
    SBufferT<Huge, 0> buffer;
    SResult out;
    ASSERT_TRUE(buffer.Resize(out, 2, false).Succeeded());
    EXPECT_EQ(buffer.Resize(out, 0xFFFFFFFFu, true).Unsigned(), 0x8007000Eu);
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_EQ(buffer.GetCount(), 0u);
    EXPECT_EQ(buffer.GetCapacity(), 0u);
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
        EXPECT_EQ(Tracked::live, 3);
        for (unsigned i = 0; i < 3; ++i)
            buffer[i].value = static_cast<int>(i) * 10;

        ASSERT_TRUE(buffer.Resize(out, 5, true).Succeeded());
        EXPECT_EQ(Tracked::live, 5);
        EXPECT_EQ(buffer[2].value, 20);
        EXPECT_EQ(buffer[3].value, -1);

        ASSERT_TRUE(buffer.Resize(out, 2, true).Succeeded());
        EXPECT_EQ(Tracked::live, 2);
        EXPECT_EQ(buffer.GetCapacity(), 2u);
        EXPECT_EQ(buffer[1].value, 10);

        ASSERT_TRUE(buffer.Resize(out, 2, true).Succeeded());
        EXPECT_EQ(buffer[1].value, 10);

        ASSERT_TRUE(buffer.Resize(out, 0, true).Succeeded());
        EXPECT_EQ(Tracked::live, 0);
        EXPECT_EQ(buffer.GetData(), nullptr);

        ASSERT_TRUE(buffer.Resize(out, 4, false).Succeeded());
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(SBuffer, ObjectBufferOfStrings)
{
    SBufferT<S::SString, 1> strings;
    SResult out;
    ASSERT_TRUE(strings.Resize(out, 2, false).Succeeded());
    strings[0] = L"first";
    strings[1] = L"second";
    ASSERT_TRUE(strings.Resize(out, 3, true).Succeeded());
    EXPECT_EQ(std::wstring(strings[0]), L"first");
    EXPECT_EQ(std::wstring(strings[1]), L"second");
    EXPECT_TRUE(strings[2].IsEmpty());
}
