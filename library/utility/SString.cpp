#include "library/utility/SString.h"

#include "library/utility/STextScan.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>

namespace S
{

namespace
{

// The Windows calls take int lengths: -1 for NUL-terminated text, nothing beyond INT_MAX.
bool ToWindowsLength(size_t len, int& out) noexcept
{
    if (len == SNpos)
    {
        out = -1;
        return true;
    }
    if (len == 0 || len > static_cast<size_t>(INT_MAX))
        return false;
    out = static_cast<int>(len);
    return true;
}

// The runtime library's Microsoft-convention printf family: %s is text of the format's width.
int CountFormatted(const wchar_t* fmt, va_list args)
{
    return _vscwprintf(fmt, args);
}
int CountFormatted(const char* fmt, va_list args)
{
    return _vscprintf(fmt, args);
}
int PrintFormatted(wchar_t* out, size_t size, const wchar_t* fmt, va_list args)
{
    return _vsnwprintf(out, size, fmt, args);
}
int PrintFormatted(char* out, size_t size, const char* fmt, va_list args)
{
    return _vsnprintf(out, size, fmt, args);
}

DWORD FormatMessageFromString(const wchar_t* fmt, wchar_t** buffer, va_list* args)
{
    return ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, fmt, 0, 0,
                            reinterpret_cast<LPWSTR>(buffer), 0, args);
}
DWORD FormatMessageFromString(const char* fmt, char** buffer, va_list* args)
{
    return ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING, fmt, 0, 0,
                            reinterpret_cast<LPSTR>(buffer), 0, args);
}

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

int Sign(int v) noexcept
{
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

} // namespace

// ---- SStringConverter ----

SAutoPtrT<wchar_t, 1> SStringConverter::MultiByteToWide(const char* s, size_t len, UINT codePage,
                                                        size_t* count)
{
    if (count != nullptr)
        *count = 0;
    int srcLen = 0;
    if (s == nullptr || !ToWindowsLength(len, srcLen))
        return {};
    const int needed = ::MultiByteToWideChar(codePage, 0, s, srcLen, nullptr, 0);
    if (needed <= 0)
        return {};
    SBufferT<wchar_t, 0> buffer;
    SResult result;
    const auto units = static_cast<unsigned>(srcLen == -1 ? needed : needed + 1);
    if (buffer.Resize(result, units, false).Failed())
        return {};
    if (::MultiByteToWideChar(codePage, 0, s, srcLen, buffer.GetData(), needed) <= 0)
        return {};
    buffer[units - 1] = L'\0';
    if (count != nullptr)
        *count = static_cast<size_t>(needed);
    return SAutoPtrT<wchar_t, 1>(buffer.Detach(), true);
}

