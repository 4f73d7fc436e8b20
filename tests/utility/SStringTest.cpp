#include "library/utility/SString.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
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

std::wstring Wide(const SString& s)
{
    return std::wstring(s.c_str(), s.GetLength());
}

template <typename Str> std::string Bytes(const Str& s)
{
    return std::string(s.c_str(), s.GetLength());
}

const std::wstring kLongSecret = L"a secret that is too long for the string's own small buffer";

} // namespace

TEST(SStringCore, DefaultCodePages)
{
    EXPECT_EQ(SString().GetCodePage(), 1u);
    EXPECT_EQ(SStringA().GetCodePage(), 0u);
    EXPECT_EQ(SStringOem().GetCodePage(), 1u);
    EXPECT_EQ(SStringUtf8().GetCodePage(), 65001u);
    EXPECT_TRUE(SString().IsWide());
    EXPECT_FALSE(SStringUtf8().IsWide());
}

TEST(SStringConversion, NarrowToWideTable)
{
    struct Case
    {
        const char* name;
        UINT codePage;
        const char* bytes;
        std::wstring expected;
    };
    const Case cases[] = {
        {"ANSI Latin-1 letter", 1252, "caf\xE9", L"caf\u00E9"},
        {"ANSI euro sign", 1252, "\x80", L"\u20AC"},
        {"OEM 437 letter", 437, "caf\x82", L"caf\u00E9"},
        {"OEM 850 letter", 850, "\x90t\x82", L"\u00C9t\u00E9"},
        {"UTF-8 two and three bytes", 65001, "\xC3\xA9\xE2\x82\xAC", L"\u00E9\u20AC"},
        {"UTF-8 four bytes become a surrogate pair", 65001, "\xF0\x9F\x98\x80", L"\U0001F600"},
        {"UTF-8 broken sequence becomes U+FFFD", 65001, "a\xC3(b", L"a\uFFFD(b"},
        {"UTF-8 stray continuation byte", 65001, "\x80x", L"\uFFFDx"},
        {"double-byte code page", 932, "\x82\xA0", L"\u3042"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        size_t count = 99;
        SAutoPtrT<wchar_t, 1> wide =
            SStringConverter::MultiByteToWide(c.bytes, std::strlen(c.bytes), c.codePage, &count);
        ASSERT_TRUE(wide);
        EXPECT_TRUE(wide.Owns());
        EXPECT_EQ(count, c.expected.size());
        EXPECT_EQ(std::wstring(wide.Get()), c.expected);

        SStringA narrow(c.bytes, SNpos, c.codePage);
        const SString converted(narrow);
        EXPECT_EQ(Wide(converted), c.expected);
    }
}

TEST(SStringConversion, WideToNarrowTable)
{
    struct Case
    {
        const char* name;
        UINT codePage;
        std::wstring text;
        std::string expected;
    };
    const Case cases[] = {
        {"ANSI", 1252, L"caf\u00E9 \u20AC", "caf\xE9 \x80"},
        {"OEM 437", 437, L"\u00E9\u00E0", "\x82\x85"},
        {"unmappable becomes the default character", 437, L"\u20AC", "?"},
        {"UTF-8", 65001, L"\u00E9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80"},
        {"lone surrogate to UTF-8", 65001, L"a\xD800z", "a\xEF\xBF\xBDz"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        size_t count = 0;
        SAutoPtrT<char, 1> bytes =
            SStringConverter::WideToMultiByte(c.text.c_str(), c.text.size(), c.codePage, &count);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(count, c.expected.size());
        EXPECT_EQ(std::string(bytes.Get()), c.expected);
    }
}

TEST(SStringConversion, CountsAndNullInput)
{
    size_t count = 7;
    SAutoPtrT<wchar_t, 1> none = SStringConverter::MultiByteToWide(nullptr, 3, 65001, &count);
    EXPECT_EQ(none.Get(), nullptr);
    EXPECT_TRUE(none.Owns());
    EXPECT_EQ(count, 0u);

    // With length -1 the reported count includes the terminator.
    SAutoPtrT<wchar_t, 1> terminated = SStringConverter::MultiByteToWide("abc", SNpos, 65001, &count);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::wstring(terminated.Get()), L"abc");
    SAutoPtrT<char, 1> narrow = SStringConverter::WideToMultiByte(L"\u00E9", SNpos, 65001, &count);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::string(narrow.Get()), "\xC3\xA9");

    SAutoPtrT<char, 1> recoded = SStringConverter::MultiByteToMultiByte("\x82t\x82", 3, 437, 65001, &count);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(std::string(recoded.Get()), "\xC3\xA9t\xC3\xA9");
}

