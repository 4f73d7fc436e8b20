#include "library/utility/SString.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <string>
#include <tuple>

using namespace S;

static std::wstring Wide(const SString& s)
{
    return std::wstring(s.c_str(), s.GetLength());
}

static void ExpectRows(std::initializer_list<std::pair<size_t, size_t>> rows)
{
    size_t row = 0;
    for (const auto& [actual, expected] : rows)
        EXPECT_EQ(actual, expected) << "row " << row++;
}

TEST(SStringSearch, SubstringsAndSetsInBothDirections)
{
    const SString s(L"abcabc"), h(L"Hello HELLO");
    ExpectRows({{s.Find(static_cast<const wchar_t*>(nullptr)), SNpos},
                {s.Find(L"cax", 0, 2), 2},
                {h.FindNoCase(L"hello", 1), 6},
                {h.FindNoCase(L"", 11), 11},
                {h.FindNoCase(L"", 12), SNpos},
                {h.FindNoCase(L'l', 5), 8},
                {h.FindNoCase(L"ELxx", 0, 2), 1},
                {h.ReverseFindNoCase(L"HELLO", 5), 0},
                {h.ReverseFindNoCase(L"hello hello!"), SNpos},
                {SStringA("ab[C").FindNoCase("{c"), SNpos}}); // only ASCII letters fold
    // Plain searches see the stored units, the others the text before the first NUL.
    SString stored;
    std::wmemcpy(stored.GetBuffer(5), L"ab\0cd", 5);
    ExpectRows({{stored.Find(L'c'), 3}, {stored.FindNoCase(L'c'), SNpos}, {stored.FindOneOf(L"c"), SNpos}});

    const SString x(L"xxabcxx"), empty;
    ExpectRows({{x.FindOneOf(L"BA", 0, SNpos, false), 2},
                {x.FindOneOf(L"x", -5), 0},
                {x.ScanOneOf(L"c", 0, 3), 4},
                {x.ScanNotOf(L"q", 5, 2), 5},
                {x.ReverseFindOneOf(L"AB", SNpos, 0, false), 3},
                {x.ReverseScanOneOf(L"q", SNpos, 2), 1},
                {x.GetReverseSpanIncludingLength(L"xc"), 3},
                {empty.GetSpanIncludingLength(L"abc"), 0}});
    EXPECT_EQ(Wide(x.ReverseSpanExcluding(L"x", 4, 3)), L"bc");
}

TEST(SStringTrim, Table)
{
    // text, operation, text left, result
    const std::tuple<const wchar_t*, std::function<size_t(SString&)>, const wchar_t*, size_t> cases[] = {
        {L"\t\n\t\n", [](SString& s) { return s.TrimWhitespace(); }, L"", 0},
        {L" \v\r a b \r\n\f\t", [](SString& s) { return s.TrimWhitespace(); }, L"a b", 3},
        {L"ab ", [](SString& s) { return s.TrimRight(static_cast<const wchar_t*>(nullptr)); }, L"ab ", 3},
        {L"xyx", [](SString& s) { return size_t{s.TrimLeft(L"xy")}; }, L"", 1},
        {L"--a-b--", [](SString& s) { return s.Trim(L'-'); }, L"a-b", 3},
        {L"\na\n", [](SString& s) { return s.TrimBlanks(); }, L"\na\n", 3}, // line feeds are no blanks
    };
    for (const auto& [text, op, expected, result] : cases)
    {
        SCOPED_TRACE(testing::Message() << "case with text of " << std::wcslen(text) << " units");
        SString s(text);
        EXPECT_EQ(op(s), result);
        EXPECT_EQ(Wide(s), expected);
        EXPECT_EQ(s.GetSize(), s.GetLength());
    }
}

TEST(SStringSplit, TableAndIntoItself)
{
    // text, from the end, at one of a set, separators, left, right
    const std::tuple<const wchar_t*, bool, bool, const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"a=b=c", false, false, L"=", L"a", L"b=c"},     {L"a=b=c", true, false, L"=", L"a=b", L"c"},
        {L"novalue", true, false, L"=", L"novalue", L""}, {L"a=b", false, false, L"", L"a=b", L""},
        {L"a/b\\c", false, true, L"\\/", L"a", L"b\\c"},  {L"a/b\\c", true, true, L"\\/", L"a/b", L"c"}};
    for (const auto& [text, fromEnd, ofSet, separators, left, right] : cases)
    {
        SCOPED_TRACE(testing::Message() << "case with text of " << std::wcslen(text) << " units");
        const SString t(text);
        SString l(L"stale left"), r(L"stale right");
        if (ofSet)
            fromEnd ? t.SplitAtLastOf(l, r, separators) : t.SplitAtFirstOf(l, r, separators);
        else
            fromEnd ? t.SplitAtLast(l, r, *separators) : t.SplitAtFirst(l, r, *separators);
        EXPECT_EQ(Wide(l) + L"|" + Wide(r), std::wstring(left) + L"|" + right);
    }
    SString s(L"name=a much longer value than the name"), right;
    s.SplitAtFirst(s, right, L'=');
    EXPECT_EQ(Wide(s) + L"|" + Wide(right), L"name|a much longer value than the name");
}

TEST(SStringReplace, TableAndEnclose)
{
    // text, find, replacement, ignore case, whole words only, result
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, bool, bool, const wchar_t*> cases[] = {
        {L"set reset set-up pre-set set", L"set", L"get", false, true, L"get reset set-up pre-set get"},
        {L"set reset set-up pre-set set", L"set", L"get", false, false, L"get reget get-up pre-get get"},
        {L"x-set 1-set set_a set1 _set set-1", L"set", L"get", false, true,
         L"x-set 1-get set_a set1 _set get-1"},
        {L"SET Set sEt", L"set", L"get", true, false, L"get get get"},
        {L"aaa", L"a", L"aa", false, false, L"aaaaaa"}, // inserted text is not searched again
        {L"aaa", L"aa", L"b", false, false, L"ba"},
    };
    for (const auto& [text, find, with, ignoreCase, wholeWord, expected] : cases)
    {
        SString s(text);
        EXPECT_EQ(Wide(s.Replace(SString(find), SString(with), ignoreCase, wholeWord)), expected) << text;
    }
    SString self(L"abc");
    EXPECT_EQ(Wide(self.Replace(self, SString(L"x"))), L"x");
    EXPECT_EQ(Wide(SString(L"a/b/c").ReplaceChar(L'/', 0)), L"a");

    SString enclosed(L"ab");
    enclosed.Enclose(enclosed).Enclose("'").Enclose(L"[]", 1);
    EXPECT_EQ(Wide(enclosed), L"['ababab'[");
}
