// Part of SString.cpp, which includes it once and instantiates the string types there.
#pragma once

#include "library/utility/SString.h"

namespace S
{

namespace
{

template <typename C>
constexpr C WhitespaceSet[] = {C(' '), C('\t'), C('\v'), C('\r'), C('\n'), C('\f'), C(0)};

} // namespace

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::Trim(const C* set)
{
    TrimLeft(set);
    return TrimRight(set);
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::Trim(C ch)
{
    TrimLeft(ch);
    return TrimRight(ch);
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::TrimBlanks()
{
    TrimLeftBlanks();
    return TrimRightBlanks();
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::TrimWhitespace()
{
    if (IsEmpty())
        return 0;
    TrimLeftWhitespace();
    if (IsEmpty())
        return 0;
    return TrimRightWhitespace();
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::TrimLeft(const C* set)
{
    if (set == nullptr)
        return false;
    if (IsEmpty())
        return true;
    const size_t k = ScanNotOf(set, 0, SNpos, true);
    return AssignNative(this->c_str() + k, SNpos);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::TrimLeft(C ch)
{
    if (IsEmpty())
        return true;
    const C* text = this->c_str();
    size_t k = 0;
    while (text[k] != C(0) && text[k] == ch)
        ++k;
    return AssignNative(text + k, SNpos);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::TrimLeftBlanks()
{
    if (IsEmpty())
        return true;
    const C* text = this->c_str();
    size_t k = 0;
    while (text[k] == C(' ') || text[k] == C('\t'))
        ++k;
    return AssignNative(text + k, SNpos);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::TrimLeftWhitespace()
{
    return TrimLeft(WhitespaceSet<C>);
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::TrimRight(const C* set)
{
    if (set == nullptr)
        return GetLength();
    if (IsEmpty())
        return 0;
    const size_t k = ReverseScanNotOf(set, SNpos, 0, true) + 1;
    if (k == 0)
    {
        Clear();
        return 0;
    }
    Str::resize(k);
    return k;
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::TrimRight(C ch)
{
    size_t k = GetLength();
    const C* text = this->c_str();
    while (k > 0 && text[k - 1] == ch)
        --k;
    if (k == 0)
    {
        Clear();
        return 0;
    }
    Str::resize(k);
    return k;
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::TrimRightBlanks()
{
    size_t k = GetLength();
    const C* text = this->c_str();
    while (k > 0 && (text[k - 1] == C(' ') || text[k - 1] == C('\t')))
        --k;
    if (k == 0)
    {
        Clear();
        return 0;
    }
    Str::resize(k);
    return k;
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::TrimRightWhitespace()
{
    return TrimRight(WhitespaceSet<C>);
}

} // namespace S
