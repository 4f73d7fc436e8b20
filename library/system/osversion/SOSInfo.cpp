#include "library/system/osversion/SOSInfo.h"

#include "library/system/osversion/OSVersionTables.h"

#include <bit>

namespace S
{

namespace
{

// The revision bit of each service pack counts up from the version's first revision bit.
uint64_t RevisionFor(uint32_t version, uint16_t servicePack) noexcept
{
    if (servicePack == 0 || version == 0 || version > OSVersionBit::Server2008R2)
        return 0;
    const unsigned int firstBit = SOSConstants::VersionMetrics().GetItems().at(version).firstBit;
    return uint64_t{1} << (firstBit + servicePack - 1u);
}

bool IsVersionAtLeast64(const OSVersionRecord& record) noexcept
{
    return record.trueMajor > 6 || (record.trueMajor == 6 && record.trueMinor >= 4);
}

uint32_t ClassifyVersion(const OSVersionRecord& r) noexcept
{
    const bool workstation = r.productType == OSProductType::Workstation;
    const bool server = r.productType == OSProductType::Server;
    if (r.trueMajor <= 4)
        return 0;
    if (r.trueMajor == 5)
    {
        if (r.trueMinor == 0)
            return OSVersionBit::Windows2000;
        if ((r.suiteFlags & OSSuiteFlag::Personal) != 0 || workstation)
            return OSVersionBit::WindowsXP;
        return server ? OSVersionBit::Server2003 : OSVersionBit::Unclassified;
    }
    if (r.trueMajor == 6 && r.trueMinor <= 3)
    {
        // Workstation and server alternate: 6.0 is Vista/2008, ..., 6.3 is 8.1/2012 R2.
        const uint32_t workstationBit = OSVersionBit::Vista << (2 * r.trueMinor);
        if (workstation)
            return workstationBit;
        return server ? workstationBit << 1 : OSVersionBit::Unclassified;
    }
    if (!IsServerBuild17600OrLater(r))
    {
        if (workstation)
            return OSVersionBit::Windows10;
        return server ? OSVersionBit::Server2016 : OSVersionBit::Unclassified;
    }
    return OSVersionBit::ServerBuild17600;
}

template <typename T> bool Apply(int op, T left, T right) noexcept
{
    switch (op)
    {
    case OSCompare::Less:
        return left < right;
    case OSCompare::LessOrEqual:
        return left <= right;
    case OSCompare::Equal:
        return left == right;
    case OSCompare::GreaterOrEqual:
        return left >= right;
    case OSCompare::Greater:
        return left > right;
    default:
        return false;
    }
}

} // namespace

bool IsServerBuild17600OrLater(const OSVersionRecord& record) noexcept
{
    return record.truePlatform == OSPlatformCode::NT && IsVersionAtLeast64(record) &&
           record.trueBuild >= 17600 &&
           (record.productType == OSProductType::Server ||
            record.productType == OSProductType::DomainController);
}

OSClassification ClassifyOSVersion(const OSVersionRecord& record) noexcept
{
    OSClassification result;
    if (record.truePlatform != OSPlatformCode::NT)
        return result;
    result.platform = OSPlatformBit::NT;
    result.version = ClassifyVersion(record);
    result.revision = RevisionFor(result.version, record.trueServicePackMajor);
    return result;
}

SOSInfo MakeOSInfo(const OSVersionRecord& first, const OSVersionRecord& second) noexcept
{
    SOSInfo info{first, second};
    const OSClassification classification = ClassifyOSVersion(second);
    info.platform.SetValue(classification.platform);
    info.version.SetValue(classification.version);
    info.revision.SetValue(classification.revision);
    return info;
}

const SOSInfo& GetOSInfo()
{
    static const SOSInfo info = []
    {
        OSVersionRecord first;
        DetectOSVersion(first);
        OSVersionRecord second;
        DetectOSVersion(second);
        return MakeOSInfo(first, second);
    }();
    return info;
}

int CompareOSVersion(const SOSInfo& info, uint64_t constant, int op)
{
    const auto platformMask = static_cast<uint16_t>(constant >> 56);
    const auto versionMask = static_cast<uint32_t>((constant >> 40) & 0xFFFF);
    const uint64_t revisionMask = constant & 0xFFFFFFFFFFull;
    const uint16_t platform = info.platform.GetValue();
    const uint32_t version = info.version.GetValue();
    const uint64_t revision = info.revision.GetValue();

    if ((platform & platformMask) == 0 || versionMask == 0 || version == 0)
        return 0;
    if (constant == OSVersionConstant::AnySystem)
        return 1;
    if ((platformMask & OSPlatformBit::NT) == 0)
        return 0;
    if ((constant & OSVersionConstant::AnyNT) == OSVersionConstant::AnyNT)
        return 1;

    const auto& metrics = SOSConstants::VersionMetrics().GetItems();
    for (uint32_t bit = 1; bit <= OSVersionBit::Last; bit <<= 1)
    {
        if ((versionMask & bit) == 0)
            continue;
        const auto& m = metrics.at(bit);
        const uint64_t lineage = m.lineageMask;
        const uint64_t selected = revisionMask & lineage;
        // The whole lineage: any revision of this version, compared by version alone.
        if (selected == lineage)
            return Apply<uint32_t>(op, version, bit) ? 1 : 0;
        if (std::popcount(selected) > 1)
            return 0;
        // One service pack of this version (or none): compared by revision on this version only.
        bool candidateMatches = selected == 0;
        for (unsigned int offset = 0; !candidateMatches && offset <= m.bitCount; ++offset)
            candidateMatches = selected == uint64_t{1} << (m.firstBit + offset);
        if (candidateMatches && version == bit && Apply<uint64_t>(op, revision, selected))
            return 1;
    }
    return 0;
}

} // namespace S
