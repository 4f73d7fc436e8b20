// Code-unit algorithms behind the string search, scan and replace operations, for char and
// wchar_t text. Internal to the string classes. Pure functions; thread-safe.
// Failure contract: nothing here fails; a search that finds nothing gives -1, a scan a position
// just outside its range.
#pragma once

#include <cstddef>
#include <type_traits>

namespace S::TextScan
{

template <typename C> constexpr C UpperAscii(C c) noexcept
{
    return (c >= C('a') && c <= C('z')) ? C(c - 32) : c;
}

template <typename C> constexpr C LowerAscii(C c) noexcept
{
    return (c >= C('A') && c <= C('Z')) ? C(c + 32) : c;
}

template <typename C> constexpr bool IsAsciiLetter(C c) noexcept
{
    return (c >= C('a') && c <= C('z')) || (c >= C('A') && c <= C('Z'));
}

// A scan range after normalisation: positions lower..upper, examined upwards or downwards.
struct Range
{
    ptrdiff_t lower = 0;
    ptrdiff_t upper = -1;
    bool empty = true;     // upper == lower - 1: the operation fails
    bool inverted = false; // upper < lower - 1: the scan returns its starting point
};

Range NormaliseForward(size_t length, ptrdiff_t from, size_t to) noexcept;
Range NormaliseBackward(size_t length, size_t from, ptrdiff_t to) noexcept;

// First position of the range whose unit is (stopInSet) or is not (!stopInSet) in set; upper + 1
// when there is none; lower for an inverted range. The range must not be empty.
template <typename C>
size_t ScanForward(const C* text, const Range& r, const C* set, bool matchCase, bool stopInSet);
// Mirror: last such position, lower - 1 when there is none; upper for an inverted range.
template <typename C>
size_t ScanBackward(const C* text, const Range& r, const C* set, bool matchCase, bool stopInSet);

// ASCII case-insensitive searches over text[0..length); -1 when not found.
template <typename C> size_t FindNoCase(const C* text, size_t length, const C* needle, size_t n, size_t from);
template <typename C>
size_t ReverseFindNoCase(const C* text, size_t length, const C* needle, size_t n, size_t from);

// Whether the n units at p of a NUL-terminated text stand as a whole word: no letter, digit or
// underscore touches either end, nor a hyphen that joins a letter to them.
template <typename C> bool IsWholeWord(const C* text, size_t p, size_t n);

// Compares up to n units with the ASCII upper-case mapping; stops after a NUL. <0, 0 or >0.
template <typename C> int CompareNoCaseN(const C* a, const C* b, size_t n);

} // namespace S::TextScan
