// Prints the detected record and its classification as "name=value" lines.
#include "library/system/osversion/OSVersion.h"

#include <cstdio>

int main()
{
    const S::SOSInfo& info = S::GetOSInfo();
    const S::OSVersionRecord& r = info.record;
    std::printf("major=%u\nminor=%u\ntrueMajor=%u\ntrueMinor=%u\ntruePlatform=%u\n", r.major, r.minor,
                r.trueMajor, r.trueMinor, r.truePlatform);
    std::printf("osPlatform=%u\nosVersion=%u\nosRevision=%llu\n", info.platform.GetValue(),
                info.version.GetValue(), info.revision.GetValue());
    const bool older = S::CompareOSVersion(info, S::OSVersionConstant::VistaLineage, S::OSCompare::Less) != 0;
    std::printf("olderThanVista=%d\n", older ? 1 : 0);
    return 0;
}
