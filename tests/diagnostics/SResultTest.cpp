#include "library/diagnostics/SResult.h"

#include <gtest/gtest.h>

TEST(SResult, SignDecidesFailure)
{
    EXPECT_TRUE(S::SResult(0).Succeeded());
    EXPECT_TRUE(S::SResult(1).Succeeded());
    EXPECT_TRUE(S::SResult(0xA0040481u).Failed());
    EXPECT_EQ(S::SResult(0x80070005u), S::HResultFromWin32(5));
    EXPECT_EQ(S::HResultFromWin32(0).Code(), 0);
}
