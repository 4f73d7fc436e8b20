#include "library/utility/SPath.h"

#include "FreedMemoryProbe.h"

#include <gtest/gtest.h>

#include <string>

using namespace S;

namespace
{

// A path of exactly `length` units: the start, then letters.
std::wstring PathOfLength(const std::wstring& start, size_t length)
{
    std::wstring path = start;
    while (path.size() < length)
        path += static_cast<wchar_t>(L'a' + path.size() % 26);
    return path;
}

} // namespace

TEST(SPath, ExtendedLengthBoundaryTable)
{
    const std::wstring prefix = L"\\\\?\\";
    const struct
    {
        std::wstring path;
        bool prefixed;
    } cases[] = {
        {L"", false},
        {PathOfLength(L"C:\\", 247), false},
        {PathOfLength(L"C:\\", 248), true},
        {PathOfLength(prefix + L"C:\\", 300), false}, // already prefixed
        {PathOfLength(L"dir\\", 260), true},
        {PathOfLength(L"\\\\server\\share\\", 260), true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.path.size() << " units");
        const SPath path(c.path.c_str());
        SPath out(L"stale");
        EXPECT_EQ(&path.GetExtendedLengthPath(out), &out);
        EXPECT_EQ(std::wstring(out.c_str(), out.GetLength()), c.prefixed ? prefix + c.path : c.path);
        EXPECT_EQ(std::wstring(path.c_str()), c.path); // the path itself keeps its plain form
        SPath self(c.path.c_str());
        EXPECT_EQ(std::wstring(self.GetExtendedLengthPath(self).c_str()),
                  c.prefixed ? prefix + c.path : c.path);
    }
}

TEST(SPath, NarrowSourcesConvertInTheirOwnCodePageAndDestructionWipes)
{
    EXPECT_EQ(std::wstring(SPath(SStringUtf8("C:\\caf\xC3\xA9\\\xE2\x82\xAC")).c_str()),
              L"C:\\caf\u00E9\\\u20AC");
    if (GetACP() == 1252) // the ANSI expectation is written for code page 1252
    {
        EXPECT_EQ(std::wstring(SPath(SStringA("C:\\caf\xE9\\\x80")).c_str()), L"C:\\caf\u00E9\\\u20AC");
    }

    STest::FreedMemoryProbe probe;
    {
        const SPath path(PathOfLength(L"C:\\secret\\", 120).c_str());
        probe.Watch(path.GetNativeBuffer());
    }
    EXPECT_EQ(probe.m_Fate, STest::Fate::FreedZeroed);
}
