#include "library/utility/SString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

using namespace S;

namespace
{

constexpr size_t NotFound = SNpos;

std::wstring Wide(const SString& s)
{
    return std::wstring(s.c_str(), s.GetLength());
}

struct PositionCase
{
    std::function<size_t(const SString&)> op;
    size_t expected;
};

void RunPositionCases(const wchar_t* text, std::initializer_list<PositionCase> cases)
{
    size_t row = 0;
    for (const PositionCase& c : cases)
        EXPECT_EQ(c.op(SString(text)), c.expected) << "row " << row++ << " on " << text;
}

} // namespace

TEST(SStringSearch, SubstringAndCharacterSearch)
{
    RunPositionCases(
        L"abcabc",
        {
            {[](const SString& s) { return s.Find(L"bc", 2); }, 4},
            {[](const SString& s) { return s.Find(L"bc", 5); }, NotFound},
            {[](const SString& s) { return s.Find(L"", 6); }, 6},
            {[](const SString& s) { return s.Find(L"", 7); }, NotFound},
            {[](const SString& s) { return s.Find(static_cast<const wchar_t*>(nullptr)); }, NotFound},
            {[](const SString& s) { return s.Find(L"cax", 0, 2); }, 2},
            {[](const SString& s) { return s.Find(L'c', 6); }, NotFound},
            {[](const SString& s) { return s.ReverseFind(L"bc", 3); }, 1},
            {[](const SString& s) { return s.ReverseFind(L"bc", 99); }, 4},
            {[](const SString& s) { return s.ReverseFind(L""); }, 6},
            {[](const SString& s) { return s.ReverseFind(L"abcabcx"); }, NotFound},
        });
    RunPositionCases(L"Hello HELLO",
                     {
                         {[](const SString& s) { return s.FindNoCase(L"hello", 1); }, 6},
                         {[](const SString& s) { return s.FindNoCase(L"hello", 7); }, NotFound},
                         {[](const SString& s) { return s.FindNoCase(L"", 11); }, 11},
                         {[](const SString& s) { return s.FindNoCase(L"", 12); }, NotFound},
                         {[](const SString& s) { return s.FindNoCase(L'l', 5); }, 8},
                         {[](const SString& s) { return s.FindNoCase(L"ELxx", 0, 2); }, 1},
                         {[](const SString& s) { return s.ReverseFindNoCase(L""); }, 11},
                         {[](const SString& s) { return s.ReverseFindNoCase(L"hello hello!"); }, NotFound},
                     });
    EXPECT_EQ(SString().ReverseFind(L'a'), NotFound);
    EXPECT_EQ(SStringA("ab[C").FindNoCase("{c"), NotFound); // only ASCII letters fold

    // Plain searches see the stored units, the others the text before the first NUL.
    SString stored;
    std::wmemcpy(stored.GetBuffer(5), L"ab\0cd", 5);
    EXPECT_EQ(stored.GetLength(), 2u);
    EXPECT_GE(stored.GetSize(), 5u);
    EXPECT_TRUE(stored == L"ab");
    EXPECT_EQ(stored.Find(L'c'), 3u);
    EXPECT_EQ(stored.FindNoCase(L'c'), NotFound);
    EXPECT_EQ(stored.FindOneOf(L"c"), NotFound);
}

