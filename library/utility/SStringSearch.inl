// Part of SString.cpp, which includes it once and instantiates the string types there.
#pragma once

#include "library/utility/SString.h"

#include "library/utility/STextScan.h"

namespace S
{

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::Find(const SStringBaseT& s, size_t from) const
{
    return Str::find(s.data(), from, s.size());
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::Find(const C* s, size_t from, size_t count) const
{
    if (s == nullptr)
        return SNpos;
    return Str::find(s, from, count == SNpos ? std::char_traits<C>::length(s) : count);
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::Find(C ch, size_t from) const
{
    return Str::find(ch, from);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::FindNoCase(const SStringBaseT& s, size_t from) const
{
    return FindNoCase(s.c_str(), from, SNpos);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::FindNoCase(const C* s, size_t from, size_t count) const
{
    if (s == nullptr)
        return SNpos;
    const size_t n = count == SNpos ? std::char_traits<C>::length(s) : count;
    return TextScan::FindNoCase(this->c_str(), GetLength(), s, n, from);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::FindNoCase(C ch, size_t from) const
{
    return FindNoCase(&ch, from, 1);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseFind(const SStringBaseT& s, size_t from) const
{
    return Str::rfind(s.data(), from, s.size());
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseFind(const C* s, size_t from, size_t count) const
{
    if (s == nullptr)
        return SNpos;
    return Str::rfind(s, from, count == SNpos ? std::char_traits<C>::length(s) : count);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseFind(C ch, size_t from) const
{
    return Str::rfind(ch, from);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseFindNoCase(const SStringBaseT& s, size_t from) const
{
    return ReverseFindNoCase(s.c_str(), from, SNpos);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseFindNoCase(const C* s, size_t from, size_t count) const
{
    if (s == nullptr)
        return SNpos;
    const size_t n = count == SNpos ? std::char_traits<C>::length(s) : count;
    return TextScan::ReverseFindNoCase(this->c_str(), GetLength(), s, n, from);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseFindNoCase(C ch, size_t from) const
{
    return ReverseFindNoCase(&ch, from, 1);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::FindOneOf(const C* set, ptrdiff_t from, size_t to, bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseForward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return SNpos;
    const size_t p = TextScan::ScanForward(this->c_str(), r, set, matchCase, true);
    return p == static_cast<size_t>(r.upper + 1) ? SNpos : p;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F> SStringBaseT<Str, C, D, F>::SpanIncluding(const C* set, ptrdiff_t from, size_t to,
                                                                     bool matchCase) const
{
    SStringBaseT out;
    const size_t n = GetSpanIncludingLength(set, from, to, matchCase);
    if (n != 0)
        Mid(out, static_cast<size_t>(TextScan::NormaliseForward(GetLength(), from, to).lower), n);
    return out;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F> SStringBaseT<Str, C, D, F>::SpanExcluding(const C* set, ptrdiff_t from, size_t to,
                                                                     bool matchCase) const
{
    SStringBaseT out;
    const size_t n = GetSpanExcludingLength(set, from, to, matchCase);
    if (n != 0)
        Mid(out, static_cast<size_t>(TextScan::NormaliseForward(GetLength(), from, to).lower), n);
    return out;
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::GetSpanIncludingLength(const C* set, ptrdiff_t from, size_t to,
                                                          bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseForward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return 0;
    return TextScan::ScanForward(this->c_str(), r, set, matchCase, false) - static_cast<size_t>(r.lower);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::GetSpanExcludingLength(const C* set, ptrdiff_t from, size_t to,
                                                          bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseForward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return 0;
    return TextScan::ScanForward(this->c_str(), r, set, matchCase, true) - static_cast<size_t>(r.lower);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ScanNotOf(const C* set, ptrdiff_t from, size_t to, bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseForward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return SNpos;
    return TextScan::ScanForward(this->c_str(), r, set, matchCase, false);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ScanOneOf(const C* set, ptrdiff_t from, size_t to, bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseForward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return SNpos;
    return TextScan::ScanForward(this->c_str(), r, set, matchCase, true);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseFindOneOf(const C* set, size_t from, ptrdiff_t to,
                                                    bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseBackward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return SNpos;
    const size_t p = TextScan::ScanBackward(this->c_str(), r, set, matchCase, true);
    return p == static_cast<size_t>(r.lower - 1) ? SNpos : p;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F> SStringBaseT<Str, C, D, F>::ReverseSpanIncluding(const C* set, size_t from,
                                                                            ptrdiff_t to,
                                                                            bool matchCase) const
{
    SStringBaseT out;
    const size_t n = GetReverseSpanIncludingLength(set, from, to, matchCase);
    if (n != 0)
        Mid(out, static_cast<size_t>(TextScan::NormaliseBackward(GetLength(), from, to).upper) - n + 1, n);
    return out;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F> SStringBaseT<Str, C, D, F>::ReverseSpanExcluding(const C* set, size_t from,
                                                                            ptrdiff_t to,
                                                                            bool matchCase) const
{
    SStringBaseT out;
    const size_t n = GetReverseSpanExcludingLength(set, from, to, matchCase);
    if (n != 0)
        Mid(out, static_cast<size_t>(TextScan::NormaliseBackward(GetLength(), from, to).upper) - n + 1, n);
    return out;
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::GetReverseSpanIncludingLength(const C* set, size_t from, ptrdiff_t to,
                                                                 bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseBackward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return 0;
    return static_cast<size_t>(r.upper) - TextScan::ScanBackward(this->c_str(), r, set, matchCase, false);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::GetReverseSpanExcludingLength(const C* set, size_t from, ptrdiff_t to,
                                                                 bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseBackward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return 0;
    return static_cast<size_t>(r.upper) - TextScan::ScanBackward(this->c_str(), r, set, matchCase, true);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseScanNotOf(const C* set, size_t from, ptrdiff_t to,
                                                    bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseBackward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return SNpos;
    return TextScan::ScanBackward(this->c_str(), r, set, matchCase, false);
}

template <class Str, class C, UINT D, int F>
size_t SStringBaseT<Str, C, D, F>::ReverseScanOneOf(const C* set, size_t from, ptrdiff_t to,
                                                    bool matchCase) const
{
    const TextScan::Range r = TextScan::NormaliseBackward(GetLength(), from, to);
    if (set == nullptr || r.empty)
        return SNpos;
    return TextScan::ScanBackward(this->c_str(), r, set, matchCase, true);
}

} // namespace S
