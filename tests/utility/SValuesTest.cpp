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
