// The launcher starts the probe with the agent DLL in it; the probe reports what it saw.
#include "library/system/SHandle.h"
#include "library/system/SModule.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace S;

namespace
{

const std::wstring Launcher = STest::Quote(STest::BinFolder() + L"launcher.exe"),
                   Probe = STest::Quote(STest::BinFolder() + L"fontprobe.exe");
const std::wstring KeyPath = GetHandoffKeyLocation().path.c_str();

int CountValues()
{
    SRegistryKeyHandle key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    return static_cast<int>(count);
}

bool HandoffValueExists(const std::wstring& name)
{
    return STest::RegistrySandbox::ValueExists(HKEY_CURRENT_USER, KeyPath, name);
}

// A value that belongs to no running process, so no agent may touch it.
struct ForeignValue
{
    ForeignValue() { STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, KeyPath, name, L"foreign"); }
    ~ForeignValue() { RegDeleteKeyValueW(HKEY_CURRENT_USER, KeyPath.c_str(), name.c_str()); }
    bool Exists() const { return HandoffValueExists(name); }
    const std::wstring name = HandoffValueName(0xFFFFFFF1u, SString(L"AppId")).c_str();
};

// A run killed half-way leaves its hand-off values behind, and a later process that gets the same id
// would take them. Cleared first: the values of processes no longer running with the texts these
// cases write; nothing else.
class EndToEnd : public testing::Test
{
protected:
    void SetUp() override
    {
        SRegistryKeyHandle key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath.c_str(), 0, KEY_READ | KEY_SET_VALUE, key.Put()) !=
            ERROR_SUCCESS)
            return;
        const std::wregex ours(L"([0-9a-f]{8})-(Asynchronous|SessionId|AppId)");
        const std::set<std::wstring> texts = {L"{app}", L"a",    L"1",     L"3",     L"TRUE",
                                              L"true",  L"tRuE", L"TRUE ", L"TRUEX", L"foreign"};
        std::vector<std::wstring> stale;
        for (DWORD i = 0;; ++i)
        {
            wchar_t name[64], data[64];
            DWORD nameSize = 64, dataSize = sizeof data, type = 0;
            const LSTATUS status = RegEnumValueW(key.Get(), i, name, &nameSize, nullptr, &type,
                                                 reinterpret_cast<BYTE*>(data), &dataSize);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            std::wcmatch match;
            if (status != ERROR_SUCCESS || type != REG_SZ || !std::regex_match(name, match, ours) ||
                !texts.contains(std::wstring(data, wcsnlen(data, dataSize / 2))))
                continue;
            if (!SHandle(OpenProcess(SYNCHRONIZE, FALSE, std::stoul(match[1].str(), nullptr, 16))))
                stale.emplace_back(name);
        }
        for (const std::wstring& value : stale)
            RegDeleteValueW(key.Get(), value.c_str());
    }
};

bool Has(const STest::ProcessResult& result, const std::string& line)
{
    return result.output.find(line + "\n") != std::string::npos ||
           result.output.find(line + "\r\n") != std::string::npos;
}

} // namespace

// Inline, the agent takes only its own values; loaded a second time, it does nothing.
TEST_F(EndToEnd, InlineAgentConsumesOnlyItsOwnValuesOnce)
{
    ForeignValue foreign;
    const int before = CountValues();
    const auto result = STest::RunProcess(Launcher + L" --app-id {app} --session 3 " + Probe +
                                          L" --reload-dll Lumerelx64.dll");
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    for (const char* line : {"handoff-values=0", "agent-threads=0", "reloaded=1"})
        EXPECT_TRUE(Has(result, line)) << line << "\n" << result.output;
    EXPECT_TRUE(foreign.Exists());
    EXPECT_EQ(CountValues(), before);
}

TEST_F(EndToEnd, AsynchronousTextSelectsTheThread)
{
    const std::pair<const wchar_t*, bool> cases[] = {{L"TRUE", true},   {L"true", true}, {L"tRuE", true},
                                                     {L"TRUE ", false}, {L"1", false},   {L"TRUEX", false}};
    for (const auto& [text, threaded] : cases)
    {
        const auto result =
            STest::RunProcess(Launcher + L" --app-id a --session 1 --handoff \"Asynchronous=" + text +
                              L"\" " + Probe + L" --wait-consumed-ms 5000");
        EXPECT_EQ(result.exitCode, 0u) << result.output;
        EXPECT_TRUE(Has(result, threaded ? "agent-threads=1" : "agent-threads=0")) << result.output;
        EXPECT_TRUE(Has(result, "handoff-values=0")) << result.output;
    }
}

TEST_F(EndToEnd, MissingSessionLeavesApplicationIdForTheProcess)
{
    const int before = CountValues();
    const auto result = STest::RunProcess(Launcher + L" --app-id a " + Probe);
    EXPECT_TRUE(Has(result, "handoff-values=1")) << result.output;
    // The value outlives the process: it is the launcher's to clean, not the agent's. Remove it here.
    const std::string pidLine = result.output.substr(result.output.find("pid=") + 4, 8);
    const std::wstring name = std::wstring(pidLine.begin(), pidLine.end()) + L"-AppId";
    EXPECT_TRUE(HandoffValueExists(name));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, KeyPath.c_str(), name.c_str());
    EXPECT_EQ(CountValues(), before);
}

TEST_F(EndToEnd, LauncherFailuresAreClearAndLeaveNoValues)
{
    const int before = CountValues();
    // arguments, exit code, message
    const std::tuple<std::wstring, DWORD, const char*> cases[] = {
        {L"", 125, "no program given"},
        {L"--session", 125, "needs a value"},
        {L"--bogus " + Probe, 125, "unknown option"},
        {L"--handoff novalue " + Probe, 125, "NAME=TEXT"},
        {L"--app-id a --session 1 C:\\does\\not\\exist.exe", 127, "program not found"},
        {L"--app-id a --session 1 --dll C:\\does\\not\\exist.dll " + Probe, 125, "DLL not found"},
        // A file that exists but is no DLL: the load fails inside the started process.
        {L"--app-id a --session 1 --dll " + STest::Quote(STest::BinFolder() + L"..\\CMakeCache.txt") + L" " +
             Probe,
         125, "failed to load"},
    };
    for (const auto& [arguments, exitCode, message] : cases)
    {
        const auto result = STest::RunProcess(Launcher + L" " + arguments);
        EXPECT_EQ(result.exitCode, exitCode) << result.output;
        EXPECT_NE(result.output.find(message), std::string::npos) << result.output;
        EXPECT_EQ(CountValues(), before) << result.output;
    }
}

TEST_F(EndToEnd, DllMainReturnsTrueForEveryReasonAndTouchesNothingElse)
{
    ForeignValue foreign;
    const SModuleRef dll = LoadModule((STest::BinFolder() + L"Lumerelx64.dll").c_str());
    ASSERT_TRUE(dll);
    const auto entry = FindModuleFunction<BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID)>(dll.Get(), "DllMain");
    ASSERT_NE(entry, nullptr);
    // Written after the attach: the other notifications must not consume it.
    const std::wstring selfAsync =
        HandoffValueName(GetCurrentProcessId(), SString(kHandoffAsynchronous)).c_str();
    STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, KeyPath, selfAsync, L"TRUE");
    for (const DWORD reason :
         std::initializer_list<DWORD>{DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH, 7})
        EXPECT_TRUE(entry(dll.Get(), reason, nullptr)) << reason;
    EXPECT_TRUE(HandoffValueExists(selfAsync));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, KeyPath.c_str(), selfAsync.c_str());
    EXPECT_TRUE(foreign.Exists());
}
