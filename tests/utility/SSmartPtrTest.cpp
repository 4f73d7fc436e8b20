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
    static inline int derivedDestroyed = 0;
    int id;
    explicit Counted(int i = 0) : id(i) { ++live; }
    Counted(const Counted&) = delete;
    virtual ~Counted() { --live; }
    bool IsEqual(const Counted& other) const { return id == other.id; }
};

struct DerivedCounted : Counted
{
    using Counted::Counted;
    ~DerivedCounted() override { ++derivedDestroyed; }
};

class AutoPtrTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Counted::live = 0;
        Counted::derivedDestroyed = 0;
    }
    void TearDown() override { EXPECT_EQ(Counted::live, 0) << "an object leaked or was deleted twice"; }
};

using SmartPtrTest = AutoPtrTest;

} // namespace

TEST_F(AutoPtrTest, OwningDeletesThroughTheVirtualDestructorBorrowingDoesNot)
{
    Counted kept(1);
    {
        SAutoPtrT<Counted, 0> owning(new DerivedCounted(2));
        SAutoPtrT<Counted, 0> borrowing(&kept, false);
        EXPECT_TRUE(owning.Owns());
        EXPECT_FALSE(borrowing.Owns());
        EXPECT_EQ(Counted::live, 2);
    }
    EXPECT_EQ(Counted::derivedDestroyed, 1);
    EXPECT_EQ(Counted::live, 1);
    EXPECT_EQ(kept.id, 1);

    const SAutoPtrT<Counted, 0> empty;
    EXPECT_EQ(empty.Get(), nullptr);
    EXPECT_TRUE(empty.Owns());
}

TEST_F(AutoPtrTest, MoveAssignmentTransfersOwnership)
{
    SAutoPtrT<Counted, 0> a(new Counted(1));
    SAutoPtrT<Counted, 0> b(new Counted(2));
    b = std::move(a);
    EXPECT_EQ(Counted::live, 1); // b's old target was released
    EXPECT_EQ(b->id, 1);
    EXPECT_TRUE(b.Owns());
    EXPECT_EQ(a.Get(), nullptr);
    EXPECT_FALSE(a.Owns());

    SAutoPtrT<Counted, 0>& alias = b;
    b = std::move(alias);
    EXPECT_EQ(b->id, 1);
    EXPECT_TRUE(b.Owns());
    EXPECT_EQ(Counted::live, 1);
}

TEST_F(AutoPtrTest, MovingABorrowedViewOfTheOwnTargetKeepsItAlive)
{
    SAutoPtrT<Counted, 0> owner(new Counted(3));
    SAutoPtrT<Counted, 0> view(owner.Get(), false);
    owner = std::move(view); // same target: nothing is released, the borrow flag is taken over
    EXPECT_EQ(Counted::live, 1);
    EXPECT_FALSE(owner.Owns());
    delete owner.Detach();
}

TEST(AutoPtrArray, OwningArrayIsFreedWithThePlainDeallocator)
{
    STest::FreedMemoryProbe probe;
    auto* text = static_cast<wchar_t*>(S::PlainAllocateZeroed(4 * sizeof(wchar_t)));
    ASSERT_NE(text, nullptr);
    probe.Watch(text);
    {
        SAutoPtrT<wchar_t, 1> owner(text, true);
        EXPECT_EQ(owner[3], L'\0');
    }
    EXPECT_TRUE(probe.WasFreed(text));
}

TEST_F(SmartPtrTest, CopiesShareOneCountAndTheLastReleaseDeletes)
{
    {
        SSmartPtrT<Counted*, 0, 1> first(new Counted(7));
        EXPECT_EQ(first.GetReferenceCount(), 1);
        {
            SSmartPtrT<Counted*, 0, 1> second(first);
            SSmartPtrT<Counted*, 0, 1> third;
            third = second;
            EXPECT_EQ(first.GetReferenceCount(), 3);
            EXPECT_EQ(third->id, 7);
        }
        EXPECT_EQ(first.GetReferenceCount(), 1);
        EXPECT_EQ(Counted::live, 1);

        SSmartPtrT<Counted*, 0, 1> moved(std::move(first));
        EXPECT_EQ(first.Get(), nullptr);
        EXPECT_EQ(moved.GetReferenceCount(), 1);
        EXPECT_EQ(Counted::live, 1);
    }
    EXPECT_EQ(Counted::live, 0);
}

