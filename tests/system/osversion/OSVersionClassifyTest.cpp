#include "library/system/osversion/OSVersion.h"

#include <gtest/gtest.h>

#include <tuple>

namespace
{

using namespace S;

constexpr uint32_t WS = OSProductType::Workstation, SRV = OSProductType::Server,
                   DC = OSProductType::DomainController;

// A record whose report and true view agree.
OSVersionRecord Record(uint32_t major, uint32_t minor, uint32_t build, uint32_t productType,
                       uint16_t servicePack, uint32_t suiteFlags = 0)
{
    OSVersionRecord r;
    r.major = r.trueMajor = major;
    r.minor = r.trueMinor = minor;
    r.build = r.trueBuild = build;
    r.platform = r.truePlatform = OSPlatformCode::NT;
    r.productType = productType;
    r.servicePackMajor = r.trueServicePackMajor = servicePack;
    r.suiteFlags = suiteFlags;
    return r;
}

// The same record with a shimmed report.
OSVersionRecord Reported(OSVersionRecord r, uint32_t major, uint32_t minor, uint32_t build)
{
    std::tie(r.major, r.minor, r.build) = std::tuple(major, minor, build);
    return r;
}

TEST(ClassifyOSVersion, SystemsFromWindows2000ToServer2022)
{
    const struct
    {
        const char* name;
        OSVersionRecord record;
        uint32_t version;
        uint64_t revision;
        bool olderThanVista;
    } systems[] = {
        {"Windows2000", Record(5, 0, 2195, WS, 0), 0x1, 0, true},
        {"Windows2000Sp4", Record(5, 0, 2195, WS, 4), 0x1, 0x8, true},
        {"WindowsXPSp3", Record(5, 1, 2600, WS, 3), 0x2, 0x80, true},
        // A personal suite stands in for an unknown product type.
        {"WindowsXPHomeOnUnknownType", Record(5, 1, 2600, 0, 2, 0x40), 0x2, 0x40, true},
        {"Server2003Sp2", Record(5, 2, 3790, SRV, 2), 0x4, 0x400, true},
        {"Server2003DomainController", Record(5, 2, 3790, DC, 2), 0x4000, 0, false},
        {"VistaSp2", Record(6, 0, 6002, WS, 2), 0x8, 0x2000, false},
        {"Windows7Sp1", Record(6, 1, 7601, WS, 1), 0x20, 0x40000, false},
        {"Server2008R2Sp1", Record(6, 1, 7601, SRV, 1), 0x40, 0x100000, false},
        {"DomainControllerOn61", Record(6, 1, 7601, DC, 1), 0x4000, 0, false},
        {"Windows8", Record(6, 2, 9200, WS, 0), 0x80, 0, false},
        {"Windows81", Record(6, 3, 9600, WS, 0), 0x200, 0, false},
        {"Windows11", Record(10, 0, 22631, WS, 0), 0x800, 0, false},
        {"Server2016", Record(10, 0, 14393, SRV, 0), 0x1000, 0, false},
        {"Server2019DomainController", Record(10, 0, 17763, DC, 0), 0x2000, 0, false},
        {"Server2022", Record(10, 0, 20348, SRV, 0), 0x2000, 0, false},
        {"WorkstationBuild17600", Record(10, 0, 17600, WS, 0), 0x800, 0, false},
        {"NT4", Record(4, 0, 1381, WS, 6), 0, 0, false},
        // Only the true view counts, whichever way the report was shimmed.
        {"Windows10ReportingWindows8", Reported(Record(10, 0, 19045, WS, 0), 6, 2, 9200), 0x800, 0, false},
        {"Windows8ReportingWindows10", Reported(Record(6, 2, 9200, WS, 0), 10, 0, 19045), 0x80, 0, false},
    };
    for (const auto& c : systems)
    {
        SCOPED_TRACE(c.name);
        const OSClassification classification = ClassifyOSVersion(c.record);
        EXPECT_EQ(std::tuple(classification.platform, classification.version, classification.revision),
                  std::tuple(uint16_t{1}, c.version, c.revision));
        const SOSInfo info = MakeOSInfo(OSVersionRecord{}, c.record);
        EXPECT_EQ(CompareOSVersion(info, 0x01000800000071E0ull, OSCompare::Less) != 0, c.olderThanVista);
    }
    // Only NT is classified, and an unclassified system answers no comparison.
    OSVersionRecord windows9x = Record(4, 10, 2222, WS, 1);
    windows9x.platform = windows9x.truePlatform = OSPlatformCode::Windows9x;
    const OSClassification classification = ClassifyOSVersion(windows9x);
    EXPECT_EQ(std::tuple(classification.platform, classification.version, classification.revision),
              std::tuple(uint16_t{0}, 0u, uint64_t{0}));
    EXPECT_EQ(
        CompareOSVersion(MakeOSInfo(windows9x, windows9x), OSVersionConstant::AnySystem, OSCompare::Equal),
        0);
}

TEST(CompareOSVersion, EveryOperatorOnTheConstants)
{
    constexpr uint64_t Vista = 0x01000800000071E0ull;
    ASSERT_EQ(OSVersionConstant::VistaLineage, Vista);
    ASSERT_EQ(PackOSVersion(OSPlatformBit::NT, OSVersionBit::Vista, 0x71E0), Vista);
    ASSERT_EQ(PackOSVersion(1, 0xFFFF, 0x1FFFFFFF), OSVersionConstant::AnyNT);
    // Version, revision, constant, then the answers of <, <=, ==, >=, >.
    const std::tuple<uint32_t, uint64_t, uint64_t, const char*> cases[] = {
        // Vista with its whole lineage, compared by version alone.
        {0x2, 0x80, Vista, "11000"},
        {0x8, 0x2000, Vista, "01110"},
        {0x20, 0x40000, Vista, "00011"},
        {0x2000, 0, Vista, "00011"},
        {0x1, 0, OSVersionConstant::AnySystem, "11111"},
        {0x2, 0x40, OSVersionConstant::AnyNT, "11111"},
        {0x4000, 0, OSVersionConstant::AnyNT, "11111"},
        // XP SP2 alone: compared by revision, and only on XP itself.
        {0x2, 0x40, PackOSVersion(1, 0x2, 0x40), "01110"},
        {0x2, 0x80, PackOSVersion(1, 0x2, 0x40), "00011"},
        {0x2, 0x20, PackOSVersion(1, 0x2, 0x40), "11000"},
        {0x8, 0, PackOSVersion(1, 0x2, 0x40), "00000"},
        // No service-pack bit: revision 0 of that version.
        {0x2, 0x80, PackOSVersion(1, 0x2, 0), "00011"},
        // Two service packs at once is no question that can be answered.
        {0x2, 0x40, PackOSVersion(1, 0x2, 0x60), "00000"},
        // Several versions: the oldest whose lineage the revision mask covers answers (XP here).
        {0x8, 0, PackOSVersion(1, 0x2 | 0x8, 0x71E0), "00011"},
        {0x8, 0, PackOSVersion(1, 0, 0x71E0), "00000"},
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
