#include "library/system/osversion/OSVersion.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace
{

using namespace S;

constexpr uint32_t WS = OSProductType::Workstation;
constexpr uint32_t SRV = OSProductType::Server;
constexpr uint32_t DC = OSProductType::DomainController;

// A record whose report and true view agree.
OSVersionRecord Record(uint32_t major, uint32_t minor, uint32_t build, uint32_t productType,
                       uint16_t servicePack)
{
    OSVersionRecord r;
    r.major = r.trueMajor = major;
    r.minor = r.trueMinor = minor;
    r.build = r.trueBuild = build;
    r.platform = r.truePlatform = OSPlatformCode::NT;
    r.productType = productType;
    r.servicePackMajor = r.trueServicePackMajor = servicePack;
    return r;
}

// Classification is a pure step over the record's true view.
TEST(ClassifyOSVersion, SystemsFromWindows2000ToServer2022)
{
    const struct
    {
        const char* name;
        uint32_t major, minor, build, productType;
        uint16_t servicePack;
        uint32_t version;
        uint64_t revision;
        bool olderThanVista;
        uint32_t suiteFlags = 0;
    } systems[] = {
        {"Windows2000", 5, 0, 2195, WS, 0, 0x1, 0, true},
        {"Windows2000Sp4", 5, 0, 2195, WS, 4, 0x1, 0x8, true},
        {"WindowsXPSp3", 5, 1, 2600, WS, 3, 0x2, 0x80, true},
        // A personal suite stands in for an unknown product type.
        {"WindowsXPHomeOnUnknownType", 5, 1, 2600, 0, 2, 0x2, 0x40, true, 0x40},
        {"Server2003Sp2", 5, 2, 3790, SRV, 2, 0x4, 0x400, true},
        {"Server2003DomainController", 5, 2, 3790, DC, 2, 0x4000, 0, false},
        {"VistaSp2", 6, 0, 6002, WS, 2, 0x8, 0x2000, false},
        {"Windows7Sp1", 6, 1, 7601, WS, 1, 0x20, 0x40000, false},
        {"Server2008R2Sp1", 6, 1, 7601, SRV, 1, 0x40, 0x100000, false},
        {"DomainControllerOn61", 6, 1, 7601, DC, 1, 0x4000, 0, false},
        {"Windows8", 6, 2, 9200, WS, 0, 0x80, 0, false},
        {"Windows81", 6, 3, 9600, WS, 0, 0x200, 0, false},
        {"Windows11", 10, 0, 22631, WS, 0, 0x800, 0, false},
        {"Server2016", 10, 0, 14393, SRV, 0, 0x1000, 0, false},
        {"Server2019DomainController", 10, 0, 17763, DC, 0, 0x2000, 0, false},
        {"Server2022", 10, 0, 20348, SRV, 0, 0x2000, 0, false},
        {"WorkstationBuild17600", 10, 0, 17600, WS, 0, 0x800, 0, false},
        {"NT4", 4, 0, 1381, WS, 6, 0, 0, false},
    };
    for (const auto& c : systems)
    {
        SCOPED_TRACE(c.name);
        OSVersionRecord r = Record(c.major, c.minor, c.build, c.productType, c.servicePack);
        r.suiteFlags = c.suiteFlags;
        const OSClassification classification = ClassifyOSVersion(r);
        EXPECT_EQ(classification.platform, 1);
        EXPECT_EQ(classification.version, c.version);
        EXPECT_EQ(classification.revision, c.revision);
        const SOSInfo info = MakeOSInfo(OSVersionRecord{}, r);
        EXPECT_EQ(info.version.GetValue(), c.version);
        EXPECT_EQ(CompareOSVersion(info, OSVersionConstant::VistaLineage, OSCompare::Less) != 0,
                  c.olderThanVista);
    }
}

TEST(ClassifyOSVersion, ShimmedReportIsIgnoredAndOnlyNTIsClassified)
{
    OSVersionRecord record = Record(6, 2, 9200, WS, 0);
    record.trueMajor = 10;
    record.trueMinor = 0;
    record.trueBuild = 19045;
    EXPECT_EQ(ClassifyOSVersion(record).version, OSVersionBit::Windows10);
    // And the other way round: a true 6.2 system is Windows 8 whatever was reported.
    std::swap(record.major, record.trueMajor);
    std::swap(record.minor, record.trueMinor);
    std::swap(record.build, record.trueBuild);
    EXPECT_EQ(ClassifyOSVersion(record).version, OSVersionBit::Windows8);

    OSVersionRecord windows9x = Record(4, 10, 2222, WS, 1);
    windows9x.platform = windows9x.truePlatform = OSPlatformCode::Windows9x;
    const OSClassification classification = ClassifyOSVersion(windows9x);
    EXPECT_EQ(classification.platform, 0);
    EXPECT_EQ(classification.version, 0u);
    EXPECT_EQ(classification.revision, 0u);
    EXPECT_EQ(
        CompareOSVersion(MakeOSInfo(windows9x, windows9x), OSVersionConstant::AnySystem, OSCompare::Equal),
        0);
}

TEST(CompareOSVersion, EveryOperatorOnTheConstants)
{
    ASSERT_EQ(OSVersionConstant::VistaLineage, 0x01000800000071E0ull);
    ASSERT_EQ(PackOSVersion(OSPlatformBit::NT, OSVersionBit::Vista, 0x71E0), OSVersionConstant::VistaLineage);
    ASSERT_EQ(PackOSVersion(1, 0xFFFF, 0x1FFFFFFF), OSVersionConstant::AnyNT);
    // Expected answers of <, <=, ==, >=, > in that order.
    const struct
    {
        const char* name;
        uint32_t version;
        uint64_t revision, constant;
        const char* answers;
    } cases[] = {
        // Vista with its whole lineage, compared by version alone.
        {"VistaLineageOnXP", 0x2, 0x80, OSVersionConstant::VistaLineage, "11000"},
        {"VistaLineageOnVista", 0x8, 0x2000, OSVersionConstant::VistaLineage, "01110"},
        {"VistaLineageOnWindows7", 0x20, 0x40000, OSVersionConstant::VistaLineage, "00011"},
        {"VistaLineageOnServer2022", 0x2000, 0, OSVersionConstant::VistaLineage, "00011"},
        {"AllOnesOnWindows2000", 0x1, 0, OSVersionConstant::AnySystem, "11111"},
        {"AnyNTOnXP", 0x2, 0x40, OSVersionConstant::AnyNT, "11111"},
        {"AnyNTOnUnclassified", 0x4000, 0, OSVersionConstant::AnyNT, "11111"},
        // XP SP2 alone: compared by revision, and only on XP itself.
        {"XPSp2OnXPSp2", 0x2, 0x40, PackOSVersion(1, 0x2, 0x40), "01110"},
        {"XPSp2OnXPSp3", 0x2, 0x80, PackOSVersion(1, 0x2, 0x40), "00011"},
        {"XPSp2OnXPSp1", 0x2, 0x20, PackOSVersion(1, 0x2, 0x40), "11000"},
        {"XPSp2OnVista", 0x8, 0, PackOSVersion(1, 0x2, 0x40), "00000"},
        // No service-pack bit: revision 0 of that version.
        {"XPWithoutServicePackOnXPSp3", 0x2, 0x80, PackOSVersion(1, 0x2, 0), "00011"},
        // Two service packs at once is no question that can be answered.
        {"TwoServicePacks", 0x2, 0x40, PackOSVersion(1, 0x2, 0x60), "00000"},
        // Several versions: the oldest whose lineage the revision mask covers answers (XP here).
        {"XPOrVistaOnVista", 0x8, 0, PackOSVersion(1, 0x2 | 0x8, 0x71E0), "00011"},
        {"NoVersionBits", 0x8, 0, PackOSVersion(1, 0, 0x71E0), "00000"},
    };
    for (const auto& c : cases)
    {
        SOSInfo info;
        info.platform.SetValue(OSPlatformBit::NT);
        info.version.SetValue(c.version);
        info.revision.SetValue(c.revision);
        const SOSInfo unclassified;
        for (int op = OSCompare::Less; op <= OSCompare::Greater; ++op)
        {
            EXPECT_EQ(CompareOSVersion(info, c.constant, op) != 0, c.answers[op] == '1')
                << c.name << " op " << op;
            EXPECT_EQ(CompareOSVersion(unclassified, c.constant, op), 0) << c.name << " op " << op;
        }
    }
}

} // namespace
