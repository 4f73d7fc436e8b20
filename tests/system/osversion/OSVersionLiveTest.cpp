#include "library/system/osversion/OSVersion.h"

#include "common/ProcessRunner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace
{

using namespace S;

constexpr const wchar_t* AppDefaultsKey = L"Software\\Wine\\AppDefaults\\osversion_probe.exe";

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
    const STest::ProcessResult probe =
        STest::RunProcess(STest::Quote(STest::BinFolder() + L"osversion_probe.exe"), 10'000);
    EXPECT_EQ(probe.exitCode, 0u) << probe.output;
    std::map<std::string, std::string> values;
    std::istringstream lines(probe.output);
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
    EXPECT_EQ(std::tuple(r.trueMajor, r.trueMinor, r.trueBuild, r.truePlatform, r.major, r.minor),
              std::tuple(6u, 1u, 7601u, OSPlatformCode::NT, 6u, 1u));
    EXPECT_EQ(r.trueServicePackMajor, 1);
    EXPECT_EQ(r.productType, OSProductType::Workstation);
    // A 64-bit process on a 64-bit machine.
    EXPECT_EQ(std::tuple(r.architecture, r.nativeArchitecture), std::tuple(6u, 6u));
    EXPECT_EQ(info.platform.GetValue(), OSPlatformBit::NT);
    EXPECT_EQ(info.version.GetValue(), OSVersionBit::Windows7);
    EXPECT_EQ(info.revision.GetValue(), 0x40000u);
    EXPECT_EQ(CompareOSVersion(GetOSInfo(), OSVersionConstant::VistaLineage, OSCompare::Less), 0);
    EXPECT_EQ(&GetOSInfo(), &info);
}

TEST(OSVersionLive, ProbeSeesTheVersionWinePresents)
{
    // A shimmed Windows 10 reports 6.2 to a program without a compatibility manifest. Columns:
    // reported major and minor, true major and minor, version bit, revision, older than Vista.
    const std::pair<const wchar_t*, std::vector<std::string>> cases[] = {
        {L"winxp", {"5", "1", "5", "1", "2", "128", "1"}},
        {L"vista", {"6", "0", "6", "0", "8", "8192", "0"}},
        {L"win10", {"6", "2", "10", "0", "2048", "0", "0"}},
    };
    const char* const keys[] = {"major",     "minor",      "trueMajor",     "trueMinor",
                                "osVersion", "osRevision", "olderThanVista"};
    for (const auto& [wineVersion, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << "presented as " << wineVersion);
        std::map<std::string, std::string> seen;
        {
            const PresentedVersion presented(wineVersion);
            ASSERT_TRUE(presented.IsSet());
            seen = RunProbe();
        }
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen["truePlatform"], "4");
        EXPECT_EQ(seen["osPlatform"], "1");
        for (size_t i = 0; i < std::size(keys); ++i)
            EXPECT_EQ(seen[keys[i]], expected[i]) << keys[i];
    }
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, AppDefaultsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
}

} // namespace
