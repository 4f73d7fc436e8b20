#include "library/system/osversion/OSVersion.h"
#include "library/system/osversion/OSVersionDetect.h"
#include "library/system/osversion/OSVersionTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace
{

using namespace S;

// Recorded facts of one machine; registry names compare case-insensitively as on Windows.
class FakeSource : public IOSVersionSource
{
public:
    std::optional<OSVERSIONINFOEXW> versionEx;
    std::optional<OSVERSIONINFOW> version;
    std::optional<DWORD> packedVersion;
    std::map<std::wstring, std::wstring> texts;
    std::map<std::wstring, DWORD> dwords;
    std::map<std::wstring, std::vector<std::wstring>> multiStrings;
    std::set<std::wstring> keys;
    std::map<int, int> metrics;
    std::optional<DWORD> productInfo;
    WORD processArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    std::optional<WORD> nativeArchitecture;
    std::optional<OSVERSIONINFOEXW> trueVersion;
    std::optional<DWORD> halVersionLS;
    std::vector<DWORD> productInfoQuery;

    void SetText(const wchar_t* key, const wchar_t* name, const wchar_t* value)
    {
        texts[Name(key, name)] = value;
    }
    void SetDword(const wchar_t* key, const wchar_t* name, DWORD value) { dwords[Name(key, name)] = value; }

    bool QueryVersionEx(OSVERSIONINFOEXW& info) override { return Give(versionEx, info); }
    bool QueryVersion(OSVERSIONINFOW& info) override { return Give(version, info); }
    bool QueryPackedVersion(DWORD& out) override { return Give(packedVersion, out); }
    bool KeyExists(const wchar_t* subKey, REGSAM) override { return keys.count(Fold(subKey)) != 0; }
    bool ReadText(const wchar_t* subKey, const wchar_t* name, REGSAM, SString& out) override
    {
        const auto found = texts.find(Name(subKey, name));
        if (found == texts.end())
            return false;
        out = SString(found->second.c_str());
        return true;
    }
    bool ReadDword(const wchar_t* subKey, const wchar_t* name, REGSAM, DWORD& out) override
    {
        const auto found = dwords.find(Name(subKey, name));
        if (found == dwords.end())
            return false;
        out = found->second;
        return true;
    }
    std::vector<SString> ReadMultiString(const wchar_t* subKey, const wchar_t* name, REGSAM) override
    {
        std::vector<SString> out;
        for (const std::wstring& item : multiStrings[Name(subKey, name)])
            out.emplace_back(item.c_str());
        return out;
    }
    int GetSystemMetric(int index) override { return metrics.count(index) != 0 ? metrics[index] : 0; }
    bool QueryProductInfo(DWORD major, DWORD minor, DWORD spMajor, DWORD spMinor, DWORD& product) override
    {
        productInfoQuery = {major, minor, spMajor, spMinor};
        return Give(productInfo, product);
    }
    WORD ProcessArchitecture() override { return processArchitecture; }
    bool NativeArchitecture(WORD& out) override { return Give(nativeArchitecture, out); }
    bool QueryTrueVersion(OSVERSIONINFOEXW& info) override { return Give(trueVersion, info); }
    bool HalFileVersionLS(DWORD& out) override { return Give(halVersionLS, out); }

    static std::wstring Fold(std::wstring text)
    {
        std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
        return text;
    }
    static std::wstring Name(const wchar_t* key, const wchar_t* name)
    {
        return Fold(std::wstring(key) + L"|" + name);
    }

private:
    template <typename T> static bool Give(const std::optional<T>& fact, T& out)
    {
        if (fact)
            out = *fact;
        return fact.has_value();
    }
};

OSVERSIONINFOEXW VersionEx(DWORD major, DWORD minor, DWORD build, const wchar_t* servicePack, WORD spMajor,
                           BYTE productType, WORD suiteMask = 0)
{
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = build;
    info.dwPlatformId = VER_PLATFORM_WIN32_NT;
    wcscpy_s(info.szCSDVersion, servicePack);
    info.wServicePackMajor = spMajor;
    info.wProductType = productType;
    info.wSuiteMask = suiteMask;
    return info;
}

OSVERSIONINFOW Version(DWORD major, DWORD minor, DWORD build, DWORD platformId, const wchar_t* servicePack)
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = build;
    info.dwPlatformId = platformId;
    wcscpy_s(info.szCSDVersion, servicePack);
    return info;
}

