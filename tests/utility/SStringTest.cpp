#include "library/utility/SString.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

using namespace S;

namespace
{

// Every unit of the storage, including the part beyond the text, holds zero.
template <typename Str> bool StorageIsZero(const Str& s)
{
    return STest::AllZero(s.GetNativeBuffer(), s.GetCapacity() * sizeof(typename Str::CharType));
}

template <typename Str> auto Text(const Str& s)
{
    return std::basic_string<typename Str::CharType>(s.c_str(), s.GetLength());
}

const std::wstring kLongSecret = L"a secret that is too long for the string's own small buffer";

} // namespace

TEST(SStringConversion, CodePageTable)
{
    const struct
    {
        UINT codePage;
        std::string bytes;
        std::wstring wide;
        bool toWide, toNarrow;
    } cases[] = {
        {1252, "caf\xE9 \x80", L"caf\u00E9 \u20AC", true, true},
        {437, "caf\x82\x85", L"caf\u00E9\u00E0", true, true},
        {850, "\x90t\x82", L"\u00C9t\u00E9", true, true},
        {437, "?", L"\u20AC", false, true}, // unmappable: the default character
        {932, "\x82\xA0", L"\u3042", true, true},
        {65001, "\xC3\xA9\xE2\x82\xAC", L"\u00E9\u20AC", true, true},
        {65001, "\xF0\x9F\x98\x80", L"\U0001F600", true, true}, // a surrogate pair
        {65001, "a\xC3(b", L"a\uFFFD(b", true, false},          // broken sequence
        {65001, "\x80x", L"\uFFFDx", true, false},              // stray continuation byte
        {65001, "a\xEF\xBF\xBDz", L"a\xD800z", false, true},    // lone surrogate
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "code page " << c.codePage << ", " << c.wide.size() << " units");
        size_t count = 99;
        if (c.toWide)
        {
            SAutoPtrT<wchar_t, 1> wide =
                SStringConverter::MultiByteToWide(c.bytes.c_str(), c.bytes.size(), c.codePage, &count);
            EXPECT_TRUE(wide.Owns());
            EXPECT_EQ(count, c.wide.size());
            EXPECT_EQ(std::wstring(wide.Get()), c.wide);
            EXPECT_EQ(Text(SString(SStringA(c.bytes.c_str(), SNpos, c.codePage))), c.wide);
        }
        if (c.toNarrow)
        {
            SAutoPtrT<char, 1> bytes =
                SStringConverter::WideToMultiByte(c.wide.c_str(), c.wide.size(), c.codePage, &count);
            EXPECT_EQ(count, c.bytes.size());
            EXPECT_EQ(std::string(bytes.Get()), c.bytes);
            SStringA narrow;
            narrow.SetCodePage(c.codePage);
            narrow = SString(c.wide.c_str());
            EXPECT_EQ(Text(narrow), c.bytes);
        }
    }
}

TEST(SStringConversion, CountsNullInputAndBorrowingWithoutConversion)
{
    size_t count = 7;
    EXPECT_EQ(SStringConverter::MultiByteToWide(nullptr, 3, 65001, &count).Get(), nullptr);
    EXPECT_EQ(count, 0u);
    // With length -1 the reported count includes the terminator.
    EXPECT_EQ(std::wstring(SStringConverter::MultiByteToWide("abc", SNpos, 65001, &count).Get()), L"abc");
    EXPECT_EQ(count, 4u);
    SAutoPtrT<char, 1> recoded = SStringConverter::MultiByteToMultiByte("\x82t\x82", 3, 437, 65001, &count);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(std::string(recoded.Get()), "\xC3\xA9t\xC3\xA9");

    const SString wide(L"text");
    const SStringUtf8 utf8(recoded.Get());
    SAutoPtrT<wchar_t, 1> w;
    SAutoPtrT<char, 1> c;
    EXPECT_EQ(wide.GetWide(w, &count).Get(), wide.c_str());
    EXPECT_FALSE(w.Owns());
    EXPECT_EQ(std::wstring(utf8.GetWide(w, &count).Get()), L"\u00E9t\u00E9");
    EXPECT_TRUE(w.Owns());
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(utf8.GetNarrow(c, 65001, &count).Get(), utf8.c_str());
    EXPECT_FALSE(c.Owns());
    EXPECT_EQ(std::string(utf8.GetNarrow(c, 1252, &count).Get()), "\xE9t\xE9");
    EXPECT_TRUE(c.Owns());
}

