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
    const char* name;
    std::function<size_t(const SString&)> op;
    size_t expected;
};

void RunPositionCases(const SString& text, std::initializer_list<PositionCase> cases)
{
    for (const PositionCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.op(text), c.expected);
    }
}

} // namespace

TEST(SStringSearch, SubstringAndCharacterSearch)
{
    RunPositionCases(
        SString(L"abcabc"),
        {
            {"Find first", [](const SString& s) { return s.Find(L"bc"); }, 1},
            {"Find from inside", [](const SString& s) { return s.Find(L"bc", 2); }, 4},
            {"Find past the last start", [](const SString& s) { return s.Find(L"bc", 5); }, NotFound},
            {"Find empty at from", [](const SString& s) { return s.Find(L"", 3); }, 3},
            {"Find empty at the end", [](const SString& s) { return s.Find(L"", 6); }, 6},
            {"Find empty beyond", [](const SString& s) { return s.Find(L"", 7); }, NotFound},
            {"Find longer needle", [](const SString& s) { return s.Find(L"abcabcx"); }, NotFound},
            {"Find null", [](const SString& s) { return s.Find(static_cast<const wchar_t*>(nullptr)); },
             NotFound},
            {"Find counted", [](const SString& s) { return s.Find(L"cax", 0, 2); }, 2},
            {"Find string", [](const SString& s) { return s.Find(SString(L"ca")); }, 2},
            {"Find char", [](const SString& s) { return s.Find(L'c', 3); }, 5},
            {"Find char at size", [](const SString& s) { return s.Find(L'c', 6); }, NotFound},
            {"ReverseFind", [](const SString& s) { return s.ReverseFind(L"bc"); }, 4},
            {"ReverseFind before", [](const SString& s) { return s.ReverseFind(L"bc", 3); }, 1},
            {"ReverseFind start clamps", [](const SString& s) { return s.ReverseFind(L"bc", 99); }, 4},
            {"ReverseFind empty", [](const SString& s) { return s.ReverseFind(L"", 2); }, 2},
            {"ReverseFind empty clamps", [](const SString& s) { return s.ReverseFind(L""); }, 6},
            {"ReverseFind longer", [](const SString& s) { return s.ReverseFind(L"abcabcx"); }, NotFound},
            {"ReverseFind char", [](const SString& s) { return s.ReverseFind(L'a'); }, 3},
            {"ReverseFind char before", [](const SString& s) { return s.ReverseFind(L'a', 2); }, 0},
            {"ReverseFind string", [](const SString& s) { return s.ReverseFind(SString(L"ab"), 2); }, 0},
        });
    EXPECT_EQ(SString().ReverseFind(L'a'), NotFound);
    EXPECT_EQ(SString().Find(L""), 0u);
}

TEST(SStringSearch, CaseInsensitiveSearch)
{
    RunPositionCases(
        SString(L"Hello HELLO"),
        {
            {"first", [](const SString& s) { return s.FindNoCase(L"hello"); }, 0},
            {"from inside", [](const SString& s) { return s.FindNoCase(L"hello", 1); }, 6},
            {"too late", [](const SString& s) { return s.FindNoCase(L"hello", 7); }, NotFound},
            {"across the space", [](const SString& s) { return s.FindNoCase(L"LO h"); }, 3},
            {"empty inside", [](const SString& s) { return s.FindNoCase(L"", 4); }, 4},
            {"empty at the end", [](const SString& s) { return s.FindNoCase(L"", 11); }, 11},
            {"empty beyond", [](const SString& s) { return s.FindNoCase(L"", 12); }, NotFound},
            {"null", [](const SString& s) { return s.FindNoCase(static_cast<const wchar_t*>(nullptr)); },
             NotFound},
            {"char", [](const SString& s) { return s.FindNoCase(L'l', 5); }, 8},
            {"string", [](const SString& s) { return s.FindNoCase(SString(L"O h")); }, 4},
            {"counted", [](const SString& s) { return s.FindNoCase(L"ELxx", 0, 2); }, 1},
            {"reverse", [](const SString& s) { return s.ReverseFindNoCase(L"hello"); }, 6},
            {"reverse before", [](const SString& s) { return s.ReverseFindNoCase(L"hello", 5); }, 0},
            {"reverse empty", [](const SString& s) { return s.ReverseFindNoCase(L"", 4); }, 4},
            {"reverse empty clamps", [](const SString& s) { return s.ReverseFindNoCase(L""); }, 11},
            {"reverse longer", [](const SString& s) { return s.ReverseFindNoCase(L"hello hello!"); },
             NotFound},
            {"reverse char", [](const SString& s) { return s.ReverseFindNoCase(L'E', 5); }, 1},
            {"reverse string", [](const SString& s) { return s.ReverseFindNoCase(SString(L"LLO")); }, 8},
        });
    // Only ASCII letters fold.
    EXPECT_EQ(SString(L"\u00C9t\u00E9").FindNoCase(L"\u00E9"), 2u);
    EXPECT_EQ(SStringA("ab[C").FindNoCase("{c"), NotFound);
}

