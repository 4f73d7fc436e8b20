#include "library/utility/SAutoPtr.h"
#include "library/utility/SSmartPtr.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using S::SAutoPtrT;
using S::SSmartPtrT;

namespace
{

struct Counted
{
    static inline int live = 0;
    int id;
    explicit Counted(int i = 0) : id(i) { ++live; }
    Counted(const Counted&) = delete;
    virtual ~Counted() { --live; }
    bool IsEqual(const Counted& other) const { return id == other.id; }
};

struct DerivedCounted : Counted
{
    static inline int destroyed = 0;
    using Counted::Counted;
    ~DerivedCounted() override { ++destroyed; }
};

using Auto = SAutoPtrT<Counted, 0>;
using Smart = SSmartPtrT<Counted*, 0, 1>;

// Opens the shared count cell to the test.
struct ExposedSmart : Smart
{
    using Smart::Smart;
    const void* CountCell() const { return m_pCount; }
};

class Pointers : public ::testing::Test
{
protected:
    void SetUp() override { Counted::live = DerivedCounted::destroyed = 0; }
    void TearDown() override { EXPECT_EQ(Counted::live, 0) << "an object leaked or was deleted twice"; }
};

void CountingDelete(Counted* c)
{
    ++DerivedCounted::destroyed;
    delete c;
}

} // namespace

TEST_F(Pointers, AutoPtrOwnsOrBorrowsAndMovesOwnership)
{
    Counted kept(1);
    {
        Auto owning(new DerivedCounted(2));
        Auto borrowing(&kept, false);
        EXPECT_EQ(Counted::live, 2);
    }
    EXPECT_EQ(DerivedCounted::destroyed, 1); // through the virtual destructor
    EXPECT_EQ(Counted::live, 1);

    Auto a(new Counted(3));
    Auto b(new Counted(4));
    b = std::move(a);
    EXPECT_EQ(Counted::live, 2); // b's old target was released
    EXPECT_EQ(b->id, 3);
    EXPECT_EQ(a.Get(), nullptr);
    EXPECT_FALSE(a.Owns());
    Auto& alias = b;
    b = std::move(alias);
    EXPECT_TRUE(b.Owns());
    // A borrowed view of the own target: nothing is released, the borrow flag is taken over.
    Auto view(b.Get(), false);
    b = std::move(view);
    EXPECT_EQ(Counted::live, 2);
    EXPECT_FALSE(b.Owns());
    delete b.Detach();

    STest::FreedMemoryProbe probe;
    auto* text = static_cast<wchar_t*>(S::PlainAllocateZeroed(4 * sizeof(wchar_t)));
    probe.Watch(text);
    SAutoPtrT<wchar_t, 1>(text, true); // an array goes back to the plain allocator
    EXPECT_NE(probe.m_Fate, STest::Fate::Alive);
}

TEST_F(Pointers, SmartPtrCopiesShareOneCountAndTheLastReleaseDeletesAndFreesTheCells)
{
    STest::FreedMemoryProbe probe;
    {
        ExposedSmart first(new Counted(7), CountingDelete);
        probe.Watch(first.CountCell());
        {
            Smart second(first);
            Smart third(new Counted(8));
            third = second; // releases the 8
            EXPECT_EQ(Counted::live, 1);
            EXPECT_EQ(first.GetReferenceCount(), 3);
            EXPECT_EQ(third->id, 7);
            third = third;
            EXPECT_EQ(first.GetReferenceCount(), 3);
        }
        Smart moved(std::move(first));
        EXPECT_EQ(first.Get(), nullptr);
        EXPECT_EQ(moved.GetReferenceCount(), 1);
        EXPECT_EQ(DerivedCounted::destroyed, 0);
        EXPECT_EQ(probe.m_Fate, STest::Fate::Alive);
    }
    EXPECT_EQ(DerivedCounted::destroyed, 1); // the deleter ran once
    EXPECT_NE(probe.m_Fate, STest::Fate::Alive);
    Counted onStack(2);
    Smart(&onStack, nullptr); // a null deleter never deletes
    EXPECT_EQ(Counted::live, 1);
}

TEST_F(Pointers, SmartPtrEquality)
{
    Smart a(new Counted(1));
    const Smart copy(a), sameTarget(a.Get(), nullptr), sameId(new Counted(1)), otherId(new Counted(2));
    const Smart nullTarget(nullptr), otherNullTarget(nullptr), noCell;
    EXPECT_TRUE(a.IsEqual(copy) && a.IsEqual(sameTarget) && a.IsEqual(sameId)); // shared, same, equal targets
    EXPECT_TRUE(nullTarget.IsEqual(otherNullTarget));
    EXPECT_FALSE(a.IsEqual(otherId) || a.IsEqual(nullTarget) || a.IsEqual(noCell));
    EXPECT_TRUE(a.IsNotEqual(otherId));
}

TEST_F(Pointers, SmartPtrCopiesReleasedOnManyThreadsDeleteOnce)
{
    Smart root(new Counted(5));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [root]
            {
                for (int i = 0; i < 5000; ++i)
                {
                    Smart copy(root);
                    Smart another = copy;
                }
            });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(root.GetReferenceCount(), 1);
    EXPECT_EQ(Counted::live, 1);
}
