#include "library/system/osversion/OSVersion.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <utility>

namespace
{

using namespace S;

struct SystemCase
{
    const char* name;
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t productType;
    uint16_t servicePack;
    uint32_t suiteFlags;
    uint16_t platform;
    uint32_t version;
    uint64_t revision;
    bool olderThanVista;
};

OSVersionRecord RecordFor(const SystemCase& c)
{
    OSVersionRecord r;
    r.major = r.trueMajor = c.major;
    r.minor = r.trueMinor = c.minor;
    r.build = r.trueBuild = c.build;
    r.platform = r.truePlatform = OSPlatformCode::NT;
    r.productType = c.productType;
    r.servicePackMajor = r.trueServicePackMajor = c.servicePack;
    r.suiteFlags = c.suiteFlags;
    return r;
}

constexpr uint32_t WS = OSProductType::Workstation;
constexpr uint32_t SRV = OSProductType::Server;
constexpr uint32_t DC = OSProductType::DomainController;

const SystemCase Systems[] = {
    {"Windows2000", 5, 0, 2195, WS, 0, 0, 1, 0x1, 0, true},
    {"Windows2000Sp4", 5, 0, 2195, WS, 4, 0, 1, 0x1, 0x8, true},
    {"Windows2000Server", 5, 0, 2195, SRV, 0, 0, 1, 0x1, 0, true},
    {"WindowsXP", 5, 1, 2600, WS, 0, 0, 1, 0x2, 0, true},
    {"WindowsXPSp3", 5, 1, 2600, WS, 3, 0, 1, 0x2, 0x80, true},
    {"WindowsXPHomeOnUnknownType", 5, 1, 2600, 0, 2, 0x40, 1, 0x2, 0x40, true},
    {"WindowsXP64", 5, 2, 3790, WS, 2, 0, 1, 0x2, 0x40, true},
    {"Server2003", 5, 2, 3790, SRV, 0, 0, 1, 0x4, 0, true},
    {"Server2003Sp2", 5, 2, 3790, SRV, 2, 0, 1, 0x4, 0x400, true},
    {"Server2003DomainController", 5, 2, 3790, DC, 2, 0, 1, 0x4000, 0, false},
    {"Vista", 6, 0, 6000, WS, 0, 0, 1, 0x8, 0, false},
    {"VistaSp2", 6, 0, 6002, WS, 2, 0, 1, 0x8, 0x2000, false},
    {"Server2008Sp2", 6, 0, 6002, SRV, 2, 0, 1, 0x10, 0x10000, false},
    {"Windows7", 6, 1, 7600, WS, 0, 0, 1, 0x20, 0, false},
    {"Windows7Sp1", 6, 1, 7601, WS, 1, 0, 1, 0x20, 0x40000, false},
    {"Server2008R2Sp1", 6, 1, 7601, SRV, 1, 0, 1, 0x40, 0x100000, false},
    {"DomainControllerOn61", 6, 1, 7601, DC, 1, 0, 1, 0x4000, 0, false},
    {"Windows8", 6, 2, 9200, WS, 0, 0, 1, 0x80, 0, false},
    {"Server2012", 6, 2, 9200, SRV, 0, 0, 1, 0x100, 0, false},
    {"Windows81", 6, 3, 9600, WS, 0, 0, 1, 0x200, 0, false},
    {"Server2012R2", 6, 3, 9600, SRV, 0, 0, 1, 0x400, 0, false},
    {"Windows10", 10, 0, 19045, WS, 0, 0, 1, 0x800, 0, false},
    {"Windows11", 10, 0, 22631, WS, 0, 0, 1, 0x800, 0, false},
    {"TechnicalPreview64", 6, 4, 9841, WS, 0, 0, 1, 0x800, 0, false},
    {"Server2016", 10, 0, 14393, SRV, 0, 0, 1, 0x1000, 0, false},
    {"Server2016DomainController", 10, 0, 14393, DC, 0, 0, 1, 0x4000, 0, false},
    {"Server2019", 10, 0, 17763, SRV, 0, 0, 1, 0x2000, 0, false},
    {"Server2019DomainController", 10, 0, 17763, DC, 0, 0, 1, 0x2000, 0, false},
    {"Server2022", 10, 0, 20348, SRV, 0, 0, 1, 0x2000, 0, false},
    {"WorkstationBuild17600", 10, 0, 17600, WS, 0, 0, 1, 0x800, 0, false},
    {"NT4", 4, 0, 1381, WS, 6, 0, 1, 0, 0, false},
};

class ClassifyOSVersionTable : public testing::TestWithParam<SystemCase>
{
};

TEST_P(ClassifyOSVersionTable, ClassifiesTheTrueView)
{
    const SystemCase& c = GetParam();
    const OSVersionRecord record = RecordFor(c);
    const OSClassification classification = ClassifyOSVersion(record);
    EXPECT_EQ(classification.platform, c.platform);
    EXPECT_EQ(classification.version, c.version);
    EXPECT_EQ(classification.revision, c.revision);

    const SOSInfo info = MakeOSInfo(OSVersionRecord{}, record);
    EXPECT_EQ(info.version.GetValue(), c.version);
    EXPECT_EQ(CompareOSVersion(info, OSVersionConstant::VistaLineage, OSCompare::Less) != 0,
              c.olderThanVista);
}

INSTANTIATE_TEST_SUITE_P(Systems, ClassifyOSVersionTable, testing::ValuesIn(Systems),
                         [](const testing::TestParamInfo<SystemCase>& info)
                         { return std::string(info.param.name); });

TEST(ClassifyOSVersion, ShimmedReportIsIgnored)
{
    OSVersionRecord record;
    record.major = 6;
    record.minor = 2;
    record.build = 9200;
    record.platform = OSPlatformCode::NT;
    record.trueMajor = 10;
    record.trueMinor = 0;
    record.trueBuild = 19045;
    record.truePlatform = OSPlatformCode::NT;
    record.productType = OSProductType::Workstation;
    EXPECT_EQ(ClassifyOSVersion(record).version, OSVersionBit::Windows10);

    // And the other way round: a true 6.2 system is Windows 8 whatever was reported.
    std::swap(record.major, record.trueMajor);
    std::swap(record.minor, record.trueMinor);
    std::swap(record.build, record.trueBuild);
    EXPECT_EQ(ClassifyOSVersion(record).version, OSVersionBit::Windows8);
}

TEST(ClassifyOSVersion, OnlyNTIsClassified)
{
    OSVersionRecord record;
    record.trueMajor = 4;
    record.trueMinor = 10;
    record.trueServicePackMajor = 1;
    record.truePlatform = OSPlatformCode::Windows9x;
    const OSClassification classification = ClassifyOSVersion(record);
    EXPECT_EQ(classification.platform, 0);
    EXPECT_EQ(classification.version, 0u);
    EXPECT_EQ(classification.revision, 0u);
    const SOSInfo info = MakeOSInfo(record, record);
    EXPECT_EQ(CompareOSVersion(info, OSVersionConstant::AnySystem, OSCompare::Equal), 0);
}

TEST(IsServerBuild17600OrLater, NeedsNTVersionBuildAndServerType)
{
    OSVersionRecord r;
    r.truePlatform = OSPlatformCode::NT;
    r.trueMajor = 6;
    r.trueMinor = 4;
    r.trueBuild = 17600;
    r.productType = OSProductType::DomainController;
    EXPECT_TRUE(IsServerBuild17600OrLater(r));
    r.trueBuild = 17599;
    EXPECT_FALSE(IsServerBuild17600OrLater(r));
    r.trueBuild = 20348;
    r.trueMinor = 3;
    EXPECT_FALSE(IsServerBuild17600OrLater(r));
    r.trueMajor = 10;
    r.trueMinor = 0;
    r.productType = OSProductType::Workstation;
    EXPECT_FALSE(IsServerBuild17600OrLater(r));
    r.productType = OSProductType::Server;
    EXPECT_TRUE(IsServerBuild17600OrLater(r));
    r.truePlatform = OSPlatformCode::Windows9x;
    EXPECT_FALSE(IsServerBuild17600OrLater(r));
}

TEST(SOSConstants, MetricsOfEveryVersionBit)
{
    struct Row
    {
        unsigned int bit, first, count, lineage;
    };
    const Row rows[] = {{1, 0, 5, 0x1F},          {2, 5, 4, 0x1E0},          {4, 9, 3, 0xE1F},
                        {8, 12, 3, 0x71E0},       {16, 15, 3, 0x38E1F},      {32, 18, 2, 0xC71E0},
                        {64, 20, 2, 0x338E1F},    {128, 22, 1, 0x4C71E0},    {256, 23, 1, 0xB38E1F},
                        {512, 24, 1, 0x14C71E0},  {1024, 25, 1, 0x2B38E1F},  {2048, 26, 1, 0x54C71E0},
                        {4096, 27, 1, 0xAB38E1F}, {8192, 28, 1, 0x154C71E0}, {16384, 29, 1, 0x2AB38E1F}};
    const auto& metrics = SOSConstants::VersionMetrics();
    ASSERT_EQ(metrics.GetCount(), std::size(rows));
    for (const Row& row : rows)
    {
        const SOSConstants::SMetricsT<unsigned int> expected{row.first, row.count, row.lineage};
        EXPECT_EQ(metrics.GetAt(row.bit), expected) << "version bit " << row.bit;
    }
    const SOSConstants::SMetricsT<unsigned long long> nt{0, 15, 0x7FFF};
    EXPECT_EQ(SOSConstants::PlatformMetrics().GetAt(OSPlatformBit::NT), nt);
    EXPECT_EQ(SOSConstants::PlatformMetrics().GetCount(), 1u);
}

// One classified system compared against one constant with every operator.
struct CompareCase
{
    const char* name;
    uint32_t version;
    uint64_t revision;
    uint64_t constant;
    bool less, lessOrEqual, equal, greaterOrEqual, greater;
};

const CompareCase Comparisons[] = {
    // The font job's constant: Vista with its whole lineage, compared by version alone.
    {"VistaLineageOnXP", 0x2, 0x80, OSVersionConstant::VistaLineage, true, true, false, false, false},
    {"VistaLineageOnServer2003", 0x4, 0, OSVersionConstant::VistaLineage, true, true, false, false, false},
    {"VistaLineageOnVista", 0x8, 0x2000, OSVersionConstant::VistaLineage, false, true, true, true, false},
    {"VistaLineageOnWindows7", 0x20, 0x40000, OSVersionConstant::VistaLineage, false, false, false, true,
     true},
    {"VistaLineageOnWindows10", 0x800, 0, OSVersionConstant::VistaLineage, false, false, false, true, true},
    {"VistaLineageOnServer2022", 0x2000, 0, OSVersionConstant::VistaLineage, false, false, false, true, true},
    {"AllOnesOnWindows2000", 0x1, 0, OSVersionConstant::AnySystem, true, true, true, true, true},
    {"AllOnesOnWindows10", 0x800, 0, OSVersionConstant::AnySystem, true, true, true, true, true},
    {"AnyNTOnXP", 0x2, 0x40, OSVersionConstant::AnyNT, true, true, true, true, true},
    {"AnyNTOnUnclassified", 0x4000, 0, OSVersionConstant::AnyNT, true, true, true, true, true},
    // XP SP2 alone: compared by revision, and only on XP itself.
    {"XPSp2OnXPSp2", 0x2, 0x40, PackOSVersion(1, 0x2, 0x40), false, true, true, true, false},
    {"XPSp2OnXPSp3", 0x2, 0x80, PackOSVersion(1, 0x2, 0x40), false, false, false, true, true},
    {"XPSp2OnXPSp1", 0x2, 0x20, PackOSVersion(1, 0x2, 0x40), true, true, false, false, false},
    {"XPSp2OnVista", 0x8, 0, PackOSVersion(1, 0x2, 0x40), false, false, false, false, false},
    // No service-pack bit: revision 0 of that version.
    {"XPWithoutServicePackOnXP", 0x2, 0, PackOSVersion(1, 0x2, 0), false, true, true, true, false},
    {"XPWithoutServicePackOnXPSp3", 0x2, 0x80, PackOSVersion(1, 0x2, 0), false, false, false, true, true},
    // Two service packs at once is no question that can be answered.
    {"TwoServicePacks", 0x2, 0x40, PackOSVersion(1, 0x2, 0x60), false, false, false, false, false},
    // Several versions: the oldest whose lineage the revision mask covers answers (XP here).
    {"XPOrVistaOnVista", 0x8, 0, PackOSVersion(1, 0x2 | 0x8, 0x71E0), false, false, false, true, true},
    {"NoNTBit", 0x8, 0, PackOSVersion(2, 0x8, 0x71E0), false, false, false, false, false},
    {"NoVersionBits", 0x8, 0, PackOSVersion(1, 0, 0x71E0), false, false, false, false, false},
};

class CompareOSVersionTable : public testing::TestWithParam<CompareCase>
{
};

TEST_P(CompareOSVersionTable, EveryOperator)
{
    const CompareCase& c = GetParam();
    SOSInfo info;
    info.platform.SetValue(OSPlatformBit::NT);
    info.version.SetValue(c.version);
    info.revision.SetValue(c.revision);
    const bool expected[] = {c.less, c.lessOrEqual, c.equal, c.greaterOrEqual, c.greater};
    for (int op = OSCompare::Less; op <= OSCompare::Greater; ++op)
        EXPECT_EQ(CompareOSVersion(info, c.constant, op) != 0, expected[op]) << "operator " << op;
}

INSTANTIATE_TEST_SUITE_P(Constants, CompareOSVersionTable, testing::ValuesIn(Comparisons),
                         [](const testing::TestParamInfo<CompareCase>& info)
                         { return std::string(info.param.name); });

TEST(CompareOSVersion, UnclassifiedSystemMatchesNothing)
{
    const SOSInfo info;
    for (int op = OSCompare::Less; op <= OSCompare::Greater; ++op)
    {
        EXPECT_EQ(CompareOSVersion(info, OSVersionConstant::AnySystem, op), 0);
        EXPECT_EQ(CompareOSVersion(info, OSVersionConstant::VistaLineage, op), 0);
    }
}

TEST(PackOSVersion, PacksTheFontJobConstant)
{
    EXPECT_EQ(PackOSVersion(OSPlatformBit::NT, OSVersionBit::Vista, 0x71E0), 0x01000800000071E0ull);
    EXPECT_EQ(PackOSVersion(1, 0xFFFF, 0x1FFFFFFF), OSVersionConstant::AnyNT);
}

} // namespace