TEST(SStringSearch, StoredUnitsVersusLogicalText)
{
    SString s;
    wchar_t* buffer = s.GetBuffer(5);
    std::wmemcpy(buffer, L"ab\0cd", 5);
    ASSERT_EQ(s.GetLength(), 2u);
    EXPECT_EQ(s.Find(L'c'), 3u);             // stored units
    EXPECT_EQ(s.FindNoCase(L'c'), NotFound); // logical text only
    EXPECT_EQ(s.FindOneOf(L"c"), NotFound);
}

TEST(SStringSearch, ForwardSetScans)
{
    RunPositionCases(
        SString(L"xxabcxx"),
        {
            {"FindOneOf", [](const SString& s) { return s.FindOneOf(L"ba"); }, 2},
            {"FindOneOf ignoring case",
             [](const SString& s) { return s.FindOneOf(L"BA", 0, NotFound, false); }, 2},
            {"FindOneOf matching case", [](const SString& s) { return s.FindOneOf(L"BA"); }, NotFound},
            {"FindOneOf from", [](const SString& s) { return s.FindOneOf(L"x", 2); }, 5},
            {"FindOneOf bounded", [](const SString& s) { return s.FindOneOf(L"x", 2, 4); }, NotFound},
            {"FindOneOf negative from", [](const SString& s) { return s.FindOneOf(L"x", -5); }, 0},
            {"FindOneOf from at the end", [](const SString& s) { return s.FindOneOf(L"x", 7); }, NotFound},
            {"FindOneOf null set", [](const SString& s) { return s.FindOneOf(nullptr); }, NotFound},
            {"ScanNotOf", [](const SString& s) { return s.ScanNotOf(L"x"); }, 2},
            {"ScanNotOf all in set", [](const SString& s) { return s.ScanNotOf(L"xabc"); }, 7},
            {"ScanOneOf", [](const SString& s) { return s.ScanOneOf(L"c"); }, 4},
            {"ScanOneOf bounded miss", [](const SString& s) { return s.ScanOneOf(L"c", 0, 3); }, 4},
            {"ScanOneOf end beyond text", [](const SString& s) { return s.ScanOneOf(L"c", 0, 50); }, 4},
            {"ScanNotOf inverted range", [](const SString& s) { return s.ScanNotOf(L"q", 5, 2); }, 5},
            {"span including", [](const SString& s) { return s.GetSpanIncludingLength(L"x"); }, 2},
            {"span including from", [](const SString& s) { return s.GetSpanIncludingLength(L"abc", 2); }, 3},
            {"span including none", [](const SString& s) { return s.GetSpanIncludingLength(L"x", 2); }, 0},
            {"span including inverted", [](const SString& s) { return s.GetSpanIncludingLength(L"x", 5, 2); },
             0},
            {"span excluding", [](const SString& s) { return s.GetSpanExcludingLength(L"c"); }, 4},
            {"span excluding bounded", [](const SString& s) { return s.GetSpanExcludingLength(L"c", 0, 2); },
             3},
            {"span null set", [](const SString& s) { return s.GetSpanExcludingLength(nullptr); }, 0},
        });
    const SString s(L"xxabcxx");
    EXPECT_EQ(Wide(s.SpanIncluding(L"x")), L"xx");
    EXPECT_EQ(Wide(s.SpanExcluding(L"c")), L"xxab");
    EXPECT_EQ(Wide(s.SpanExcluding(L"x", 2)), L"abc");
    EXPECT_EQ(Wide(s.SpanIncluding(L"X", 0, NotFound, false)), L"xx");
    EXPECT_TRUE(s.SpanIncluding(L"x", 2).IsEmpty());
    EXPECT_TRUE(s.SpanIncluding(nullptr).IsEmpty());

    const SString empty;
    EXPECT_EQ(empty.FindOneOf(L"abc"), NotFound);
    EXPECT_EQ(empty.GetSpanIncludingLength(L"abc"), 0u);
    EXPECT_EQ(empty.ScanNotOf(L"abc"), NotFound);
    EXPECT_TRUE(empty.SpanExcluding(L"abc").IsEmpty());
}

