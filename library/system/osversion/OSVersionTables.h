// The fixed translation tables of version detection: platform and architecture codes, the
// suite-mask table and the product-code table, and the service-pack number parser.
// Pure functions over constant data; thread-safe.
// Failure contract: nothing here fails; unknown inputs give 0 or null.
#pragma once

#include <cstdint>

namespace S
{

// Suite and edition bits that detection and classification act on.
namespace OSSuiteFlag
{
inline constexpr uint32_t SmallBusiness = 0x1;
inline constexpr uint32_t Enterprise = 0x2;
inline constexpr uint32_t DomainControllerLanman = 0x4;
inline constexpr uint32_t DomainControllerLansec = 0x8;
inline constexpr uint32_t TerminalServer = 0x10;
inline constexpr uint32_t Personal = 0x40;
inline constexpr uint32_t SingleUserTerminalServer = 0x200;
inline constexpr uint32_t UniprocessorFree = 0x400;
inline constexpr uint32_t UniprocessorChecked = 0x800;
inline constexpr uint32_t MultiprocessorFree = 0x1000;
inline constexpr uint32_t MultiprocessorChecked = 0x2000;
inline constexpr uint32_t MediaCenter = 0x4000;
inline constexpr uint32_t TabletPc = 0x8000;
inline constexpr uint32_t Starter = 0x10000;
inline constexpr uint32_t ServerR2 = 0x20000;
} // namespace OSSuiteFlag

namespace OSEditionFlag
{
inline constexpr uint32_t ServerWithoutSuite = 0x20;
inline constexpr uint32_t ClassicWorkstation = 0x80;
inline constexpr uint32_t Win32s = 0x200000;
inline constexpr uint32_t Windows81Update = 0x400000;
inline constexpr uint32_t ConnectedCore = 0x800000;
} // namespace OSEditionFlag

// dwPlatformId to the record's platform code (unknown ids give 0).
uint32_t PlatformCodeFromId(uint32_t platformId) noexcept;

// wProcessorArchitecture to the record's architecture code (unknown values give 0).
uint32_t ArchitectureCode(uint16_t processorArchitecture) noexcept;

struct OSSuiteBits
{
    uint32_t suite = 0;
    uint32_t extra = 0;
};

// The suite and extra-edition bits for every bit of a wSuiteMask.
OSSuiteBits SuiteBitsFromMask(uint16_t suiteMask) noexcept;

struct OSProductBits
{
    uint32_t code;
    uint32_t suite;
    uint32_t edition;
    uint32_t extra;
    // Replaces the native architecture code when not 0.
    uint32_t nativeArchitecture;
};

// The entry of a GetProductInfo code, or null for codes that add nothing.
const OSProductBits* FindProductBits(uint32_t productCode) noexcept;

// The number in the first run of decimal digits ("Service Pack 3" gives 3); 0 without digits.
uint16_t ParseServicePackNumber(const wchar_t* text) noexcept;

} // namespace S
