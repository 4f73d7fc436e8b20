#include "library/utility/SNumber.h"

#include <cstdlib>
#include <cwchar>
#include <type_traits>

namespace S
{

namespace
{

constexpr size_t FormatBufferSize = 65;

// The runtime's integer-to-text conversion for each width; signed values print a minus sign
// in radix 10 only, as the runtime does.
void ConvertInteger(unsigned short value, wchar_t* buffer, int radix)
{
    _ultow(value, buffer, radix);
}
void ConvertInteger(unsigned int value, wchar_t* buffer, int radix)
{
    _ultow(value, buffer, radix);
}
void ConvertInteger(int value, wchar_t* buffer, int radix)
{
    _itow(value, buffer, radix);
}
void ConvertInteger(unsigned long long value, wchar_t* buffer, int radix)
{
    _ui64tow(value, buffer, radix);
}

} // namespace

template <typename T> void SNumber<T>::FormatValue(SString& out, unsigned char radix) const
{
    wchar_t* buffer = out.GetBuffer(FormatBufferSize);
    if (radix == 16)
    {
        // Negative values print as the unsigned value of the same width.
        const auto bits = static_cast<unsigned long long>(static_cast<std::make_unsigned_t<T>>(m_Value));
        if (_snwprintf(buffer, FormatBufferSize, L"%#I64x", bits) < 0)
            buffer[0] = L'\0';
    }
    else
    {
        ConvertInteger(m_Value, buffer, radix >= 2 && radix <= 36 ? radix : 10);
    }
    out.ReleaseBuffer(static_cast<size_t>(-1));
}

template <typename T, int Tag, int Flags>
void SBitMask<T, Tag, Flags>::FormatValue(SString& out, unsigned char radix) const
{
    if (radix != 2)
    {
        SNumber<T>::FormatValue(out, radix);
        return;
    }
    constexpr int bits = static_cast<int>(sizeof(T) * 8);
    const auto value = static_cast<unsigned long long>(static_cast<std::make_unsigned_t<T>>(this->m_Value));
    wchar_t text[bits + bits / 8 + 1];
    size_t length = 0;
    for (int bit = bits - 1; bit >= 0; --bit)
    {
        text[length++] = (value >> bit) & 1 ? L'1' : L'0';
        if (bit % 8 == 0 && bit != 0)
            text[length++] = L' ';
    }
    text[length] = L'\0';
    out.Assign(text, length, nullptr);
}

template class SNumber<unsigned short>;
template class SNumber<unsigned int>;
template class SNumber<int>;
template class SNumber<unsigned long long>;
template class SBitMask<unsigned short, 1, 0>;
template class SBitMask<unsigned int, 1, 0>;
template class SBitMask<int, 1, 0>;
template class SBitMask<unsigned long long, 1, 0>;

} // namespace S
