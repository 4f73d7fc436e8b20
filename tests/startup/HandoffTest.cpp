#include "startup/HandoffFixture.h"

#include <tuple>

using namespace S;
using STest::HandoffTest;

TEST(HandoffValueNameTest, EightLowerCaseHexDigits)
{
    EXPECT_STREQ(HandoffValueName(0x1A2B, SString(L"AppId")).c_str(), L"00001a2b-AppId");
    EXPECT_STREQ(HandoffValueName(0xFFFFFFFF, SString(L"Asynchronous")).c_str(), L"ffffffff-Asynchronous");
}

// A value is read once, as text whatever its type, and removed; an empty one counts as missing
// but is consumed too; process id 0 means this process.
TEST_F(HandoffTest, ReadsOnlyTheProcesssOwnValueOnceAndRemovesIt)
{
    const uint32_t self = GetCurrentProcessId();
    // Per row: the process id written and read, the text and its type, found, left behind.
    const std::tuple<uint32_t, uint32_t, const wchar_t*, DWORD, bool, bool> cases[] = {
        {0x1A2B, 0x1A2C, L"{app}", REG_SZ, false, true},
        {0x1A2B, 0x1A2B, L"{app}", REG_SZ, true, false},
        {self, 0, L"3", REG_SZ, true, false},
        {7, 7, L"AB", REG_DWORD, true, false},
        {8, 8, L"", REG_SZ, false, false},
    };
    for (const auto& [written, read, text, type, found, remains] : cases)
    {
        SCOPED_TRACE(text);
        Write(written, L"AppId", text, type);
        SString value(L"old");
        EXPECT_EQ(ReadHandoffValue(read, SString(L"AppId"), value), found);
        EXPECT_STREQ(value.c_str(), found ? text : L"");
        EXPECT_EQ(Exists(written, L"AppId"), remains);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halvern Technologies"); // a missing key too
        value = SString(L"old");
        EXPECT_FALSE(ReadHandoffValue(written, SString(L"AppId"), value));
        EXPECT_TRUE(value.IsEmpty());
    }
}