SAutoPtrT<char, 1> SStringConverter::WideToMultiByte(const wchar_t* s, size_t len, UINT codePage,
                                                     size_t* count)
{
    if (count != nullptr)
        *count = 0;
    int srcLen = 0;
    if (s == nullptr || !ToWindowsLength(len, srcLen))
        return {};
    const int needed = ::WideCharToMultiByte(codePage, 0, s, srcLen, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    SBufferT<char, 0> buffer;
    SResult result;
    const auto units = static_cast<unsigned>(needed + 1);
    if (buffer.Resize(result, units, false).Failed())
        return {};
    if (::WideCharToMultiByte(codePage, 0, s, srcLen, buffer.GetData(), needed, nullptr, nullptr) <= 0)
        return {};
    buffer[units - 1] = '\0';
    if (count != nullptr)
        *count = static_cast<size_t>(needed);
    return SAutoPtrT<char, 1>(buffer.Detach(), true);
}

SAutoPtrT<char, 1> SStringConverter::MultiByteToMultiByte(const char* s, size_t len, UINT fromCodePage,
                                                          UINT toCodePage, size_t* count)
{
    if (count != nullptr)
        *count = 0;
    size_t wideCount = 0;
    const SAutoPtrT<wchar_t, 1> wide = MultiByteToWide(s, len, fromCodePage, &wideCount);
    if (!wide)
        return {};
    return WideToMultiByte(wide.Get(), len == SNpos ? SNpos : wideCount, toCodePage, count);
}

bool SStringConverter::NeedsConversion(const SStringAbstractBase& a, const SStringAbstractBase& b) noexcept
{
    if (a.IsWide() != b.IsWide())
        return true;
    if (a.IsWide())
        return false;
    return a.GetCodePage() != b.GetCodePage();
}

// ---- SStringAbstractBase ----

SStringAbstractBase::~SStringAbstractBase() = default;

SStringAbstractBase& SStringAbstractBase::Append(wchar_t ch, size_t count)
{
    if (count == 0)
        return *this;
    if (IsWide())
    {
        for (size_t i = 0; i < count; ++i)
        {
            if (!AppendNative(&ch, 1))
                break;
        }
        return *this;
    }
    size_t n = 0;
    const SAutoPtrT<char, 1> bytes = WideToMultiByte(&ch, 1, m_CodePage, &n);
    if (!bytes || n == 0)
        return *this;
    for (size_t i = 0; i < count; ++i)
    {
        if (!AppendNative(bytes.Get(), n))
            break;
    }
    return *this;
}

SStringAbstractBase& SStringAbstractBase::Append(char ch, size_t count)
{
    if (count == 0)
        return *this;
    if (!IsWide())
    {
        for (size_t i = 0; i < count; ++i)
        {
            if (!AppendNative(&ch, 1))
                break;
        }
        return *this;
    }
    size_t n = 0;
    const SAutoPtrT<wchar_t, 1> units = MultiByteToWide(&ch, 1, m_CodePage, &n);
    if (!units || n == 0)
        return *this;
    for (size_t i = 0; i < count; ++i)
    {
        if (!AppendNative(units.Get(), n))
            break;
    }
    return *this;
}

template <typename CharT>
SStringAbstractBase& SStringAbstractBase::AppendOrAssign(const CharT* s, size_t len, size_t* done,
                                                         bool append)
{
    if (done != nullptr)
        *done = 0;
    constexpr bool wideInput = std::is_same_v<CharT, wchar_t>;
    if (IsWide() == wideInput || s == nullptr)
    {
        if (s == nullptr)
        {
            if (!append)
                Clear();
            return *this;
        }
        const size_t n = len == SNpos ? std::char_traits<CharT>::length(s) : len;
        const bool ok = append ? AppendNative(s, n) : AssignNative(s, n);
        if (ok && done != nullptr)
            *done = n;
        return *this;
    }
    size_t converted = 0;
    bool ok = false;
    size_t n = 0;
    if constexpr (wideInput)
    {
        const SAutoPtrT<char, 1> text = WideToMultiByte(s, len, m_CodePage, &converted);
        if (!text && len != 0)
            return *this;
        n = (len == SNpos && converted > 0) ? converted - 1 : converted;
        ok = append ? AppendNative(text.Get(), n) : AssignNative(text.Get(), n);
    }
    else
    {
        const SAutoPtrT<wchar_t, 1> text = MultiByteToWide(s, len, m_CodePage, &converted);
        if (!text && len != 0)
            return *this;
        n = (len == SNpos && converted > 0) ? converted - 1 : converted;
        ok = append ? AppendNative(text.Get(), n) : AssignNative(text.Get(), n);
    }
    if (ok && done != nullptr)
        *done = n;
    return *this;
}

SStringAbstractBase& SStringAbstractBase::Append(const wchar_t* s, size_t len, size_t* appended)
{
    return AppendOrAssign(s, len, appended, true);
}

SStringAbstractBase& SStringAbstractBase::Append(const char* s, size_t len, size_t* appended)
{
    return AppendOrAssign(s, len, appended, true);
}

SStringAbstractBase& SStringAbstractBase::Append(const SStringAbstractBase& other)
{
    size_t n = 0;
    if (IsWide())
    {
        SAutoPtrT<wchar_t, 1> text;
        other.GetWide(text, &n);
        if (n != 0)
            AppendNative(text.Get(), n);
    }
    else
    {
        SAutoPtrT<char, 1> text;
        other.GetNarrow(text, m_CodePage, &n);
        if (n != 0)
            AppendNative(text.Get(), n);
    }
    return *this;
}

SStringAbstractBase& SStringAbstractBase::Assign(const wchar_t* s, size_t len, size_t* assigned)
{
    return AppendOrAssign(s, len, assigned, false);
}

SStringAbstractBase& SStringAbstractBase::Assign(const char* s, size_t len, size_t* assigned)
{
    return AppendOrAssign(s, len, assigned, false);
}

SStringAbstractBase& SStringAbstractBase::Assign(const SStringAbstractBase& other)
{
    if (&other == this)
        return *this;
    size_t n = 0;
    bool ok = false;
    if (IsWide())
    {
        SAutoPtrT<wchar_t, 1> text;
        other.GetWide(text, &n);
        if (n != 0)
            ok = AssignNative(text.Get(), n);
    }
    else
    {
        SAutoPtrT<char, 1> text;
        other.GetNarrow(text, m_CodePage, &n);
        if (n != 0)
            ok = AssignNative(text.Get(), n);
    }
    if (!ok)
        Clear();
    return *this;
}

SAutoPtrT<wchar_t, 1>& SStringAbstractBase::GetWide(SAutoPtrT<wchar_t, 1>& out, size_t* outLen) const
{
    if (IsWide())
    {
        // Lending the own text: the borrowed pointer is only read through.
        out = SAutoPtrT<wchar_t, 1>(const_cast<wchar_t*>(static_cast<const wchar_t*>(GetNativeBuffer())),
                                    false);
        if (outLen != nullptr)
            *outLen = GetLength();
        return out;
    }
    out = MultiByteToWide(static_cast<const char*>(GetNativeBuffer()), GetLength(), m_CodePage, outLen);
    return out;
}

SAutoPtrT<char, 1>& SStringAbstractBase::GetNarrow(SAutoPtrT<char, 1>& out, UINT codePage,
                                                   size_t* outLen) const
{
    const UINT target = codePage == SOwnCodePage ? m_CodePage : codePage;
    if (IsWide())
    {
        out = WideToMultiByte(static_cast<const wchar_t*>(GetNativeBuffer()), GetLength(), target, outLen);
        return out;
    }
    if (m_CodePage == target)
    {
        out = SAutoPtrT<char, 1>(const_cast<char*>(static_cast<const char*>(GetNativeBuffer())), false);
        if (outLen != nullptr)
            *outLen = GetLength();
        return out;
    }
    out = MultiByteToMultiByte(static_cast<const char*>(GetNativeBuffer()), GetLength(), m_CodePage, target,
                               outLen);
    return out;
}

SAutoPtrT<wchar_t, 1>& SStringAbstractBase::GetWide(SAutoPtrT<wchar_t, 1>& out, size_t* outLen)
{
    return std::as_const(*this).GetWide(out, outLen);
}

// ---- SStringBaseT: construction, storage, conversion ----

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

// ---- SStringBaseT: replacing and enclosing ----

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

// ---- SStringBaseT: splitting ----

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

// ---- SStringBaseT: comparison ----

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

template <class Str, class C, UINT D, int F> int SStringBaseT<Str, C, D, F>::Dump() const
{
    return PrintDump(Str::size(), this->c_str());
}

// ---- SStringBaseT: buffers and case ----

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

// ---- SStringBaseT: trimming ----

namespace
{

template <typename C>
constexpr C WhitespaceSet[] = {C(' '), C('\t'), C('\v'), C('\r'), C('\n'), C('\f'), C(0)};
template <typename C> constexpr C BlankSet[] = {C(' '), C('\t'), C(0)};

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

// ---- SStringBaseT: formatting ----

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::FormatInto(const C* fmt, va_list args, bool append)
{
    if (fmt == nullptr)
        return false;
    va_list measure;
    va_copy(measure, args);
    const int count = CountFormatted(fmt, measure);
    va_end(measure);
    if (count < 1)
        return false;
    SBufferT<C, 0> buffer;
    SResult result;
    if (buffer.Resize(result, static_cast<unsigned>(count) + 1, false).Failed())
        return false;
    va_list print;
    va_copy(print, args);
    const int printed = PrintFormatted(buffer.GetData(), buffer.GetCount(), fmt, print);
    va_end(print);
    if (printed < 1)
        return false;
    return append ? AppendNative(buffer.GetData(), SNpos) : AssignNative(buffer.GetData(), SNpos);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::Format(const C* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const bool result = FormatV(fmt, args);
    va_end(args);
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::FormatV(const C* fmt, va_list args)
{
    return FormatInto(fmt, args, false);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::AppendFormat(const C* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const bool result = AppendFormatV(fmt, args);
    va_end(args);
    return result;
}

template <class Str, class C, UINT D, int F>
bool SStringBaseT<Str, C, D, F>::AppendFormatV(const C* fmt, va_list args)
{
    return FormatInto(fmt, args, true);
}

template <class Str, class C, UINT D, int F> bool SStringBaseT<Str, C, D, F>::FormatMessage(const C* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    C* buffer = nullptr;
    const DWORD written = FormatMessageFromString(fmt, &buffer, &args);
    va_end(args);
    if (written == 0)
        return false;
    if (buffer == nullptr)
        return true;
    const bool result = AssignNative(buffer, SNpos);
    SecureZero(buffer, written * sizeof(C));
    ::LocalFree(buffer);
    return result;
}

// ---- SStringBaseT: ordering ----

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

// ---- SStringBaseT: substring search ----

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

// ---- SStringBaseT: set scans ----

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

template class SStringBaseT<std::wstring, wchar_t, 1, 1>;
template class SStringBaseT<std::string, char, 0, 1>;
template class SStringBaseT<std::string, char, 1, 1>;
template class SStringBaseT<std::string, char, 65001, 1>;

} // namespace S
