#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

using namespace S;

namespace
{

// Runs with HKEY_CURRENT_USER redirected into a private subtree, so the fixed hand-off key
// path lands there.
class HandoffTest : public testing::Test
{
protected:
    void Write(uint32_t processId, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ)
    {
        STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, KeyPath(),
                                          HandoffValueName(processId, SString(name)).c_str(), text, type);
    }
    bool Exists(uint32_t processId, const wchar_t* name)
    {
        return STest::RegistrySandbox::ValueExists(HKEY_CURRENT_USER, KeyPath(),
                                                   HandoffValueName(processId, SString(name)).c_str());
    }
    static std::wstring KeyPath() { return GetHandoffKeyLocation().path.c_str(); }

    STest::RegistrySandbox m_Sandbox{true};
};

} // namespace

TEST(HandoffValueNameTest, EightLowerCaseHexDigits)
{
    EXPECT_STREQ(HandoffValueName(0x1A2B, SString(L"AppId")).c_str(), L"00001a2b-AppId");
    EXPECT_STREQ(HandoffValueName(3900, SString(L"SessionId")).c_str(), L"00000f3c-SessionId");
    EXPECT_STREQ(HandoffValueName(0xFFFFFFFF, SString(L"Asynchronous")).c_str(), L"ffffffff-Asynchronous");
}

TEST_F(HandoffTest, ReadsOnceAndDeletes)
{
    Write(0x1A2B, L"AppId", L"{app}");
    SString value(L"old");
    EXPECT_FALSE(ReadHandoffValue(0x1A2C, SString(L"AppId"), value));
    EXPECT_TRUE(value.IsEmpty());
    EXPECT_TRUE(Exists(0x1A2B, L"AppId"));

    EXPECT_TRUE(ReadHandoffValue(0x1A2B, SString(L"AppId"), value));
    EXPECT_STREQ(value.c_str(), L"{app}");
    EXPECT_FALSE(Exists(0x1A2B, L"AppId"));
    EXPECT_FALSE(ReadHandoffValue(0x1A2B, SString(L"AppId"), value));
    EXPECT_TRUE(value.IsEmpty());
}

TEST_F(HandoffTest, ProcessIdZeroMeansThisProcess)
{
    Write(GetCurrentProcessId(), L"SessionId", L"3");
    SString value;
    EXPECT_TRUE(ReadHandoffValue(0, SString(L"SessionId"), value));
    EXPECT_STREQ(value.c_str(), L"3");
    EXPECT_FALSE(Exists(GetCurrentProcessId(), L"SessionId"));
}

TEST_F(HandoffTest, AnyTypeIsReadAsTextAndRemoved)
{
    const DWORD number = 0x00420041;
    STest::RegistrySandbox::SetBytes(HKEY_CURRENT_USER, KeyPath(),
                                     HandoffValueName(7, SString(L"AppId")).c_str(), REG_DWORD, &number, 4);
    SString value;
    EXPECT_TRUE(ReadHandoffValue(7, SString(L"AppId"), value));
    EXPECT_STREQ(value.c_str(), L"AB");
    EXPECT_FALSE(Exists(7, L"AppId"));
}

TEST_F(HandoffTest, EmptyValueCountsAsMissingButIsConsumed)
{
    Write(8, L"AppId", L"");
    SString value(L"x");
    EXPECT_FALSE(ReadHandoffValue(8, SString(L"AppId"), value));
    EXPECT_TRUE(value.IsEmpty());
    EXPECT_FALSE(Exists(8, L"AppId"));
}

TEST_F(HandoffTest, MissingKeyLeavesValueEmpty)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halvern Technologies");
    SString value(L"x");
    EXPECT_FALSE(ReadHandoffValue(9, SString(L"AppId"), value));
    EXPECT_TRUE(value.IsEmpty());
}
