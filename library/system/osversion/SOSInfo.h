// What the library knows of the running Windows: detection into an OSVersionRecord, the pure
// classification of a record into platform/version/revision bits, and comparison against a
// packed version constant. To ask "older than Vista?":
//     CompareOSVersion(GetOSInfo(), OSVersionConstant::VistaLineage, OSCompare::Less)
// Thread-safety: GetOSInfo is built once under the thread-safe initialisation of a function-local
// static and is read-only afterwards; the other functions are pure.
// Failure contract: DetectOSVersion returns 0 and leaves the record zero only when no version
// query at all is available; missing details leave their fields 0.
#pragma once

#include "library/system/osversion/OSVersionRecord.h"
#include "library/system/osversion/SOSVersion.h"

#include <cstdint>

namespace S
{

class IOSVersionSource;

// The process-wide OS information: both detected records and the classification of the second.
struct SOSInfo
{
    OSVersionRecord firstRecord;
    OSVersionRecord record;
    SOSPlatform platform{0};
    SOSVersion version{0};
    SOSRevision revision{0};
};

// Operators of CompareOSVersion.
namespace OSCompare
{
inline constexpr int Less = 0;
inline constexpr int LessOrEqual = 1;
inline constexpr int Equal = 2;
inline constexpr int GreaterOrEqual = 3;
inline constexpr int Greater = 4;
} // namespace OSCompare

struct OSClassification
{
    uint16_t platform = 0;
    uint32_t version = 0;
    uint64_t revision = 0;
};

// Fills `record` from the live system (see OSVersionDetect.h for the steps). Nonzero on success.
int DetectOSVersion(OSVersionRecord& record);

// Classifies the true view of `record`. Pure.
OSClassification ClassifyOSVersion(const OSVersionRecord& record) noexcept;

// NT 6.4 or later (10.0 included), build 17600 or later, server or domain controller.
bool IsServerBuild17600OrLater(const OSVersionRecord& record) noexcept;

// The information for two detected records, the second one classified. Pure.
SOSInfo MakeOSInfo(const OSVersionRecord& first, const OSVersionRecord& second) noexcept;

// The process's own information, detected on first use.
const SOSInfo& GetOSInfo();

// Nonzero when the relation `op` (OSCompare) holds between the classified system and the packed
// `constant`; 0 for an unclassified system.
int CompareOSVersion(const SOSInfo& info, uint64_t constant, int op);

} // namespace S