TEST(SStringSearch, SetScansInBothDirections)
{
    RunPositionCases(L"xxabcxx",
                     {
                         {[](const SString& s) { return s.FindOneOf(L"BA", 0, NotFound, false); }, 2},
                         {[](const SString& s) { return s.FindOneOf(L"BA"); }, NotFound},
                         {[](const SString& s) { return s.FindOneOf(L"x", 2, 4); }, NotFound},
                         {[](const SString& s) { return s.FindOneOf(L"x", -5); }, 0},
                         {[](const SString& s) { return s.FindOneOf(nullptr); }, NotFound},
                         {[](const SString& s) { return s.ScanOneOf(L"c", 0, 3); }, 4},
                         {[](const SString& s) { return s.ScanNotOf(L"q", 5, 2); }, 5},
                         {[](const SString& s) { return s.GetSpanExcludingLength(L"c", 0, 2); }, 3},
                         {[](const SString& s) { return s.ReverseFindOneOf(L"x", 4, 2); }, NotFound},
                         {[](const SString& s) { return s.ReverseFindOneOf(L"AB", NotFound, 0, false); }, 3},
                         {[](const SString& s) { return s.ReverseScanOneOf(L"q", NotFound, 2); }, 1},
                         {[](const SString& s) { return s.ReverseScanNotOf(L"xabc"); }, NotFound},
                         {[](const SString& s) { return s.GetReverseSpanIncludingLength(L"xc"); }, 3},
                     });
    const SString s(L"xxabcxx");
    EXPECT_EQ(Wide(s.SpanExcluding(L"x", 2)), L"abc");
    EXPECT_TRUE(s.SpanIncluding(L"x", 2).IsEmpty());
    EXPECT_EQ(Wide(s.ReverseSpanExcluding(L"x", 4, 3)), L"bc");
    EXPECT_EQ(SString(L"a\\b/c").ReverseFindOneOf(L"\\/"), 3u);
    const SString empty;
    EXPECT_EQ(empty.FindOneOf(L"abc"), NotFound);
    EXPECT_EQ(empty.GetSpanIncludingLength(L"abc"), 0u);
    EXPECT_EQ(empty.ReverseFindOneOf(L"a"), NotFound);
}

