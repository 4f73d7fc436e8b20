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
        const SPath path(plain.c_str());
        SPath out(L"stale"), self(plain.c_str());
        EXPECT_EQ(std::wstring(path.GetExtendedLengthPath(out).c_str()), prefixed ? prefix + plain : plain);
        EXPECT_EQ(std::wstring(path.c_str()), plain); // the path itself keeps its plain form
        EXPECT_EQ(std::wstring(self.GetExtendedLengthPath(self).c_str()), prefixed ? prefix + plain : plain);
    }
}
