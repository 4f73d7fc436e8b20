#include "library/diagnostics/log/SLogValues.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace S;

TEST(LogValues, NamesAndValidityOfLevelsTypesAndSources)
{
    // Level, Type or Source; value, text, valid, valid as a bit mask (every bit inside the maximum;
    // a source of zero is no source). 23 is a level without a name of its own, 2 half of Error;
    // composite types are no parts of others.
    const std::tuple<char, int, const wchar_t*, bool, bool> rows[] = {
        {'L', 0, L"None", true, true},
        {'L', 23, L"Fatal + Error + Warning + Info", true, true},
        {'L', 55, L"Fatal + Error + Warning + Info + Debug", false, true},
        {'L', 311, L"All", true, true},
        {'L', -1, L"Invalid", false, false},
        {'L', 2, L"2", false, true},
        {'L', 273, L"Fatal + Info + Trace", false, true},
        {'L', 0x400, L"[400]", false, false},
        {'L', 0x7 | 0x40, L"Fatal + Error + Warning + [40]", false, false},
        {'L', 0x20 | 0x1008, L"20 + [1008]", false, false},
        {'T', 6, L"File + Remote", false, true},
        {'T', 19, L"Default", true, true},
        {'T', 31, L"All", true, true},
        {'T', 3, L"Trace + File", false, true},
        {'T', 23, L"Trace + File + Remote + Event_log", false, true},
        {'T', -1, L"Invalid", false, false},
        {'T', 0x40, L"[40]", false, false},
        {'T', 0x25, L"Trace + Remote + [20]", false, false},
        {'S', 0x434C4E54, L"CLNT", true, true},
        {'S', 0x20202020, L"    ", true, true},
        {'S', 0x4155494E, L"AUIN", true, true},
        {'S', 0x434C494E, L"CLIN", true, true},
        {'S', 0x53555352, L"SUSR", true, true},
        {'S', 0x434C4E55, L"CLNU", false, true},
        {'S', 0, L"", false, false}};
    const auto facts = [](const auto& v, int value)
    { return std::tuple(std::wstring(v.ToString().c_str()), v.IsValid(), v.IsValidValue(value)); };
    for (const auto& [kind, value, text, valid, mask] : rows)
        EXPECT_EQ(kind == 'L'   ? facts(SLogLevel(value), value)
                  : kind == 'T' ? facts(SLogType(value), value)
                                : facts(SLogSource(value), value),
                  std::tuple(std::wstring(text), valid, mask))
            << kind << std::hex << value;
    EXPECT_EQ(SLogLevel().GetMaxValue() + SLogType().GetMaxValue(), 311 + 31);
}
