// Prints on one line what version detection sees in this process: the record's main fields, the
// classification and whether the system counts as older than Vista.
#include "library/system/osversion/SOSInfo.h"

#include <cstdio>

int main()
{
    const S::SOSInfo& info = S::GetOSInfo();
    const S::OSVersionRecord& r = info.record;
    const bool older = S::CompareOSVersion(info, S::OSVersionConstant::VistaLineage, S::OSCompare::Less) != 0;
    std::printf("%u.%u %u.%u.%u sp%u platform%u type%u arch%u/%u: %u %#x %#llx %d", r.major, r.minor,
                r.trueMajor, r.trueMinor, r.trueBuild, r.trueServicePackMajor, r.truePlatform, r.productType,
                r.architecture, r.nativeArchitecture, info.platform.GetValue(), info.version.GetValue(),
                info.revision.GetValue(), older ? 1 : 0);
}
