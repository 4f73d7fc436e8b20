#include "library/diagnostics/SLogValues.h"

#include <gtest/gtest.h>

using namespace S;

TEST(SLogValues, ToStringNamesValuesPartsAndUnknownBits)
{
    const struct
    {
        int value;
        const wchar_t* text;
    } levels[] =
        {
            {0, L"None"},
            {48, L"Debug"},
            {311, L"All"},
            {-1, L"Invalid"},
            {55, L"Fatal + Error + Warning + Info + Debug"},
            {2, L"2"}, // a bit inside the mask that no name consumes
            {0x400, L"[400]"},
            {0x422, L"22 + [400]"},
        },
      types[] = {{19, L"Default"}, {-1, L"Invalid"}, {6, L"File + Remote"}, {0x48, L"Database + [40]"}};
    for (const auto& row : levels)
        EXPECT_STREQ(SLogLevel(row.value).ToString().c_str(), row.text) << row.value;
    for (const auto& row : types)
        EXPECT_STREQ(SLogType(row.value).ToString().c_str(), row.text) << row.value;
    EXPECT_STREQ(SLogSource().ToString().c_str(), L"CLNT");
}

TEST(SLogValues, ValidityAndEnabling)
{
    for (int value : {0, 1, 3, 16, 48, 311})
        EXPECT_TRUE(SLogLevel().IsValid(value)) << value;
    for (int value : {-1, 2, 32, 55, 312})
        EXPECT_FALSE(SLogLevel().IsValid(value)) << value;
    for (int value : {3, 6, 32})
        EXPECT_FALSE(SLogType().IsValid(value)) << value;
    EXPECT_TRUE(SLogType().IsValid(19));
    EXPECT_FALSE(SLogSource().IsValid(0x434C4E55)); // "CLNU"
    EXPECT_FALSE(SLogSource().IsValidValue(0));     // unlike a plain bit mask
    EXPECT_TRUE(SLogLevel(SLogLevel::Debug).IsEnabledIn(48));
    EXPECT_FALSE(SLogLevel(SLogLevel::Debug).IsEnabledIn(16)); // both Debug bits are needed
    EXPECT_TRUE(SLogLevel(SLogLevel::Fatal).IsEnabledIn(SLogLevel::Error));
}
