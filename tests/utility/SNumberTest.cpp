#include "library/utility/SNumber.h"

#include <gtest/gtest.h>

using namespace S;

TEST(SNumber, FormatValueFallsBackToDecimalAndGroupsBitMasksByByte)
{
    SString out(L"previous text");
    SNumber<unsigned int>(255).FormatValue(out, 1); // radices outside 2..36 fall back to 10
    EXPECT_STREQ(out.c_str(), L"255");
    SNumber<int>(-1).FormatValue(out, 16);
    EXPECT_STREQ(out.c_str(), L"0xffffffff");
    SBitMask<unsigned short>(0x8001).FormatValue(out, 2);
    EXPECT_STREQ(out.c_str(), L"10000000 00000001");
}

namespace
{

// Valid bits 0x0F, and zero is no value.
struct Nibble : SBitMask<unsigned int>
{
    using SBitMask::SBitMask;
    bool IsZeroValid() const override { return false; }
    unsigned int GetMaxValue() const override { return 0x0F; }
};

} // namespace

TEST(SBitMask, ValidBitsAreThoseOfTheMaximumAndZeroAsTheMaskSays)
{
    EXPECT_EQ(SBitMask<unsigned short>().GetMaxValue(), 0xFFFFu);
    EXPECT_EQ(SBitMask<unsigned int>().GetMaxValue(), 0xFFFFFFFFu);
    EXPECT_EQ(SBitMask<unsigned long long>().GetMaxValue(), ~0ull);
    EXPECT_TRUE(SBitMask<unsigned long long>().IsValidValue(1ull << 63) && SBitMask<int>().IsValid(0));
    // value, valid for the nibble mask
    const std::pair<unsigned int, bool> nibbles[] = {
        {0, false}, {1, true}, {0x0F, true}, {0x10, false}, {0x8000000F, false}};
    for (const auto& [value, valid] : nibbles)
    {
        const Nibble mask;
        EXPECT_EQ(mask.IsValidValue(value), valid) << value;
        EXPECT_EQ(static_cast<const SBitMask<unsigned int>&>(mask).IsValid(value), valid) << value;
    }
}