TEST_F(SmartPtrTest, AssigningReleasesThePreviousTarget)
{
    SSmartPtrT<Counted*, 0, 1> a(new Counted(1));
    SSmartPtrT<Counted*, 0, 1> b(new Counted(2));
    a = b;
    EXPECT_EQ(Counted::live, 1);
    EXPECT_EQ(a->id, 2);
    EXPECT_EQ(b.GetReferenceCount(), 2);
    a = a;
    EXPECT_EQ(b.GetReferenceCount(), 2);
}

namespace
{

int g_DeleterCalls = 0;
void CountingDeleter(Counted* c)
{
    ++g_DeleterCalls;
    delete c;
}

// Opens the shared cells to the test.
struct ExposedSmartPtr : SSmartPtrT<Counted*, 0, 1>
{
    using SSmartPtrT::SSmartPtrT;
    const void* CountCell() const { return m_pCount; }
};

} // namespace

TEST_F(SmartPtrTest, DeleterVariants)
{
    g_DeleterCalls = 0;
    {
        SSmartPtrT<Counted*, 0, 1> custom(new Counted(1), CountingDeleter);
        SSmartPtrT<Counted*, 0, 1> copy(custom);
    }
    EXPECT_EQ(g_DeleterCalls, 1);
    EXPECT_EQ(Counted::live, 0);

    Counted onStack(2);
    {
        SSmartPtrT<Counted*, 0, 1> never(&onStack, nullptr);
    }
    EXPECT_EQ(Counted::live, 1);
}

TEST_F(SmartPtrTest, LastReleaseFreesTheCountCell)
{
    STest::FreedMemoryProbe probe;
    const void* cell = nullptr;
    {
        ExposedSmartPtr p(new Counted(1));
        cell = p.CountCell();
        probe.Watch(cell);
        ExposedSmartPtr copy(p);
        copy = ExposedSmartPtr(new Counted(2));
        EXPECT_FALSE(probe.WasFreed(cell));
    }
    EXPECT_TRUE(probe.WasFreed(cell));
}

TEST_F(SmartPtrTest, EqualityTable)
{
    SSmartPtrT<Counted*, 0, 1> a(new Counted(1));
    SSmartPtrT<Counted*, 0, 1> aCopy(a);
    SSmartPtrT<Counted*, 0, 1> sameId(new Counted(1));
    SSmartPtrT<Counted*, 0, 1> otherId(new Counted(2));
    SSmartPtrT<Counted*, 0, 1> sameTarget(a.Get(), nullptr); // separate cells, one target
    SSmartPtrT<Counted*, 0, 1> nullTarget(nullptr);
    SSmartPtrT<Counted*, 0, 1> otherNullTarget(nullptr);
    SSmartPtrT<Counted*, 0, 1> noCell;

    struct Case
    {
        const char* name;
        const SSmartPtrT<Counted*, 0, 1>& x;
        const SSmartPtrT<Counted*, 0, 1>& y;
        bool equal;
    };
    const Case cases[] = {
        {"itself", a, a, true},
        {"copy shares the cell", a, aCopy, true},
        {"separate cells, same target", a, sameTarget, true},
        {"targets equal by value", a, sameId, true},
        {"targets differ", a, otherId, false},
        {"null target", a, nullTarget, false},
        {"null targets in separate cells", nullTarget, otherNullTarget, true},
        {"missing cell", a, noCell, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.x.IsEqual(c.y), c.equal);
        EXPECT_EQ(c.x.IsNotEqual(c.y), !c.equal);
    }
}

TEST_F(SmartPtrTest, CopiesReleasedOnManyThreadsDeleteOnce)
{
    SSmartPtrT<Counted*, 0, 1> root(new Counted(5));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [root]
            {
                for (int i = 0; i < 5000; ++i)
                {
                    SSmartPtrT<Counted*, 0, 1> copy(root);
                    SSmartPtrT<Counted*, 0, 1> another = copy;
                }
            });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(root.GetReferenceCount(), 1);
    EXPECT_EQ(Counted::live, 1);
}
