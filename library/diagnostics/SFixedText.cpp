#include "library/diagnostics/SFixedText.h"

#include <cstdio>

namespace S
{

size_t AppendFixedTextV(wchar_t* buffer, size_t capacity, size_t length, const wchar_t* format,
                        va_list arguments) noexcept
{
    if (length >= capacity)
    {
        buffer[capacity] = L'\0';
        return capacity;
    }
    const size_t room = capacity - length;
    // The runtime's own _vsnwprintf: it neither terminates a cut text nor counts past the room.
    const int written = _vsnwprintf(buffer + length, room, format, arguments);
    const size_t added =
        (written < 0 || static_cast<size_t>(written) > room) ? room : static_cast<size_t>(written);
    buffer[length + added] = L'\0';
    return length + added;
}

} // namespace S
