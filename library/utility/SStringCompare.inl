// Part of SString.cpp, which includes it once and instantiates the string types there.
#pragma once

#include "library/utility/SString.h"

#include "library/utility/STextScan.h"

namespace S
{

namespace
{

template <typename C> bool SameUnits(const C* a, const C* b, size_t n, bool ignoreCase)
{
    for (size_t i = 0; i < n; ++i)
    {
        const C x = ignoreCase ? TextScan::UpperAscii(a[i]) : a[i];
        const C y = ignoreCase ? TextScan::UpperAscii(b[i]) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

template <typename C>
bool StartsWithUnits(const C* text, size_t length, const C* prefix, size_t n, C separator, bool ignoreCase)
{
    if (n > length || !SameUnits(text, prefix, n, ignoreCase))
        return false;
    if (separator == C(0) || length == n)
        return true;
    return ignoreCase ? TextScan::UpperAscii(text[n]) == TextScan::UpperAscii(separator)
                      : text[n] == separator;
}

template <typename C>
bool EndsWithUnits(const C* text, size_t length, const C* suffix, size_t n, C separator, bool ignoreCase)
{
    if (n > length || !SameUnits(text + (length - n), suffix, n, ignoreCase))
        return false;
    if (separator == C(0) || length == n)
        return true;
    const C before = text[length - n - 1];
    return ignoreCase ? TextScan::UpperAscii(before) == TextScan::UpperAscii(separator) : before == separator;
}

} // namespace

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::operator==(const SStringBaseT& other) const
{
    return IsEqual(other);
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::operator!=(const SStringBaseT& other) const
{
    return !IsEqual(other);
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::StartsWith(const SStringBaseT& prefix, C separator, size_t* matched) const
{
    const size_t n = prefix.GetLength();
    const bool result = StartsWithUnits(this->c_str(), GetLength(), prefix.c_str(), n, separator, false);
    if (matched != nullptr)
        *matched = result ? n : 0;
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::EndsWith(const SStringBaseT& suffix, C separator, size_t* matched) const
{
    const size_t n = suffix.GetLength();
    const bool result = EndsWithUnits(this->c_str(), GetLength(), suffix.c_str(), n, separator, false);
    if (matched != nullptr)
        *matched = result ? n : 0;
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::IsEqual(const SStringBaseT& other) const
{
    const size_t length = GetLength();
    return length == other.GetLength() && SameUnits(this->c_str(), other.c_str(), length, false);
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::IsNotEqual(const SStringBaseT& other) const
{
    return !IsEqual(other);
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::Contains(const SStringBaseT& sub, size_t* position) const
{
    const std::basic_string_view<C> text(this->c_str(), GetLength());
    const size_t found = text.find(std::basic_string_view<C>(sub.c_str(), sub.GetLength()));
    if (position != nullptr)
        *position = found;
    return found != SNpos;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::StartsWithNoCase(const SStringBaseT& prefix, C separator,
                                                  size_t* matched) const
{
    const size_t n = prefix.GetLength();
    const bool result = StartsWithUnits(this->c_str(), GetLength(), prefix.c_str(), n, separator, true);
    if (matched != nullptr)
        *matched = result ? n : 0;
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::EndsWithNoCase(const SStringBaseT& suffix, C separator,
                                                size_t* matched) const
{
    const size_t n = suffix.GetLength();
    const bool result = EndsWithUnits(this->c_str(), GetLength(), suffix.c_str(), n, separator, true);
    if (matched != nullptr)
        *matched = result ? n : 0;
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::IsEqualNoCase(const SStringBaseT& other) const
{
    const size_t length = GetLength();
    return length == other.GetLength() && SameUnits(this->c_str(), other.c_str(), length, true);
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::IsNotEqualNoCase(const SStringBaseT& other) const
{
    return !IsEqualNoCase(other);
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::ContainsNoCase(const SStringBaseT& sub, size_t* position) const
{
    const size_t length = GetLength();
    const size_t n = sub.GetLength();
    size_t found = SNpos;
    if (length == 0 && n == 0)
        found = 0;
    else if (length != 0 && n != 0)
    {
        for (size_t i = 0; length - i >= n; ++i)
        {
            if (TextScan::CompareNoCaseN(this->c_str() + i, sub.c_str(), n) == 0)
            {
                found = i;
                break;
            }
        }
    }
    if (position != nullptr)
        *position = found;
    return found != SNpos;
}

namespace
{

int Sign(int v) noexcept
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

} // namespace

template <class Str, class C, UINT D, int F>
int SStringBaseT<Str, C, D, F>::Compare(const SStringBaseT& other) const
{
    return Sign(Str::compare(other));
}

template <class Str, class C, UINT D, int F> int SStringBaseT<Str, C, D, F>::Compare(const C* other) const
{
    return Compare(SStringBaseT(other));
}

template <class Str, class C, UINT D, int F>
int SStringBaseT<Str, C, D, F>::CompareNoCase(const SStringBaseT& other) const
{
    SStringBaseT a(*this);
    SStringBaseT b(other);
    a.MakeUpper();
    b.MakeUpper();
    return a.Compare(b);
}

template <class Str, class C, UINT D, int F>
int SStringBaseT<Str, C, D, F>::CompareNoCase(const C* other) const
{
    return CompareNoCase(SStringBaseT(other));
}

} // namespace S