TEST(SStringConversion, NarrowToNarrowAndTheSystemCodePages)
{
    SStringA ansi(L"", SNpos, 1252);
    ansi = SStringUtf8("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
    EXPECT_EQ(Text(ansi), "gr\xFC\xDF \x80");
    SStringOem oem;
    oem.SetCodePage(437);
    oem = ansi;
    EXPECT_EQ(Text(oem), "gr\x81\xE1 ?");

    if (GetACP() != 1252 || GetOEMCP() != 437)
        GTEST_SKIP() << "expectations written for ANSI 1252 / OEM 437";
    EXPECT_EQ(Text(SString(SStringA("\xE9"))), L"\u00E9");
    EXPECT_EQ(Text(SString(SStringOem("\x82"))), L"\u00E9");
    // An SString turns narrow text and narrow output through code page 1, the OEM page.
    EXPECT_EQ(Text(SString("\x82")), L"\u00E9");
    SAutoPtrT<char, 1> out;
    EXPECT_EQ(std::string(SString(L"\u00E9").GetNarrow(out, SOwnCodePage).Get()), "\x82");
}

TEST(SString, AppendAcrossWidthsAndFromItself)
{
    SString wide(L"", SNpos, 1252);
    size_t appended = 0;
    wide.Append("abc", SNpos, &appended);
    EXPECT_EQ(appended, 3u);
    EXPECT_EQ(wide.GetSize(), 3u); // no terminator was appended
    wide.Append('\xE9', 2).Append(L'!', 1).Append(kLongSecret.c_str());
    wide.Append(wide); // grows while reading itself
    wide += SStringUtf8("\xC3\xA9");
    const std::wstring once = L"abc\u00E9\u00E9!" + kLongSecret;
    EXPECT_EQ(Text(wide), once + once + L"\u00E9");

    SStringA narrow;
    narrow.Append(L"xyz", SNpos, &appended);
    EXPECT_EQ(appended, 3u);
    narrow.Append(L"!", SNpos, nullptr);
    EXPECT_EQ(narrow.GetLength(), 4u);
    EXPECT_EQ(narrow.GetSize(), 4u);

    SStringUtf8 utf8("x");
    utf8.Append(L'\u00E9', 3).Append('-', 2).Append(L'z', 0);
    EXPECT_EQ(Text(utf8), "x\xC3\xA9\xC3\xA9\xC3\xA9--");
}

TEST(SStringZeroing, DestroyWipesHeapAndInObjectStorage)
{
    STest::FreedMemoryProbe probe;
    {
        SString s(kLongSecret.c_str());
        s.Truncate(3); // what lies beyond the text must be wiped too
        probe.Watch(s.GetNativeBuffer());
    }
    EXPECT_EQ(probe.m_Fate, STest::Fate::FreedZeroed);

    alignas(SString) unsigned char raw[sizeof(SString)];
    const auto* secret = reinterpret_cast<const unsigned char*>(L"pw12");
    const auto Holds = [&](size_t from, size_t bytes)
    { return std::search(raw, raw + sizeof raw, secret + from, secret + from + bytes) != raw + sizeof raw; };
    SString* s = new (raw) SString(L"pw12");
    ASSERT_TRUE(Holds(0, 8));
    s->~SString();
    // No two consecutive units of the text may survive anywhere in the object.
    for (size_t unit = 0; unit < 3; ++unit)
        EXPECT_FALSE(Holds(2 * unit, 4)) << unit;
}

TEST(SStringZeroing, ClearAssignAndMoveWipeTheOldText)
{
    SString s(kLongSecret.c_str());
    s.Clear();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_GE(s.GetCapacity(), kLongSecret.size());
    EXPECT_TRUE(StorageIsZero(s));

    s = kLongSecret.c_str();
    s = L"short";
    EXPECT_EQ(Text(s), L"short");
    EXPECT_TRUE(STest::AllZero(s.c_str() + 5, (s.GetCapacity() - 5) * sizeof(wchar_t)));
    s.Assign(s);
    EXPECT_EQ(Text(s), L"short");
    s.Assign(SStringA());
    EXPECT_TRUE(StorageIsZero(s));

    STest::FreedMemoryProbe probe;
    probe.Watch(s.GetNativeBuffer());
    const std::wstring longer = kLongSecret + kLongSecret + kLongSecret;
    s.AssignNative(longer.c_str(), longer.size()); // outgrows the storage it leaves
    EXPECT_EQ(probe.m_Fate, STest::Fate::FreedZeroed);
    EXPECT_EQ(Text(s), longer);

    SString source(L"pw12");
    SString target(std::move(source));
    EXPECT_EQ(Text(target), L"pw12");
    EXPECT_TRUE(StorageIsZero(source));
    SString other(L"old!");
    other = std::move(target);
    EXPECT_EQ(Text(other), L"pw12");
    EXPECT_TRUE(StorageIsZero(target));
}

TEST(SString, GetBufferAndReleaseBuffer)
{
    SString s;
    wchar_t* buffer = s.GetBuffer(10);
    buffer[0] = L'o';
    buffer[1] = L'k';
    EXPECT_TRUE(s.ReleaseBuffer(SNpos));
    EXPECT_EQ(s.GetLength(), 2u);
    EXPECT_EQ(s.GetSize(), 2u);
    EXPECT_FALSE(s.ReleaseBuffer(s.GetCapacity() + 1));
    EXPECT_TRUE(s.ReleaseBuffer(1));
    EXPECT_EQ(Text(s), L"o");
}

TEST(SString, FormatAndFormatMessage)
{
    SString s;
    ASSERT_TRUE(s.Format(L"%s|%S|%d|%5.2f|%x", L"wide", "narrow", -42, 3.14159, 255u));
    ASSERT_TRUE(s.AppendFormat(L"+%03u", 7u));
    EXPECT_EQ(Text(s), L"wide|narrow|-42| 3.14|ff+007");
    SStringA a;
    ASSERT_TRUE(a.Format("%s|%S|%zu", "narrow", L"wide", static_cast<size_t>(12345678901ull)));
    EXPECT_EQ(Text(a), "narrow|wide|12345678901");
    ASSERT_TRUE(s.Format(L"<%s>", std::wstring(3000, L'x').c_str())); // beyond any fixed buffer
    // A format that yields nothing leaves the previous text.
    EXPECT_FALSE(s.Format(L"%s", L""));
    EXPECT_FALSE(s.AppendFormat(L"%S", ""));
    EXPECT_FALSE(s.Format(nullptr));
    EXPECT_EQ(s.GetLength(), 3002u);

    ASSERT_TRUE(s.FormatMessage(L"%1 has %2!d! items", L"list", 42));
    EXPECT_EQ(Text(s), L"list has 42 items");
    ASSERT_TRUE(a.FormatMessage("[%2!s!-%1!s!]", "one", "two"));
    EXPECT_EQ(Text(a), "[two-one]");
}

TEST(SStringCompare, PrefixAndSuffixTable)
{
    const struct
    {
        const wchar_t *text, *part;
        wchar_t separator;
        bool noCase, starts, ends;
    } cases[] = {
        {L"C:\\Dir\\a", L"C:\\Dir", L'\\', false, true, false},
        {L"C:\\Dir", L"C:\\Dir", L'\\', false, true, true},
        {L"C:\\Directory", L"C:\\Dir", L'\\', false, false, false},
        {L"C:\\Directory", L"C:\\Dir", 0, false, true, false},
        {L"c:\\dir\\A", L"C:\\DIR", L'\\', true, true, false},
        {L"x\\Dir\\file.TXT", L"file.txt", L'\\', true, false, true},
        {L"x\\Dirfile.txt", L"file.txt", 0, false, false, true},
        {L"ab", L"abc", 0, false, false, false},
        {L"", L"", 0, false, true, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case with text of " << std::wcslen(c.text) << " units");
        const SString text(c.text), part(c.part);
        size_t matched = 99;
        EXPECT_EQ(c.noCase ? text.StartsWithNoCase(part, c.separator, &matched)
                           : text.StartsWith(part, c.separator, &matched),
                  c.starts);
        EXPECT_EQ(matched, c.starts ? part.GetLength() : 0u);
        EXPECT_EQ(c.noCase ? text.EndsWithNoCase(part, c.separator, &matched)
                           : text.EndsWith(part, c.separator, &matched),
                  c.ends);
        EXPECT_EQ(matched, c.ends ? part.GetLength() : 0u);
    }
}

TEST(SStringCompare, OrderingTable)
{
    const struct
    {
        const wchar_t *a, *b;
        int compare, compareNoCase;
    } cases[] = {
        {L"abc", L"ABD", 1, -1},      {L"abc", L"ABC", 1, 0}, {L"abc", L"abc", 0, 0},
        {L"ab", L"abc", -1, -1},      {L"abc", L"ab", 1, 1},  {L"", L"a", -1, -1},
        {L"\u00E9", L"\u00C9", 1, 1}, // case folding is ASCII only
        {L"\uFF00", L"a", 1, 1},      // units compare unsigned
        {L"a_", L"A[", 1, 1},         // '_' sorts after '[' once letters are upper case
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case starting with unit " << static_cast<int>(c.a[0]));
        const SString a(c.a), b(c.b);
        EXPECT_EQ(a.Compare(b), c.compare);
        EXPECT_EQ(a.Compare(c.b), c.compare);
        EXPECT_EQ(a.CompareNoCase(b), c.compareNoCase);
        EXPECT_EQ(a.CompareNoCase(c.b), c.compareNoCase);
        EXPECT_EQ(a.IsEqualNoCase(b), c.compareNoCase == 0);
        EXPECT_EQ(a.IsEqual(b), c.compare == 0);
    }
    EXPECT_EQ(SStringA("\xE9").Compare("a"), 1); // narrow units compare unsigned too
}

TEST(SStringCompare, ContainsTable)
{
    const struct
    {
        const wchar_t *text, *sub;
        size_t position, positionNoCase;
    } cases[] = {
        {L"Hello World", L"World", 6, 6}, {L"Hello World", L"world", SNpos, 6},
        {L"Hello World", L"", 0, SNpos},  {L"", L"", 0, 0},
        {L"aaab", L"aab", 1, 1},          {L"abc", L"abcd", SNpos, SNpos},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "sub of " << std::wcslen(c.sub) << " units");
        const SString text(c.text);
        size_t position = 12345;
        EXPECT_EQ(text.Contains(SString(c.sub), &position), c.position != SNpos);
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(text.ContainsNoCase(SString(c.sub), &position), c.positionNoCase != SNpos);
        EXPECT_EQ(position, c.positionNoCase);
    }
}

TEST(SString, CaseMappingCharacterTestsTruncationAndMid)
{
    SString s(L"Mixed \u00E9\u00C9 [Case] 123");
    EXPECT_TRUE(s.MakeUpper());
    EXPECT_EQ(Text(s), L"MIXED \u00E9\u00C9 [CASE] 123");
    EXPECT_TRUE(s.MakeLower());
    EXPECT_EQ(Text(s), L"mixed \u00E9\u00C9 [case] 123");
    EXPECT_FALSE(SString().MakeUpper());

    EXPECT_TRUE(SString().StartsWithChar(0));
    EXPECT_FALSE(SString().EndsWithChar(0));
    EXPECT_TRUE(SString(L"path\\").EndsWithChar(L'\\'));

    const std::tuple<bool, size_t, const wchar_t*> cuts[] = {
        {false, 3, L"abc"}, {false, 9, L"abcde"}, {true, 2, L"abc"}, {true, 0, L"abcde"}, {true, 9, L""}};
    for (const auto& [right, n, expected] : cuts)
    {
        SString t(L"abcde");
        right ? t.TruncateRight(n) : t.Truncate(n);
        EXPECT_EQ(Text(t), expected) << (right ? "TruncateRight " : "Truncate ") << n;
    }

    SString mid(L"ignored", SNpos, 437);
    const SString source(L"abcdef", SNpos, 1252);
    source.Mid(mid, 2, 3);
    EXPECT_EQ(Text(mid), L"cde");
    EXPECT_EQ(mid.GetCodePage(), 1u);
    source.Mid(mid, 6, 2);
    EXPECT_TRUE(mid.IsEmpty());
}
