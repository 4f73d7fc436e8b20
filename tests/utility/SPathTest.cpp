#include "library/utility/SPath.h"

#include <gtest/gtest.h>

#include <string>

using namespace S;

TEST(SPath, ExtendedLengthBoundaryTable)
{
    const std::wstring prefix = L"\\\\?\\";
    // A path of exactly `length` units: the start, then letters.
    const auto Path = [](const std::wstring& start, size_t length)
    { return start + std::wstring(length - start.size(), L'x'); };
    const std::pair<std::wstring, bool> cases[] = {
        {L"", false},
        {Path(L"C:\\", 247), false},
        {Path(L"C:\\", 248), true},
        {Path(prefix + L"C:\\", 300), false}, // already prefixed
        {Path(L"\\\\server\\share\\", 260), true},
    };
    for (const auto& [plain, prefixed] : cases)
    {
        SCOPED_TRACE(testing::Message() << plain.size() << " units");
        SPath out(L"stale"), self(plain.c_str()),
            narrow(SStringA(std::string(plain.begin(), plain.end()).c_str()));
        EXPECT_EQ(std::wstring(self.GetExtendedLengthPath(out).c_str()), prefixed ? prefix + plain : plain);
        EXPECT_EQ(std::wstring(self.GetExtendedLengthPath(self).c_str()), prefixed ? prefix + plain : plain);
        EXPECT_EQ(std::wstring(narrow.GetExtendedLengthPath(out).c_str()), prefixed ? prefix + plain : plain);
    }
    EXPECT_EQ(std::wstring(SPath(SStringUtf8("C:\\caf\xC3\xA9\\\xE4\xB8\xAD")).c_str()),
              L"C:\\caf\u00E9\\\u4E2D");
}
