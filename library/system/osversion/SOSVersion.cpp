#include "library/system/osversion/SOSVersion.h"

#include <array>

namespace S
{

const SOSConstants::VersionMetricsMap& SOSConstants::VersionMetrics()
{
    static const VersionMetricsMap metrics = []
    {
        // Revision bits per version, oldest first; they are laid out one version after another.
        constexpr std::array<unsigned int, 15> widths = {5, 4, 3, 3, 3, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1};
        std::array<unsigned int, widths.size()> lineage{};
        VersionMetricsMap map;
        unsigned int firstBit = 0;
        for (std::size_t index = 0; index < widths.size(); ++index)
        {
            const unsigned int own = ((1u << widths[index]) - 1u) << firstBit;
            lineage[index] = own | (index >= 2 ? lineage[index - 2] : 0u);
            SResult ignored;
            map.Insert(ignored, 1u << index,
                       SMetricsT<unsigned int>{firstBit, widths[index], lineage[index]});
            firstBit += widths[index];
        }
        return map;
    }();
    return metrics;
}

const SOSConstants::PlatformMetricsMap& SOSConstants::PlatformMetrics()
{
    static const PlatformMetricsMap metrics = []
    {
        PlatformMetricsMap map;
        SResult ignored;
        map.Insert(ignored, OSPlatformBit::NT, SMetricsT<unsigned long long>{0, 15, 0x7FFF});
        return map;
    }();
    return metrics;
}

} // namespace S
