// Part of SString.cpp, which includes it once and instantiates the string types there.
#pragma once

#include "library/utility/SString.h"

#include "library/utility/STextScan.h"

namespace S
{

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::ReplaceChar(C from, C to)
{
    if (from == to)
        return *this;
    const size_t length = GetLength();
    C* text = Str::data();
    bool replaced = false;
    for (size_t i = 0; i < length; ++i)
    {
        if (text[i] == from)
        {
            text[i] = to;
            replaced = true;
        }
    }
    if (replaced)
        Str::resize(length);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::Replace(const SStringBaseT& find,
                                                                const SStringBaseT& with, bool ignoreCase,
                                                                bool wholeWord)
{
    if (&find == this || &with == this)
    {
        const SStringBaseT findCopy(find);
        const SStringBaseT withCopy(with);
        return Replace(findCopy, withCopy, ignoreCase, wholeWord);
    }
    if (find.IsEqual(with) || IsEmpty())
        return *this;
    const size_t nf = find.GetLength();
    const size_t nw = with.GetLength();
    if (nf == 0)
        return *this;
    size_t pos = 0;
    for (;;)
    {
        const size_t p = ignoreCase ? FindNoCase(find.c_str(), pos, SNpos) : Find(find.c_str(), pos, SNpos);
        if (p == SNpos)
            break;
        if (wholeWord && !TextScan::IsWholeWord(this->c_str(), p, nf))
        {
            pos = p + nf;
            continue;
        }
        Str::replace(p, nf, with.data(), with.size());
        pos = p + nw;
    }
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator+=(const SStringAbstractBase& other)
{
    Append(other);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator=(const SStringAbstractBase& other)
{
    Assign(other);
    return *this;
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::StartsWithChar(C ch) const
{
    return this->c_str()[0] == ch;
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::EndsWithChar(C ch) const
{
    const size_t length = GetLength();
    return length != 0 && this->c_str()[length - 1] == ch;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::Enclose(const wchar_t* s, size_t len)
{
    SStringBaseT piece(static_cast<const C*>(nullptr), 0, m_CodePage);
    piece.Assign(s, len, nullptr);
    const SStringBaseT old(*this);
    AssignNative(piece.c_str(), piece.size());
    AppendNative(old.c_str(), old.size());
    AppendNative(piece.c_str(), piece.size());
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::Enclose(const char* s, size_t len)
{
    SStringBaseT piece(static_cast<const C*>(nullptr), 0, m_CodePage);
    piece.Assign(s, len, nullptr);
    const SStringBaseT old(*this);
    AssignNative(piece.c_str(), piece.size());
    AppendNative(old.c_str(), old.size());
    AppendNative(piece.c_str(), piece.size());
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::Enclose(const SStringAbstractBase& s)
{
    SStringBaseT piece(static_cast<const C*>(nullptr), 0, m_CodePage);
    piece.Assign(s);
    const SStringBaseT old(*this);
    AssignNative(piece.c_str(), piece.size());
    AppendNative(old.c_str(), old.size());
    AppendNative(piece.c_str(), piece.size());
    return *this;
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::GetSize() const
{
    return Str::size();
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::Truncate(size_t n)
{
    if (n < GetLength())
        Str::resize(n);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::TruncateRight(size_t n)
{
    if (n == 0)
        return *this;
    const size_t length = GetLength();
    Str::resize(n >= length ? 0 : length - n);
    return *this;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::SplitAt(SStringBaseT& left, SStringBaseT& right, size_t position) const
{
    if (&left == this || &right == this)
    {
        const SStringBaseT self(*this);
        return self.SplitAt(left, right, position);
    }
    const size_t length = GetLength();
    if (position == SNpos || position >= length)
    {
        left.AssignNative(this->c_str(), length);
        right.Clear();
        return true;
    }
    left.AssignNative(this->c_str(), position);
    return right.AssignNative(this->c_str() + position + 1, SNpos);
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::SplitAtFirstOf(SStringBaseT& left, SStringBaseT& right, const C* set) const
{
    return SplitAt(left, right, set == nullptr ? SNpos : ScanOneOf(set, 0, SNpos, true));
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::SplitAtFirst(SStringBaseT& left, SStringBaseT& right, C ch) const
{
    const std::basic_string_view<C> text(this->c_str(), GetLength());
    return SplitAt(left, right, ch == C(0) ? SNpos : text.find(ch));
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::SplitAtLastOf(SStringBaseT& left, SStringBaseT& right, const C* set) const
{
    return SplitAt(left, right, set == nullptr ? SNpos : ReverseScanOneOf(set, SNpos, 0, true));
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::SplitAtLast(SStringBaseT& left, SStringBaseT& right, C ch) const
{
    const std::basic_string_view<C> text(this->c_str(), GetLength());
    return SplitAt(left, right, ch == C(0) ? SNpos : text.rfind(ch));
}

} // namespace S
