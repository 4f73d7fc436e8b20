#include "library/utility/SNumber.h"

#include <gtest/gtest.h>

using namespace S;

namespace
{

template <typename Number> std::wstring Text(const Number& number, unsigned char radix)
{
    SString out(L"previous text");
    number.FormatValue(out, radix);
    return std::wstring(out.c_str());
}

class LowNibbleMask : public SBitMask<unsigned int, 1, 0>
{
public:
    using SBitMask::SBitMask;
    unsigned int GetMaxValue() const override { return 0x0F; }
};

class NoZeroMask : public SBitMask<int, 1, 0>
{
public:
    bool IsZeroValid() const override { return false; }
};

} // namespace

TEST(SNumber, FormatsInEveryRadix)
{
    const struct
    {
        unsigned char radix;
        const wchar_t* text;
    } rows[] = {{16, L"0xff"}, {10, L"255"}, {2, L"11111111"}, {8, L"377"},
                {36, L"73"},   {1, L"255"},  {0, L"255"},      {37, L"255"}};
    for (const auto& row : rows)
        EXPECT_EQ(Text(SNumber<unsigned int>(255), row.radix), row.text) << int(row.radix);
    EXPECT_EQ(Text(SNumber<unsigned int>(0), 16), L"0");
    EXPECT_EQ(Text(SNumber<unsigned long long>(0xFFFFFFFFFFFFFFFFull), 10), L"18446744073709551615");
    EXPECT_EQ(Text(SNumber<unsigned long long>(0x123456789ABCDEFull), 16), L"0x123456789abcdef");
    EXPECT_EQ(Text(SNumber<unsigned short>(0xBEEF), 16), L"0xbeef");
    EXPECT_EQ(Text(SNumber<int>(-5), 10), L"-5");
    EXPECT_EQ(Text(SNumber<int>(-1), 16), L"0xffffffff");
}

TEST(SBitMask, BinaryTextGroupsEightBitsFromTheLowEnd)
{
    EXPECT_EQ(Text(SBitMask<unsigned int>(5), 2), L"00000000 00000000 00000000 00000101");
    EXPECT_EQ(Text(SBitMask<unsigned short>(0x8001), 2), L"10000000 00000001");
    EXPECT_EQ(Text(SBitMask<unsigned long long>(0x8000000000000000ull), 2),
              L"10000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000");
    EXPECT_EQ(Text(SBitMask<int>(-1), 2), L"11111111 11111111 11111111 11111111");
    // Other radices go to the number's own text.
    EXPECT_EQ(Text(SBitMask<unsigned int>(255), 16), L"0xff");
}

TEST(SBitMask, ValidValuesLieInsideTheMask)
{
    const SBitMask<unsigned int, 1, 0> plain;
    EXPECT_TRUE(plain.IsValidValue(0));
    EXPECT_TRUE(plain.IsValidValue(0xFFFFFFFF));
    EXPECT_EQ(plain.GetMaxValue(), 0xFFFFFFFFu);
    EXPECT_EQ(SBitMask<unsigned short>().GetMaxValue(), 0xFFFF);
    EXPECT_EQ(SBitMask<unsigned long long>().GetMaxValue(), ~0ull);

    const LowNibbleMask nibble;
    EXPECT_TRUE(nibble.IsValidValue(0x0F));
    EXPECT_TRUE(nibble.IsValid(0x05));
    EXPECT_FALSE(nibble.IsValidValue(0x10));
    EXPECT_FALSE(nibble.IsValid(0x11));

    const NoZeroMask noZero;
    EXPECT_FALSE(noZero.IsValidValue(0));
    EXPECT_TRUE(noZero.IsValidValue(1));
}
