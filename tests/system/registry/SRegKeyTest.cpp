#include "library/system/registry/ResultFromWin32Error.h"
#include "library/system/registry/SRegKey.h"

#include "common/RegistrySandbox.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace S;

namespace
{

SRegKeyLocation SandboxLocation(const STest::RegistrySandbox& sandbox, const wchar_t* sub = nullptr)
{
    SRegKeyLocation location(HKEY_CURRENT_USER, SString(sandbox.Path().c_str()));
    if (sub != nullptr)
        location.Append(SString(sub));
    return location;
}

class SRegKeyTest : public testing::Test
{
protected:
    void OpenSandbox(SRegKey& key, REGSAM access = KEY_READ)
    {
        key.SetLocation(SandboxLocation(m_Sandbox));
        EXPECT_EQ(key.Open(access).Code(), 0);
    }
    void SetBytes(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        STest::RegistrySandbox::SetBytes(HKEY_CURRENT_USER, m_Sandbox.Path(), name, type, data, size);
    }

    STest::RegistrySandbox m_Sandbox;
};

} // namespace

TEST_F(SRegKeyTest, OpenTellsMissingKeyApartAndStaysClosed)
{
    SRegKey key;
    key.SetLocation(SandboxLocation(m_Sandbox, L"does\\not\\exist"));
    EXPECT_EQ(key.Open(KEY_READ), SResult(kResultRegistryKeyNotFound));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.GetHandle(), nullptr);

    key.SetLocation(SandboxLocation(m_Sandbox));
    ASSERT_EQ(key.Open(KEY_READ).Code(), 0);
    EXPECT_TRUE(key.IsOpen());
    // Reopening closes the old handle first; the key stays usable.
    ASSERT_EQ(key.Open(KEY_READ | KEY_SET_VALUE).Code(), 0);
    EXPECT_TRUE(key.IsOpen());
    key.Close();
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.GetHandle(), nullptr);
}

TEST_F(SRegKeyTest, OpenOfRefusedKeyIsAccessDenied)
{
    HKEY locked = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(m_Sandbox.Key(), L"locked", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &locked, nullptr),
        ERROR_SUCCESS);
    // An empty DACL grants nobody anything.
    SECURITY_DESCRIPTOR sd;
    ACL acl;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);
    ASSERT_EQ(RegSetKeySecurity(locked, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    RegCloseKey(locked);

    SRegKey key;
    key.SetLocation(SandboxLocation(m_Sandbox, L"locked"));
    EXPECT_EQ(key.Open(KEY_READ), SResult(0x80070005u));
    EXPECT_FALSE(key.IsOpen());
}

TEST_F(SRegKeyTest, QueryStringReadsAnyTypeAsText)
{
    const wchar_t multi[] = L"a\0b\0";
    const DWORD dword = 0x00420041; // "AB" as two UTF-16 code units
    const char odd[] = {'x', 0, 'y', 0, 'z'};
    const wchar_t expand[] = L"%SystemRoot%\\x";
    SetBytes(L"empty0", REG_SZ, L"", 0);
    SetBytes(L"empty2", REG_SZ, L"", 2);
    SetBytes(L"multi", REG_MULTI_SZ, multi, sizeof(multi));
    SetBytes(L"dword", REG_DWORD, &dword, sizeof(dword));
    SetBytes(L"odd", REG_BINARY, odd, sizeof(odd));
    SetBytes(L"expand", REG_EXPAND_SZ, expand, sizeof(expand));
    SetBytes(L"noterm", REG_SZ, L"abc", 6);

    struct Case
    {
        const wchar_t* name;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"empty0", L""}, {L"empty2", L""},    {L"multi", L"a"},    {L"dword", L"AB"},
        {L"odd", L"xy"},  {L"expand", expand}, {L"noterm", L"abc"},
    };
    SRegKey key;
    OpenSandbox(key);
    for (const Case& c : cases)
    {
        SString out(L"previous");
        EXPECT_EQ(key.QueryString(c.name, out, nullptr).Code(), 0) << c.name;
        EXPECT_STREQ(out.c_str(), c.expected) << c.name;
    }
}

