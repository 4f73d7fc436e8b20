#include "library/utility/SAutoPtr.h"

#include "utility/Counted.h"

#include <gtest/gtest.h>

using STest::Counted;
using Auto = S::SAutoPtrT<Counted, 0>;

TEST(SAutoPtr, MovesOwnershipAndKeepsABorrowedTargetAlive)
{
    {
        Counted kept(1);
        Auto owning(new Counted(2)), borrowing(&kept, false);
    }
    EXPECT_EQ(Counted::live, 0);
    Auto a(new Counted(3)), b(new Counted(4));
    b = std::move(a);
    EXPECT_EQ(Counted::live, 1); // b's old target was released
    // A borrowed view of the own target: nothing is released, the borrow flag is taken over.
    Auto view(b.Get(), false);
    b = std::move(view);
    EXPECT_EQ(Counted::live, 1);
    delete b.Detach();
    EXPECT_EQ(Counted::live, 0);
}
