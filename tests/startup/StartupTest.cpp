#include "startup/Handoff.h"
#include "startup/ProductLocations.h"
#include "startup/Startup.h"
#include "library/diagnostics/crash/SSeTranslator.h"

#include "common/RegistrySandbox.h"
#include "diagnostics/Faults.h"

#include <gtest/gtest.h>

using namespace S;

// Each result with the texts that give it.
TEST(ParseSessionIdTest, FollowsUnsignedDecimalParsing)
{
    const std::pair<uint32_t, std::vector<const wchar_t*>> cases[] = {
        {7, {L"7", L"+7", L" 7", L"007"}},
        {12, {L"\t 12"}},
        {0, {L"12x", L"7 ", L"", L"x", L"0x10"}},
        {4294967295u, {L"4294967295", L"4294967296", L"99999999999", L"-1"}},
        {4294967294u, {L"-2"}},
    };
    for (const auto& [expected, texts] : cases)
        for (const wchar_t* text : texts)
            EXPECT_EQ(ParseSessionId(SString(text)), expected)
                << '"' << SStringA(SString(text)).c_str() << '"';
}

TEST(HandoffValueNameTest, EightLowerCaseHexDigits)
{
    EXPECT_STREQ(HandoffValueName(0x1A2B, SString(L"AppId")).c_str(), L"00001a2b-AppId");
    EXPECT_STREQ(HandoffValueName(0xFFFFFFFF, SString(L"Asynchronous")).c_str(), L"ffffffff-Asynchronous");
}

namespace
{

// Runs with HKEY_CURRENT_USER redirected into a private subtree, so the fixed hand-off key
// path lands there.
class HandoffTest : public testing::Test
{
protected:
    // `text` is stored without its terminator unless the type is REG_SZ.
    static void Write(uint32_t processId, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ)
    {
        STest::RegistrySandbox::SetBytes(
            HKEY_CURRENT_USER, GetHandoffKeyLocation().path.c_str(),
            HandoffValueName(processId, SString(name)).c_str(), type, text.c_str(),
            static_cast<DWORD>((text.size() + (type == REG_SZ)) * sizeof(wchar_t)));
    }
    static bool Exists(uint32_t processId, const wchar_t* name)
    {
        return STest::RegistrySandbox::ValueExists(HKEY_CURRENT_USER, GetHandoffKeyLocation().path.c_str(),
                                                   HandoffValueName(processId, SString(name)).c_str());
    }

    STest::RegistrySandbox m_Sandbox{true};
};

} // namespace

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

// The session id is consumed whenever it is there; without it the application id stays. The exit code
// of the start-up thread's procedure is 1 only once both were read.
TEST_F(HandoffTest, RunStartupConsumesTheSessionAndNeedsBothValues)
{
    const struct
    {
        const wchar_t *session, *app;
        DWORD exitCode;
        bool appRemains;
    } cases[] = {{L"12x", L"{app}", 1, false},
                 {nullptr, L"{app}", 0, true},
                 {L"4", nullptr, 0, false},
                 {nullptr, nullptr, 0, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.exitCode);
        if (c.session != nullptr)
            Write(GetCurrentProcessId(), kHandoffSessionId, c.session);
        if (c.app != nullptr)
            Write(GetCurrentProcessId(), kHandoffAppId, c.app);
        EXPECT_EQ(StartupThreadProc(nullptr), c.exitCode);
        EXPECT_FALSE(Exists(GetCurrentProcessId(), kHandoffSessionId));
        EXPECT_EQ(Exists(GetCurrentProcessId(), kHandoffAppId), c.appRemains);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halvern Technologies");
    }
}

// Work that returns completes; anything escaping it is caught, and the thread's translation state is
// restored (none was installed before).
TEST(RunShieldedTest, NothingEscapesFromTheAgentsWork)
{
    const std::pair<const char*, void (*)(void*)> cases[] = {
        {"returns", [](void* ran) { *static_cast<bool*>(ran) = true; }},
        {"throws", [](void*) { throw 42; }},
        {"access violation", [](void*) { Faults::WriteTo(nullptr); }},
        {"raised exception", [](void*) { RaiseException(0xE0001234, 0, 0, nullptr); }},
    };
    for (const auto& [name, work] : cases)
    {
        bool ran = false;
        EXPECT_EQ(RunShielded(work, &ran), ran) << name;
    }
    EXPECT_EQ(GetSeTranslator(), nullptr);
}
