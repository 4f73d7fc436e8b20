#include "library/system/osversion/SOSInfo.h"
#include "library/system/osversion/OSVersionDetect.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace
{

using namespace S;

constexpr uint32_t WS = OSProductType::Workstation, SRV = OSProductType::Server,
                   DC = OSProductType::DomainController;

OSVersionRecord Record(uint32_t major, uint32_t minor, uint32_t build, uint32_t productType,
                       uint16_t servicePack, uint32_t suiteFlags = 0, uint32_t platform = OSPlatformCode::NT)
{
    OSVersionRecord r;
    std::tie(r.trueMajor, r.trueMinor, r.trueBuild, r.truePlatform, r.trueServicePackMajor) =
        std::tie(r.major, r.minor, r.build, r.platform, r.servicePackMajor) =
            std::tuple(major, minor, build, platform, servicePack);
    std::tie(r.productType, r.suiteFlags) = std::tuple(productType, suiteFlags);
    return r;
}

OSVersionRecord Shimmed(OSVersionRecord r, uint32_t major, uint32_t minor, uint32_t build)
{
    std::tie(r.major, r.minor, r.build) = std::tuple(major, minor, build);
    return r;
}

// A system as version detection sees it: recorded answers to every question it asks. A key
// below "Software" answers only in the 64-bit registry view.
struct RecordedSystem
{
    enum Query
    {
        None,
        Packed,
        Plain,
        Extended
    };
    struct Version
    {
        DWORD major, minor, build, platformId;
        std::wstring text; // 128 characters or more are copied without a terminator
        WORD servicePackMajor = 0, servicePackMinor = 0, suiteMask = 0;
        BYTE productType = 0;
    };
    using Value = std::variant<std::monostate, DWORD, std::wstring, std::vector<std::wstring>>;
    struct Fact
    {
        const wchar_t* key;
        const wchar_t* name; // with no value: the key exists
        Value value;
    };

    const char* name;
    Query query;
    Version reported;
    std::vector<Fact> registry;
    std::vector<int> metrics; // those that are nonzero
    DWORD product = 0;        // 0: no GetProductInfo
    WORD process = PROCESSOR_ARCHITECTURE_INTEL;
    int native = -1; // -1: no GetNativeSystemInfo
    std::optional<Version> trueVersion;
    DWORD hal = 0; // 0: no HAL.DLL version
    std::string expected;
};

class RecordedSource final : public IOSVersionSource
{
public:
    explicit RecordedSource(const RecordedSystem& system) : s(system) {}

    bool QueryVersionEx(OSVERSIONINFOEXW& info) override
    {
        const RecordedSystem::Version& v = s.reported;
        std::tie(info.wServicePackMajor, info.wServicePackMinor, info.wSuiteMask, info.wProductType) =
            std::tie(v.servicePackMajor, v.servicePackMinor, v.suiteMask, v.productType);
        return s.query >= RecordedSystem::Extended && Fill(info, v);
    }
    bool QueryVersion(OSVERSIONINFOW& info) override
    {
        return s.query >= RecordedSystem::Plain && Fill(info, s.reported);
    }
    bool QueryPackedVersion(DWORD& version) override
    {
        version = s.reported.major | s.reported.minor << 8 | s.reported.build << 16;
        return s.query >= RecordedSystem::Packed;
    }
    bool KeyExists(const wchar_t* subKey, REGSAM access) override
    {
        return std::ranges::any_of(s.registry,
                                   [&](const RecordedSystem::Fact& f) { return Visible(f, subKey, access); });
    }
    bool ReadText(const wchar_t* subKey, const wchar_t* name, REGSAM access, SString& out) override
    {
        const auto* text = std::get_if<std::wstring>(Find(subKey, name, access));
        return text != nullptr && (out = SString(text->c_str()), true);
    }
    bool ReadDword(const wchar_t* subKey, const wchar_t* name, REGSAM access, DWORD& out) override
    {
        const auto* number = std::get_if<DWORD>(Find(subKey, name, access));
        return number != nullptr && (out = *number, true);
    }
    std::vector<SString> ReadMultiString(const wchar_t* subKey, const wchar_t* name, REGSAM access) override
    {
        std::vector<SString> texts;
        if (const auto* list = std::get_if<std::vector<std::wstring>>(Find(subKey, name, access)))
            for (const std::wstring& text : *list)
                texts.emplace_back(text.c_str());
        return texts;
    }
    int GetSystemMetric(int index) override { return static_cast<int>(std::ranges::count(s.metrics, index)); }
    bool QueryProductInfo(DWORD, DWORD, DWORD, DWORD, DWORD& code) override
    {
        return s.product != 0 && (code = s.product, true);
    }
    WORD ProcessArchitecture() override { return s.process; }
    bool NativeArchitecture(WORD& architecture) override
    {
        return s.native >= 0 && (architecture = static_cast<WORD>(s.native), true);
    }
    bool QueryTrueVersion(OSVERSIONINFOEXW& info) override
    {
        return s.trueVersion && Fill(info, *s.trueVersion);
    }
    bool HalFileVersionLS(DWORD& versionLS) override { return s.hal != 0 && (versionLS = s.hal, true); }

private:
    const RecordedSystem& s;

    template <typename Info> static bool Fill(Info& info, const RecordedSystem::Version& v)
    {
        std::tie(info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId) =
            std::tie(v.major, v.minor, v.build, v.platformId);
        std::wmemset(info.szCSDVersion, L'\0', 128);
        std::wmemcpy(info.szCSDVersion, v.text.c_str(), std::min<size_t>(v.text.size(), 128));
        return true;
    }
    static bool Visible(const RecordedSystem::Fact& fact, const wchar_t* subKey, REGSAM access)
    {
        return _wcsicmp(fact.key, subKey) == 0 &&
               ((access & KEY_WOW64_64KEY) != 0 || _wcsnicmp(subKey, L"Software\\", 9) != 0);
    }
    const RecordedSystem::Value* Find(const wchar_t* subKey, const wchar_t* name, REGSAM access) const
    {
        for (const RecordedSystem::Fact& fact : s.registry)
            if (Visible(fact, subKey, access) && fact.name != nullptr && _wcsicmp(fact.name, name) == 0)
                return &fact.value;
        return nullptr;
    }
};

// The whole record and its classification on one line: the true view as "=" when it is the
// reported one, the fields after the architectures only when they are not zero.
std::string Describe(int detected, const OSVersionRecord& r)
{
    const auto narrow = [](const wchar_t* text) { return std::string(text, text + std::wcslen(text)); };
    const OSClassification c = ClassifyOSVersion(r);
    char line[640];
    std::snprintf(line, sizeof(line),
                  "%d: %u.%u.%u p%u sp%u.%u '%s' | %u.%u.%u p%u sp%u.%u '%s' | arch %u/%u type %u suite %#x "
                  "ed %#x x %#x ubr %u prod %u ac %u | %u %#x %#llx",
                  detected, r.major, r.minor, r.build, r.platform, r.servicePackMajor, r.servicePackMinor,
                  narrow(r.servicePackText).c_str(), r.trueMajor, r.trueMinor, r.trueBuild, r.truePlatform,
                  r.trueServicePackMajor, r.trueServicePackMinor, narrow(r.trueServicePackText).c_str(),
                  r.architecture, r.nativeArchitecture, r.productType, r.suiteFlags, r.editionFlags,
                  r.extraEditionFlags, r.updateBuildRevision, r.productInfo, r.isAnnualChannelCore,
                  c.platform, c.version, static_cast<unsigned long long>(c.revision));
    std::string text = line;
    const size_t start = text.find(": ") + 2, first = text.find(" | "), second = text.find(" | ", first + 3);
    if (text.compare(start, first - start, text, first + 3, second - first - 3) == 0)
        text.replace(first + 3, second - first - 3, "=");
    for (const std::string zero :
         {" type 0 ", " suite 0 ", " ed 0 ", " x 0 ", " ubr 0 ", " prod 0 ", " ac 0 "})
        if (const size_t at = text.find(zero); at != std::string::npos)
            text.erase(at, zero.size() - 1);
    return text;
}

TEST(DetectOSVersion, EverySystemTheDesignKnowsFromRecordedFacts)
{
    const wchar_t *const CV = L"Software\\Microsoft\\Windows NT\\CurrentVersion",
                         *const PO = L"System\\CurrentControlSet\\Control\\ProductOptions",
                         *const TS = L"System\\CurrentControlSet\\Control\\Terminal Server",
                         *const HF = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                         *const MC = L"System\\WPA\\MediaCenter", *const TP = L"System\\WPA\\TabletPC";
    constexpr WORD X86 = PROCESSOR_ARCHITECTURE_INTEL, X64 = PROCESSOR_ARCHITECTURE_AMD64,
                   ARM64 = PROCESSOR_ARCHITECTURE_ARM64;
    using R = RecordedSystem;
    using V = RecordedSystem::Version;
    using Texts = std::vector<std::wstring>;
    const std::string overlong(127, 'x');
    // Name, query that answers, reported version (text, service pack, suite mask, product type),
    // registry, nonzero metrics, product code, process and native architecture, true version, HAL
    // version; then "detected: reported view | true view | the rest | classification".
    // clang-format off
    const RecordedSystem systems[] = {
        // A personal suite does not take the 5.0 workstation's edition bit away.
        {"Windows2000Sp4", R::Extended, {5, 0, 2195, 2, L"Service Pack 4", 4, 0, 0x200, 1},
         {{PO, L"ProductType", L"WinNT"}, {CV, L"CurrentType", L"Uniprocessor Free"},
          {CV, L"SubVersionNumber", L"a"}, {TS, L"TSAppCompat", 1u}}, {}, 0, X86, -1, {}, 0,
         "1: 5.0.2195 p4 sp4.0 'Service Pack 4' | = | arch 1/1 type 1 suite 0x440 ed 0x80 | 1 0x1 0x8"},
        // Suite and product options that only the plain queries read are ignored.
        {"WindowsXPStarterSp1a", R::Extended, {5, 1, 2600, 2, L"Service Pack 1", 1, 0, 0x300, 1},
         {{CV, L"SubVersionNumber", L"A"}, {PO, L"ProductSuite", Texts{L"Terminal Server"}},
          {TP, L"Installed", 0u}}, {SM_MEDIACENTER, SM_STARTER}, 0, X86, -1,
         V{5, 1, 2600, 2, L"Service Pack 1"}, 0,
         "1: 5.1.2600 p4 sp1.1 'Service Pack 1' | 5.1.2600 p4 sp1.0 'Service Pack 1' | "
         "arch 1/1 type 1 suite 0x14240 | 1 0x2 0x20"},
        {"WindowsXPx64Sp2InA32BitProcess", R::Extended, {5, 2, 3790, 2, L"Service Pack 2", 2, 0, 0, 1},
         {{TP, L"Installed", 1u}, {CV, L"CurrentType", L"Multiprocessor Free"}, {HF, nullptr, {}}},
         {}, 0, X86, X64, V{5, 2, 3790, 2, L"Service Pack 2"}, 0,
         "1: 5.2.3790 p4 sp2.0 'Service Pack 2' | = | arch 1/6 type 1 suite 0x9000 ed 0x80 | 1 0x2 0x40"},
        {"Server2003R2EnterpriseSp2", R::Extended, {5, 2, 3790, 2, L"Service Pack 2", 2, 0, 0x12, 3},
         {{PO, L"ProductType", L"ServerNT"}, {TS, L"TSAppCompat", 0u}},
         {SM_SERVERR2}, 0, X64, X64, V{5, 2, 3790, 2, L"Service Pack 2"}, 0,
         "1: 5.2.3790 p4 sp2.0 'Service Pack 2' | = | arch 6/6 type 2 suite 0x20212 | 1 0x4 0x400"},
        {"SmallBusinessServer2003DomainController", R::Extended, {5, 2, 3790, 2, L"", 0, 0, 0x1, 2},
         {{PO, L"ProductType", L"LanmanNT"}}, {}, 0, X86, -1, {}, 0,
         "1: 5.2.3790 p4 sp0.0 '' | = | arch 1/1 type 3 suite 0x5 ed 0x20 | 1 0x4000 0"},
        // A server whose suite names no edition.
        {"Server2003WebEditionSp1", R::Extended, {5, 2, 3790, 2, L"Service Pack 1", 1, 0, 0xC0C, 3},
         {{PO, L"ProductType", L"LanSecNT"}, {CV, L"SubVersionNumber", L"a"}}, {}, 0, X86, -1, {}, 0,
         "1: 5.2.3790 p4 sp1.1 'Service Pack 1' | = | "
         "arch 1/1 type 2 suite 0x200188 ed 0x20 x 0x30000 | 1 0x4 0x200"},
        {"Server2003DatacenterWithApplianceSuites", R::Extended, {5, 2, 3790, 2, L"", 0, 0, 0xF0E0, 3},
         {{PO, L"ProductType", L"ServerNT"}}, {}, 0, X86, -1, {}, 0,
         "1: 5.2.3790 p4 sp0.0 '' | = | arch 1/1 type 2 suite 0x101c0121 x 0x20000 | 1 0x4 0"},
        {"VistaBusinessSp2CheckedBuild", R::Extended, {6, 0, 6002, 2, L"Service Pack 2", 2, 0, 0x100, 1},
         {{CV, L"CurrentType", L"Multiprocessor Checked"}, {CV, L"EditionID", L"Business"}},
         {SM_TABLETPC}, 6, X64, X64, V{6, 0, 6002, 2, L"Service Pack 2"}, 0,
         "1: 6.0.6002 p4 sp2.0 'Service Pack 2' | = | arch 6/6 type 1 suite 0x800a200 prod 6 | 1 0x8 0x2000"},
        {"Windows7UltimateSp1", R::Extended, {6, 1, 7601, 2, L"Service Pack 1", 1, 0, 0x100, 1},
         {{MC, L"Installed", 1u}, {CV, L"SubVersionNumber", L"a"}}, {}, 1, X64, X64,
         V{6, 1, 7601, 2, L"Service Pack 1"}, 0,
         "1: 6.1.7601 p4 sp1.0 'Service Pack 1' | = | "
         "arch 6/6 type 1 suite 0x404200 prod 1 | 1 0x20 0x40000"},
        // The product code overrules the suite mask's enterprise bit.
        {"Server2008R2StandardDomainControllerClaimingEnterprise", R::Extended,
         {6, 1, 7601, 2, L"Service Pack 1", 1, 0, 0x12, 2}, {{PO, L"ProductType", L"LanmanNT"}},
         {}, 7, X64, X64, V{6, 1, 7601, 2, L"Service Pack 1"}, 0,
         "1: 6.1.7601 p4 sp1.0 'Service Pack 1' | = | "
         "arch 6/6 type 3 suite 0x4000014 ed 0x20 prod 7 | 1 0x4000 0"},
        {"Windows81EnterpriseUpdateToldWindows8", R::Extended, {6, 2, 9200, 2, L"", 0, 0, 0x100, 1},
         {{CV, L"EditionID", L"Enterprise"}}, {}, 4, X64, X64, V{6, 3, 9600, 2, L""}, 0x25804287,
         "1: 6.2.9200 p4 sp0.0 '' | 6.3.9600 p4 sp0.0 '' | "
         "arch 6/6 type 1 suite 0x202 ed 0x400000 prod 4 | 1 0x200 0"},
        {"Server2012R2StandardBeforeTheUpdate", R::Extended, {6, 3, 9600, 2, L"", 0, 0, 0x110, 3},
         {{TS, L"TSAppCompat", 1u}}, {}, 7, X64, X64, V{6, 3, 9600, 2, L""}, 0x25804286,
         "1: 6.3.9600 p4 sp0.0 '' | = | arch 6/6 type 2 suite 0x4000210 ed 0x20 prod 7 | 1 0x400 0"},
        {"Windows10HomeConnectedToldWindows8", R::Extended, {6, 2, 9200, 2, L"", 0, 0, 0x100, 1},
         {{CV, L"EditionID", L"CoreConnectedCountrySpecific"}, {CV, L"UBR", 3803u},
          {CV, L"CurrentType", L"Multiprocessor Free"}}, {}, 101, X64, X64, V{10, 0, 19045, 2, L""}, 0,
         "1: 6.2.9200 p4 sp0.0 '' | 10.0.19045 p4 sp0.0 '' | "
         "arch 6/6 type 1 suite 0x1200 ed 0x4800000 ubr 3803 prod 101 | 1 0x800 0"},
        {"Server1809DatacenterAnnualChannelCore", R::Extended, {10, 0, 17763, 2, L"", 0, 0, 0x110, 3},
         {{CV, L"EditionID", L"ServerDatacenterACor"}, {CV, L"UBR", 1u}}, {}, 145, X64, X64,
         V{10, 0, 17763, 2, L""}, 0,
         "1: 10.0.17763 p4 sp0.0 '' | = | "
         "arch 6/6 type 2 suite 0x20000230 ed 0x20 ubr 1 prod 145 ac 1 | 1 0x2000 0"},
        {"Server2022DatacenterOnArm64", R::Extended, {10, 0, 20348, 2, L"", 0, 0, 0x90, 3},
         {{CV, L"EditionID", L"ServerDatacenter"}, {CV, L"UBR", 2340u}, {TS, L"TSAppCompat", 0u}},
         {}, 8, ARM64, ARM64, V{10, 0, 20348, 2, L""}, 0,
         "1: 10.0.20348 p4 sp0.0 '' | = | arch 13/13 type 2 suite 0x4000230 ubr 2340 prod 8 | 1 0x2000 0"},
        // Without the extended structure: product type, suites and service pack from the registry.
        {"NT4ServerSp6a", R::Plain, {4, 0, 1381, 2, L"Service Pack 6"},
         {{PO, L"ProductType", L"LanmanNT"}, {PO, L"ProductSuite", Texts{L"Enterprise", L"terminal server"}},
          {HF, nullptr, {}}, {CV, L"CurrentType", L"Uniprocessor Checked"}}, {}, 0, X86, -1, {}, 0,
         "1: 4.0.1381 p4 sp6.1 'Service Pack 6' | = | arch 1/1 type 3 suite 0x816 ed 0x20 | 1 0 0"},
        // The text fills its 128 characters; a digit in the last one is not part of the copy.
        {"NT4WorkstationWithAnUnterminatedServicePackText", R::Plain,
         {4, 0, 1381, 2, std::wstring(127, L'x') + L"5"},
         {{PO, L"ProductType", L"winnt"}, {HF, nullptr, {}},
          {PO, L"ProductSuite", Texts{L"Personal", L"SBS", L"Small Business"}}}, {}, 0, X86, -1, {}, 0,
         "1: 4.0.1381 p4 sp0.0 '" + overlong + "' | = | arch 1/1 type 1 suite 0x41 | 1 0 0"},
        {"NT351ServerSp5", R::Plain, {3, 51, 1057, 2, L"Service Pack 5"}, {{PO, L"ProductType", L"ServerNT"}},
         {}, 0, X86, -1, {}, 0,
         "1: 3.51.1057 p4 sp5.0 'Service Pack 5' | = | arch 1/1 type 2 ed 0x20 | 1 0 0"},
        // Windows 9x: the service pack follows from the build (its low word).
        {"Windows95Sp1", R::Plain, {4, 0, 0x040003E8, 1, L" A"}, {{PO, L"ProductSuite", Texts{L"Personal"}}},
         {}, 0, X86, -1, {}, 0, "1: 4.0.67109864 p3 sp1.0 ' A' | = | arch 1/1 | 0 0 0"},
        {"Windows95Osr2", R::Plain, {4, 0, 0x04000457, 1, L" B"}, {}, {}, 0, X86, -1, {}, 0,
         "1: 4.0.67109975 p3 sp2.0 ' B' | = | arch 1/1 | 0 0 0"},
        {"Windows95Osr25", R::Plain, {4, 0, 0x040004BE, 1, L" C"}, {}, {}, 0, X86, -1, {}, 0,
         "1: 4.0.67110078 p3 sp2.5 ' C' | = | arch 1/1 | 0 0 0"},
        {"Windows98Sp1", R::Plain, {4, 10, 0x040A0834, 1, L" A"}, {}, {}, 0, X86, -1, {}, 0,
         "1: 4.10.67766324 p3 sp1.0 ' A' | = | arch 1/1 | 0 0 0"},
        {"WindowsMe", R::Plain, {4, 90, 0x045A0BB8, 1, L" "}, {}, {}, 0, X86, -1, {}, 0,
         "1: 4.90.73010104 p3 sp0.0 ' ' | = | arch 1/1 | 0 0 0"},
        {"Win32s", R::Plain, {1, 30, 0, 0, L""}, {}, {}, 0, X86, -1, {}, 0,
         "1: 1.30.0 p4 sp0.0 '' | 3.10.0 p2 sp0.0 '' | arch 1/1 ed 0x200000 | 0 0 0"},
        // Neither structure answers: the packed version and the registry's build number.
        {"WindowsXPThroughGetVersionOnly", R::Packed, {5, 1, 2600, 2, L""},
         {{CV, L"CurrentBuildNumber", L"2600"}, {PO, L"ProductType", L"LanSecNT"},
          {PO, L"ProductSuite", Texts{L"Small Business"}}}, {}, 0, X86, -1,
         V{5, 1, 2600, 2, L"Service Pack 3"}, 0,
         "1: 5.1.2600 p4 sp0.0 '' | 5.1.2600 p4 sp3.0 'Service Pack 3' | "
         "arch 1/1 type 3 suite 0x9 ed 0x20 | 1 0x4000 0"},
        {"GetVersionWithoutItsRegistryKey", R::Packed, {5, 1, 2600, 2, L""},
         {{PO, L"ProductType", L"WinNT"}, {TS, L"TSAppCompat", 0u}}, {}, 0, X86, -1, {}, 0,
         "0: 0.0.0 p0 sp0.0 '' | = | arch 0/0 | 0 0 0"},
        {"NoVersionQuery", R::None, {5, 1, 2600, 2, L""},
         {{CV, L"CurrentBuildNumber", L"2600"}, {TS, L"TSAppCompat", 0u}}, {}, 0, X86, -1, {}, 0,
         "0: 0.0.0 p0 sp0.0 '' | = | arch 0/0 | 0 0 0"},
    };
    // clang-format on
    for (const RecordedSystem& system : systems)
    {
        RecordedSource source(system);
        OSVersionRecord record;
        record.major = 99; // a detection starts from a zero record
        const int detected = DetectOSVersion(record, source);
        EXPECT_EQ(Describe(detected, record), system.expected) << system.name;
    }
}

// The systems the detection table above does not reach.
TEST(ClassifyOSVersion, SystemsBeyondTheDetectionTable)
{
    // Name, record, then classified platform, version bit and revision.
    const std::tuple<const char*, OSVersionRecord, uint16_t, uint32_t, uint64_t> systems[] = {
        // A personal suite stands in for an unknown product type.
        {"WindowsXPHomeOnUnknownType", Record(5, 1, 2600, 0, 2, 0x40), 1, 0x2, 0x40},
        {"Server2008Sp2", Record(6, 0, 6002, SRV, 2), 1, 0x10, 0x10000},
        {"Server2008R2Sp1", Record(6, 1, 7601, SRV, 1), 1, 0x40, 0x100000},
        {"Windows8", Record(6, 2, 9200, WS, 0), 1, 0x80, 0},
        {"Server2012", Record(6, 2, 9200, SRV, 0), 1, 0x100, 0},
        {"Windows11", Record(10, 0, 22631, WS, 0), 1, 0x800, 0},
        {"Server2016", Record(10, 0, 14393, SRV, 0), 1, 0x1000, 0},
        {"Server2016DomainController", Record(10, 0, 14393, DC, 0), 1, 0x4000, 0},
        {"Server2019DomainController", Record(10, 0, 17763, DC, 0), 1, 0x2000, 0},
        // Only the true view counts.
        {"Windows8ReportingWindows10", Shimmed(Record(6, 2, 9200, WS, 0), 10, 0, 19045), 1, 0x80, 0},
    };
    for (const auto& [name, record, platform, version, revision] : systems)
    {
        const OSClassification c = ClassifyOSVersion(record);
        EXPECT_EQ(std::tie(c.platform, c.version, c.revision), std::tie(platform, version, revision)) << name;
    }
}

TEST(CompareOSVersion, EveryOperatorOnTheConstants)
{
    constexpr uint64_t Vista = OSVersionConstant::VistaLineage;
    constexpr uint64_t All = OSVersionConstant::AnySystem, NT = OSVersionConstant::AnyNT;
    constexpr uint64_t XPSp2 = PackOSVersion(1, 0x2, 0x40), XP = PackOSVersion(1, 0x2, 0);
    constexpr uint64_t XPOrVista = PackOSVersion(1, 0x2 | 0x8, 0x71E0), None = PackOSVersion(1, 0, 0x71E0);
    // Version, revision, constant, answers of <, <=, ==, >=, >. Vista's lineage compares by version; XP
    // SP2 by revision, on XP only; two service packs answer nothing; of several versions, the oldest.
    const std::tuple<uint32_t, uint64_t, uint64_t, const char*> cases[] = {
        {0x2, 0x80, Vista, "11000"},     {0x8, 0x2000, Vista, "01110"}, {0x20, 0x40000, Vista, "00011"},
        {0x2000, 0, Vista, "00011"},     {0x1, 0, All, "11111"},        {0x2, 0x40, NT, "11111"},
        {0x4000, 0, NT, "11111"},        {0x2, 0x40, XPSp2, "01110"},   {0x2, 0x80, XPSp2, "00011"},
        {0x2, 0x20, XPSp2, "11000"},     {0x8, 0, XPSp2, "00000"},      {0x2, 0x80, XP, "00011"},
        {0x2, 0x40, XP | 0x60, "00000"}, {0x8, 0, XPOrVista, "00011"},  {0x8, 0, None, "00000"},
    };
    for (const auto& [version, revision, constant, answers] : cases)
    {
        SOSInfo info;
        info.platform.SetValue(OSPlatformBit::NT);
        info.version.SetValue(version);
        info.revision.SetValue(revision);
        for (int op = OSCompare::Less; op <= OSCompare::Greater; ++op)
        {
            SCOPED_TRACE(testing::Message()
                         << std::hex << version << " " << revision << " " << constant << " op " << op);
            EXPECT_EQ(CompareOSVersion(info, constant, op) != 0, answers[op] == '1');
            EXPECT_EQ(CompareOSVersion(SOSInfo{}, constant, op), 0);
        }
    }
}

} // namespace

