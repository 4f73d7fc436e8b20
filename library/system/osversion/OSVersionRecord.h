// OSVersionRecord: what detection learned about the running Windows, in two views — the
// reported one (GetVersionExW, possibly shimmed) and the true one (RtlGetVersion).
// A plain value; zero-filled on construction. Thread-safety: as any plain struct.
// Failure contract: nothing here fails; a field that detection could not fill stays zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace S
{

inline constexpr std::size_t ServicePackTextSize = 128;

struct OSVersionRecord
{
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint32_t platform = 0;
    uint32_t architecture = 0;
    wchar_t servicePackText[ServicePackTextSize] = {};
    uint16_t servicePackMajor = 0;
    uint16_t servicePackMinor = 0;
    uint32_t trueMajor = 0;
    uint32_t trueMinor = 0;
    uint32_t trueBuild = 0;
    uint32_t truePlatform = 0;
    uint32_t nativeArchitecture = 0;
    wchar_t trueServicePackText[ServicePackTextSize] = {};
    uint16_t trueServicePackMajor = 0;
    uint16_t trueServicePackMinor = 0;
    uint32_t suiteFlags = 0;
    uint32_t editionFlags = 0;
    uint32_t extraEditionFlags = 0;
    uint32_t productType = 0;
    uint32_t updateBuildRevision = 0;
    uint32_t productInfo = 0;
    uint32_t isAnnualChannelCore = 0;
};

// Platform codes of the record.
namespace OSPlatformCode
{
inline constexpr uint32_t Win32s = 0;
inline constexpr uint32_t Windows9x = 3;
inline constexpr uint32_t NT = 4;
inline constexpr uint32_t CE = 5;
} // namespace OSPlatformCode

// Product types of the record.
namespace OSProductType
{
inline constexpr uint32_t Unknown = 0;
inline constexpr uint32_t Workstation = 1;
inline constexpr uint32_t Server = 2;
inline constexpr uint32_t DomainController = 3;
} // namespace OSProductType

} // namespace S
