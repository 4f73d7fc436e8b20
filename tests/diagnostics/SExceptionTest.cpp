#include "library/diagnostics/SException.h"
#include "library/diagnostics/SFixedText.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

unsigned long long AsFileTime(const SYSTEMTIME& time)
{
    FILETIME file{};
    SystemTimeToFileTime(&time, &file);
    return (static_cast<unsigned long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

unsigned long long UtcNow()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace

TEST(SException, KeepsItsFieldsAndTheUtcTimeOfConstruction)
{
    const unsigned long long before = UtcNow();
    const S::SException e(0xA0040200u, "the message", "S::Some::Place", 503);
    const unsigned long long after = UtcNow();
    EXPECT_EQ(e.Unsigned(), 0xA0040200u);
    EXPECT_TRUE(e.Failed());
    EXPECT_STREQ(e.what(), "the message");
    EXPECT_STREQ(e.GetMessage(), "the message");
    EXPECT_STREQ(e.GetPlace(), "S::Some::Place");
    EXPECT_EQ(e.GetLine(), 503u);
    EXPECT_STREQ(e.GetClassName(), "SException");
    // SYSTEMTIME has millisecond resolution, the clock 100 ns.
    EXPECT_GE(AsFileTime(e.GetTime()) + 10000, before);
    EXPECT_LE(AsFileTime(e.GetTime()), after);

    const S::SException absent(0xA0040201u);
    EXPECT_STREQ(absent.GetPlace(), "");
    EXPECT_STREQ(absent.what(), "");
}

TEST(SException, LongTextsAreCutAndCopiesAreIndependent)
{
    const std::string longMessage(2000, 'm');
    const std::string longPlace(700, 'p');
    auto original = std::make_unique<S::SException>(1, longMessage.c_str(), longPlace.c_str(), 1);
    EXPECT_EQ(std::string(original->GetMessage()), longMessage.substr(0, S::SException::MaxMessageLength));
    EXPECT_EQ(std::string(original->GetPlace()), longPlace.substr(0, S::SException::MaxPlaceLength));

    const S::SException copy = *original;
    original.reset();
    EXPECT_EQ(std::string(copy.what()), longMessage.substr(0, S::SException::MaxMessageLength));
    EXPECT_EQ(copy.GetLine(), 1u);

    try
    {
        throw S::SException(0xA0040202u, "thrown");
    }
    catch (const std::exception& e)
    {
        EXPECT_STREQ(e.what(), "thrown");
    }
}

TEST(SFixedText, FormatsAndAppendsUpToItsCapacity)
{
    S::SFixedTextW<10> text;
    text.Format(L"%s-%S", L"ab", "cd");
    EXPECT_STREQ(text.Get(), L"ab-cd");
    EXPECT_EQ(text.GetLength(), 5u);
    text.Append(L"%.3u", 7u);
    EXPECT_STREQ(text.Get(), L"ab-cd007");
    text.Append(L"%s", L"wxyz");
    EXPECT_STREQ(text.Get(), L"ab-cd007wx");
    EXPECT_EQ(text.GetLength(), 10u);
    text.Append(L"more");
    EXPECT_STREQ(text.Get(), L"ab-cd007wx");

    text.Format(L"0123456789"); // exactly the capacity
    EXPECT_STREQ(text.Get(), L"0123456789");
    text.Format(L"%s", L"0123456789A");
    EXPECT_STREQ(text.Get(), L"0123456789");
    text.Format(L"%.8I64x", 0x123456789ull);
    EXPECT_STREQ(text.Get(), L"123456789");
}