TEST(SStringSearch, BackwardSetScans)
{
    RunPositionCases(
        SString(L"xxabcxx"),
        {
            {"ReverseFindOneOf", [](const SString& s) { return s.ReverseFindOneOf(L"ab"); }, 3},
            {"ReverseFindOneOf below", [](const SString& s) { return s.ReverseFindOneOf(L"x", 4); }, 1},
            {"ReverseFindOneOf bounded", [](const SString& s) { return s.ReverseFindOneOf(L"x", 4, 2); },
             NotFound},
            {"ReverseFindOneOf miss", [](const SString& s) { return s.ReverseFindOneOf(L"q"); }, NotFound},
            {"ReverseFindOneOf ignoring case",
             [](const SString& s) { return s.ReverseFindOneOf(L"AB", NotFound, 0, false); }, 3},
            {"ReverseScanNotOf", [](const SString& s) { return s.ReverseScanNotOf(L"x"); }, 4},
            {"ReverseScanOneOf miss gives lower - 1",
             [](const SString& s) { return s.ReverseScanOneOf(L"q", NotFound, 2); }, 1},
            {"ReverseScanNotOf all in set", [](const SString& s) { return s.ReverseScanNotOf(L"xabc"); },
             NotFound},
            {"reverse span including",
             [](const SString& s) { return s.GetReverseSpanIncludingLength(L"xc"); }, 3},
            {"reverse span including all",
             [](const SString& s) { return s.GetReverseSpanIncludingLength(L"xabc"); }, 7},
            {"reverse span excluding", [](const SString& s) { return s.GetReverseSpanExcludingLength(L"a"); },
             4},
            {"reverse span from", [](const SString& s) { return s.GetReverseSpanIncludingLength(L"x", 4); },
             0},
        });
    const SString s(L"xxabcxx");
    EXPECT_EQ(Wide(s.ReverseSpanIncluding(L"xc")), L"cxx");
    EXPECT_EQ(Wide(s.ReverseSpanExcluding(L"a")), L"bcxx");
    EXPECT_EQ(Wide(s.ReverseSpanExcluding(L"x", 4, 3)), L"bc");
    EXPECT_TRUE(s.ReverseSpanIncluding(L"x", 4).IsEmpty());
    EXPECT_EQ(SString(L"a\\b/c").ReverseFindOneOf(L"\\/"), 3u);
    EXPECT_EQ(SString().ReverseFindOneOf(L"a"), NotFound);
    EXPECT_EQ(SString().GetReverseSpanIncludingLength(L"a"), 0u);
}

