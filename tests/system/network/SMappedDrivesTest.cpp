#include "library/system/network/SMappedDrives.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

using S::SMappedDrive;
using S::SMappedDrives;
using S::SPath;
using S::SString;

namespace
{

std::wstring Text(const SString& text)
{
    return {text.c_str(), text.GetLength()};
}

// Z: is \\srv\share, Y: is a share whose remote name ends in a backslash, P: makes "http:" a
// drive-letter candidate.
class MappedDrivesWithList : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const auto& [local, remote] :
             {std::pair{L"Z:", L"\\\\srv\\share"}, {L"Y:", L"\\\\srv\\b\\"}, {L"p:", L"\\\\srv\\p"}})
        {
            SMappedDrive drive;
            drive.m_LocalName.Assign(local);
            drive.m_RemoteName.Assign(remote);
            S::SResult result;
            ASSERT_EQ(m_Drives.Add(result, drive).Code(), 0);
        }
        ASSERT_EQ(S::GetThreadMappedDrives(), nullptr) << "every thread starts without a current list";
        S::SetThreadMappedDrives(&m_Drives);
    }
    void TearDown() override { S::SetThreadMappedDrives(nullptr); }

    SMappedDrives m_Drives;
};

// The connections the test network provider reports from now on, one "type|local|remote|comment"
// per entry.
void Connect(const std::vector<std::wstring>& lines)
{
    std::wstring text;
    for (const std::wstring& line : lines)
        text += (text.empty() ? L"" : L"\n") + line;
    SetEnvironmentVariableW(L"LUMERELX_TEST_NET_CONNECTIONS", lines.empty() ? nullptr : text.c_str());
}

} // namespace

TEST_F(MappedDrivesWithList, RewritesEveryMappedDriveLetterInTheText)
{
    const std::tuple<const wchar_t*, const wchar_t*, BOOL> cases[] = {
        {L"Z:\\Fonts", L"\\\\srv\\share\\Fonts", TRUE},
        {L"Z:", L"\\\\srv\\share", TRUE},
        {L"Z:\\", L"\\\\srv\\share", TRUE},
        {L"z:\\fonts\\", L"\\\\srv\\share\\fonts\\", TRUE},
        // A remote name that ends in a backslash gets no second one.
        {L"Y:\\x", L"\\\\srv\\b\\x", TRUE},
        {L"Y:", L"\\\\srv\\b", TRUE},
        // Several letters in one text.
        {L"copy Z:\\x;Y:\\y P:\\b", L"copy \\\\srv\\share\\x;\\\\srv\\b\\y \\\\srv\\p\\b", TRUE},
        {L"X:\\a;Z:", L"X:\\a;\\\\srv\\share", TRUE},
        {L":Z:\\a", L":\\\\srv\\share\\a", TRUE},
        // Texts that stay as they are.
        {L"C:\\Windows\\Fonts", L"C:\\Windows\\Fonts", FALSE},
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
}

// Switched off, an empty list, and another thread's list (each thread starts without one).
TEST_F(MappedDrivesWithList, WithoutACurrentListTheInputStays)
{
    SMappedDrives* seenByOther = &m_Drives;
    std::thread([&] { seenByOther = S::GetThreadMappedDrives(); }).join();
    EXPECT_EQ(seenByOther, nullptr);
    SMappedDrives none;
    for (SMappedDrives* current : {S::MappedDrivesOff(), &none})
    {
        S::SetThreadMappedDrives(current);
        SPath output;
        EXPECT_FALSE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr));
        EXPECT_EQ(Text(output), L"Z:\\Fonts");
    }
}