TEST_F(SRegKeyTest, QueryStringOfMissingValueUsesDefaultOrFails)
{
    SRegKey key;
    OpenSandbox(key);
    SString out(L"kept");
    EXPECT_EQ(key.QueryString(L"missing", out, nullptr), SResult(kResultRegistryValueNotFound));
    EXPECT_STREQ(out.c_str(), L"kept");
    EXPECT_EQ(key.QueryString(L"missing", out, L"fallback").Code(), 0);
    EXPECT_STREQ(out.c_str(), L"fallback");
}

TEST_F(SRegKeyTest, QueryStringStaysWithinBufferWhileValueGrows)
{
    const std::wstring shortText = L"s";
    const std::wstring longText(3000, L'L');
    SetBytes(L"grow", REG_SZ, shortText.c_str(), 4);
    std::atomic<bool> stop{false};
    std::thread writer(
        [&]
        {
            HKEY key = nullptr;
            RegOpenKeyExW(HKEY_CURRENT_USER, m_Sandbox.Path().c_str(), 0, KEY_SET_VALUE, &key);
            for (int i = 0; !stop; ++i)
            {
                const std::wstring& text = (i % 2) != 0 ? longText : shortText;
                RegSetValueExW(key, L"grow", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * 2));
            }
            RegCloseKey(key);
        });
    SRegKey key;
    OpenSandbox(key);
    int reads = 0;
    for (; reads < 2000; ++reads)
    {
        SString out;
        ASSERT_EQ(key.QueryString(L"grow", out, nullptr).Code(), 0);
        const std::wstring text = out.c_str();
        // Whole texts, or a cut of the long one at a read that could not keep up: never foreign bytes.
        ASSERT_TRUE(text == shortText || text == longText || longText.compare(0, text.size(), text) == 0)
            << "length " << text.size();
    }
    stop = true;
    writer.join();
    EXPECT_EQ(reads, 2000);
}

TEST(SRegKeyLocationTest, AppendJoinsWithOneSeparator)
{
    struct Case
    {
        const wchar_t* start;
        const wchar_t* component;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"", L"Process", L"Process"},
        {L"Software", L"Process", L"Software\\Process"},
        {L"Software\\", L"Process", L"Software\\Process"},
        {L"Software/", L"Process", L"Software/Process"},
        {L"Software", L"", L"Software"},
        {L"A", L"B\\C", L"A\\B\\C"},
    };
    for (const Case& c : cases)
    {
        SRegKeyLocation location(HKEY_LOCAL_MACHINE, SString(c.start));
        location.Append(SString(c.component));
        EXPECT_STREQ(location.path.c_str(), c.expected) << c.start << " + " << c.component;
        EXPECT_EQ(location.root, HKEY_LOCAL_MACHINE);
    }
}

