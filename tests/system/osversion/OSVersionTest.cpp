#include "library/system/osversion/OSVersion.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>
#include <utility>

namespace
{

using namespace S;

constexpr uint32_t WS = OSProductType::Workstation, SRV = OSProductType::Server,
                   DC = OSProductType::DomainController;

OSVersionRecord Record(uint32_t major, uint32_t minor, uint32_t build, uint32_t productType,
                       uint16_t servicePack, uint32_t suiteFlags = 0, uint32_t platform = OSPlatformCode::NT)
{
    OSVersionRecord r;
    std::tie(r.trueMajor, r.trueMinor, r.trueBuild, r.truePlatform, r.trueServicePackMajor) =
        std::tie(r.major, r.minor, r.build, r.platform, r.servicePackMajor) =
            std::tuple(major, minor, build, platform, servicePack);
    std::tie(r.productType, r.suiteFlags) = std::tuple(productType, suiteFlags);
    return r;
}

OSVersionRecord Shimmed(OSVersionRecord r, uint32_t major, uint32_t minor, uint32_t build)
{
    std::tie(r.major, r.minor, r.build) = std::tuple(major, minor, build);
    return r;
}

TEST(ClassifyOSVersion, SystemsFromWindows2000ToServer2022)
{
    // Name, record, then classified platform, version bit and revision.
    const std::tuple<const char*, OSVersionRecord, uint16_t, uint32_t, uint64_t> systems[] = {
        {"Windows2000", Record(5, 0, 2195, WS, 0), 1, 0x1, 0},
        {"WindowsXPSp3", Record(5, 1, 2600, WS, 3), 1, 0x2, 0x80},
        // A personal suite stands in for an unknown product type.
        {"WindowsXPHomeOnUnknownType", Record(5, 1, 2600, 0, 2, 0x40), 1, 0x2, 0x40},
        {"Server2003Sp2", Record(5, 2, 3790, SRV, 2), 1, 0x4, 0x400},
        {"Server2003DomainController", Record(5, 2, 3790, DC, 2), 1, 0x4000, 0},
        {"VistaSp2", Record(6, 0, 6002, WS, 2), 1, 0x8, 0x2000},
        {"Windows7Sp1", Record(6, 1, 7601, WS, 1), 1, 0x20, 0x40000},
        {"Server2008R2Sp1", Record(6, 1, 7601, SRV, 1), 1, 0x40, 0x100000},
        {"Windows8", Record(6, 2, 9200, WS, 0), 1, 0x80, 0},
        {"Windows81", Record(6, 3, 9600, WS, 0), 1, 0x200, 0},
        {"Windows11", Record(10, 0, 22631, WS, 0), 1, 0x800, 0},
        {"Server2016", Record(10, 0, 14393, SRV, 0), 1, 0x1000, 0},
        {"Server2019DomainController", Record(10, 0, 17763, DC, 0), 1, 0x2000, 0},
        {"Server2022", Record(10, 0, 20348, SRV, 0), 1, 0x2000, 0},
        {"NT4", Record(4, 0, 1381, WS, 6), 1, 0, 0},
        // Only NT is classified.
        {"Windows98", Record(4, 10, 2222, WS, 1, 0, OSPlatformCode::Windows9x), 0, 0, 0},
        // Only the true view counts, whichever way the report was shimmed.
        {"Windows10ReportingWindows8", Shimmed(Record(10, 0, 19045, WS, 0), 6, 2, 9200), 1, 0x800, 0},
        {"Windows8ReportingWindows10", Shimmed(Record(6, 2, 9200, WS, 0), 10, 0, 19045), 1, 0x80, 0},
    };
    for (const auto& [name, record, platform, version, revision] : systems)
    {
        const OSClassification c = ClassifyOSVersion(record);
        EXPECT_EQ(std::tie(c.platform, c.version, c.revision), std::tie(platform, version, revision)) << name;
    }
}

TEST(CompareOSVersion, EveryOperatorOnTheConstants)
{
    constexpr uint64_t Vista = 0x01000800000071E0ull;
    ASSERT_EQ(OSVersionConstant::VistaLineage, Vista);
    ASSERT_EQ(PackOSVersion(1, 0xFFFF, 0x1FFFFFFF), OSVersionConstant::AnyNT);
    constexpr uint64_t All = OSVersionConstant::AnySystem, NT = OSVersionConstant::AnyNT;
    constexpr uint64_t XPSp2 = PackOSVersion(1, 0x2, 0x40), XP = PackOSVersion(1, 0x2, 0);
    constexpr uint64_t XPOrVista = PackOSVersion(1, 0x2 | 0x8, 0x71E0), None = PackOSVersion(1, 0, 0x71E0);
    // Version, revision, constant, answers of <, <=, ==, >=, >. Vista's lineage compares by version; XP
    // SP2 by revision, on XP only; two service packs answer nothing; of several versions, the oldest.
    const std::tuple<uint32_t, uint64_t, uint64_t, const char*> cases[] = {
        {0x2, 0x80, Vista, "11000"},     {0x8, 0x2000, Vista, "01110"}, {0x20, 0x40000, Vista, "00011"},
        {0x2000, 0, Vista, "00011"},     {0x1, 0, All, "11111"},        {0x2, 0x40, NT, "11111"},
        {0x4000, 0, NT, "11111"},        {0x2, 0x40, XPSp2, "01110"},   {0x2, 0x80, XPSp2, "00011"},
        {0x2, 0x20, XPSp2, "11000"},     {0x8, 0, XPSp2, "00000"},      {0x2, 0x80, XP, "00011"},
        {0x2, 0x40, XP | 0x60, "00000"}, {0x8, 0, XPOrVista, "00011"},  {0x8, 0, None, "00000"},
    };
    for (const auto& [version, revision, constant, answers] : cases)
    {
        SOSInfo info;
        info.platform.SetValue(OSPlatformBit::NT);
        info.version.SetValue(version);
        info.revision.SetValue(revision);
        for (int op = OSCompare::Less; op <= OSCompare::Greater; ++op)
        {
            SCOPED_TRACE(testing::Message()
                         << std::hex << version << " " << revision << " " << constant << " op " << op);
            EXPECT_EQ(CompareOSVersion(info, constant, op) != 0, answers[op] == '1');
            EXPECT_EQ(CompareOSVersion(SOSInfo{}, constant, op), 0);
        }
    }
}

} // namespace

