#include "library/system/osversion/OSVersionDetect.h"

#include "library/system/osversion/OSVersionTables.h"

#include <cwchar>

namespace S
{

namespace
{

using namespace OSVersionKeys;

// The reported version as one of the three queries gave it.
struct ReportedVersion
{
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    DWORD platformId = 0;
    const wchar_t* servicePackText = L"";
    WORD servicePackMajor = 0;
    WORD servicePackMinor = 0;
};

void CopyServicePackText(wchar_t (&target)[ServicePackTextSize], const wchar_t* text)
{
    std::wcsncpy(target, text, ServicePackTextSize - 1);
    target[ServicePackTextSize - 1] = L'\0';
}

bool IsOneOf(const SString& text, const wchar_t* expected)
{
    return text.CompareNoCase(expected) == 0;
}

bool DwordIsNonzero(IOSVersionSource& source, const wchar_t* subKey, const wchar_t* name)
{
    DWORD value = 0;
    return source.ReadDword(subKey, name, SystemRead, value) && value != 0;
}

uint32_t ProductTypeFromVersionInfo(BYTE productType)
{
    switch (productType)
    {
    case VER_NT_WORKSTATION:
        return OSProductType::Workstation;
    case VER_NT_DOMAIN_CONTROLLER:
        return OSProductType::DomainController;
    case VER_NT_SERVER:
        return OSProductType::Server;
    default:
        return OSProductType::Unknown;
    }
}

void ReadProductType(OSVersionRecord& r, IOSVersionSource& source, bool extended)
{
    SString type;
    if (!source.ReadText(ProductOptions, L"ProductType", SystemRead, type))
        return;
    if (extended)
    {
        // The version query already gave the product type; only the domain kind is added.
        if (IsOneOf(type, L"LANMANNT"))
            r.suiteFlags |= OSSuiteFlag::DomainControllerLanman;
        else if (IsOneOf(type, L"LANSECNT"))
            r.suiteFlags |= OSSuiteFlag::DomainControllerLansec;
        return;
    }
    if (IsOneOf(type, L"LANMANNT"))
    {
        r.suiteFlags |= OSSuiteFlag::DomainControllerLanman;
        r.productType = OSProductType::DomainController;
    }
    else if (IsOneOf(type, L"SERVERNT"))
        r.productType = OSProductType::Server;
    else if (IsOneOf(type, L"LANSECNT"))
    {
        r.suiteFlags |= OSSuiteFlag::DomainControllerLansec;
        r.productType = OSProductType::DomainController;
    }
    else if (IsOneOf(type, L"WinNT"))
        r.productType = OSProductType::Workstation;
}

void ReadEditionId(OSVersionRecord& r, IOSVersionSource& source)
{
    SString edition;
    if (!source.ReadText(CurrentVersion, L"EditionID", SoftwareQuery, edition))
        return;
    edition.MakeUpper();
    if (edition.find(L"CORECONNECTED") != SString::npos || edition.find(L"CONNECTEDCORE") != SString::npos)
        r.editionFlags |= OSEditionFlag::ConnectedCore;
}

void ReadMetrics(OSVersionRecord& r, IOSVersionSource& source)
{
    if (source.GetSystemMetric(SM_MEDIACENTER) != 0 || DwordIsNonzero(source, MediaCenter, L"Installed"))
        r.suiteFlags |= OSSuiteFlag::MediaCenter;
    if (source.GetSystemMetric(SM_TABLETPC) != 0 || DwordIsNonzero(source, TabletPc, L"Installed"))
        r.suiteFlags |= OSSuiteFlag::TabletPc;
    if (source.GetSystemMetric(SM_STARTER) != 0)
        r.suiteFlags |= OSSuiteFlag::Starter;
    if (source.GetSystemMetric(SM_SERVERR2) != 0)
        r.suiteFlags |= OSSuiteFlag::ServerR2;
}

void ApplyProductInfo(OSVersionRecord& r, IOSVersionSource& source)
{
    DWORD product = 0;
    if (!source.QueryProductInfo(r.trueMajor, r.trueMinor, r.trueServicePackMajor, r.trueServicePackMinor,
                                 product))
        return;
    r.productInfo = product;
    // The product code says better than the suite mask whether this is an enterprise edition.
    r.suiteFlags &= ~OSSuiteFlag::Enterprise;
    if (const OSProductBits* bits = FindProductBits(product))
    {
        r.suiteFlags |= bits->suite;
        r.editionFlags |= bits->edition;
        r.extraEditionFlags |= bits->extra;
        if (bits->nativeArchitecture != 0)
            r.nativeArchitecture = bits->nativeArchitecture;
    }
}

void ReadServicePackCorrections(OSVersionRecord& r, IOSVersionSource& source)
{
    bool minorIsOne = false;
    if (r.trueMajor == 4 && r.trueServicePackMajor == 6)
        minorIsOne = source.KeyExists(HotfixQ246009, SoftwareQuery);
    else if (r.trueMajor == 5 && r.trueMinor != 0 && r.trueServicePackMajor == 1)
    {
        SString subVersion;
        minorIsOne = source.ReadText(CurrentVersionUpper, L"SubVersionNumber", SoftwareQuery, subVersion) &&
                     IsOneOf(subVersion, L"a");
    }
    if (minorIsOne)
        r.servicePackMinor = r.trueServicePackMinor = 1;
}

void ReadCurrentType(OSVersionRecord& r, IOSVersionSource& source)
{
    SString type;
    if (!source.ReadText(CurrentVersion, L"CurrentType", SoftwareQuery, type))
        return;
    if (IsOneOf(type, L"Uniprocessor Free"))
        r.suiteFlags |= OSSuiteFlag::UniprocessorFree;
    else if (IsOneOf(type, L"Uniprocessor Checked"))
        r.suiteFlags |= OSSuiteFlag::UniprocessorChecked;
    else if (IsOneOf(type, L"Multiprocessor Free"))
        r.suiteFlags |= OSSuiteFlag::MultiprocessorFree;
    else if (IsOneOf(type, L"Multiprocessor Checked"))
        r.suiteFlags |= OSSuiteFlag::MultiprocessorChecked;
}

void ReadUpdateRevision(OSVersionRecord& r, IOSVersionSource& source)
{
    DWORD revision = 0;
    if (source.ReadDword(CurrentVersion, L"UBR", SoftwareQuery, revision))
        r.updateBuildRevision = revision;
    SString edition;
    if (source.ReadText(CurrentVersion, L"EditionID", SoftwareQuery, edition) &&
        edition.find(L"ACor") != SString::npos)
        r.isAnnualChannelCore = 1;
}

void ReadArchitecture(OSVersionRecord& r, IOSVersionSource& source)
{
    const WORD process = source.ProcessArchitecture();
    WORD native = process;
    source.NativeArchitecture(native);
    r.architecture = ArchitectureCode(process);
    r.nativeArchitecture = ArchitectureCode(native);
}

void ReadTrueVersion(OSVersionRecord& r, IOSVersionSource& source)
{
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!source.QueryTrueVersion(info))
        return;
    r.trueBuild = info.dwBuildNumber;
    r.trueMajor = info.dwMajorVersion;
    r.trueMinor = info.dwMinorVersion;
    CopyServicePackText(r.trueServicePackText, info.szCSDVersion);
    r.trueServicePackMajor = ParseServicePackNumber(r.trueServicePackText);
    r.trueServicePackMinor = 0;
}

void ReadHalVersion(OSVersionRecord& r, IOSVersionSource& source)
{
    if (r.truePlatform != OSPlatformCode::NT || r.trueMajor != 6 || r.trueMinor != 3)
        return;
    // HAL.DLL of the April 2014 update and later.
    DWORD versionLS = 0;
    if (source.HalFileVersionLS(versionLS) && versionLS >= 0x25804287)
        r.editionFlags |= OSEditionFlag::Windows81Update;
}

// The steps every query path shares, after the version numbers are known.
void FillCommon(OSVersionRecord& r, IOSVersionSource& source, const ReportedVersion& v, bool extended)
{
    r.major = v.major;
    r.minor = v.minor;
    r.build = v.build;
    CopyServicePackText(r.servicePackText, v.servicePackText);
    r.servicePackMajor = v.servicePackMajor;
    r.servicePackMinor = v.servicePackMinor;

    ReadProductType(r, source, extended);
    ReadEditionId(r, source);
    ReadMetrics(r, source);

    r.platform = PlatformCodeFromId(v.platformId);
    r.trueMajor = r.major;
    r.trueMinor = r.minor;
    r.trueBuild = r.build;
    r.truePlatform = r.platform;
    CopyServicePackText(r.trueServicePackText, r.servicePackText);
    r.trueServicePackMajor = r.servicePackMajor;
    r.trueServicePackMinor = r.servicePackMinor;

    ApplyProductInfo(r, source);
    if (v.platformId == VER_PLATFORM_WIN32_NT && r.trueMajor == 5 &&
        r.productType == OSProductType::Workstation &&
        (r.trueMinor == 0 || (r.suiteFlags & OSSuiteFlag::Personal) == 0))
        r.editionFlags |= OSEditionFlag::ClassicWorkstation;

    ReadServicePackCorrections(r, source);
    ReadCurrentType(r, source);
    ReadUpdateRevision(r, source);

    if (v.platformId == VER_PLATFORM_WIN32s)
    {
        r.editionFlags |= OSEditionFlag::Win32s;
        r.platform = OSPlatformCode::NT;
        r.trueMajor = 3;
        r.trueMinor = 10;
        r.trueBuild = 0;
        r.truePlatform = 2;
    }

    ReadArchitecture(r, source);
    ReadTrueVersion(r, source);
    ReadHalVersion(r, source);
}

void ReadProductSuite(OSVersionRecord& r, IOSVersionSource& source)
{
    for (const SString& suite : source.ReadMultiString(ProductOptions, L"ProductSuite", SystemRead))
    {
        if (IsOneOf(suite, L"Terminal Server"))
            r.suiteFlags |= OSSuiteFlag::TerminalServer;
        else if (IsOneOf(suite, L"SBS") || IsOneOf(suite, L"Small Business"))
            r.suiteFlags |= OSSuiteFlag::SmallBusiness;
        else if (IsOneOf(suite, L"Enterprise"))
            r.suiteFlags |= OSSuiteFlag::Enterprise;
        else if (IsOneOf(suite, L"Personal"))
            r.suiteFlags |= OSSuiteFlag::Personal;
    }
}

// A server whose suite names no edition of its own.
void ApplyServerRule(OSVersionRecord& r, WORD suiteMask)
{
    constexpr WORD editionSuites =
        VER_SUITE_ENTERPRISE | VER_SUITE_SMALLBUSINESS_RESTRICTED | VER_SUITE_DATACENTER;
    if (r.productType != OSProductType::Workstation && (suiteMask & editionSuites) == 0)
        r.editionFlags |= OSEditionFlag::ServerWithoutSuite;
}

// Windows 9x kept its service pack in the build number.
void DeriveWindows9xServicePack(ReportedVersion& v)
{
    if (v.major != 4)
        return;
    const DWORD build = LOWORD(v.build);
    if (build >= 951 && build <= 1080)
        v.servicePackMajor = 1;
    else if (v.minor < 10 && build >= 1081 && build <= 1213)
        v.servicePackMajor = static_cast<WORD>(v.major - 2);
    else if (v.minor < 10 && build > 1213)
    {
        v.servicePackMajor = static_cast<WORD>(v.major - 2);
        v.servicePackMinor = static_cast<WORD>(v.major + 1);
    }
    else if (v.minor == 10 && build >= 1999 && build <= 2182)
        v.servicePackMajor = 1;
}

bool DetectFromVersionEx(OSVersionRecord& r, IOSVersionSource& source)
{
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!source.QueryVersionEx(info))
        return false;
    const OSSuiteBits bits = SuiteBitsFromMask(info.wSuiteMask);
    r.suiteFlags |= bits.suite;
    r.extraEditionFlags |= bits.extra;
    r.productType = ProductTypeFromVersionInfo(info.wProductType);
    FillCommon(r, source,
               {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId,
                info.szCSDVersion, info.wServicePackMajor, info.wServicePackMinor},
               true);
    ApplyServerRule(r, info.wSuiteMask);
    return true;
}

