#include "library/system/registry/ResultFromWin32Error.h"
#include "library/system/registry/SRegKey.h"

#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

using namespace S;

namespace
{

class SRegKeyTest : public testing::Test
{
protected:
    SRegKeyLocation At(const wchar_t* sub = nullptr) const
    {
        SRegKeyLocation location(HKEY_CURRENT_USER, SString(m_Sandbox.Path().c_str()));
        if (sub != nullptr)
            location.Append(SString(sub));
        return location;
    }
    void OpenSandbox(SRegKey& key)
    {
        key.SetLocation(At());
        ASSERT_EQ(key.Open(KEY_READ).Code(), 0);
    }
    void SetBytes(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        STest::RegistrySandbox::SetBytes(HKEY_CURRENT_USER, m_Sandbox.Path(), name, type, data, size);
    }

    STest::RegistrySandbox m_Sandbox;
};

} // namespace

TEST_F(SRegKeyTest, OpenTellsMissingKeyFromRefusedKey)
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
    for (const auto& [sub, expected] : {std::pair{L"does\\not\\exist", SResult(kResultRegistryKeyNotFound)},
                                        std::pair{L"locked", SResult(0x80070005u)}})
    {
        key.SetLocation(At(sub));
        EXPECT_EQ(key.Open(KEY_READ), expected) << sub;
        EXPECT_FALSE(key.IsOpen());
        EXPECT_EQ(key.GetHandle(), nullptr);
    }
    key.SetLocation(At());
    ASSERT_EQ(key.Open(KEY_READ).Code(), 0);
    // Reopening closes the old handle first; the key stays usable.
    ASSERT_EQ(key.Open(KEY_READ | KEY_SET_VALUE).Code(), 0);
    EXPECT_TRUE(key.IsOpen());
    key.Close();
    EXPECT_EQ(key.GetHandle(), nullptr);
}

TEST_F(SRegKeyTest, QueryStringReadsAnyTypeAsTextAndTellsMissingValues)
{
    const wchar_t multi[] = L"a\0b\0";
    const DWORD dword = 0x00420041; // "AB" as two UTF-16 code units
    const char odd[] = {'x', 0, 'y', 0, 'z'};
    SetBytes(L"empty0", REG_SZ, L"", 0);
    SetBytes(L"empty2", REG_SZ, L"", 2);
    SetBytes(L"multi", REG_MULTI_SZ, multi, sizeof(multi));
    SetBytes(L"dword", REG_DWORD, &dword, sizeof(dword));
    SetBytes(L"odd", REG_BINARY, odd, sizeof(odd));
    SetBytes(L"noterm", REG_SZ, L"abc", 6);
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"empty0", L""},  {L"empty2", L""}, {L"multi", L"a"},
        {L"dword", L"AB"}, {L"odd", L"xy"},  {L"noterm", L"abc"},
    };
    SRegKey key;
    OpenSandbox(key);
    for (const auto& [name, expected] : cases)
    {
        SString out(L"previous");
        EXPECT_EQ(key.QueryString(name, out, nullptr).Code(), 0) << name;
        EXPECT_STREQ(out.c_str(), expected) << name;
    }
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
    for (int reads = 0; reads < 2000 && !HasFailure(); ++reads)
    {
        SString out;
        EXPECT_EQ(key.QueryString(L"grow", out, nullptr).Code(), 0);
        const std::wstring text = out.c_str();
        // Whole texts, or a cut of the long one at a read that could not keep up: never foreign bytes.
        EXPECT_TRUE(text == shortText || longText.compare(0, text.size(), text) == 0)
            << "length " << text.size();
    }
    stop = true;
    writer.join();
}

TEST_F(SRegKeyTest, SubKeyAndDwordHelpersReportWhichStepFailed)
{
    SRegKey out;
    EXPECT_EQ(OpenRegistrySubKey(At(L"nope"), SString(L"x"), out, false, true),
              SResult(kResultRegistryParentNotOpened));
    EXPECT_EQ(OpenRegistrySubKey(At(), SString(L"x"), out, false, true),
              SResult(kResultRegistrySubKeyNotOpened));
    EXPECT_FALSE(out.IsOpen());
    ASSERT_EQ(OpenRegistrySubKey(At(), SString(L"x\\y"), out, true, false).Code(), 0);
    // The output key does not depend on the closed parent handle.
    const DWORD seven = 7;
    EXPECT_EQ(RegSetValueExW(out.GetHandle(), L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4),
              ERROR_SUCCESS);
    EXPECT_TRUE(STest::RegistrySandbox::ValueExists(HKEY_CURRENT_USER, m_Sandbox.Path() + L"\\x\\y", L"v"));

    uint32_t value = 5;
    EXPECT_EQ(ReadRegistryDword(false, At(), SString(L"x\\y"), L"v", value).Code(), 0);
    EXPECT_EQ(value, 7u);
    for (const auto& [sub, name, expected] :
         {std::tuple{L"x\\y", L"other", SResult(kResultRegistryDwordNotRead)},
          std::tuple{L"missing", L"v", SResult(kResultRegistrySubKeyNotOpened)}})
    {
        value = 5;
        EXPECT_EQ(ReadRegistryDword(false, At(), SString(sub), name, value), expected) << sub;
        EXPECT_EQ(value, 5u) << "the caller's value stays";
    }
    // Errors without a row of their own become the generic failure.
    EXPECT_EQ(ResultFromWin32Error(2).Unsigned(), 0x80070002u);
    EXPECT_EQ(ResultFromWin32Error(1000).Unsigned(), 0xA0040406u);
}
