#include "library/system/network/SMappedDrives.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using S::SMappedDrives;
using S::SPath;
using S::SString;

namespace
{

// The connections the test network provider reports: "type|local|remote|comment" lines.
const wchar_t Connections[] = L"LUMERELX_TEST_NET_CONNECTIONS";

const auto Text = [](const SString& text) { return std::wstring(text.c_str(), text.GetLength()); };

// Marks the process that the test starts with the test network provider registered.
const wchar_t ProviderChild[] = L"LUMERELX_TEST_NET_CHILD";

// The part in the process with the test network provider, where nothing loaded Mpr before the first
// enumeration.
void ListThroughTheTestProvider()
{
    ASSERT_EQ(GetModuleHandleW(L"mpr.dll"), nullptr);
    const std::wstring fits = L"\\\\srv\\" + std::wstring(7990, L'f');
    const std::wstring connections = L"1|Z:|\\\\srv\\share|first\n1|LPT1:|\\\\srv\\printer|device\n"
                                     L"1||\\\\srv\\nolocal|no local name\n2|X:|\\\\srv\\print|not a disk\n"
                                     L"1|1:|\\\\srv\\digit|digit\n1|y:|\\\\srv\\b\\|second\n1|F:|" +
                                     fits + L"|\n1|W:|\\\\srv\\" + std::wstring(9000, L'x') +
                                     L"|\n1|V:|\\\\srv\\v|";
    SetEnvironmentVariableW(Connections, connections.c_str());
    SMappedDrives drives;
    EXPECT_FALSE(drives.Refresh(nullptr));
    EXPECT_NE(GetModuleHandleW(L"TestNetworkProvider.dll"), nullptr);
    std::wstring listed;
    for (unsigned i = 0; i < drives.GetCount(); ++i)
        listed += Text(drives[i].m_LocalName) + L"|" + Text(drives[i].m_RemoteName) + L"|" +
                  Text(drives[i].m_Comment) + L"\n";
    EXPECT_EQ(listed, L"Z:|\\\\srv\\share|first\ny:|\\\\srv\\b\\|second\nF:|" + fits + L"|\n");
    EXPECT_EQ(Text(drives[0].m_Provider), L"Lumerelx Test Network");

    // Without a list of the thread's, each translation asks for the connections of the moment.
    SetEnvironmentVariableW(Connections, L"1|Z:|\\\\srv\\one|");
    SPath output;
    EXPECT_TRUE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts;y:\\x"), output, nullptr));
    EXPECT_EQ(Text(output), L"\\\\srv\\one\\Fonts;y:\\x");
    SetEnvironmentVariableW(Connections, nullptr);
    EXPECT_FALSE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr));
    EXPECT_TRUE(drives.Refresh(nullptr));
    EXPECT_EQ(drives.GetCount(), 0u);
}

} // namespace

// Z: is \\srv\share, Y: a remote name ending in a backslash, p: makes "http:" a letter candidate.
TEST(MappedDrives, RewritesEveryMappedDriveLetterInTheText)
{
    SMappedDrives drives;
    S::SResult result;
    for (const auto& [local, remote] :
         {std::pair{L"Z:", L"\\\\srv\\share"}, {L"Y:", L"\\\\srv\\b\\"}, {L"p:", L"\\\\srv\\p"}})
        ASSERT_EQ(drives.Add(result, {SPath(local), SPath(remote), {}, {}}).Code(), 0);
    ASSERT_EQ(S::GetThreadMappedDrives(), nullptr) << "every thread starts without a current list";
    S::SetThreadMappedDrives(&drives);
    const std::tuple<const wchar_t*, const wchar_t*, BOOL> cases[] = {
        {L"Z:\\Fonts", L"\\\\srv\\share\\Fonts", TRUE},
        {L"Z:", L"\\\\srv\\share", TRUE},
        {L"Z:\\", L"\\\\srv\\share", TRUE},
        {L"z:\\fonts\\", L"\\\\srv\\share\\fonts\\", TRUE},
        {L"Y:\\x", L"\\\\srv\\b\\x", TRUE},
        {L"Y:", L"\\\\srv\\b", TRUE},
        {L"copy Z:\\x;Y:\\y P:\\b", L"copy \\\\srv\\share\\x;\\\\srv\\b\\y \\\\srv\\p\\b", TRUE},
        {L"X:\\a;Z:", L"X:\\a;\\\\srv\\share", TRUE},
        {L":Z:\\a", L":\\\\srv\\share\\a", TRUE},
        {L"Z:foo", L"Z:foo", FALSE},
        {L"Z:/x", L"Z:/x", FALSE},
        {L"http://server/share", L"http://server/share", FALSE},
        {L"Z::", L"Z::", FALSE},
        {L"", L"", FALSE},
    };
    for (const auto& [input, expected, translated] : cases)
    {
        SPath output(L"stale");
        EXPECT_EQ(S::TranslateMappedDrives(SPath(input), output, nullptr), translated) << input;
        EXPECT_EQ(Text(output), expected) << input;
    }
    S::SetThreadMappedDrives(S::MappedDrivesOff());
    SPath output;
    EXPECT_FALSE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr)) << "switched off";
    S::SetThreadMappedDrives(nullptr);
}

// Mpr reads the registered network providers once, when it is loaded into a process, and this
// process may have loaded it: the test registers the test provider and runs itself again in a new
// process.
// There, lettered disks only are listed, in order; a remote name nearly filling the 16 KiB buffer is
// intact. For one too big Wine's Mpr answers ERROR_MORE_DATA without a size: the list ends there, as a
// failure.
TEST(MappedDrives, RefreshThroughMprListsLetteredDisksUpToAnOversizedAnswer)
{
    if (GetEnvironmentVariableW(ProviderChild, nullptr, 0) != 0)
        return ListThroughTheTestProvider();
    EXPECT_FALSE(SMappedDrives().Refresh(nullptr)) << "the prefix's Wine has no network provider";
    const wchar_t orderKey[] = L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
    const wchar_t serviceKey[] = L"System\\CurrentControlSet\\Services\\LumerelxTestNet";
    ASSERT_FALSE(STest::RegistrySandbox::ValueExists(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder"));
    const std::wstring provider = std::wstring(serviceKey) + L"\\NetworkProvider";
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"ProviderPath",
                                      STest::BinFolder() + L"TestNetworkProvider.dll");
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"Name", L"Lumerelx Test Network");
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder", L"LumerelxTestNet");
    SetEnvironmentVariableW(ProviderChild, L"1");
    const STest::ProcessResult child = STest::RunProcess(
        STest::Quote(STest::BinFolder() + L"system_tests.exe") + L" --gtest_filter=*ThroughMpr*", 30'000);
    SetEnvironmentVariableW(ProviderChild, nullptr);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, serviceKey);
    EXPECT_EQ(child.exitCode, 0u) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
}