// Wine shows a program the Windows version named under its AppDefaults key from its next start on.
TEST(OSVersionLive, DetectionSeesTheVersionWinePresents)
{
    const wchar_t* const key = L"Software\\Wine\\AppDefaults\\osversion_probe.exe";
    // Reported and true version, service pack, platform, type, architectures: classification, pre-Vista.
    const std::pair<const wchar_t*, const char*> cases[] = {
        {nullptr, "6.1 6.1.7601 sp1 platform4 type1 arch6/6: 1 0x20 0x40000 0"}, // the prefix's Windows 7
        {L"winxp", "5.1 5.1.2600 sp3 platform4 type1 arch6/6: 1 0x2 0x80 1"},
        // A program without a compatibility manifest is told 6.2 by Windows 10.
        {L"win10", "6.2 10.0.18362 sp0 platform4 type1 arch6/6: 1 0x800 0 0"},
    };
    for (const auto& [version, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << "presented as " << (version != nullptr ? version : L"default"));
        if (version != nullptr)
            STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, key, L"Version", version);
        const STest::ProcessResult probe =
            STest::RunProcess(STest::Quote(STest::BinFolder() + L"osversion_probe.exe"), 10'000);
        RegDeleteTreeW(HKEY_CURRENT_USER, key);
        EXPECT_EQ(std::pair(probe.exitCode, probe.output), std::pair(0ul, std::string(expected)));
    }
}
