#include "library/utility/SGuid.h"

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