TEST(DetectOSVersion, Windows7Sp1AsWinePresentsIt)
{
    FakeSource source;
    source.versionEx = VersionEx(6, 1, 7601, L"Service Pack 1", 1, VER_NT_WORKSTATION);
    source.trueVersion = source.versionEx;
    source.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    source.productInfo = 1;
    OSVersionRecord r;
    ASSERT_EQ(DetectOSVersion(r, source), 1);

    EXPECT_EQ(r.major, 6u);
    EXPECT_EQ(r.minor, 1u);
    EXPECT_EQ(r.build, 7601u);
    EXPECT_EQ(r.platform, OSPlatformCode::NT);
    EXPECT_STREQ(r.servicePackText, L"Service Pack 1");
    EXPECT_EQ(r.trueServicePackMajor, 1);
    EXPECT_EQ(r.productType, OSProductType::Workstation);
    EXPECT_EQ(r.architecture, 6u);
    EXPECT_EQ(r.nativeArchitecture, 6u);
    EXPECT_EQ(r.productInfo, 1u);
    EXPECT_EQ(source.productInfoQuery, (std::vector<DWORD>{6, 1, 1, 0}));
    // Product 1 (ultimate) adds its suite bit; a workstation gets no server edition bit.
    EXPECT_EQ(r.suiteFlags, 0x400000u);
    EXPECT_EQ(r.editionFlags, 0u);

    const OSClassification c = ClassifyOSVersion(r);
    EXPECT_EQ(c.version, OSVersionBit::Windows7);
    EXPECT_EQ(c.revision, 0x40000u);
}

TEST(DetectOSVersion, DomainControllerFromTheExtendedQuery)
{
    FakeSource source;
    source.versionEx = VersionEx(6, 1, 7601, L"Service Pack 1", 1, VER_NT_DOMAIN_CONTROLLER,
                                 VER_SUITE_TERMINAL | VER_SUITE_SINGLEUSERTS);
    source.SetText(OSVersionKeys::ProductOptions, L"ProductType", L"lanmannt");
    source.SetDword(OSVersionKeys::TerminalServer, L"TSAppCompat", 0);
    OSVersionRecord r;
    ASSERT_EQ(DetectOSVersion(r, source), 1);
    EXPECT_EQ(r.productType, OSProductType::DomainController);
    EXPECT_EQ(r.suiteFlags, 0x10u | 0x200u | 0x4u);
    EXPECT_EQ(r.editionFlags, 0x20u);
    EXPECT_EQ(ClassifyOSVersion(r).version, OSVersionBit::Unclassified);
}

TEST(DetectOSVersion, SuiteMaskTable)
{
    struct Row
    {
        WORD mask;
        uint32_t suite;
        uint32_t extra;
    };
    // Single bits of either kind, bits that set both words, and an edition suite of a server.
    const Row rows[] = {{0x200, 0x40, 0}, {0x8, 0, 0x10000}, {0x800 | 0x1, 0x101, 0x20000}, {0x8000 | 0x2, 0x10000002, 0}};
    for (const Row& row : rows)
    {
        FakeSource source;
        source.versionEx = VersionEx(5, 2, 3790, L"", 0, VER_NT_SERVER, row.mask);
        OSVersionRecord r;
        ASSERT_EQ(DetectOSVersion(r, source), 1);
        EXPECT_EQ(r.suiteFlags, row.suite) << "mask " << row.mask;
        EXPECT_EQ(r.extraEditionFlags, row.extra) << "mask " << row.mask;
        // Enterprise, small-business-restricted and datacenter servers carry their own edition.
        const bool editionSuite = (row.mask & 0xA2) != 0;
        EXPECT_EQ(r.editionFlags, editionSuite ? 0u : 0x20u) << "mask " << row.mask;
    }
}

