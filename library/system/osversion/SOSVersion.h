// The classified Windows version as three bit-mask values — SOSPlatform, SOSVersion and
// SOSRevision — and the metric maps that say which revision bits belong to which version.
// A packed 64-bit constant combines the three: bits 56-63 platform, 40-55 version, 0-39 revision.
// Thread-safety: the metric maps are built once under the thread-safe initialisation of
// function-local statics and are read-only afterwards; the values are plain values.
// Failure contract: nothing here fails; building the metric maps on first use may throw bad_alloc.
#pragma once

#include "library/utility/SNumber.h"
#include "library/utility/collection/SMap.h"

#include <compare>
#include <cstdint>
#include <functional>

namespace S
{

// Version bits in chronological order: a smaller bit is an older system.
namespace OSVersionBit
{
inline constexpr uint32_t Windows2000 = 0x1;
inline constexpr uint32_t WindowsXP = 0x2;
inline constexpr uint32_t Server2003 = 0x4;
inline constexpr uint32_t Vista = 0x8;
inline constexpr uint32_t Server2008 = 0x10;
inline constexpr uint32_t Windows7 = 0x20;
inline constexpr uint32_t Server2008R2 = 0x40;
inline constexpr uint32_t Windows8 = 0x80;
inline constexpr uint32_t Server2012 = 0x100;
inline constexpr uint32_t Windows81 = 0x200;
inline constexpr uint32_t Server2012R2 = 0x400;
inline constexpr uint32_t Windows10 = 0x800;
inline constexpr uint32_t Server2016 = 0x1000;
inline constexpr uint32_t ServerBuild17600 = 0x2000;
inline constexpr uint32_t Unclassified = 0x4000;
inline constexpr uint32_t Last = Unclassified;
} // namespace OSVersionBit

namespace OSPlatformBit
{
inline constexpr uint16_t NT = 0x1;
} // namespace OSPlatformBit

// Packed version constants.
namespace OSVersionConstant
{
inline constexpr uint64_t AnySystem = ~uint64_t{0};
inline constexpr uint64_t AnyNT = 0x01FFFF001FFFFFFFull;
// NT, Vista and its whole lineage: "older than Vista" with the operator Less.
inline constexpr uint64_t VistaLineage = 0x01000800000071E0ull;
} // namespace OSVersionConstant

constexpr uint64_t PackOSVersion(uint8_t platform, uint16_t version, uint64_t revision) noexcept
{
    return (uint64_t{platform} << 56) | (uint64_t{version} << 40) | (revision & 0xFFFFFFFFFFull);
}

class SOSConstants
{
public:
    // Where a version's revision bits lie, and its lineage: its own revision bits together with
    // those of the version two places earlier, recursively (workstation and server lines
    // alternate in the version bits).
    template <typename T> struct SMetricsT
    {
        T firstBit;
        T bitCount;
        T lineageMask;

        friend auto operator<=>(const SMetricsT&, const SMetricsT&) = default;
    };

    using VersionMetricsMap = SMapT<unsigned int, SMetricsT<unsigned int>, std::less<unsigned int>>;
    using PlatformMetricsMap =
        SMapT<unsigned long long, SMetricsT<unsigned long long>, std::less<unsigned long long>>;

    // Version bit -> metrics, for every version bit.
    static const VersionMetricsMap& VersionMetrics();
    // Platform bit -> the version bits it spans.
    static const PlatformMetricsMap& PlatformMetrics();
};

class SOSPlatform : public SBitMask<unsigned short, 1, 0>, public SOSConstants
{
public:
    using SBitMask::SBitMask;
};

class SOSVersion : public SBitMask<unsigned int, 1, 0>, public SOSConstants
{
public:
    using SBitMask::SBitMask;
};

class SOSRevision : public SBitMask<unsigned long long, 1, 0>, public SOSConstants
{
public:
    using SBitMask::SBitMask;
};

} // namespace S
