// Prints the detected record and its classification as "name=value" lines.
#include "library/system/osversion/OSVersion.h"

#include <cstdio>

int main()
{
    const S::SOSInfo& info = S::GetOSInfo();
    const S::OSVersionRecord& r = info.record;
    std::printf("major=%u\nminor=%u\nbuild=%u\nplatform=%u\n", r.major, r.minor, r.build, r.platform);
    std::printf("trueMajor=%u\ntrueMinor=%u\ntrueBuild=%u\ntruePlatform=%u\n", r.trueMajor, r.trueMinor,
                r.trueBuild, r.truePlatform);
    std::printf("servicePackMajor=%u\ntrueServicePackMajor=%u\nproductType=%u\n", r.servicePackMajor,
                r.trueServicePackMajor, r.productType);
    std::printf("osPlatform=%u\nosVersion=%u\nosRevision=%llu\n", info.platform.GetValue(),
                info.version.GetValue(), info.revision.GetValue());
    std::printf("olderThanVista=%d\n",
                S::CompareOSVersion(info, S::OSVersionConstant::VistaLineage, S::OSCompare::Less) != 0 ? 1
                                                                                                       : 0);
    return 0;
}
