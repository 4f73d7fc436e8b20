#include "library/utility/SString.h"

#include <gtest/gtest.h>

using namespace S;

TEST(SStringCore, DefaultCodePages)
{
    EXPECT_EQ(SString().GetCodePage(), 1u);
    EXPECT_EQ(SStringA().GetCodePage(), 0u);
    EXPECT_EQ(SStringOem().GetCodePage(), 1u);
    EXPECT_EQ(SStringUtf8().GetCodePage(), 65001u);
}

TEST(SStringCore, CrossWidthAssignment)
{
    SStringUtf8 utf8("gr\xC3\xBC\xC3\x9F");
    SString wide(utf8);
    EXPECT_EQ(std::wstring(wide), L"gr\u00FC\u00DF");
    SStringA ansi(wide);
    EXPECT_EQ(std::string(ansi), "gr\xFC\xDF");
    SStringUtf8 back;
    back = ansi;
    EXPECT_EQ(std::string(back), "gr\xC3\xBC\xC3\x9F");
}

TEST(SStringCore, FormatWidthConvention)
{
    SString s;
    ASSERT_TRUE(s.Format(L"%s|%S|%d", L"wide", "narrow", 42));
    EXPECT_EQ(std::wstring(s), L"wide|narrow|42");
    SStringA a;
    ASSERT_TRUE(a.Format("%s|%S", "narrow", L"wide"));
    EXPECT_EQ(std::string(a), "narrow|wide");
}
