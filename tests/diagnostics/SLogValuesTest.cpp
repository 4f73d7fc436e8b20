#include "library/diagnostics/SLogValues.h"

#include <gtest/gtest.h>

using namespace S;

TEST(SLogLevel, ToStringNamesValuesAndParts)
{
    const struct
    {
        int value;
        const wchar_t* text;
    } rows[] = {
        {0, L"None"},
        {1, L"Fatal"},
        {48, L"Debug"},
        {311, L"All"},
        {-1, L"Invalid"},
        {55, L"Fatal + Error + Warning + Info + Debug"},
        {23, L"Fatal + Error + Warning + Info"},
        {257, L"Fatal + Trace"},
        {2, L"2"},         // a bit inside the mask that no name consumes
        {32, L"20"},       // half of Debug
        {0x400, L"[400]"}, // outside the mask
        {0x401, L"Fatal + [400]"},
        {0x422, L"22 + [400]"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(SLogLevel(row.value).ToString().c_str(), row.text) << row.value;
}

TEST(SLogLevel, ValidityAndEnabling)
{
    const SLogLevel level;
    for (int value : {0, 1, 3, 7, 16, 23, 48, 256, 311})
        EXPECT_TRUE(level.IsValid(value)) << value;
    for (int value : {-1, 2, 4, 32, 55, 312, 0x400})
        EXPECT_FALSE(level.IsValid(value)) << value;
    EXPECT_EQ(level.GetMaxValue(), 311);
    EXPECT_TRUE(level.IsValidValue(55)); // inside the mask, though not a named level
    EXPECT_FALSE(level.IsValidValue(0x400));

    EXPECT_TRUE(SLogLevel(SLogLevel::Debug).IsEnabledIn(SLogLevel::All));
    EXPECT_TRUE(SLogLevel(SLogLevel::Debug).IsEnabledIn(48));
    EXPECT_FALSE(SLogLevel(SLogLevel::Debug).IsEnabledIn(16));
    EXPECT_FALSE(SLogLevel(SLogLevel::Error).IsEnabledIn(SLogLevel::Fatal));
    EXPECT_TRUE(SLogLevel(SLogLevel::Fatal).IsEnabledIn(SLogLevel::Error));
}

TEST(SLogType, ToStringNamesValuesAndFlags)
{
    const struct
    {
        int value;
        const wchar_t* text;
    } rows[] = {
        {0, L"None"},          {2, L"File"},
        {16, L"Event_log"},    {19, L"Default"},
        {31, L"All"},          {-1, L"Invalid"},
        {6, L"File + Remote"}, {3, L"Trace + File"},
        {0x40, L"[40]"},       {0x48, L"Database + [40]"},
    };
    for (const auto& row : rows)
        EXPECT_STREQ(SLogType(row.value).ToString().c_str(), row.text) << row.value;

    const SLogType type;
    for (int value : {0, 1, 2, 4, 8, 16, 19, 31})
        EXPECT_TRUE(type.IsValid(value)) << value;
    for (int value : {-1, 3, 6, 32})
        EXPECT_FALSE(type.IsValid(value)) << value;
    EXPECT_EQ(type.GetMaxValue(), 31);
}

TEST(SLogSource, FourCharacterCodes)
{
    EXPECT_STREQ(SLogSource().ToString().c_str(), L"CLNT");
    EXPECT_STREQ(SLogSource(SLogSource::Susr).ToString().c_str(), L"SUSR");
    const SLogSource source;
    for (int value :
         {SLogSource::Blank, SLogSource::Client, SLogSource::Auin, SLogSource::Clin, SLogSource::Susr})
        EXPECT_TRUE(source.IsValid(value)) << std::hex << value;
    EXPECT_FALSE(source.IsValid(0x434C4E55)); // "CLNU"
    EXPECT_FALSE(source.IsValid(0));
    // Zero is no source at all, unlike the plain bit mask.
    EXPECT_FALSE(source.IsValidValue(0));
    EXPECT_TRUE(SBitMask<int>().IsValidValue(0));
}
