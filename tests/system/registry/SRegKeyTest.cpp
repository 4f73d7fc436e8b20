#include "library/system/registry/SRegKey.h"
#include "library/system/SHandle.h"

#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>

using namespace S;

namespace
{

struct SRegKeyTest : testing::Test
{
    SRegKeyLocation At(const wchar_t* sub = L"") const
    {
        SRegKeyLocation location(HKEY_CURRENT_USER, SString(m_Sandbox.Path().c_str()));
        location.Append(SString(sub));
        return location;
    }
    SResult OpenAt(const wchar_t* sub = L"")
    {
        m_Key.SetLocation(At(sub));
        return m_Key.Open(KEY_READ);
    }

    STest::RegistrySandbox m_Sandbox;
    SRegKey m_Key;
};

} // namespace

TEST_F(SRegKeyTest, EachFailureHasItsOwnCode)
{
    SRegistryKeyHandle locked;
    ASSERT_EQ(RegCreateKeyExW(m_Sandbox.Key(), L"locked", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              locked.Put(), nullptr),
              ERROR_SUCCESS);
    // An empty DACL grants nobody anything.
    SECURITY_DESCRIPTOR sd;
    ACL acl;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);
    EXPECT_EQ(RegSetKeySecurity(locked.Get(), DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    for (const auto& [sub, expected] : {std::pair{L"does\\not\\exist", kResultRegistryKeyNotFound},
                                        std::pair{L"locked", kResultAccessDenied}})
    {
        EXPECT_EQ(OpenAt(sub), expected) << sub;
        EXPECT_EQ(std::pair(m_Key.IsOpen(), m_Key.GetHandle()), std::pair(false, HKEY{})) << sub;
        // A key that could not be opened reads as any missing value: the default and success.
        SString fallback;
        EXPECT_EQ(m_Key.QueryString(L"v", fallback, L"fallback").Code(), 0) << sub;
        EXPECT_STREQ(fallback.c_str(), L"fallback");
    }
    ASSERT_EQ(OpenAt().Code(), 0);
    SString out(L"kept");
    EXPECT_EQ(m_Key.QueryString(L"missing", out, nullptr), kResultRegistryValueNotFound);
    EXPECT_STREQ(out.c_str(), L"kept");
    EXPECT_EQ(m_Key.QueryString(L"missing", out, L"fallback").Code(), 0);
    EXPECT_STREQ(out.c_str(), L"fallback");
    const DWORD seven = 7;
    RegSetKeyValueW(m_Sandbox.Key(), L"x", L"v", REG_DWORD, &seven, 4);
    // The DWORD reader tells which step failed. Parent, subkey, value, result, value after (5 is the
    // caller's).
    for (const auto& [parent, sub, name, expected, after] :
         {std::tuple{L"", L"x", L"v", SResult(0), 7u},
          {L"", L"x", L"other", kResultRegistryDwordNotRead, 5u},
          {L"", L"missing", L"v", kResultRegistrySubKeyNotOpened, 5u},
          {L"nope", L"x", L"v", kResultRegistryParentNotOpened, 5u}})
    {
        uint32_t value = 5;
        EXPECT_EQ(ReadRegistryDword(false, At(parent), SString(sub), name, value), expected);
        EXPECT_EQ(value, after) << parent << sub << name;
    }
    SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE); // so that the sandbox can go
    RegSetKeySecurity(locked.Get(), DACL_SECURITY_INFORMATION, &sd);
}

TEST_F(SRegKeyTest, QueryStringReadsAnyTypeAsText)
{
    const DWORD dword = 0x00420041; // "AB" as two UTF-16 code units
    const char odd[] = {'x', 0, 'y', 0, 'z'};
    // Type, data, size, text read.
    const std::tuple<DWORD, const void*, DWORD, const wchar_t*> values[] = {
        {REG_SZ, L"", 0, L""},         {REG_SZ, L"", 2, L""},       {REG_MULTI_SZ, L"a\0b\0", 10, L"a"},
        {REG_DWORD, &dword, 4, L"AB"}, {REG_BINARY, odd, 5, L"xy"}, {REG_SZ, L"abc", 6, L"abc"},
    };
    ASSERT_EQ(OpenAt().Code(), 0);
    for (const auto& [type, data, size, text] : values)
    {
        STest::RegistrySandbox::SetBytes(HKEY_CURRENT_USER, m_Sandbox.Path(), L"v", type, data, size);
        SString out(L"previous");
        EXPECT_EQ(m_Key.QueryString(L"v", out, nullptr).Code(), 0) << text;
        EXPECT_STREQ(out.c_str(), text);
    }
}

TEST_F(SRegKeyTest, QueryStringStaysWithinBufferWhileValueGrows)
{
    const std::wstring shortText = L"s", longText(3000, L'L');
    STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, m_Sandbox.Path(), L"grow", shortText);
    std::atomic<bool> stop{false};
    std::thread writer(
        [&]
        {
            for (int i = 0; !stop; ++i)
            {
                const std::wstring& text = i % 2 != 0 ? longText : shortText;
                RegSetKeyValueW(HKEY_CURRENT_USER, m_Sandbox.Path().c_str(), L"grow", REG_SZ, text.c_str(),
                                static_cast<DWORD>((text.size() + 1) * 2));
            }
        });
    EXPECT_EQ(OpenAt().Code(), 0);
    for (int reads = 0; reads < 2000 && !HasFailure(); ++reads)
    {
        SString out;
        EXPECT_EQ(m_Key.QueryString(L"grow", out, nullptr).Code(), 0);
        const std::wstring text = out.c_str();
        // Whole texts, or a cut of the long one at a read that could not keep up: never foreign bytes.
        EXPECT_TRUE(text == shortText || longText.compare(0, text.size(), text) == 0) << text.size();
    }
    stop = true;
    writer.join();
}