TEST(SRegKeyLocationTest, ForUserPicksTheTokenUsersHive)
{
    const SRegKeyLocation noToken = SRegKeyLocation::ForUser(HKEY_USERS, nullptr);
    EXPECT_EQ(noToken.root, HKEY_CURRENT_USER);
    EXPECT_TRUE(noToken.path.IsEmpty());
    EXPECT_EQ(SRegKeyLocation::ForUser(HKEY_USERS, INVALID_HANDLE_VALUE).root, HKEY_CURRENT_USER);

    const SRegKeyLocation machine = SRegKeyLocation::ForUser(HKEY_LOCAL_MACHINE, nullptr);
    EXPECT_EQ(machine.root, HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(machine.path.IsEmpty());

    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    const SRegKeyLocation user = SRegKeyLocation::ForUser(HKEY_USERS, token);
    CloseHandle(token);
    EXPECT_EQ(user.root, HKEY_USERS);
    EXPECT_TRUE(SString(user.path.c_str()).StartsWith(SString(L"S-1-5-"), 0, nullptr)) << user.path.c_str();

    const SRegKeyLocation empty;
    EXPECT_EQ(empty.root, nullptr);
    EXPECT_TRUE(empty.path.IsEmpty());
}

TEST_F(SRegKeyTest, OpenRegistrySubKeyReportsWhichStepFailed)
{
    SRegKey out;
    EXPECT_EQ(OpenRegistrySubKey(SandboxLocation(m_Sandbox, L"nope"), SString(L"x"), out, false, true),
              SResult(kResultRegistryParentNotOpened));
    EXPECT_EQ(OpenRegistrySubKey(SandboxLocation(m_Sandbox), SString(L"x"), out, false, true),
              SResult(kResultRegistrySubKeyNotOpened));
    EXPECT_FALSE(out.IsOpen());

    ASSERT_EQ(OpenRegistrySubKey(SandboxLocation(m_Sandbox), SString(L"x\\y"), out, true, false).Code(), 0);
    EXPECT_TRUE(out.IsOpen());
    // The output key does not depend on the closed parent handle.
    const DWORD value = 7;
    EXPECT_EQ(RegSetValueExW(out.GetHandle(), L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              ERROR_SUCCESS);
    EXPECT_TRUE(STest::RegistrySandbox::ValueExists(HKEY_CURRENT_USER, m_Sandbox.Path() + L"\\x\\y", L"v"));
}

TEST_F(SRegKeyTest, ReadRegistryDwordKeepsCallersValueOnFailure)
{
    const DWORD size = 1'000'000;
    STest::RegistrySandbox::SetBytes(HKEY_CURRENT_USER, m_Sandbox.Path() + L"\\Logging", L"LogFileSize",
                                     REG_DWORD, &size, 4);
    uint32_t value = 5;
    EXPECT_EQ(ReadRegistryDword(false, SandboxLocation(m_Sandbox), SString(L"Logging"), L"LogFileSize", value)
                  .Code(),
              0);
    EXPECT_EQ(value, 1'000'000u);

    value = 5;
    EXPECT_EQ(ReadRegistryDword(false, SandboxLocation(m_Sandbox), SString(L"Logging"), L"Other", value),
              SResult(kResultRegistryDwordNotRead));
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(
        ReadRegistryDword(false, SandboxLocation(m_Sandbox), SString(L"Missing"), L"LogFileSize", value),
        SResult(kResultRegistrySubKeyNotOpened));
    EXPECT_EQ(value, 5u);
}

TEST(ResultFromWin32ErrorTest, TranslatesEachRowAndNothingElse)
{
    struct Case
    {
        uint32_t error;
        uint32_t expected;
    };
    const Case cases[] = {
        {0, 0},
        {2, 0x80070002u},
        {107, 0x80070002u},
        {3, 0x80070003u},
        {267, 0x80070003u},
        {4, 0x80070004u},
        {113, 0x80070004u},
        {5, 0x80070005u},
        {999, 0x80070005u},
        {11, 0xA0040400u},
        {193, 0xA0040400u},
        {16, 0xA0040401u},
        {145, 0xA0040401u},
        {20, 0xA0040402u},
        {997, 0xA0040402u},
        {24, 0xA0040403u},
        {132, 0xA0040403u},
        {32, 0x80070020u},
        {33, 0xA0040404u},
        {167, 0xA0040404u},
        {38, 0x80070026u},
        {39, 0x80070070u},
        {112, 0x80070070u},
        {62, 0x8007003Eu},
        {1, 0xA0040406u},
        {87, 0xA0040406u},
        {234, 0xA0040406u},
        {1000, 0xA0040406u},
        {0xFFFFFFFFu, 0xA0040406u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResultFromWin32Error(c.error).Unsigned(), c.expected) << "error " << c.error;
}
