#include "library/utility/SGuid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace S;

TEST(SGuid, ParseTable)
{
    const SGuid expected{0xDEADBEEF, 0x12AB, 0xCD34, {0x56, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB}};
    const SGuid sentinel{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
    const struct
    {
        const wchar_t* text;
        bool parsed, parsedBraced;
    } cases[] = {
        {L"DEADBEEF-12AB-CD34-56EF-0123456789AB", true, false},
        {L"deadbeef-12ab-cd34-56ef-0123456789ab", true, false},
        {L"DeadBeef-12aB-Cd34-56eF-0123456789aB", true, false},
        {L"DEADBEEF-12AB-CD34-56EF-0123456789AB}", true, false}, // no digit after position 36
        {L"DEADBEEF-12AB-CD34-56EF-0123456789AB tail", true, false},
        {L"DEADBEEF-12AB-CD34-56EF-0123456789ABC", false, false}, // a digit after position 36
        {L"DEADBEE-F12AB-CD34-56EF-0123456789AB", false, false},  // first group a digit short
        {L"DEADBEEF-12AB-CD34-56E-F0123456789AB", false, false},  // fourth group a digit short
        {L"DEADBEEF-12AB-CD34-56EF-0123456789A", false, false},   // last group a digit short
        {L"DEADBEEF-12AB-CD34-56EF-0123456789AG", false, false},
        {L"DEADBEEF_12AB-CD34-56EF-0123456789AB", false, false},
        {L"", false, false},
        {L"{deadbeef-12ab-cd34-56ef-0123456789ab}", false, true},
        {L"{deadbeef-12ab-cd34-56ef-0123456789ab}x", false, false},
        {L"{deadbeef-12ab-cd34-56ef-0123456789ab", false, false},
        {L"{deadbeef-12ab-cd34-56ef-0123456789abc}", false, false},
        {L"{}", false, false},
    };
    for (const auto& c : cases)
    {
        SGuid guid = sentinel, braced = sentinel;
        EXPECT_EQ(guid.Parse(SString(c.text)), c.parsed) << c.text;
        EXPECT_EQ(braced.ParseBraced(SString(c.text)), c.parsedBraced) << c.text;
        EXPECT_EQ(std::memcmp(&guid, c.parsed ? &expected : &sentinel, 16), 0) << c.text;
        EXPECT_EQ(std::memcmp(&braced, c.parsedBraced ? &expected : &sentinel, 16), 0) << c.text;
    }
}

TEST(SGuid, OrdersFieldByFieldUnsigned)
{
    // Each neighbour pair differs in one field only; the byte 0x80 must sort above 0x7F.
    const std::vector<SGuid> ascending = {
        {0x00000001, 0xFFFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0x80000000, 0x0000, 0xFFFF, {0xFF, 0, 0, 0, 0, 0, 0, 0}},
        {0x80000000, 0x8000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}},
        {0x80000000, 0x8000, 0x0001, {0x7F, 0, 0, 0, 0, 0, 0, 0xFF}},
        {0x80000000, 0x8000, 0x0001, {0x80, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (size_t i = 0; i + 1 < ascending.size(); ++i)
    {
        EXPECT_TRUE(ascending[i] < ascending[i + 1]) << i;
        EXPECT_FALSE(ascending[i + 1] < ascending[i]) << i;
        EXPECT_FALSE(ascending[i] == ascending[i + 1]) << i;
    }
    EXPECT_TRUE(ascending[3] == SGuid(ascending[3]));
}