TEST(SStringConversion, AssignmentsAcrossInstancesConvertInEachOwnCodePage)
{
    SStringUtf8 utf8("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
    SString wide(utf8);
    EXPECT_EQ(Wide(wide), L"gr\u00FC\u00DF \u20AC");
    SStringA ansi(wide);
    ansi.SetCodePage(1252);
    ansi = wide;
    EXPECT_EQ(Bytes(ansi), "gr\xFC\xDF \x80");
    SStringOem oem;
    oem.SetCodePage(437);
    oem = ansi; // narrow to narrow across code pages
    EXPECT_EQ(Bytes(oem), "gr\x81\xE1 ?");
    SStringUtf8 back;
    back = ansi;
    EXPECT_EQ(Bytes(back), "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
}

TEST(SStringConversion, DefaultCodePagesFollowTheSystem)
{
    if (GetACP() != 1252 || GetOEMCP() != 437)
        GTEST_SKIP() << "expectations written for ANSI 1252 / OEM 437";
    const SStringA ansi("\xE9");
    EXPECT_EQ(Wide(SString(ansi)), L"\u00E9");
    const SStringOem oem("\x82");
    EXPECT_EQ(Wide(SString(oem)), L"\u00E9");
    // An SString turns narrow text and narrow output through code page 1, the OEM page.
    const SString fromNarrow("\x82");
    EXPECT_EQ(Wide(fromNarrow), L"\u00E9");
    SAutoPtrT<char, 1> out;
    size_t n = 0;
    SString(L"\u00E9").GetNarrow(out, SOwnCodePage, &n);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(std::string(out.Get()), "\x82");
}

TEST(SStringConversion, GetWideAndGetNarrowLendOnlyWithoutConversion)
{
    const SString wide(L"text");
    SAutoPtrT<wchar_t, 1> w;
    size_t n = 0;
    wide.GetWide(w, &n);
    EXPECT_FALSE(w.Owns());
    EXPECT_EQ(w.Get(), wide.c_str());
    EXPECT_EQ(n, 4u);

    const SStringUtf8 utf8("\xC3\xA9t\xC3\xA9");
    utf8.GetWide(w, &n);
    EXPECT_TRUE(w.Owns());
    EXPECT_EQ(std::wstring(w.Get()), L"\u00E9t\u00E9");
    EXPECT_EQ(n, 3u);

    SAutoPtrT<char, 1> c;
    utf8.GetNarrow(c, 65001, &n);
    EXPECT_FALSE(c.Owns());
    EXPECT_EQ(c.Get(), utf8.c_str());
    EXPECT_EQ(n, 5u);
    utf8.GetNarrow(c, 1252, &n);
    EXPECT_TRUE(c.Owns());
    EXPECT_EQ(std::string(c.Get()), "\xE9t\xE9");
    EXPECT_EQ(n, 3u);
}

TEST(SStringAppend, CrossWidthAppendsAddExactlyTheText)
{
    SString wide;
    size_t appended = 0;
    wide.Append("abc", SNpos, &appended);
    EXPECT_EQ(appended, 3u);
    EXPECT_EQ(wide.GetLength(), 3u);
    EXPECT_EQ(wide.GetSize(), 3u); // no terminator was appended
    wide.Append("de", 2, &appended);
    EXPECT_EQ(Wide(wide), L"abcde");
    EXPECT_EQ(appended, 2u);

    SStringA narrow;
    narrow.Append(L"xyz", SNpos, &appended);
    EXPECT_EQ(appended, 3u);
    EXPECT_EQ(narrow.GetSize(), 3u);
    narrow.Append(L"!", SNpos, nullptr);
    EXPECT_EQ(narrow.GetLength(), 4u);
    EXPECT_EQ(Bytes(narrow), "xyz!");

    SStringUtf8 utf8;
    utf8.Append(L"\u00E9", SNpos, &appended);
    EXPECT_EQ(appended, 2u);
    EXPECT_EQ(Bytes(utf8), "\xC3\xA9");
}

TEST(SStringAppend, RepeatedCharacters)
{
    SStringUtf8 utf8("x");
    utf8.Append(L'\u00E9', 3);
    EXPECT_EQ(Bytes(utf8), "x\xC3\xA9\xC3\xA9\xC3\xA9");
    utf8.Append('-', 2);
    utf8.Append(L'z', 0);
    EXPECT_EQ(Bytes(utf8), "x\xC3\xA9\xC3\xA9\xC3\xA9--");

    SString wide(L"", SNpos, 1252);
    wide.Append('\xE9', 2);
    wide.Append(L'!', 1);
    EXPECT_EQ(Wide(wide), L"\u00E9\u00E9!");
}

TEST(SStringAppend, AnyStringIncludingItself)
{
    SString s(L"ab");
    s.Append(s);
    EXPECT_EQ(Wide(s), L"abab");
    s += SStringUtf8("\xC3\xA9");
    EXPECT_EQ(Wide(s), L"abab\u00E9");
    SStringA empty;
    s.Append(empty);
    EXPECT_EQ(Wide(s), L"abab\u00E9");
    s.Append(kLongSecret.c_str());
    s.Append(s);
    EXPECT_EQ(Wide(s), L"abab\u00E9" + kLongSecret + L"abab\u00E9" + kLongSecret);
}

TEST(SStringAssign, FromEmptyOrSelf)
{
    SString target(kLongSecret.c_str());
    target.Assign(target);
    EXPECT_EQ(Wide(target), kLongSecret);

    const SStringA empty;
    target.Assign(empty);
    EXPECT_TRUE(target.IsEmpty());
    EXPECT_TRUE(StorageIsZero(target));

    size_t assigned = 9;
    target.Assign("hello", 4, &assigned);
    EXPECT_EQ(Wide(target), L"hell");
    EXPECT_EQ(assigned, 4u);
    target.Assign(static_cast<const char*>(nullptr), SNpos, &assigned);
    EXPECT_TRUE(target.IsEmpty());
    EXPECT_EQ(assigned, 0u);
}

TEST(SStringZeroing, DestroyWipesHeapStorageBeforeFreeingIt)
{
    STest::FreedMemoryProbe probe;
    const void* storage = nullptr;
    {
        SString s(kLongSecret.c_str());
        storage = s.GetNativeBuffer();
        probe.Watch(storage);
    }
    ASSERT_TRUE(probe.WasFreed(storage));
    EXPECT_TRUE(probe.WasZeroWhenFreed(storage));

    {
        SStringUtf8 s("a narrow secret that does not fit the small buffer");
        storage = s.GetNativeBuffer();
        probe.Watch(storage);
    }
    ASSERT_TRUE(probe.WasFreed(storage));
    EXPECT_TRUE(probe.WasZeroWhenFreed(storage));
}

TEST(SStringZeroing, DestroyWipesTextKeptInsideTheObject)
{
    alignas(SString) unsigned char raw[sizeof(SString)];
    const wchar_t secret[] = L"pw12";
    SString* s = new (raw) SString(secret);
    ASSERT_TRUE(STest::ContainsBytes(raw, sizeof(raw), secret, sizeof(secret) - sizeof(wchar_t)));
    s->~SString();
    // No two consecutive units of the text may survive anywhere in the object.
    for (size_t i = 0; i + 1 < std::size(secret) - 1; ++i)
        EXPECT_FALSE(STest::ContainsBytes(raw, sizeof(raw), secret + i, 2 * sizeof(wchar_t))) << i;
}

TEST(SStringZeroing, ClearAndShrinkingAssignWipeTheOldText)
{
    SString s(kLongSecret.c_str());
    s.Clear();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_GE(s.GetCapacity(), kLongSecret.size());
    EXPECT_TRUE(StorageIsZero(s));

    s = kLongSecret.c_str();
    s = L"short";
    const wchar_t* text = s.c_str();
    EXPECT_EQ(Wide(s), L"short");
    EXPECT_TRUE(STest::AllZero(text + 5, (s.GetCapacity() - 5) * sizeof(wchar_t)));
}

TEST(SStringZeroing, GrowingAssignWipesTheStorageItLeaves)
{
    STest::FreedMemoryProbe probe;
    SString s(kLongSecret.c_str());
    const void* old = s.GetNativeBuffer();
    probe.Watch(old);
    const std::wstring longer = kLongSecret + kLongSecret + kLongSecret;
    s.AssignNative(longer.c_str(), longer.size());
    ASSERT_TRUE(probe.WasFreed(old));
    EXPECT_TRUE(probe.WasZeroWhenFreed(old));
    EXPECT_EQ(Wide(s), longer);
}

TEST(SStringZeroing, MovedFromStringKeepsNoText)
{
    SString source(L"pw12");
    SString target(std::move(source));
    EXPECT_EQ(Wide(target), L"pw12");
    EXPECT_TRUE(StorageIsZero(source));

    SString other(L"old!");
    other = std::move(target);
    EXPECT_EQ(Wide(other), L"pw12");
    EXPECT_TRUE(StorageIsZero(target));
}

TEST(SStringBuffer, GetBufferAndReleaseBuffer)
{
    SString s;
    wchar_t* buffer = s.GetBuffer(10);
    ASSERT_NE(buffer, nullptr);
    buffer[0] = L'o';
    buffer[1] = L'k';
    EXPECT_TRUE(s.ReleaseBuffer(SNpos));
    EXPECT_EQ(s.GetLength(), 2u);
    EXPECT_EQ(s.GetSize(), 2u);

    EXPECT_FALSE(s.ReleaseBuffer(s.GetCapacity() + 1));
    EXPECT_EQ(Wide(s), L"ok");

    s.Reserve(100);
    EXPECT_GE(s.GetCapacity(), 100u);
    EXPECT_EQ(s.GetLength(), 2u);
    EXPECT_EQ(Wide(s), L"ok");
    EXPECT_TRUE(s.ReleaseBuffer(1));
    EXPECT_EQ(Wide(s), L"o");
}

TEST(SStringBuffer, LogicalLengthStopsAtTheFirstNul)
{
    SStringA s;
    char* buffer = s.GetBuffer(8);
    std::memcpy(buffer, "ab\0cd", 5);
    EXPECT_EQ(s.GetLength(), 2u);
    EXPECT_GE(s.GetSize(), 5u);
    EXPECT_TRUE(s.IsEqual(SStringA("ab")));
    EXPECT_TRUE(s == "ab");
    EXPECT_FALSE(s.IsEmpty());
    s.ReleaseBuffer(SNpos);
    EXPECT_EQ(s.GetSize(), 2u);
}

TEST(SStringFormat, PrintfStyleTable)
{
    SString s;
    ASSERT_TRUE(s.Format(L"%s|%S|%d|%5.2f|%x", L"wide", "narrow", -42, 3.14159, 255u));
    EXPECT_EQ(Wide(s), L"wide|narrow|-42| 3.14|ff");
    ASSERT_TRUE(s.AppendFormat(L"+%03u", 7u));
    EXPECT_EQ(Wide(s), L"wide|narrow|-42| 3.14|ff+007");

    SStringA a;
    ASSERT_TRUE(a.Format("%s|%S|%zu", "narrow", L"wide", static_cast<size_t>(12345678901ull)));
    EXPECT_EQ(Bytes(a), "narrow|wide|12345678901");

    const std::wstring big(3000, L'x');
    ASSERT_TRUE(s.Format(L"<%s>", big.c_str()));
    EXPECT_EQ(s.GetLength(), 3002u);
}

TEST(SStringFormat, EmptyResultKeepsThePreviousText)
{
    SString s(L"previous");
    EXPECT_FALSE(s.Format(L""));
    EXPECT_FALSE(s.Format(L"%s", L""));
    EXPECT_FALSE(s.AppendFormat(L"%S", ""));
    EXPECT_FALSE(s.Format(nullptr));
    EXPECT_EQ(Wide(s), L"previous");
}

TEST(SStringFormat, FormatMessageInserts)
{
    SString s;
    ASSERT_TRUE(s.FormatMessage(L"%1 has %2!d! items", L"list", 42));
    EXPECT_EQ(Wide(s), L"list has 42 items");
    SStringA a;
    ASSERT_TRUE(a.FormatMessage("[%2!s!-%1!s!]", "one", "two"));
    EXPECT_EQ(Bytes(a), "[two-one]");
}

TEST(SStringCompare, PrefixAndSuffixTable)
{
    struct Case
    {
        const wchar_t* text;
        const wchar_t* part;
        wchar_t separator;
        bool noCase;
        bool starts;
        bool ends;
    };
    const Case cases[] = {
        {L"C:\\Dir\\a", L"C:\\Dir", L'\\', false, true, false},
        {L"C:\\Dir", L"C:\\Dir", L'\\', false, true, true},
        {L"C:\\Directory", L"C:\\Dir", L'\\', false, false, false},
        {L"C:\\Directory", L"C:\\Dir", 0, false, true, false},
        {L"c:\\dir\\A", L"C:\\DIR", L'\\', true, true, false},
        {L"c:\\dir\\A", L"C:\\DIR", L'\\', false, false, false},
        {L"x\\Dir\\file.TXT", L"file.txt", L'\\', true, false, true},
        {L"x\\Dirfile.txt", L"file.txt", L'\\', false, false, false},
        {L"x\\Dirfile.txt", L"file.txt", 0, false, false, true},
        {L"abc", L"", 0, false, true, true},
        {L"ab", L"abc", 0, false, false, false},
        {L"", L"", 0, false, true, true},
        {L"a/b", L"a", L'/', false, true, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "text " << std::wstring(c.text).size() << " part "
                                        << static_cast<int>(std::wstring(c.part).size()));
        const SString text(c.text);
        const SString part(c.part);
        size_t matched = 99;
        const bool starts = c.noCase ? text.StartsWithNoCase(part, c.separator, &matched)
                                     : text.StartsWith(part, c.separator, &matched);
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(matched, c.starts ? part.GetLength() : 0u);
        const bool ends = c.noCase ? text.EndsWithNoCase(part, c.separator, &matched)
                                   : text.EndsWith(part, c.separator, &matched);
        EXPECT_EQ(ends, c.ends);
        EXPECT_EQ(matched, c.ends ? part.GetLength() : 0u);
    }
}

TEST(SStringCompare, OrderingTable)
{
    struct Case
    {
        const wchar_t* a;
        const wchar_t* b;
        int compare;
        int compareNoCase;
        bool equalNoCase;
    };
    const Case cases[] = {
        {L"abc", L"ABD", 1, -1, false},      {L"abc", L"ABC", 1, 0, true}, {L"abc", L"abc", 0, 0, true},
        {L"ab", L"abc", -1, -1, false},      {L"abc", L"ab", 1, 1, false}, {L"", L"a", -1, -1, false},
        {L"\u00E9", L"\u00C9", 1, 1, false}, // case folding is ASCII only
        {L"\uFF00", L"a", 1, 1, false},      // units compare unsigned
        {L"a_", L"A[", 1, 1, false},         // '_' sorts after '[' once letters are upper case
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "case starting with unit " << static_cast<int>(c.a[0]));
        const SString a(c.a);
        const SString b(c.b);
        EXPECT_EQ(a.Compare(b), c.compare);
        EXPECT_EQ(a.Compare(c.b), c.compare);
        EXPECT_EQ(a.CompareNoCase(b), c.compareNoCase);
        EXPECT_EQ(a.CompareNoCase(c.b), c.compareNoCase);
        EXPECT_EQ(a.IsEqualNoCase(b), c.equalNoCase);
        EXPECT_EQ(a.IsNotEqualNoCase(b), !c.equalNoCase);
        EXPECT_EQ(a.IsEqual(b), c.compare == 0);
        EXPECT_EQ(a == b, c.compare == 0);
        EXPECT_EQ(a != b, c.compare != 0);
    }
    // Narrow units compare unsigned too.
    EXPECT_EQ(SStringA("\xE9").Compare("a"), 1);
}

TEST(SStringCompare, ContainsTable)
{
    struct Case
    {
        const wchar_t* text;
        const wchar_t* sub;
        size_t position;
        size_t positionNoCase;
    };
    const Case cases[] = {
        {L"Hello World", L"World", 6, 6}, {L"Hello World", L"world", SNpos, 6},
        {L"Hello World", L"", 0, SNpos},  {L"", L"", 0, 0},
        {L"", L"a", SNpos, SNpos},        {L"aaab", L"aab", 1, 1},
        {L"abc", L"abcd", SNpos, SNpos},  {L"xABx", L"ab", SNpos, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "sub length " << std::wstring(c.sub).size());
        const SString text(c.text);
        size_t position = 12345;
        EXPECT_EQ(text.Contains(SString(c.sub), &position), c.position != SNpos);
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(text.ContainsNoCase(SString(c.sub), &position), c.positionNoCase != SNpos);
        EXPECT_EQ(position, c.positionNoCase);
    }
}

TEST(SStringCase, AsciiOnlyCaseMapping)
{
    SString s(L"Mixed \u00E9\u00C9 Case 123");
    EXPECT_TRUE(s.MakeUpper());
    EXPECT_EQ(Wide(s), L"MIXED \u00E9\u00C9 CASE 123");
    EXPECT_TRUE(s.MakeLower());
    EXPECT_EQ(Wide(s), L"mixed \u00E9\u00C9 case 123");
    SString empty;
    EXPECT_FALSE(empty.MakeUpper());
    EXPECT_FALSE(empty.MakeLower());
    SStringA narrow("a[z]{");
    narrow.MakeUpper();
    EXPECT_EQ(Bytes(narrow), "A[Z]{");
}

TEST(SStringEdit, CharacterTestsTruncationAndMid)
{
    const SString empty;
    EXPECT_TRUE(empty.StartsWithChar(0));
    EXPECT_FALSE(empty.EndsWithChar(0));
    const SString s(L"path\\");
    EXPECT_TRUE(s.StartsWithChar(L'p'));
    EXPECT_TRUE(s.EndsWithChar(L'\\'));
    EXPECT_FALSE(s.EndsWithChar(L'h'));

    struct Case
    {
        bool right;
        size_t n;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {false, 3, L"abc"}, {false, 5, L"abcde"}, {false, 9, L"abcde"}, {false, 0, L""},
        {true, 2, L"abc"},  {true, 0, L"abcde"},  {true, 5, L""},       {true, 9, L""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << (c.right ? "TruncateRight " : "Truncate ") << c.n);
        SString t(L"abcde");
        if (c.right)
            t.TruncateRight(c.n);
        else
            t.Truncate(c.n);
        EXPECT_EQ(Wide(t), c.expected);
    }

    SString mid(L"ignored", SNpos, 437);
    SString source(L"abcdef", SNpos, 1252);
    source.Mid(mid, 2, 3);
    EXPECT_EQ(Wide(mid), L"cde");
    EXPECT_EQ(mid.GetCodePage(), 1u);
    source.Mid(mid, 4);
    EXPECT_EQ(Wide(mid), L"ef");
    source.Mid(mid, 6, 2);
    EXPECT_TRUE(mid.IsEmpty());
}