TEST(SStringTrim, Table)
{
    struct Case
    {
        const char* name;
        const wchar_t* text;
        std::function<size_t(SString&)> op;
        const wchar_t* expected;
        size_t result;
    };
    const Case cases[] = {
        {"whitespace only", L"\t\n\t\n", [](SString& s) { return s.TrimWhitespace(); }, L"", 0},
        {"leading form feed", L"\fa b", [](SString& s) { return s.TrimWhitespace(); }, L"a b", 3},
        {"every whitespace unit", L" \v\r a b \r\n\f\t", [](SString& s) { return s.TrimWhitespace(); },
         L"a b", 3},
        {"whitespace of empty", L"", [](SString& s) { return s.TrimWhitespace(); }, L"", 0},
        {"right char all", L"xxx", [](SString& s) { return s.TrimRight(L'x'); }, L"", 0},
        {"right char some", L"axx", [](SString& s) { return s.TrimRight(L'x'); }, L"a", 1},
        {"right char none", L"xa", [](SString& s) { return s.TrimRight(L'x'); }, L"xa", 2},
        {"right char empty", L"", [](SString& s) { return s.TrimRight(L'x'); }, L"", 0},
        {"right set", L"abyx", [](SString& s) { return s.TrimRight(L"xy"); }, L"ab", 2},
        {"right set all", L"ab", [](SString& s) { return s.TrimRight(L"ba"); }, L"", 0},
        {"right null set", L"ab ",
         [](SString& s) { return s.TrimRight(static_cast<const wchar_t*>(nullptr)); }, L"ab ", 3},
        {"left char", L"xxab", [](SString& s) { return size_t{s.TrimLeft(L'x')}; }, L"ab", 1},
        {"left set", L"xyyxab", [](SString& s) { return size_t{s.TrimLeft(L"yx")}; }, L"ab", 1},
        {"left set all", L"xyx", [](SString& s) { return size_t{s.TrimLeft(L"xy")}; }, L"", 1},
        {"left null set", L" a",
         [](SString& s) { return size_t{s.TrimLeft(static_cast<const wchar_t*>(nullptr))}; }, L" a", 0},
        {"both chars", L"--a-b--", [](SString& s) { return s.Trim(L'-'); }, L"a-b", 3},
        {"both set", L"+-a+-", [](SString& s) { return s.Trim(L"-+"); }, L"a", 1},
        {"blanks", L" \ta b\t ", [](SString& s) { return s.TrimBlanks(); }, L"a b", 3},
        {"line feeds are not blanks", L"\na\n", [](SString& s) { return s.TrimBlanks(); }, L"\na\n", 3},
        {"left blanks", L"\t x ", [](SString& s) { return size_t{s.TrimLeftBlanks()}; }, L"x ", 1},
        {"right blanks", L" x \t", [](SString& s) { return s.TrimRightBlanks(); }, L" x", 2},
        {"right blanks all", L" \t ", [](SString& s) { return s.TrimRightBlanks(); }, L"", 0},
        {"left whitespace", L"\r\nx\r\n", [](SString& s) { return size_t{s.TrimLeftWhitespace()}; }, L"x\r\n",
         1},
        {"right whitespace", L"\r\nx\r\n", [](SString& s) { return s.TrimRightWhitespace(); }, L"\r\nx", 3},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SString s(c.text);
        EXPECT_EQ(c.op(s), c.result);
        EXPECT_EQ(Wide(s), c.expected);
        EXPECT_EQ(s.GetSize(), s.GetLength());
    }

    SStringUtf8 narrow("  \xC3\xA9 \t");
    EXPECT_EQ(narrow.TrimWhitespace(), 2u);
    EXPECT_EQ(std::string(narrow.c_str()), "\xC3\xA9");
}

TEST(SStringSplit, Table)
{
    enum class Op
    {
        First,
        Last,
        FirstOf,
        LastOf
    };
    struct Case
    {
        const wchar_t* text;
        Op op;
        const wchar_t* separators;
        const wchar_t* left;
        const wchar_t* right;
    };
    const Case cases[] = {
        {L"key=value", Op::First, L"=", L"key", L"value"},
        {L"a=b=c", Op::First, L"=", L"a", L"b=c"},
        {L"a=b=c", Op::Last, L"=", L"a=b", L"c"},
        {L"novalue", Op::First, L"=", L"novalue", L""},
        {L"novalue", Op::Last, L"=", L"novalue", L""},
        {L"=x", Op::First, L"=", L"", L"x"},
        {L"x=", Op::Last, L"=", L"x", L""},
        {L"a=b", Op::First, L"", L"a=b", L""}, // a NUL separator is never found
        {L"a/b\\c", Op::FirstOf, L"\\/", L"a", L"b\\c"},
        {L"a/b\\c", Op::LastOf, L"\\/", L"a/b", L"c"},
        {L"abc", Op::FirstOf, L"xyz", L"abc", L""},
        {L"abc", Op::LastOf, L"xyz", L"abc", L""},
        {L"", Op::FirstOf, L"x", L"", L""},
        {L"", Op::First, L"x", L"", L""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " on text of length "
                                        << std::wstring(c.text).size());
        const SString text(c.text);
        SString left(L"stale left");
        SString right(L"stale right");
        switch (c.op)
        {
        case Op::First:
            text.SplitAtFirst(left, right, c.separators[0]);
            break;
        case Op::Last:
            text.SplitAtLast(left, right, c.separators[0]);
            break;
        case Op::FirstOf:
            text.SplitAtFirstOf(left, right, c.separators);
            break;
        case Op::LastOf:
            text.SplitAtLastOf(left, right, c.separators);
            break;
        }
        EXPECT_EQ(Wide(left), c.left);
        EXPECT_EQ(Wide(right), c.right);
    }
}

