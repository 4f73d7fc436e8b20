#include "library/utility/SScopedForTesting.h"

#include <gtest/gtest.h>

namespace
{

// A seam whose default is 0; the test starts it elsewhere so that a restore to the default shows.
int g_Seam = 0;
int SetSeamForTesting(int value) noexcept
{
    const int previous = g_Seam;
    g_Seam = value;
    return previous;
}

} // namespace

TEST(SScopedForTesting, PutsBackWhatItReplacedAlsoWhenNested)
{
    g_Seam = 7;
    {
        const S::SScopedForTesting outer(SetSeamForTesting, 1);
        EXPECT_EQ(outer.Previous(), 7);
        {
            const S::SScopedForTesting inner(SetSeamForTesting, 2);
            EXPECT_EQ(g_Seam, 2);
            EXPECT_EQ(inner.Previous(), 1);
        }
        EXPECT_EQ(g_Seam, 1) << "the inner scope restores the outer value, not the default";
    }
    EXPECT_EQ(g_Seam, 7);
    g_Seam = 0;
}
