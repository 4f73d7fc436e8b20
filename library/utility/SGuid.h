// SGuid: a 16-byte GUID value in the Windows layout with a strict text parser. A plain value;
// thread-safe as any struct. Failure contract: a failed parse leaves the value unchanged.
#pragma once

#include "library/utility/SString.h"

#include <compare>
#include <cstdint>

namespace S
{

class SGuid
{
public:
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};

    // The 36-character form "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (any case); the text may go
    // on after it when the next unit is not a hexadecimal digit.
    bool Parse(const SString& text) noexcept;
    // The braced form: '{' first, '}' last, the 36-character form between them.
    bool ParseBraced(const SString& text) noexcept;

    friend bool operator==(const SGuid& a, const SGuid& b) noexcept;
    // Data1, Data2, Data3 unsigned, then Data4 bytewise.
    friend std::strong_ordering operator<=>(const SGuid& a, const SGuid& b) noexcept;
};

static_assert(sizeof(SGuid) == 16);

} // namespace S