TEST(SStringSplit, IntoItself)
{
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

TEST(SStringReplace, Table)
{
    struct Case
    {
        const wchar_t* text;
        const wchar_t* find;
        const wchar_t* with;
        bool ignoreCase;
        bool wholeWord;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"set reset set-up pre-set set", L"set", L"get", false, true, L"get reset set-up pre-set get"},
        {L"set reset set-up pre-set set", L"set", L"get", false, false, L"get reget get-up pre-get get"},
        {L"x-set 1-set set_a set1 _set set-1", L"set", L"get", false, true,
         L"x-set 1-get set_a set1 _set get-1"},
        {L"SET Set sEt", L"set", L"get", true, false, L"get get get"},
        {L"SET Set", L"set", L"get", false, false, L"SET Set"},
        {L"Hello", L"L", L"_", true, false, L"He__o"},
        {L"abc", L"abc", L"abc", false, false, L"abc"},
        {L"aaa", L"a", L"aa", false, false, L"aaaaaa"}, // inserted text is not searched again
        {L"aaa", L"aa", L"b", false, false, L"ba"},
        {L"a.b.c", L".", L"", false, false, L"abc"},
        {L"abc", L"", L"x", false, false, L"abc"},
        {L"", L"a", L"b", false, false, L""},
        {L"one two", L"one two three", L"x", false, false, L"one two"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "find length " << std::wstring(c.find).size() << ", ignoreCase "
                                        << c.ignoreCase << ", wholeWord " << c.wholeWord);
        SString s(c.text);
        EXPECT_EQ(&s.Replace(SString(c.find), SString(c.with), c.ignoreCase, c.wholeWord), &s);
        EXPECT_EQ(Wide(s), c.expected);
    }

    SString self(L"abc");
    self.Replace(self, SString(L"x"));
    EXPECT_EQ(Wide(self), L"x");

    SStringA narrow("Path=PATH;path");
    narrow.Replace(SStringA("path"), SStringA("dir"), true, true);
    EXPECT_EQ(std::string(narrow.c_str()), "dir=dir;dir");
}

TEST(SStringReplace, ReplaceChar)
{
    SString s(L"a/b/c");
    s.ReplaceChar(L'/', L'\\');
    EXPECT_EQ(Wide(s), L"a\\b\\c");
    s.ReplaceChar(L'\\', L'\\');
    EXPECT_EQ(Wide(s), L"a\\b\\c");
    s.ReplaceChar(L'z', L'y');
    EXPECT_EQ(Wide(s), L"a\\b\\c");
    s.ReplaceChar(L'\\', 0);
    EXPECT_EQ(Wide(s), L"a");
}

TEST(SStringEnclose, AllSources)
{
    SString s(L"x");
    s.Enclose(L"\"");
    EXPECT_EQ(Wide(s), L"\"x\"");
    s.Enclose("'");
    EXPECT_EQ(Wide(s), L"'\"x\"'");
    SString t(L"x");
    t.Enclose(SStringUtf8("\xC3\xA9"));
    EXPECT_EQ(Wide(t), L"\u00E9x\u00E9");
    SString self(L"ab");
    self.Enclose(self);
    EXPECT_EQ(Wide(self), L"ababab");
    SString counted(L"-");
    counted.Enclose(L"[]", 1);
    EXPECT_EQ(Wide(counted), L"[-[");

    SStringUtf8 narrow("x");
    narrow.Enclose(L"\u00E9");
    EXPECT_EQ(std::string(narrow.c_str()), "\xC3\xA9x\xC3\xA9");
}
