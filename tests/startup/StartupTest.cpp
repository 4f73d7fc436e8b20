#include "startup/Startup.h"
#include "library/diagnostics/crash/SSeTranslator.h"

#include "startup/HandoffFixture.h"
#include "common/Faults.h"

#include <gtest/gtest.h>

using namespace S;
using STest::HandoffTest;

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
