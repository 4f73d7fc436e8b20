#include "startup/Handoff.h"
#include "startup/ProductLocations.h"
#include "startup/Startup.h"
#include "library/diagnostics/SSeTranslator.h"

#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

using namespace S;

TEST(ParseSessionIdTest, FollowsUnsignedDecimalParsing)
{
    struct Case
    {
        const wchar_t* text;
        uint32_t expected;
    };
    const Case cases[] = {
        {L"7", 7},
        {L"+7", 7},
        {L" 7", 7},
        {L"\t 12", 12},
        {L"12x", 0},
        {L"7 ", 0},
        {L"", 0},
        {L"x", 0},
        {L"4294967295", 4294967295u},
        {L"4294967296", 4294967295u},
        {L"99999999999", 4294967295u},
        {L"-1", 4294967295u},
        {L"-2", 4294967294u},
        {L"007", 7},
        {L"0x10", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseSessionId(SString(c.text)), c.expected)
            << "\"" << SStringA(SString(c.text)).c_str() << "\"";
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
    const struct
    {
        uint32_t written, read;
        const wchar_t* text;
        DWORD type;
        bool found, remains;
    } cases[] = {
        {0x1A2B, 0x1A2C, L"{app}", REG_SZ, false, true},
        {0x1A2B, 0x1A2B, L"{app}", REG_SZ, true, false},
        {self, 0, L"3", REG_SZ, true, false},
        {7, 7, L"AB", REG_DWORD, true, false},
        {8, 8, L"", REG_SZ, false, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        Write(c.written, L"AppId", c.text, c.type);
        SString value(L"old");
        EXPECT_EQ(ReadHandoffValue(c.read, SString(L"AppId"), value), c.found);
        EXPECT_STREQ(value.c_str(), c.found ? c.text : L"");
        EXPECT_EQ(Exists(c.written, L"AppId"), c.remains);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halvern Technologies"); // a missing key too
        value = SString(L"old");
        EXPECT_FALSE(ReadHandoffValue(c.written, SString(L"AppId"), value));
        EXPECT_TRUE(value.IsEmpty());
    }
}

// The session id is consumed whenever it is there; without it the application id stays.
TEST_F(HandoffTest, RunStartupConsumesTheSessionAndNeedsBothValues)
{
    const struct
    {
        const wchar_t *session, *app;
        int result;
        bool appRemains;
    } cases[] = {{L"12x", L"{app}", 1, false}, {nullptr, L"{app}", 0, true}, {L"4", nullptr, 0, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.result);
        if (c.session != nullptr)
            Write(GetCurrentProcessId(), kHandoffSessionId, c.session);
        if (c.app != nullptr)
            Write(GetCurrentProcessId(), kHandoffAppId, c.app);
        EXPECT_EQ(RunStartup(), c.result);
        EXPECT_FALSE(Exists(GetCurrentProcessId(), kHandoffSessionId));
        EXPECT_EQ(Exists(GetCurrentProcessId(), kHandoffAppId), c.appRemains);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halvern Technologies");
    }
}

TEST_F(HandoffTest, ThreadExitCodeFollowsTheRoutine)
{
    auto runThread = []
    {
        const HANDLE thread = CreateThread(nullptr, 0, StartupThreadProc, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
        DWORD code = 99;
        GetExitCodeThread(thread, &code);
        CloseHandle(thread);
        return code;
    };
    EXPECT_EQ(runThread(), 0u);
    Write(GetCurrentProcessId(), kHandoffSessionId, L"1");
    Write(GetCurrentProcessId(), kHandoffAppId, L"a");
    EXPECT_EQ(runThread(), 1u);
}

TEST(RunShieldedTest, NothingEscapesFromTheAgentsWork)
{
    struct Case
    {
        const char* name;
        void (*work)(void*);
        bool completes;
    };
    const Case cases[] = {
        {"returns", [](void* ran) { *static_cast<bool*>(ran) = true; }, true},
        {"throws", [](void*) { throw 42; }, false},
        {"access violation",
         [](void*)
         {
             volatile int* nowhere = nullptr;
             *nowhere = 1;
         },
         false},
        {"raised exception", [](void*) { RaiseException(0xE0001234, 0, 0, nullptr); }, false},
    };
    for (const Case& c : cases)
    {
        bool ran = false;
        EXPECT_EQ(RunShielded(c.work, &ran), c.completes) << c.name;
    }
    // The thread's own translation state is restored afterwards: none was installed before.
    EXPECT_EQ(GetSeTranslator(), nullptr);
}
