#include "library/utility/SGuid.h"

#include <cstdio>
#include <cwchar>

namespace S
{

namespace
{

constexpr const wchar_t* HexDigits = L"0123456789abcdef";

// Each group of the 36-character form: where its digits start, where they must end, and
// whether a dash follows.
struct Group
{
    size_t start;
    size_t end;
    bool dash;
};
constexpr Group Groups[] = {{0, 8, true}, {9, 13, true}, {14, 18, true}, {19, 23, true}, {24, 36, false}};

} // namespace

bool SGuid::Parse(const SString& text) noexcept
{
    const wchar_t* units = text.c_str();
    for (const Group& group : Groups)
    {
        if (text.ScanNotOf(HexDigits, static_cast<ptrdiff_t>(group.start), SNpos, false) != group.end)
            return false;
        if (group.dash && units[group.end] != L'-')
            return false;
    }
    unsigned int data1 = 0;
    unsigned short fields[10] = {};
    const int assigned = swscanf(units, L"%08X-%04hX-%04hX-%02hX%02hX-%02hX%02hX%02hX%02hX%02hX%02hX", &data1,
                                 &fields[0], &fields[1], &fields[2], &fields[3], &fields[4], &fields[5],
                                 &fields[6], &fields[7], &fields[8], &fields[9]);
    if (assigned != 11)
        return false;
    Data1 = data1;
    Data2 = fields[0];
    Data3 = fields[1];
    for (int i = 0; i < 8; ++i)
        Data4[i] = static_cast<uint8_t>(fields[2 + i] & 0xFF);
    return true;
}

bool SGuid::ParseBraced(const SString& text) noexcept
{
    const size_t length = text.GetLength();
    if (length < 2 || !text.StartsWithChar(L'{') || !text.EndsWithChar(L'}'))
        return false;
    SString inner;
    text.Mid(inner, 1, length - 2);
    return Parse(inner);
}

bool operator==(const SGuid& a, const SGuid& b) noexcept
{
    return (a <=> b) == 0;
}

std::strong_ordering operator<=>(const SGuid& a, const SGuid& b) noexcept
{
    if (auto order = a.Data1 <=> b.Data1; order != 0)
        return order;
    if (auto order = a.Data2 <=> b.Data2; order != 0)
        return order;
    if (auto order = a.Data3 <=> b.Data3; order != 0)
        return order;
    for (int i = 0; i < 8; ++i)
        if (auto order = a.Data4[i] <=> b.Data4[i]; order != 0)
            return order;
    return std::strong_ordering::equal;
}

} // namespace S
