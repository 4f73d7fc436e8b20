#include "library/utility/SNumber.h"

#include <gtest/gtest.h>

using namespace S;

template <typename Number> static std::wstring Text(const Number& number, unsigned char radix)
{
    SString out(L"previous text");
    number.FormatValue(out, radix);
    return std::wstring(out.c_str());
}

TEST(SNumber, FormatTable)
{
    const std::pair<std::wstring, const wchar_t*> rows[] = {
        {Text(SNumber<unsigned int>(255), 16), L"0xff"},
        {Text(SNumber<unsigned int>(255), 1), L"255"}, // radices outside 2..36 fall back to 10
        {Text(SNumber<int>(-1), 16), L"0xffffffff"},
        {Text(SBitMask<unsigned short>(0x8001), 2), L"10000000 00000001"},
        {Text(SBitMask<int>(-1), 2), L"11111111 11111111 11111111 11111111"},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}