TEST(DetectOSVersion, ProductCodeTable)
{
    struct Row
    {
        DWORD code;
        uint32_t suite, edition, extra;
    };
    // The enterprise suite bit from the version query gives way to the product code's.
    const Row rows[] = {{4, 0x2, 0, 0},        {7, 0x4000000, 0x20, 0}, {25, 0x1, 0x8004, 0},
                        {48, 0, 0x80, 0},      {110, 0x80000, 0, 0x1},  {161, 0, 0, 0x200},
                        {191, 0, 0, 0x802000}, {197, 0, 0, 0x20000000}, {0, 0, 0, 0},
                        {52, 0, 0, 0},         {198, 0, 0, 0}};
    for (const Row& row : rows)
    {
        FakeSource source;
        source.versionEx = VersionEx(10, 0, 19045, L"", 0, VER_NT_WORKSTATION, VER_SUITE_ENTERPRISE);
        source.productInfo = row.code;
        OSVersionRecord r;
        ASSERT_EQ(DetectOSVersion(r, source), 1);
        EXPECT_EQ(r.productInfo, row.code);
        EXPECT_EQ(r.suiteFlags, row.suite) << "product " << row.code;
        EXPECT_EQ(r.editionFlags, row.edition) << "product " << row.code;
        EXPECT_EQ(r.extraEditionFlags, row.extra) << "product " << row.code;
    }
    EXPECT_EQ(FindProductBits(97)->nativeArchitecture, 9u);
}

TEST(DetectOSVersion, WithoutGetProductInfoTheSuiteStays)
{
    FakeSource source;
    source.versionEx = VersionEx(5, 1, 2600, L"Service Pack 3", 3, VER_NT_WORKSTATION, VER_SUITE_ENTERPRISE);
    OSVersionRecord r;
    ASSERT_EQ(DetectOSVersion(r, source), 1);
    EXPECT_EQ(r.suiteFlags, 0x2u);
    // A classic 5.x workstation without the personal suite.
    EXPECT_EQ(r.editionFlags, 0x80u);
}

TEST(DetectOSVersion, RegistryDetailsOfFillCommon)
{
    FakeSource source;
    source.versionEx = VersionEx(5, 1, 2600, L"Service Pack 1", 1, VER_NT_WORKSTATION, VER_SUITE_PERSONAL);
    source.SetText(OSVersionKeys::CurrentVersion, L"EditionID", L"CoreConnectedACor");
    source.SetText(OSVersionKeys::CurrentVersion, L"SubVersionNumber", L"A");
    source.SetText(OSVersionKeys::CurrentVersion, L"CurrentType", L"multiprocessor free");
    source.SetDword(OSVersionKeys::CurrentVersion, L"UBR", 3803);
    source.SetDword(OSVersionKeys::TabletPc, L"Installed", 1);
    source.SetDword(OSVersionKeys::MediaCenter, L"Installed", 0);
    source.SetDword(OSVersionKeys::TerminalServer, L"TSAppCompat", 1);
    source.metrics[SM_STARTER] = 1;
    source.metrics[SM_SERVERR2] = 1;
    OSVersionRecord r;
    ASSERT_EQ(DetectOSVersion(r, source), 1);
    EXPECT_EQ(r.suiteFlags, 0x40u | 0x1000u | 0x8000u | 0x10000u | 0x20000u);
    // Connected-core edition; a personal workstation is no classic one.
    EXPECT_EQ(r.editionFlags, 0x800000u);
    EXPECT_EQ(r.isAnnualChannelCore, 1u);
    EXPECT_EQ(r.updateBuildRevision, 3803u);
    // XP SP1a.
    EXPECT_EQ(r.servicePackMinor, 1);
    EXPECT_EQ(r.trueServicePackMinor, 1);
}

TEST(DetectOSVersion, ShimmedReportAndTrueVersion)
{
    FakeSource source;
    source.versionEx = VersionEx(6, 2, 9200, L"", 0, VER_NT_WORKSTATION);
    source.trueVersion = VersionEx(10, 0, 19045, L"Service Pack 2", 0, VER_NT_WORKSTATION);
    OSVersionRecord r;
    ASSERT_EQ(DetectOSVersion(r, source), 1);
    EXPECT_EQ(r.major, 6u);
    EXPECT_EQ(r.minor, 2u);
    EXPECT_EQ(r.build, 9200u);
    EXPECT_EQ(r.trueMajor, 10u);
    EXPECT_EQ(r.trueMinor, 0u);
    EXPECT_EQ(r.trueBuild, 19045u);
    EXPECT_STREQ(r.trueServicePackText, L"Service Pack 2");
    EXPECT_EQ(r.trueServicePackMajor, 2);
    EXPECT_EQ(r.servicePackMajor, 0);
    EXPECT_EQ(ClassifyOSVersion(r).version, OSVersionBit::Windows10);
}

