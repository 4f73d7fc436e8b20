// Number values beneath the library's enumeration types: SNumber prints its value in any radix,
// SBitMask knows which bits are valid for it. Plain values; thread-safe as the integer they hold.
// SBitMask has virtual operations but deliberately no virtual destructor: its objects are
// values, never deleted through a base pointer.
// Failure contract: FormatValue leaves `out` empty when printing fails.
#pragma once

#include "library/utility/SString.h"

#include <cstdint>

namespace S
{

template <typename T> class SNumber
{
public:
    constexpr SNumber() noexcept = default;
    constexpr SNumber(T value) noexcept : m_Value(value) {}

    constexpr T GetValue() const noexcept { return m_Value; }
    constexpr void SetValue(T value) noexcept { m_Value = value; }
    constexpr operator T() const noexcept { return m_Value; }

    // Radix 16: "0x" and lower-case digits ("0" for 0); 2..36: that radix; anything else: 10.
    // `out` is left empty if printing fails.
    void FormatValue(SString& out, unsigned char radix) const;

protected:
    T m_Value{};
};

template <typename T, int Tag = 1> class SBitField : public SNumber<T>
{
public:
    constexpr SBitField() noexcept = default;
    constexpr SBitField(T value) noexcept : SNumber<T>(value) {}
};

template <typename T, int Tag = 1, int Flags = 0> class SBitMask : public SBitField<T, Tag>
{
public:
    constexpr SBitMask() noexcept = default;
    constexpr SBitMask(T value) noexcept : SBitField<T, Tag>(value) {}

    // 0: IsZeroValid(); otherwise every set bit lies inside GetMaxValue().
    virtual bool IsValidValue(T value) const
    {
        if (value == 0)
            return IsZeroValid();
        return (value & ~GetMaxValue()) == 0;
    }
    virtual bool IsValid(T value) const { return IsValidValue(value) ? true : false; }
    // Radix 2 prints every bit of T, most significant first, a blank after each group of 8
    // counted from the least significant end; other radices as SNumber.
    virtual void FormatValue(SString& out, unsigned char radix) const;
    virtual bool IsZeroValid() const { return true; }
    virtual T GetMaxValue() const { return static_cast<T>(~T{0}); }
};

extern template class SNumber<unsigned short>;
extern template class SNumber<unsigned int>;
extern template class SNumber<int>;
extern template class SNumber<unsigned long long>;
extern template class SBitMask<unsigned short, 1, 0>;
extern template class SBitMask<unsigned int, 1, 0>;
extern template class SBitMask<int, 1, 0>;
extern template class SBitMask<unsigned long long, 1, 0>;

} // namespace S
