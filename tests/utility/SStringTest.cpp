#include "library/utility/SString.h"

#include "ExpectRows.h"
#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <tuple>

using namespace S;
using STest::ExpectRows;

template <typename Str> static auto Text(const Str& s)
{
    return std::basic_string<typename Str::CharType>(s.c_str(), s.GetLength());
}

const std::wstring kLongSecret = L"a secret that is too long for the string's own small buffer";

TEST(SStringConversion, CodePageTableCountsAndNarrowToNarrow)
{
    // code page, bytes, wide text, whether bytes -> wide and wide -> bytes give each other
    const std::tuple<UINT, std::string, std::wstring, bool, bool> cases[] = {
        {1252, "caf\xE9 \x80", L"caf\u00E9 \u20AC", true, true},
        {932, "\x82\xA0", L"\u3042", true, true},
        {65001, "\xC3\xA9\xE2\x82\xAC", L"\u00E9\u20AC", true, true},
        {65001, "\xF0\x9F\x98\x80", L"\U0001F600", true, true}, // a surrogate pair
        {65001, "a\xC3(b", L"a\uFFFD(b", true, false},          // broken sequence
        {65001, "a\xEF\xBF\xBDz", L"a\xD800z", false, true},    // lone surrogate
    };
    for (const auto& [codePage, bytes, wide, toWide, toNarrow] : cases)
    {
        SCOPED_TRACE(testing::Message() << "code page " << codePage << ", " << wide.size() << " units");
        size_t count = 99;
        if (toWide)
        {
            EXPECT_EQ(SStringConverter::MultiByteToWide(bytes.c_str(), bytes.size(), codePage, &count).Get(),
                      wide);
            EXPECT_EQ(count, wide.size());
        }
        if (toNarrow)
        {
            EXPECT_EQ(SStringConverter::WideToMultiByte(wide.c_str(), wide.size(), codePage, &count).Get(),
                      bytes);
            EXPECT_EQ(count, bytes.size());
        }
    }

    size_t count = 7;
    EXPECT_EQ(SStringConverter::MultiByteToWide(nullptr, 3, 65001, &count).Get(), nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(std::wstring(SStringConverter::MultiByteToWide("abc", SNpos, 65001, &count).Get()), L"abc");
    EXPECT_EQ(count, 4u); // with length -1 the count includes the terminator

    SStringA ansi(L"", SNpos, 1252);
    ansi = SStringUtf8("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
    EXPECT_EQ(Text(ansi), "gr\xFC\xDF \x80");
    SStringOem oem;
    oem.SetCodePage(437);
    oem = ansi;
    EXPECT_EQ(Text(oem), "gr\x81\xE1 ?");

    if (GetACP() != 1252 || GetOEMCP() != 437)
        GTEST_SKIP() << "expectations written for ANSI 1252 / OEM 437";
    // An SString turns narrow text and narrow output through code page 1, the OEM page.
    EXPECT_EQ(Text(SString("\x82")), L"\u00E9");
    SAutoPtrT<char, 1> out;
    EXPECT_EQ(std::string(SString(L"\u00E9").GetNarrow(out, SOwnCodePage).Get()), "\x82");
}

TEST(SString, AppendAcrossWidthsAndFromItselfFormatAndTruncate)
{
    SString wide(L"", SNpos, 1252);
    size_t appended = 0;
    wide.Append("abc", SNpos, &appended).Append('\xE9', 2).Append(kLongSecret.c_str());
    EXPECT_EQ(appended, 3u);
    wide.Append(wide); // grows while reading itself
    wide += SStringUtf8("\xC3\xA9");
    const std::wstring once = L"abc\u00E9\u00E9" + kLongSecret;
    EXPECT_EQ(Text(wide), once + once + L"\u00E9");
    EXPECT_EQ(wide.GetSize(), wide.GetLength()); // no terminator was stored

    ASSERT_TRUE(wide.Format(L"%s|%S|%d|%5.2f|%x", L"wide", "narrow", -42, 3.14159, 255u));
    ASSERT_TRUE(wide.AppendFormat(L"+%03u", 7u));
    EXPECT_EQ(Text(wide), L"wide|narrow|-42| 3.14|ff+007");
    ASSERT_TRUE(wide.Format(L"<%s>", std::wstring(3000, L'x').c_str())); // beyond any fixed buffer
    EXPECT_FALSE(wide.Format(L"%s", L"")); // a format that yields nothing leaves the previous text
    EXPECT_EQ(wide.GetLength(), 3002u);
    ASSERT_TRUE(wide.FormatMessage(L"%2!d! in %1", L"list", 42));
    EXPECT_EQ(Text(wide), L"42 in list");

    EXPECT_EQ(Text(SString(L"abcde").TruncateRight(9)), L"");

    SString buffered(L"old text");
    std::wmemcpy(buffered.GetBuffer(10), L"hi\0lo", 5);
    EXPECT_TRUE(buffered.ReleaseBuffer()); // up to the first NUL
    EXPECT_EQ(std::pair(buffered.GetLength(), buffered.GetSize()), std::pair(size_t{2}, size_t{2}));
    std::wmemcpy(buffered.GetBuffer(4), L"abcd", 4);
    EXPECT_TRUE(buffered.ReleaseBuffer(3));
    EXPECT_EQ(Text(buffered), L"abc");
    EXPECT_FALSE(buffered.ReleaseBuffer(buffered.GetCapacity() + 1));
    EXPECT_EQ(Text(buffered), L"abc");
}

TEST(SStringZeroing, DestroyClearAssignAndMoveWipeTheOldText)
{
    auto heap = std::make_unique<SString>(kLongSecret.c_str());
    heap->Truncate(3); // what lies beyond the text must be wiped too
    const STest::FreedMemoryProbe probe(heap->GetNativeBuffer());
    heap.reset();
    EXPECT_EQ(probe.m_FreedZeroed, true);

    alignas(SString) unsigned char raw[sizeof(SString)];
    const auto* secret = reinterpret_cast<const unsigned char*>(L"pw12");
    const auto Holds = [&](size_t from, size_t bytes)
    { return std::search(raw, raw + sizeof raw, secret + from, secret + from + bytes) != raw + sizeof raw; };
    SString* placed = new (raw) SString(L"pw12");
    ASSERT_TRUE(Holds(0, 8));
    placed->~SString();
    // No two consecutive units of the text may survive anywhere in the object.
    for (size_t unit = 0; unit < 3; ++unit)
        EXPECT_FALSE(Holds(2 * unit, 4)) << unit;

    SString s(kLongSecret.c_str());
    s.Clear(); // the whole storage, also beyond the text, must hold zero
    EXPECT_TRUE(STest::AllZero(s.GetNativeBuffer(), s.GetCapacity() * sizeof(wchar_t)));
    s = kLongSecret.c_str();
    s = L"short";
    EXPECT_TRUE(STest::AllZero(s.c_str() + 5, (s.GetCapacity() - 5) * sizeof(wchar_t)));
    s.Assign(s);
    EXPECT_EQ(Text(s), L"short");

    const STest::FreedMemoryProbe grown(s.GetNativeBuffer());
    const std::wstring longer = kLongSecret + kLongSecret + kLongSecret;
    s.AssignNative(longer.c_str(), longer.size()); // outgrows the storage it leaves
    EXPECT_EQ(grown.m_FreedZeroed, true);
    EXPECT_EQ(Text(s), longer);

    SString source(L"pw12"), target(L"old!");
    target = std::move(source);
    EXPECT_EQ(Text(target), L"pw12");
    EXPECT_TRUE(STest::AllZero(source.GetNativeBuffer(), source.GetCapacity() * sizeof(wchar_t)));
}

TEST(SStringCompareSearchAndEdit, AffixOrderFindTrimSplitAndReplaceTables)
{
    // text, part, separator, ignore case, starts with, ends with
    const std::tuple<const wchar_t*, const wchar_t*, wchar_t, bool, bool, bool> affixes[] = {
        {L"C:\\Dir", L"C:\\Dir", L'\\', false, true, true},
        {L"C:\\Directory", L"C:\\Dir", L'\\', false, false, false},
        {L"C:\\Directory", L"C:\\Dir", 0, false, true, false},
        {L"c:\\dir\\A", L"C:\\DIR", L'\\', true, true, false},
        {L"x\\Dir\\file.TXT", L"file.txt", L'\\', true, false, true},
        {L"ab", L"abc", 0, false, false, false},
    };
    for (const auto& [text, part, separator, noCase, starts, ends] : affixes)
    {
        const SString t(text), p(part);
        EXPECT_EQ(noCase ? t.StartsWithNoCase(p, separator) : t.StartsWith(p, separator), starts) << text;
        EXPECT_EQ(noCase ? t.EndsWithNoCase(p, separator) : t.EndsWith(p, separator), ends) << text;
    }

    const std::tuple<const wchar_t*, const wchar_t*, int, int> order[] = {
        {L"abc", L"ABD", 1, -1}, {L"abc", L"ABC", 1, 0},
        {L"ab", L"abc", -1, -1}, {L"\u00E9", L"\u00C9", 1, 1}, // case folding is ASCII only
        {L"\uFF00", L"a", 1, 1},                               // units compare unsigned
        {L"a_", L"A[", 1, 1}, // '_' sorts after '[' once letters are upper case
    };
    for (const auto& [a, b, compare, compareNoCase] : order)
    {
        const SString left(a), right(b);
        EXPECT_EQ(left.Compare(right), compare) << a;
        EXPECT_EQ(left.CompareNoCase(right), compareNoCase) << a;
        EXPECT_EQ(left.IsEqualNoCase(right), compareNoCase == 0) << a;
    }

    const std::tuple<const wchar_t*, const wchar_t*, size_t> containsNoCase[] = {
        {L"Hello World", L"wORLD", 6}, {L"Hello World", L"", SNpos}, {L"", L"", 0},
        {L"aaab", L"AAB", 1},          {L"abc", L"abcd", SNpos},
    };
    for (const auto& [text, sub, found] : containsNoCase)
    {
        size_t position = 12345;
        EXPECT_EQ(SString(text).ContainsNoCase(SString(sub), &position), found != SNpos)
            << text << '/' << sub;
        EXPECT_EQ(position, found) << text << '/' << sub;
    }

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
    EXPECT_EQ(Text(x.ReverseSpanExcluding(L"x", 4, 3)), L"bc");

    // Trims a copy of `text`: the text left and the result; nothing beyond the text may be stored.
    const auto Trimmed = [](const wchar_t* text, const auto& trim)
    {
        SString s(text);
        const size_t result = trim(s);
        EXPECT_EQ(s.GetSize(), s.GetLength()) << text;
        return Text(s) + L"|" + std::to_wstring(result);
    };
    EXPECT_EQ(Trimmed(L"\t\n\t\n", [](SString& s) { return s.TrimWhitespace(); }), L"|0");
    EXPECT_EQ(Trimmed(L" \v\r a b \r\n\f\t", [](SString& s) { return s.TrimWhitespace(); }), L"a b|3");
    EXPECT_EQ(Trimmed(L"ab ", [](SString& s) { return s.TrimRight(static_cast<const wchar_t*>(nullptr)); }),
              L"ab |3");
    EXPECT_EQ(Trimmed(L"xyx", [](SString& s) { return size_t{s.TrimLeft(L"xy")}; }), L"|1");
    EXPECT_EQ(Trimmed(L"--a-b--", [](SString& s) { return s.Trim(L'-'); }), L"a-b|3");
    EXPECT_EQ(Trimmed(L"\na\n", [](SString& s) { return s.TrimBlanks(); }),
              L"\na\n|3"); // line feeds are no blanks
    EXPECT_EQ(Trimmed(L"\t a\tb \t", [](SString& s) { return s.TrimBlanks(); }), L"a\tb|3");
    EXPECT_EQ(Trimmed(L" \tx\t ", [](SString& s) { return size_t{s.TrimLeftBlanks()}; }), L"x\t |1");
    EXPECT_EQ(Trimmed(L" \tx\t ", [](SString& s) { return s.TrimRightBlanks(); }), L" \tx|3");

    // text, from the end, at one of a set, separators, left, right
    const std::tuple<const wchar_t*, bool, bool, const wchar_t*, const wchar_t*, const wchar_t*> splits[] = {
        {L"a=b=c", false, false, L"=", L"a", L"b=c"},     {L"a=b=c", true, false, L"=", L"a=b", L"c"},
        {L"novalue", true, false, L"=", L"novalue", L""}, {L"a=b", false, false, L"", L"a=b", L""},
        {L"a/b\\c", false, true, L"\\/", L"a", L"b\\c"},  {L"a/b\\c", true, true, L"\\/", L"a/b", L"c"}};
    for (const auto& [text, fromEnd, ofSet, separators, left, right] : splits)
    {
        SCOPED_TRACE(testing::Message() << "case with text of " << std::wcslen(text) << " units");
        const SString t(text);
        SString l(L"stale left"), r(L"stale right");
        if (ofSet)
            fromEnd ? t.SplitAtLastOf(l, r, separators) : t.SplitAtFirstOf(l, r, separators);
        else
            fromEnd ? t.SplitAtLast(l, r, *separators) : t.SplitAtFirst(l, r, *separators);
        EXPECT_EQ(Text(l) + L"|" + Text(r), std::wstring(left) + L"|" + right);
    }
    SString pair(L"name=a much longer value than the name"), right;
    pair.SplitAtFirst(pair, right, L'=');
    EXPECT_EQ(Text(pair) + L"|" + Text(right), L"name|a much longer value than the name");

    // text, find, replacement, ignore case, whole words only, result
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, bool, bool, const wchar_t*>
        replacements[] = {
            {L"set reset set-up pre-set set", L"set", L"get", false, true, L"get reset set-up pre-set get"},
            {L"set reset set-up pre-set set", L"set", L"get", false, false, L"get reget get-up pre-get get"},
            {L"x-set 1-set set_a set1 _set set-1", L"set", L"get", false, true,
             L"x-set 1-get set_a set1 _set get-1"},
            {L"SET Set sEt", L"set", L"get", true, false, L"get get get"},
            {L"aaa", L"a", L"aa", false, false, L"aaaaaa"}, // inserted text is not searched again
            {L"aaa", L"aa", L"b", false, false, L"ba"},
        };
    for (const auto& [text, find, with, ignoreCase, wholeWord, expected] : replacements)
        EXPECT_EQ(Text(SString(text).Replace(SString(find), SString(with), ignoreCase, wholeWord)), expected)
            << text;
    SString self(L"abc");
    EXPECT_EQ(Text(self.Replace(self, SString(L"x"))), L"x");
    EXPECT_EQ(Text(SString(L"a/b/c").ReplaceChar(L'/', 0)), L"a");

    SString enclosed(L"ab");
    enclosed.Enclose(enclosed).Enclose("'").Enclose(L"[]", 1);
    EXPECT_EQ(Text(enclosed), L"['ababab'[");
}