// Mpr reads the registered network providers once, when it is loaded into a process, and this
// program imports it. Stock Wine has none: nothing is listed or translated here. The cases with the
// test provider run in a process started after registering it.
TEST(NetworkProvider, MprListsTheTestProvidersConnections)
{
    SMappedDrives drives;
    EXPECT_FALSE(drives.Refresh(nullptr));
    EXPECT_EQ(drives.GetCount(), 0u);
    SPath output;
    EXPECT_FALSE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr));
    EXPECT_EQ(Text(output), L"Z:\\Fonts");

    const wchar_t orderKey[] = L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
    const wchar_t serviceKey[] = L"System\\CurrentControlSet\\Services\\LumerelxTestNet";
    wchar_t order[1024] = L"";
    DWORD size = sizeof order;
    const bool hadOrder = RegGetValueW(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder", RRF_RT_REG_SZ, nullptr,
                                       order, &size) == ERROR_SUCCESS;
    const std::wstring provider = std::wstring(serviceKey) + L"\\NetworkProvider";
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"ProviderPath",
                                      STest::BinFolder() + L"TestNetworkProvider.dll");
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"Name", L"Lumerelx Test Network");
    STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder",
                                      hadOrder ? L"LumerelxTestNet," + std::wstring(order)
                                               : L"LumerelxTestNet");
    wchar_t self[MAX_PATH * 2];
    GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    const STest::ProcessResult child =
        STest::RunProcess(STest::Quote(self) + L" --gtest_filter=MappedDrivesThroughMpr.*", 30'000);
    if (hadOrder)
        STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder", order);
    else
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, orderKey, L"ProviderOrder");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, serviceKey);
    EXPECT_EQ(child.exitCode, 0u) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ] 1 test"), std::string::npos) << child.output;
    EXPECT_EQ(child.output.find("[  SKIPPED ]"), std::string::npos) << child.output;
}

// Disks with a drive letter only, in the provider's order; a remote name that nearly fills the
// 16 KiB enumeration buffer is listed intact. For one that does not fit, Wine's Mpr answers
// ERROR_MORE_DATA without passing on the size the provider asked for; the list ends there as a
// failed enumeration instead of asking again forever.
TEST(MappedDrivesThroughMpr, RefreshListsLetteredDisksUpToAnOversizedAnswer)
{
    if (GetModuleHandleW(L"TestNetworkProvider.dll") == nullptr)
        GTEST_SKIP() << "runs in a process started with the test network provider registered";
    const std::wstring fits = L"\\\\srv\\" + std::wstring(7990, L'f');
    Connect({L"1|Z:|\\\\srv\\share|first", L"1|LPT1:|\\\\srv\\printer|device name",
             L"1||\\\\srv\\nolocal|no local name", L"2|X:|\\\\srv\\print|not a disk",
             L"1|1:|\\\\srv\\digit|digit", L"1|y:|\\\\srv\\b\\|second", L"1|F:|" + fits + L"|",
             L"1|W:|\\\\srv\\" + std::wstring(9000, L'x') + L"|", L"1|V:|\\\\srv\\v|"});
    SMappedDrives drives;
    EXPECT_FALSE(drives.Refresh(nullptr));
    ASSERT_EQ(drives.GetCount(), 3u);
    EXPECT_EQ(Text(drives[0].m_LocalName), L"Z:");
    EXPECT_EQ(Text(drives[0].m_RemoteName), L"\\\\srv\\share");
    EXPECT_EQ(Text(drives[0].m_Provider), L"Lumerelx Test Network");
    EXPECT_EQ(Text(drives[0].m_Comment), L"first");
    EXPECT_EQ(Text(drives[1].m_LocalName), L"y:");
    EXPECT_EQ(Text(drives[1].m_RemoteName), L"\\\\srv\\b\\");
    EXPECT_EQ(Text(drives[2].m_RemoteName), fits);

    // Without a list of the thread's, each translation asks for the connections of the moment.
    Connect({L"1|Z:|\\\\srv\\one|"});
    SPath output;
    EXPECT_TRUE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts;y:\\x"), output, nullptr));
    EXPECT_EQ(Text(output), L"\\\\srv\\one\\Fonts;y:\\x");
    Connect({});
    EXPECT_FALSE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr));
    EXPECT_TRUE(drives.Refresh(nullptr));
    EXPECT_EQ(drives.GetCount(), 0u);
}
