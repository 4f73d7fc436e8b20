#include "library/utility/SGuid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace S;

namespace
{

const SGuid Expected{0xDEADBEEF, 0x12AB, 0xCD34, {0x56, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}};
const SGuid Sentinel{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};

bool SameBytes(const SGuid& a, const SGuid& b)
{
    return std::equal(reinterpret_cast<const unsigned char*>(&a),
                      reinterpret_cast<const unsigned char*>(&a) + 16,
                      reinterpret_cast<const unsigned char*>(&b));
}

} // namespace

TEST(SGuid, ParsesEveryCase)
{
    for (const wchar_t* text :
         {L"DEADBEEF-12AB-CD34-56EF-0123456789AB", L"deadbeef-12ab-cd34-56ef-0123456789ab",
          L"DeadBeef-12aB-Cd34-56eF-0123456789aB"})
    {
        SGuid guid = Sentinel;
        EXPECT_TRUE(guid.Parse(SString(text))) << text;
        EXPECT_TRUE(SameBytes(guid, Expected)) << text;
    }
}

TEST(SGuid, RejectsMalformedTextAndKeepsTheValue)
{
    const wchar_t* bad[] = {
        L"",
        L"DEADBEE-F12AB-CD34-56EF-0123456789AB",   // first group a digit short
        L"DEADBEEF-12A-BCD34-56EF-0123456789AB",   // second group a digit short
        L"DEADBEEF-12AB-CD3-456EF-0123456789AB",   // third group a digit short
        L"DEADBEEF-12AB-CD34-56E-F0123456789AB",   // fourth group a digit short
        L"DEADBEEF-12AB-CD34-56EF-0123456789A",    // last group a digit short (35 units)
        L"DEADBEEF-12AB-CD34-56EF-0123456789ABC",  // a hexadecimal digit after position 36
        L"DEADBEEF-12AB-CD34-56EF-0123456789AG",   // a non-digit inside the last group
        L"DEADBEEF_12AB-CD34-56EF-0123456789AB",   // wrong separator
        L"{DEADBEEF-12AB-CD34-56EF-0123456789AB}", // braces need ParseBraced
        L"DEADBEEF",
    };
    for (const wchar_t* text : bad)
    {
        SGuid guid = Sentinel;
        EXPECT_FALSE(guid.Parse(SString(text))) << text;
        EXPECT_TRUE(SameBytes(guid, Sentinel)) << text;
    }
}

TEST(SGuid, AcceptsTextAfterPosition36WhenItIsNoDigit)
{
    for (const wchar_t* text :
         {L"DEADBEEF-12AB-CD34-56EF-0123456789AB}", L"DEADBEEF-12AB-CD34-56EF-0123456789AB tail",
          L"DEADBEEF-12AB-CD34-56EF-0123456789AB-"})
    {
        SGuid guid;
        EXPECT_TRUE(guid.Parse(SString(text))) << text;
        EXPECT_TRUE(SameBytes(guid, Expected)) << text;
    }
}

TEST(SGuid, ParseBracedNeedsBothBracesAndNothingAfter)
{
    SGuid guid = Sentinel;
    EXPECT_TRUE(guid.ParseBraced(SString(L"{deadbeef-12ab-cd34-56ef-0123456789ab}")));
    EXPECT_TRUE(SameBytes(guid, Expected));

    for (const wchar_t* text :
         {L"deadbeef-12ab-cd34-56ef-0123456789ab", L"}", L"{", L"{}", L"",
          L"{deadbeef-12ab-cd34-56ef-0123456789ab}x", L"{deadbeef-12ab-cd34-56ef-0123456789ab",
          L"deadbeef-12ab-cd34-56ef-0123456789ab}", L"{deadbeef-12ab-cd34-56ef-0123456789abc}"})
    {
        SGuid kept = Sentinel;
        EXPECT_FALSE(kept.ParseBraced(SString(text))) << text;
        EXPECT_TRUE(SameBytes(kept, Sentinel)) << text;
    }
}

TEST(SGuid, OrdersFieldByFieldUnsigned)
{
    // Each neighbour pair differs in one field only; the byte 0x80 must sort above 0x7F.
    const std::vector<SGuid> ascending = {
        {0x00000001, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0x80000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}},
        {0x80000000, 0x8000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}},
        {0x80000000, 0x8000, 0x0001, {0, 0, 0, 0, 0, 0, 0, 0}},
        {0x80000000, 0x8000, 0x0001, {0x7F, 0, 0, 0, 0, 0, 0, 0xFF}},
        {0x80000000, 0x8000, 0x0001, {0x80, 0, 0, 0, 0, 0, 0, 0}},
        {0x80000000, 0x8000, 0x0001, {0x80, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (size_t i = 0; i + 1 < ascending.size(); ++i)
    {
        EXPECT_TRUE(ascending[i] < ascending[i + 1]) << i;
        EXPECT_FALSE(ascending[i + 1] < ascending[i]) << i;
        EXPECT_FALSE(ascending[i] == ascending[i + 1]) << i;
    }
    EXPECT_TRUE(ascending[3] == SGuid(ascending[3]));
}
