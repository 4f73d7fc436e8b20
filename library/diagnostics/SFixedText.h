// Wide text in a fixed buffer, for code that must not allocate (the crash path): formatting and
// appending never fail, they cut the text at the capacity. Format strings follow the runtime's
// wide printf: %s takes wide text, %S narrow text.
// Failure contract: nothing here fails; text beyond the capacity is cut.
// Thread-safety: a value; concurrent reads are fine, any modification needs the caller's exclusion.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace S
{

// Appends the formatted text at buffer[length], cutting it at capacity characters; buffer has room
// for capacity + 1 and stays terminated. Returns the new length.
size_t AppendFixedTextV(wchar_t* buffer, size_t capacity, size_t length, const wchar_t* format,
                        va_list arguments) noexcept;

template <size_t Capacity> class SFixedTextW
{
public:
    SFixedTextW() noexcept = default;

    void Format(const wchar_t* format, ...) noexcept
    {
        va_list arguments;
        va_start(arguments, format);
        m_Length = AppendFixedTextV(m_Text, Capacity, 0, format, arguments);
        va_end(arguments);
    }
    void Append(const wchar_t* format, ...) noexcept
    {
        va_list arguments;
        va_start(arguments, format);
        m_Length = AppendFixedTextV(m_Text, Capacity, m_Length, format, arguments);
        va_end(arguments);
    }
    void FormatV(const wchar_t* format, va_list arguments) noexcept
    {
        m_Length = AppendFixedTextV(m_Text, Capacity, 0, format, arguments);
    }

    const wchar_t* Get() const noexcept { return m_Text; }
    size_t GetLength() const noexcept { return m_Length; }
    static constexpr size_t GetCapacity() noexcept { return Capacity; }

private:
    wchar_t m_Text[Capacity + 1] = {};
    size_t m_Length = 0;
};

} // namespace S