TEST(DetectOSVersion, HalVersionMarksTheWindows81Update)
{
    for (const DWORD hal : {0x25804286u, 0x25804287u})
    {
        FakeSource source;
        source.versionEx = VersionEx(6, 2, 9200, L"", 0, VER_NT_WORKSTATION);
        source.trueVersion = VersionEx(6, 3, 9600, L"", 0, VER_NT_WORKSTATION);
        source.halVersionLS = hal;
        OSVersionRecord r;
        ASSERT_EQ(DetectOSVersion(r, source), 1);
        EXPECT_EQ(r.editionFlags, hal >= 0x25804287u ? 0x400000u : 0u);
    }
}

TEST(DetectOSVersion, PlainQueryOnWindows2000Server)
{
    FakeSource source;
    source.version = Version(5, 0, 2195, VER_PLATFORM_WIN32_NT, L"Service Pack 4");
    source.SetText(OSVersionKeys::ProductOptions, L"ProductType", L"ServerNT");
    source.multiStrings[FakeSource::Name(OSVersionKeys::ProductOptions, L"ProductSuite")] = {
        L"terminal server", L"Enterprise", L"Personal"};
    OSVersionRecord r;
    ASSERT_EQ(DetectOSVersion(r, source), 1);
    EXPECT_EQ(r.servicePackMajor, 4);
    EXPECT_EQ(r.trueServicePackMajor, 4);
    EXPECT_EQ(r.productType, OSProductType::Server);
    EXPECT_EQ(r.suiteFlags, 0x10u | 0x2u | 0x40u);
    EXPECT_EQ(r.editionFlags, 0x20u);
    const OSClassification c = ClassifyOSVersion(r);
    EXPECT_EQ(c.version, OSVersionBit::Windows2000);
    EXPECT_EQ(c.revision, 0x8u);
}

TEST(DetectOSVersion, Windows9xServicePackFromTheBuild)
{
    struct Row
    {
        DWORD minor, build;
        WORD spMajor, spMinor;
    };
    const Row rows[] = {{0, 950, 0, 0},   {0, 1000, 1, 0},  {0, 1111, 2, 0},  {0, 1300, 2, 5},
                        {10, 1998, 0, 0}, {10, 2000, 1, 0}, {10, 2222, 0, 0}, {90, 3000, 0, 0}};
    for (const Row& row : rows)
    {
        FakeSource source;
        source.version =
            Version(4, row.minor, MAKELONG(row.build, 0x0400 | row.minor), VER_PLATFORM_WIN32_WINDOWS, L" C");
        OSVersionRecord r;
        ASSERT_EQ(DetectOSVersion(r, source), 1);
        EXPECT_EQ(r.platform, OSPlatformCode::Windows9x);
        EXPECT_EQ(r.servicePackMajor, row.spMajor) << "build " << row.build;
        EXPECT_EQ(r.servicePackMinor, row.spMinor) << "build " << row.build;
        EXPECT_EQ(ClassifyOSVersion(r).platform, 0);
    }
}

TEST(DetectOSVersion, PackedVersionAsTheLastResort)
{
    FakeSource source;
    source.packedVersion = 0x08930005;
    source.keys.insert(FakeSource::Fold(OSVersionKeys::CurrentVersion));
    source.SetText(OSVersionKeys::CurrentVersion, L"CurrentBuildNumber", L"2195");
    source.SetText(OSVersionKeys::ProductOptions, L"ProductType", L"WinNT");
    OSVersionRecord r;
    ASSERT_EQ(DetectOSVersion(r, source), 1);
    EXPECT_EQ(r.major, 5u);
    EXPECT_EQ(r.minor, 0u);
    EXPECT_EQ(r.build, 2195u);
    EXPECT_EQ(r.platform, OSPlatformCode::NT);
    EXPECT_EQ(r.productType, OSProductType::Workstation);
    EXPECT_EQ(r.editionFlags, 0x80u);

    // Without the CurrentVersion key there is nothing to go on.
    source.keys.clear();
    EXPECT_EQ(DetectOSVersion(r, source), 0);
    EXPECT_EQ(r.major, 0u);
}

TEST(DetectOSVersion, NothingToAskLeavesTheRecordZero)
{
    FakeSource source;
    source.SetDword(OSVersionKeys::TerminalServer, L"TSAppCompat", 0);
    OSVersionRecord r;
    r.major = 9;
    r.suiteFlags = 0xFF;
    EXPECT_EQ(DetectOSVersion(r, source), 0);
    EXPECT_EQ(r.major, 0u);
    EXPECT_EQ(r.suiteFlags, 0u);
}

} // namespace
