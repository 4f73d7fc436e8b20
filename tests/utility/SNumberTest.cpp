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
    unsigned int GetMaxValue() const override { return 0x0F; }
};

class NoZeroMask : public SBitMask<int, 1, 0>
{
public:
    bool IsZeroValid() const override { return false; }
};

} // namespace

TEST(SNumber, FormatTable)
{
    const std::pair<std::wstring, const wchar_t*> rows[] = {
        {Text(SNumber<unsigned int>(255), 16), L"0xff"},
        {Text(SNumber<unsigned int>(255), 10), L"255"},
        {Text(SNumber<unsigned int>(255), 36), L"73"},
        {Text(SNumber<unsigned int>(255), 1), L"255"}, // radices outside 2..36 fall back to 10
        {Text(SNumber<unsigned int>(0), 16), L"0"},
        {Text(SNumber<unsigned long long>(0xFFFFFFFFFFFFFFFFull), 10), L"18446744073709551615"},
        {Text(SNumber<unsigned long long>(0x123456789ABCDEFull), 16), L"0x123456789abcdef"},
        {Text(SNumber<int>(-1), 16), L"0xffffffff"},
        {Text(SBitMask<unsigned int>(5), 2), L"00000000 00000000 00000000 00000101"},
        {Text(SBitMask<unsigned short>(0x8001), 2), L"10000000 00000001"},
        {Text(SBitMask<unsigned long long>(1ull << 63), 2),
         L"10000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"},
        {Text(SBitMask<int>(-1), 2), L"11111111 11111111 11111111 11111111"},
        {Text(SBitMask<unsigned int>(255), 16), L"0xff"},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

TEST(SBitMask, ValidValuesLieInsideTheMask)
{
    const SBitMask<unsigned int, 1, 0> plain;
    EXPECT_TRUE(plain.IsValidValue(0));
    EXPECT_TRUE(plain.IsValidValue(0xFFFFFFFF));
    const LowNibbleMask nibble;
    EXPECT_TRUE(nibble.IsValidValue(0x0F));
    EXPECT_FALSE(nibble.IsValidValue(0x10));
    EXPECT_FALSE(nibble.IsValid(0x11));
    const NoZeroMask noZero;
    EXPECT_FALSE(noZero.IsValidValue(0));
    EXPECT_TRUE(noZero.IsValidValue(1));
}
