#include "library/utility/SString.h"

#include "library/utility/STextScan.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace S
{

namespace
{

int PrintDump(size_t size, const wchar_t* text)
{
    return std::wprintf(L"[%zu:%ls]", size, text);
}

int PrintDump(size_t size, const char* text)
{
    return std::printf("[%zu:%s]", size, text);
}
template <typename C> bool PointsInto(const C* p, const C* begin, size_t units) noexcept
{
    const std::less<const C*> less;
    return !less(p, begin) && less(p, begin + units);
}

} // namespace

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>::SStringBaseT(const C* s, size_t len, UINT codePage)
    : SStringAbstractBase(codePage == SOwnCodePage ? D : codePage)
{
    if (s != nullptr && len != 0)
        AssignNative(s, len);
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>::SStringBaseT(const OtherCharT* s, size_t len, UINT codePage)
    : SStringAbstractBase(codePage == SOwnCodePage ? D : codePage)
{
    if (s != nullptr && len != 0)
        Assign(s, len, nullptr);
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>::SStringBaseT(const SStringAbstractBase& other) : SStringAbstractBase(D)
{
    Assign(other);
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>::SStringBaseT(SStringBaseT&& other) noexcept
    : Str(std::move(other)), SStringAbstractBase(other)
{
    other.ZeroStorage();
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator=(const SStringBaseT& other)
{
    Assign(other);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator=(SStringBaseT&& other) noexcept
{
    if (this == &other)
        return *this;
    if (NeedsConversion(*this, other))
    {
        Assign(other);
        return *this;
    }
    ZeroStorage();
    Str::operator=(std::move(other));
    other.ZeroStorage();
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator=(const C* s)
{
    AssignNative(s, SNpos);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator=(const OtherCharT* s)
{
    Assign(s, SNpos, nullptr);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator+=(const C* s)
{
    AppendNative(s, SNpos);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator+=(const OtherCharT* s)
{
    Append(s, SNpos, nullptr);
    return *this;
}

template <class Str, class C, UINT D, int F>
SStringBaseT<Str, C, D, F>& SStringBaseT<Str, C, D, F>::operator+=(C ch)
{
    AppendNative(&ch, 1);
    return *this;
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::operator==(const C* s) const
{
    const std::basic_string_view<C> mine(this->c_str(), GetLength());
    return s == nullptr ? mine.empty() : mine == std::basic_string_view<C>(s);
}

template <class Str, class C, UINT D, int F>
void SStringBaseT<Str, C, D, F>::Mid(SStringBaseT& out, size_t from, size_t count) const
{
    const size_t length = GetLength();
    out.m_CodePage = D;
    if (from >= length)
    {
        out.Clear();
        return;
    }
    out.AssignNative(this->c_str() + from, std::min(count, length - from));
}

template <class Str, class C, UINT D, int F> SStringBaseT<Str, C, D, F>::~SStringBaseT()
{
    ZeroStorage();
}

template <class Str, class C, UINT D, int F> void SStringBaseT<Str, C, D, F>::ZeroStorage() noexcept
{
    // Growing to the capacity never reallocates; it makes every unit of the storage part of the
    // text so that all of it can be overwritten.
    Str::resize(Str::capacity());
    SecureZero(Str::data(), Str::size() * sizeof(C));
    Str::clear();
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::GetLength() const
{
    return std::char_traits<C>::length(this->c_str());
}

template <class Str, class C, UINT D, int F> size_t SStringBaseT<Str, C, D, F>::GetCapacity() const
{
    return Str::capacity();
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::IsEmpty() const
{
    return this->c_str()[0] == C(0);
}

template <class Str, class C, UINT D, int F> void SStringBaseT<Str, C, D, F>::Clear()
{
    AssignNative(static_cast<const void*>(nullptr), SNpos);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::IsWide() const
{
    return std::is_same_v<C, wchar_t>;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::AppendNative(const void* s, size_t len)
{
    if (s == nullptr)
        return true;
    const C* text = static_cast<const C*>(s);
    Str::append(text, len == SNpos ? std::char_traits<C>::length(text) : len);
    return true;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::AssignNative(const void* s, size_t len)
{
    const C* text = static_cast<const C*>(s);
    const size_t n = (text == nullptr) ? 0 : (len == SNpos ? std::char_traits<C>::length(text) : len);
    if (n == 0)
    {
        ZeroStorage();
        return true;
    }
    if (!PointsInto(text, Str::data(), Str::capacity() + 1))
        ZeroStorage();
    Str::assign(text, n);
    return true;
}

template <class Str, class C, UINT D, int F> const void* SStringBaseT<Str, C, D, F>::GetNativeBuffer() const
{
    return this->c_str();
}

template <class Str, class C, UINT D, int F> void SStringBaseT<Str, C, D, F>::Reserve(size_t n)
{
    if (n > Str::capacity())
        Str::resize(n);
}

template <class Str, class C, UINT D, int F> C* SStringBaseT<Str, C, D, F>::GetBuffer(size_t n)
{
    Reserve(n + 1);
    // The caller writes up to n + 1 units; they must lie inside the text to be kept.
    if (Str::size() < n + 1)
        Str::resize(n + 1);
    return Str::data();
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::ReleaseBuffer(size_t n)
{
    const size_t units = n == SNpos ? GetLength() : n;
    if (units > Str::capacity())
        return false;
    Str::resize(units);
    return true;
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::MakeUpper()
{
    const size_t length = GetLength();
    if (length == 0)
        return false;
    C* text = Str::data();
    for (size_t i = 0; i < length; ++i)
        text[i] = TextScan::UpperAscii(text[i]);
    return ReleaseBuffer(SNpos);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::MakeLower()
{
    const size_t length = GetLength();
    if (length == 0)
        return false;
    C* text = Str::data();
    for (size_t i = 0; i < length; ++i)
        text[i] = TextScan::LowerAscii(text[i]);
    return ReleaseBuffer(SNpos);
}

template <class Str, class C, UINT D, int F> int SStringBaseT<Str, C, D, F>::Dump() const
{
    return PrintDump(Str::size(), this->c_str());
}

} // namespace S

// The members' other parts. A string type may be explicitly instantiated once in a program, so
// they are compiled here rather than each on its own.
#include "library/utility/SStringCompare.inl"
#include "library/utility/SStringFormat.inl"
#include "library/utility/SStringReplace.inl"
#include "library/utility/SStringSearch.inl"
#include "library/utility/SStringTrim.inl"

namespace S
{

template class SStringBaseT<std::wstring, wchar_t, 1, 1>;
template class SStringBaseT<std::string, char, 0, 1>;
template class SStringBaseT<std::string, char, 1, 1>;
template class SStringBaseT<std::string, char, 65001, 1>;

} // namespace S