bool DetectFromVersion(OSVersionRecord& r, IOSVersionSource& source)
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!source.QueryVersion(info))
        return false;
    // The system need not terminate the text; only the terminated copy is read.
    wchar_t servicePackText[ServicePackTextSize];
    CopyServicePackText(servicePackText, info.szCSDVersion);
    ReportedVersion v{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId,
                      servicePackText};
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT)
        v.servicePackMajor = ParseServicePackNumber(servicePackText);
    else if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        DeriveWindows9xServicePack(v);
    FillCommon(r, source, v, false);
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT)
    {
        ReadProductSuite(r, source);
        ApplyServerRule(r, 0);
    }
    return true;
}

bool DetectFromPackedVersion(OSVersionRecord& r, IOSVersionSource& source)
{
    DWORD packed = 0;
    if (!source.QueryPackedVersion(packed) || !source.KeyExists(CurrentVersion, SoftwareRead))
        return false;
    SString buildText;
    DWORD build = 0;
    if (source.ReadText(CurrentVersion, L"CurrentBuildNumber", SoftwareRead, buildText))
        build = std::wcstoul(buildText.c_str(), nullptr, 10);
    FillCommon(r, source, {LOBYTE(LOWORD(packed)), HIBYTE(LOWORD(packed)), build, VER_PLATFORM_WIN32_NT},
               false);
    ReadProductSuite(r, source);
    ApplyServerRule(r, 0);
    return true;
}

} // namespace

int DetectOSVersion(OSVersionRecord& record, IOSVersionSource& source)
{
    record = OSVersionRecord{};
    if (!DetectFromVersionEx(record, source) && !DetectFromVersion(record, source) &&
        !DetectFromPackedVersion(record, source))
    {
        record = OSVersionRecord{};
        return 0;
    }
    DWORD compatibility = 0;
    if (source.ReadDword(TerminalServer, L"TSAppCompat", SystemRead, compatibility) && compatibility == 0)
        record.suiteFlags |= OSSuiteFlag::SingleUserTerminalServer;
    return 1;
}

} // namespace S
