#include "library/utility/SGuid.h"
#include "library/utility/SNumber.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

using namespace S;

TEST(SGuid, ParseTable)
{
    const SGuid expected{0xDEADBEEF, 0x12AB, 0xCD34, {0x56, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}};
    const SGuid sentinel{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
    // text, parsed plain, parsed braced
    const std::tuple<const wchar_t*, bool, bool> cases[] = {
        {L"DEADBEEF-12AB-CD34-56EF-0123456789AB", true, false},
        {L"deadbeef-12ab-cd34-56ef-0123456789ab", true, false},
        {L"DeadBeef-12aB-Cd34-56eF-0123456789aB", true, false},
        {L"DEADBEEF-12AB-CD34-56EF-0123456789AB}", true, false},  // no digit after position 36
        {L"DEADBEEF-12AB-CD34-56EF-0123456789ABC", false, false}, // a digit after position 36
        {L"DEADBEE-F12AB-CD34-56EF-0123456789AB", false, false},  // first group a digit short
        {L"DEADBEEF-12AB-CD34-56E-F0123456789AB", false, false},  // fourth group a digit short
        {L"DEADBEEF-12AB-CD34-56EF-0123456789A", false, false},   // last group a digit short
        {L"{deadbeef-12ab-cd34-56ef-0123456789ab}", false, true},
        {L"{deadbeef-12ab-cd34-56ef-0123456789ab}x", false, false},
    };
    for (const auto& [text, parsed, parsedBraced] : cases)
    {
        SGuid guid = sentinel, braced = sentinel;
        EXPECT_EQ(guid.Parse(SString(text)), parsed) << text;
        EXPECT_EQ(braced.ParseBraced(SString(text)), parsedBraced) << text;
        EXPECT_EQ(std::memcmp(&guid, parsed ? &expected : &sentinel, 16), 0) << text;
        EXPECT_EQ(std::memcmp(&braced, parsedBraced ? &expected : &sentinel, 16), 0) << text;
    }
}

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