TEST(SStringTrim, Table)
{
    const struct
    {
        const wchar_t* text;
        std::function<size_t(SString&)> op;
        const wchar_t* expected;
        size_t result;
    } cases[] = {
        {L"\t\n\t\n", [](SString& s) { return s.TrimWhitespace(); }, L"", 0},
        {L" \v\r a b \r\n\f\t", [](SString& s) { return s.TrimWhitespace(); }, L"a b", 3},
        {L"xxx", [](SString& s) { return s.TrimRight(L'x'); }, L"", 0},
        {L"axx", [](SString& s) { return s.TrimRight(L'x'); }, L"a", 1},
        {L"abyx", [](SString& s) { return s.TrimRight(L"xy"); }, L"ab", 2},
        {L"ab", [](SString& s) { return s.TrimRight(L"ba"); }, L"", 0},
        {L"ab ", [](SString& s) { return s.TrimRight(static_cast<const wchar_t*>(nullptr)); }, L"ab ", 3},
        {L"xyx", [](SString& s) { return size_t{s.TrimLeft(L"xy")}; }, L"", 1},
        {L"--a-b--", [](SString& s) { return s.Trim(L'-'); }, L"a-b", 3},
        {L"\na\n", [](SString& s) { return s.TrimBlanks(); }, L"\na\n", 3}, // line feeds are no blanks
        {L" \t ", [](SString& s) { return s.TrimRightBlanks(); }, L"", 0},
        {L"\r\nx\r\n", [](SString& s) { return size_t{s.TrimLeftWhitespace()}; }, L"x\r\n", 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case with text of " << std::wcslen(c.text) << " units");
        SString s(c.text);
        EXPECT_EQ(c.op(s), c.result);
        EXPECT_EQ(Wide(s), c.expected);
        EXPECT_EQ(s.GetSize(), s.GetLength());
    }
}

TEST(SStringSplit, TableAndIntoItself)
{
    const struct
    {
        const wchar_t* text;
        bool fromEnd, ofSet;
        const wchar_t *separators, *left, *right;
    } cases[] = {
        {L"key=value", false, false, L"=", L"key", L"value"},
        {L"a=b=c", true, false, L"=", L"a=b", L"c"},
        {L"novalue", true, false, L"=", L"novalue", L""},
        {L"a=b", false, false, L"", L"a=b", L""}, // a NUL separator is never found
        {L"a/b\\c", false, true, L"\\/", L"a", L"b\\c"},
        {L"a/b\\c", true, true, L"\\/", L"a/b", L"c"},
        {L"abc", true, true, L"xyz", L"abc", L""},
    };
    for (const auto& c : cases)
    {
        const SString text(c.text);
        SString left(L"stale left"), right(L"stale right");
        if (c.ofSet)
            c.fromEnd ? text.SplitAtLastOf(left, right, c.separators)
                      : text.SplitAtFirstOf(left, right, c.separators);
        else
            c.fromEnd ? text.SplitAtLast(left, right, *c.separators)
                      : text.SplitAtFirst(left, right, *c.separators);
        EXPECT_EQ(Wide(left), c.left) << c.text << (c.fromEnd ? " from the end" : "");
        EXPECT_EQ(Wide(right), c.right) << c.text << (c.fromEnd ? " from the end" : "");
    }

    SString s(L"name=a much longer value than the name");
    SString right;
    s.SplitAtFirst(s, right, L'=');
    EXPECT_EQ(Wide(s), L"name");
    EXPECT_EQ(Wide(right), L"a much longer value than the name");
    SStringA path("dir\\sub\\file");
    SStringA dir;
    path.SplitAtLast(dir, path, '\\');
    EXPECT_EQ(std::string(dir.c_str()), "dir\\sub");
    EXPECT_EQ(std::string(path.c_str()), "file");
}

TEST(SStringReplace, TableAndEnclose)
{
    const struct
    {
        const wchar_t *text, *find, *with;
        bool ignoreCase, wholeWord;
        const wchar_t* expected;
    } cases[] = {
        {L"set reset set-up pre-set set", L"set", L"get", false, true, L"get reset set-up pre-set get"},
        {L"set reset set-up pre-set set", L"set", L"get", false, false, L"get reget get-up pre-get get"},
        {L"x-set 1-set set_a set1 _set set-1", L"set", L"get", false, true,
         L"x-set 1-get set_a set1 _set get-1"},
        {L"SET Set sEt", L"set", L"get", true, false, L"get get get"},
        {L"aaa", L"a", L"aa", false, false, L"aaaaaa"}, // inserted text is not searched again
        {L"aaa", L"aa", L"b", false, false, L"ba"},
        {L"a.b.c", L".", L"", false, false, L"abc"},
        {L"one two", L"one two three", L"x", false, false, L"one two"},
    };
    for (const auto& c : cases)
    {
        SString s(c.text);
        EXPECT_EQ(&s.Replace(SString(c.find), SString(c.with), c.ignoreCase, c.wholeWord), &s);
        EXPECT_EQ(Wide(s), c.expected) << c.text << " / " << c.find;
    }
    SString self(L"abc");
    self.Replace(self, SString(L"x"));
    EXPECT_EQ(Wide(self), L"x");
    SStringA narrow("Path=PATH;path");
    narrow.Replace(SStringA("path"), SStringA("dir"), true, true);
    EXPECT_EQ(std::string(narrow.c_str()), "dir=dir;dir");
    SString chars(L"a/b/c");
    chars.ReplaceChar(L'/', L'\\');
    EXPECT_EQ(Wide(chars), L"a\\b\\c");
    chars.ReplaceChar(L'\\', 0);
    EXPECT_EQ(Wide(chars), L"a");

    SString enclosed(L"ab");
    enclosed.Enclose(enclosed);
    enclosed.Enclose("'");
    enclosed.Enclose(L"[]", 1);
    EXPECT_EQ(Wide(enclosed), L"['ababab'[");
    SStringUtf8 utf8("x");
    utf8.Enclose(L"\u00E9");
    EXPECT_EQ(std::string(utf8.c_str()), "\xC3\xA9x\xC3\xA9");
}
