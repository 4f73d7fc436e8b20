#include "library/utility/STextScan.h"

namespace S::TextScan
{

namespace
{

template <typename C> bool IsInSet(C c, const C* set, bool matchCase)
{
    const C key = matchCase ? c : UpperAscii(c);
    for (const C* s = set; *s != C(0); ++s)
    {
        if ((matchCase ? *s : UpperAscii(*s)) == key)
            return true;
    }
    return false;
}

template <typename C> bool IsWordUnit(C c)
{
    return IsAsciiLetter(c) || (c >= C('0') && c <= C('9')) || c == C('_');
}

template <typename C> bool MatchesNoCase(const C* at, const C* needle, size_t n)
{
    for (size_t i = 0; i < n; ++i)
    {
        if (UpperAscii(at[i]) != UpperAscii(needle[i]))
            return false;
    }
    return true;
}

} // namespace

Range NormaliseForward(size_t length, ptrdiff_t from, size_t to) noexcept
{
    const auto len = static_cast<ptrdiff_t>(length);
    Range r;
    r.lower = from < 0 ? 0 : (from > len ? len : from);
    r.upper = (to == static_cast<size_t>(-1) || to >= length) ? len - 1 : static_cast<ptrdiff_t>(to);
    r.empty = r.upper == r.lower - 1;
    r.inverted = r.upper < r.lower - 1;
    return r;
}

Range NormaliseBackward(size_t length, size_t from, ptrdiff_t to) noexcept
{
    const auto len = static_cast<ptrdiff_t>(length);
    Range r;
    r.lower = to < 0 ? 0 : (to > len ? len : to);
    r.upper = (from == static_cast<size_t>(-1) || from >= length) ? len - 1 : static_cast<ptrdiff_t>(from);
    r.empty = r.upper == r.lower - 1;
    r.inverted = r.upper < r.lower - 1;
    return r;
}

template <typename C>
size_t ScanForward(const C* text, const Range& r, const C* set, bool matchCase, bool stopInSet)
{
    if (r.inverted)
        return static_cast<size_t>(r.lower);
    for (ptrdiff_t i = r.lower; i <= r.upper; ++i)
    {
        if (IsInSet(text[i], set, matchCase) == stopInSet)
            return static_cast<size_t>(i);
    }
    return static_cast<size_t>(r.upper + 1);
}

template <typename C>
size_t ScanBackward(const C* text, const Range& r, const C* set, bool matchCase, bool stopInSet)
{
    if (r.inverted)
        return static_cast<size_t>(r.upper);
    for (ptrdiff_t i = r.upper; i >= r.lower; --i)
    {
        if (IsInSet(text[i], set, matchCase) == stopInSet)
            return static_cast<size_t>(i);
    }
    return static_cast<size_t>(r.lower - 1);
}

template <typename C> size_t FindNoCase(const C* text, size_t length, const C* needle, size_t n, size_t from)
{
    if (n == 0 && from <= length)
        return from;
    if (from >= length || n > length - from)
        return static_cast<size_t>(-1);
    const C first = UpperAscii(needle[0]);
    for (size_t i = from; i <= length - n; ++i)
    {
        if (UpperAscii(text[i]) == first && MatchesNoCase(text + i, needle, n))
            return i;
    }
    return static_cast<size_t>(-1);
}

template <typename C>
size_t ReverseFindNoCase(const C* text, size_t length, const C* needle, size_t n, size_t from)
{
    if (n == 0)
        return from < length ? from : length;
    if (n > length)
        return static_cast<size_t>(-1);
    for (size_t i = from < length - n ? from : length - n;; --i)
    {
        if (MatchesNoCase(text + i, needle, n))
            return i;
        if (i == 0)
            break;
    }
    return static_cast<size_t>(-1);
}

template <typename C> bool IsWholeWord(const C* text, size_t p, size_t n)
{
    if (p > 0)
    {
        const C before = text[p - 1];
        if (IsWordUnit(before) || (before == C('-') && p >= 2 && IsAsciiLetter(text[p - 2])))
            return false;
    }
    const C after = text[p + n];
    if (IsWordUnit(after) || (after == C('-') && IsAsciiLetter(text[p + n + 1])))
        return false;
    return true;
}

template <typename C> int CompareNoCaseN(const C* a, const C* b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
    {
        const C x = UpperAscii(a[i]);
        const C y = UpperAscii(b[i]);
        if (x != y)
            return static_cast<std::make_unsigned_t<C>>(x) < static_cast<std::make_unsigned_t<C>>(y) ? -1 : 1;
        if (x == C(0))
            break;
    }
    return 0;
}

template size_t ScanForward(const char*, const Range&, const char*, bool, bool);
template size_t ScanForward(const wchar_t*, const Range&, const wchar_t*, bool, bool);
template size_t ScanBackward(const char*, const Range&, const char*, bool, bool);
template size_t ScanBackward(const wchar_t*, const Range&, const wchar_t*, bool, bool);
template size_t FindNoCase(const char*, size_t, const char*, size_t, size_t);
template size_t FindNoCase(const wchar_t*, size_t, const wchar_t*, size_t, size_t);
template size_t ReverseFindNoCase(const char*, size_t, const char*, size_t, size_t);
template size_t ReverseFindNoCase(const wchar_t*, size_t, const wchar_t*, size_t, size_t);
template bool IsWholeWord(const char*, size_t, size_t);
template bool IsWholeWord(const wchar_t*, size_t, size_t);
template int CompareNoCaseN(const char*, const char*, size_t);
template int CompareNoCaseN(const wchar_t*, const wchar_t*, size_t);

} // namespace S::TextScan
