#include "library/diagnostics/SException.h"
#include "library/diagnostics/SFixedText.h"
#include "library/diagnostics/SResult.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{

unsigned long long AsFileTime(const SYSTEMTIME& time)
{
    FILETIME file{};
    SystemTimeToFileTime(&time, &file);
    return (static_cast<unsigned long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

} // namespace

TEST(SException, KeepsItsFieldsTimeAndCutTextsInCopies)
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const std::string longMessage(2000, 'm');
    const std::string longPlace(700, 'p');
    auto original = std::make_unique<S::SException>(0xA0040200u, longMessage.c_str(), longPlace.c_str(), 503);
    const S::SException copy = *original;
    original.reset();
    EXPECT_TRUE(copy.Failed());
    EXPECT_EQ(std::string(copy.what()), longMessage.substr(0, S::SException::MaxMessageLength));
    EXPECT_EQ(std::string(copy.GetPlace()), longPlace.substr(0, S::SException::MaxPlaceLength));
    EXPECT_EQ(copy.GetLine(), 503u);
    EXPECT_STREQ(copy.GetClassName(), "SException");
    // SYSTEMTIME has millisecond resolution: the UTC time of construction, within a second.
    EXPECT_LT(AsFileTime(copy.GetTime()) - AsFileTime(now), 10000000ull);
    EXPECT_STREQ(S::SException(0xA0040201u).GetPlace(), "");

    EXPECT_TRUE(S::SResult(1).Succeeded());
    EXPECT_TRUE(S::SResult(0xA0040481u).Failed());
    EXPECT_EQ(S::SResult(0x80070005u), S::HResultFromWin32(5));
}

TEST(SFixedText, FormatsAndAppendsUpToItsCapacity)
{
    S::SFixedTextW<10> text;
    text.Format(L"%s-%S", L"ab", "cd");
    text.Append(L"%.3u", 7u);
    EXPECT_STREQ(text.Get(), L"ab-cd007");
    text.Append(L"%s", L"wxyz");
    EXPECT_STREQ(text.Get(), L"ab-cd007wx");
    EXPECT_EQ(text.GetLength(), 10u);
    text.Format(L"%s", L"0123456789A");
    EXPECT_STREQ(text.Get(), L"0123456789");
}