// Wine shows a program the Windows version named under its AppDefaults key from its next start on.
TEST(OSVersionLive, DetectionSeesTheVersionWinePresents)
{
    const wchar_t* const key = L"Software\\Wine\\AppDefaults\\osversion_probe.exe";
    // Reported and true version, service pack, platform, type, architectures: classification, pre-Vista.
    const std::pair<const wchar_t*, const char*> cases[] = {
        {nullptr, "6.1 6.1.7601 sp1 platform4 type1 arch6/6: 1 0x20 0x40000 0"}, // the prefix's Windows 7
        {L"winxp", "5.1 5.1.2600 sp3 platform4 type1 arch6/6: 1 0x2 0x80 1"},
        // A program without a compatibility manifest is told 6.2 by Windows 10.
        {L"win10", "6.2 10.0.18362 sp0 platform4 type1 arch6/6: 1 0x800 0 0"},
    };
    for (const auto& [version, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << "presented as " << (version != nullptr ? version : L"default"));
        if (version != nullptr)
            STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, key, L"Version", version);
        const STest::ProcessResult probe =
            STest::RunProcess(STest::Quote(STest::BinFolder() + L"osversion_probe.exe"), 10'000);
        RegDeleteTreeW(HKEY_CURRENT_USER, key);
        EXPECT_EQ(std::pair(probe.exitCode, probe.output), std::pair(0ul, std::string(expected)));
    }
}
