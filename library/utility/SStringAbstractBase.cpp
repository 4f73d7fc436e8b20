#include "library/utility/SString.h"

namespace S
{

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

} // namespace S
