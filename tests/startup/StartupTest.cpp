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

namespace
{

class RunStartupTest : public testing::Test
{
protected:
    void Write(const wchar_t* name, const wchar_t* text)
    {
        STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, KeyPath(),
                                          HandoffValueName(GetCurrentProcessId(), SString(name)).c_str(),
                                          text);
    }
    bool Exists(const wchar_t* name)
    {
        return STest::RegistrySandbox::ValueExists(
            HKEY_CURRENT_USER, KeyPath(), HandoffValueName(GetCurrentProcessId(), SString(name)).c_str());
    }
    static std::wstring KeyPath() { return GetHandoffKeyLocation().path.c_str(); }

    STest::RegistrySandbox m_Sandbox{true};
};

} // namespace

TEST_F(RunStartupTest, ConsumesBothValues)
{
    Write(kHandoffSessionId, L"12x");
    Write(kHandoffAppId, L"{app}");
    EXPECT_EQ(RunStartup(), 1);
    EXPECT_FALSE(Exists(kHandoffSessionId));
    EXPECT_FALSE(Exists(kHandoffAppId));
    EXPECT_EQ(RunStartup(), 0);
}

TEST_F(RunStartupTest, MissingSessionLeavesApplicationIdInPlace)
{
    Write(kHandoffAppId, L"{app}");
    EXPECT_EQ(RunStartup(), 0);
    EXPECT_TRUE(Exists(kHandoffAppId));
}

TEST_F(RunStartupTest, MissingApplicationIdStillConsumesSession)
{
    Write(kHandoffSessionId, L"4");
    EXPECT_EQ(RunStartup(), 0);
    EXPECT_FALSE(Exists(kHandoffSessionId));
}

TEST_F(RunStartupTest, ThreadExitCodeFollowsTheRoutine)
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
    Write(kHandoffSessionId, L"1");
    Write(kHandoffAppId, L"a");
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
