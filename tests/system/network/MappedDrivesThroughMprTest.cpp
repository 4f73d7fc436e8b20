// Mapped drives as Mpr reports them. Mpr reads the registered network providers once, when it is
// loaded into a process, and this program imports it; so the test registers the test provider and
// runs the MappedDrivesThroughMpr cases in a process of its own, where the provider answers with
// the connections that each case puts into the environment.
#include "library/system/network/SMappedDrives.h"

#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using S::SMappedDrives;
using S::SPath;
using S::SString;

namespace
{

const wchar_t OrderKey[] = L"System\\CurrentControlSet\\Control\\NetworkProvider\\Order";
const wchar_t ServiceKey[] = L"System\\CurrentControlSet\\Services\\LumerelxTestNet";

std::wstring Text(const SString& text)
{
    return {text.c_str(), text.GetLength()};
}

// Registers the test provider first in the provider order, and restores the order afterwards.
class ProviderRegistration
{
public:
    ProviderRegistration()
    {
        wchar_t previous[1024];
        DWORD size = sizeof previous;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, OrderKey, L"ProviderOrder", RRF_RT_REG_SZ, nullptr, previous,
                         &size) == ERROR_SUCCESS)
            m_PreviousOrder = previous;
        const std::wstring provider = std::wstring(ServiceKey) + L"\\NetworkProvider";
        STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"ProviderPath",
                                          STest::BinFolder() + L"TestNetworkProvider.dll");
        STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, provider, L"Name", L"Lumerelx Test Network");
        STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, OrderKey, L"ProviderOrder",
                                          m_PreviousOrder ? L"LumerelxTestNet," + *m_PreviousOrder
                                                          : L"LumerelxTestNet");
    }
    ProviderRegistration(const ProviderRegistration&) = delete;
    ProviderRegistration& operator=(const ProviderRegistration&) = delete;
    ~ProviderRegistration()
    {
        if (m_PreviousOrder)
            STest::RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, OrderKey, L"ProviderOrder",
                                              *m_PreviousOrder);
        else
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, OrderKey, L"ProviderOrder");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ServiceKey);
    }

private:
    std::optional<std::wstring> m_PreviousOrder;
};

// The connections the provider reports from now on, one "type|local|remote|comment" per entry.
void Connect(const std::vector<std::wstring>& lines)
{
    std::wstring text;
    for (const std::wstring& line : lines)
        text += (text.empty() ? L"" : L"\n") + line;
    SetEnvironmentVariableW(L"LUMERELX_TEST_NET_CONNECTIONS", lines.empty() ? nullptr : text.c_str());
}

class MappedDrivesThroughMpr : public testing::Test
{
protected:
    void SetUp() override
    {
        if (GetModuleHandleW(L"TestNetworkProvider.dll") == nullptr)
            GTEST_SKIP() << "runs in a process started with the test network provider registered";
    }
    void TearDown() override { Connect({}); }
};

} // namespace

TEST(NetworkProvider, MprListsTheTestProvidersConnections)
{
    const ProviderRegistration registration;
    wchar_t self[MAX_PATH * 2];
    GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    const STest::ProcessResult child =
        STest::RunProcess(STest::Quote(self) + L" --gtest_filter=MappedDrivesThroughMpr.*", 30'000);
    EXPECT_EQ(child.exitCode, 0u) << child.output;
    EXPECT_NE(child.output.find("[  PASSED  ]"), std::string::npos) << child.output;
    EXPECT_EQ(child.output.find("[  SKIPPED ]"), std::string::npos) << child.output;
}

// Disks with a drive letter only, in the provider's order; a remote name that nearly fills the
// 16 KiB enumeration buffer is listed intact. For one that does not fit, Wine's Mpr answers
// ERROR_MORE_DATA without passing on the size the provider asked for; the list ends there as a
// failed enumeration instead of asking again forever.
TEST_F(MappedDrivesThroughMpr, RefreshListsLetteredDisksUpToAnOversizedAnswer)
{
    const std::wstring fits = L"\\\\srv\\" + std::wstring(7990, L'f');
    const std::wstring tooLong = L"\\\\srv\\" + std::wstring(9000, L'x');
    Connect({L"1|Z:|\\\\srv\\share|first", L"1|LPT1:|\\\\srv\\printer|device name",
             L"1||\\\\srv\\nolocal|no local name", L"2|X:|\\\\srv\\print|not a disk",
             L"1|1:|\\\\srv\\digit|digit", L"1|y:|\\\\srv\\b\\|second", L"1|F:|" + fits + L"|",
             L"1|W:|" + tooLong + L"|", L"1|V:|\\\\srv\\v|"});
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
