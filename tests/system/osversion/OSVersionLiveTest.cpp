#include "library/system/SHandle.h"
#include "library/system/osversion/OSVersion.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>

namespace
{

using namespace S;

constexpr const wchar_t* ProbeName = L"osversion_probe.exe";
constexpr const wchar_t* AppDefaultsKey = L"Software\\Wine\\AppDefaults\\osversion_probe.exe";

std::wstring ProbePath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + ProbeName;
}

// Wine shows the probe the Windows version named here from its next start on; the value goes
// again when the guard does.
class PresentedVersion
{
public:
    explicit PresentedVersion(const wchar_t* version)
    {
        const auto bytes = static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t));
        m_Set = RegSetKeyValueW(HKEY_CURRENT_USER, AppDefaultsKey, L"Version", REG_SZ, version, bytes) ==
                ERROR_SUCCESS;
    }
    PresentedVersion(const PresentedVersion&) = delete;
    PresentedVersion& operator=(const PresentedVersion&) = delete;
    ~PresentedVersion() { RegDeleteTreeW(HKEY_CURRENT_USER, AppDefaultsKey); }
    bool IsSet() const { return m_Set; }

private:
    bool m_Set = false;
};

// Runs the probe and parses its "name=value" lines.
std::map<std::string, std::string> RunProbe()
{
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    SHandle readEnd;
    SHandle writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inherit, 0))
        return {};
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION started{};
    std::wstring commandLine = L"\"" + ProbePath() + L"\"";
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started))
        return {};
    const SHandle process(started.hProcess);
    const SHandle thread(started.hThread);
    writeEnd.Reset();

    std::string output;
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof(buffer), &read, nullptr) && read != 0)
        output.append(buffer, read);
    WaitForSingleObject(process.Get(), 10000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.Get(), &exitCode);
    if (exitCode != 0)
        return {};

    std::map<std::string, std::string> values;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
    {
        const auto equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1, line.find_last_not_of("\r") - equals);
    }
    return values;
}

TEST(OSVersionLive, DefaultPrefixIsWindows7Sp1)
{
    const SOSInfo& info = GetOSInfo();
    const OSVersionRecord& r = info.record;
    EXPECT_EQ(r.trueMajor, 6u);
    EXPECT_EQ(r.trueMinor, 1u);
    EXPECT_EQ(r.trueBuild, 7601u);
    EXPECT_EQ(r.truePlatform, OSPlatformCode::NT);
    EXPECT_EQ(r.trueServicePackMajor, 1);
    EXPECT_EQ(r.major, 6u);
    EXPECT_EQ(r.minor, 1u);
    EXPECT_EQ(r.productType, OSProductType::Workstation);
    // A 64-bit process on a 64-bit machine.
    EXPECT_EQ(r.architecture, 6u);
    EXPECT_EQ(r.nativeArchitecture, 6u);
    EXPECT_EQ(info.firstRecord.trueBuild, r.trueBuild);

    EXPECT_EQ(info.platform.GetValue(), OSPlatformBit::NT);
    EXPECT_EQ(info.version.GetValue(), OSVersionBit::Windows7);
    EXPECT_EQ(info.revision.GetValue(), 0x40000u);
    EXPECT_EQ(CompareOSVersion(GetOSInfo(), OSVersionConstant::VistaLineage, OSCompare::Less), 0);
    EXPECT_EQ(&GetOSInfo(), &info);

    OSVersionRecord again;
    ASSERT_EQ(DetectOSVersion(again), 1);
    EXPECT_EQ(again.suiteFlags, r.suiteFlags);
    EXPECT_EQ(again.editionFlags, r.editionFlags);
}

struct PresentedCase
{
    const wchar_t* wineVersion;
    const char* reportedMajor;
    const char* reportedMinor;
    const char* trueMajor;
    const char* trueMinor;
    const char* version;
    const char* revision;
    const char* olderThanVista;
};

TEST(OSVersionLive, ProbeSeesTheVersionWinePresents)
{
    // A shimmed Windows 10 reports 6.2 to a program without a compatibility manifest.
    const PresentedCase cases[] = {
        {L"winxp", "5", "1", "5", "1", "2", "128", "1"},
        {L"vista", "6", "0", "6", "0", "8", "8192", "0"},
        {L"win10", "6", "2", "10", "0", "2048", "0", "0"},
    };
    for (const PresentedCase& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << "presented as " << std::string(c.wineVersion, c.wineVersion + wcslen(c.wineVersion)));
        std::map<std::string, std::string> seen;
        {
            const PresentedVersion presented(c.wineVersion);
            ASSERT_TRUE(presented.IsSet());
            seen = RunProbe();
        }
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen["major"], c.reportedMajor);
        EXPECT_EQ(seen["minor"], c.reportedMinor);
        EXPECT_EQ(seen["trueMajor"], c.trueMajor);
        EXPECT_EQ(seen["trueMinor"], c.trueMinor);
        EXPECT_EQ(seen["truePlatform"], "4");
        EXPECT_EQ(seen["osPlatform"], "1");
        EXPECT_EQ(seen["osVersion"], c.version);
        EXPECT_EQ(seen["osRevision"], c.revision);
        EXPECT_EQ(seen["olderThanVista"], c.olderThanVista);
    }
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, AppDefaultsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
}

} // namespace
