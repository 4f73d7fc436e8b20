#include "library/utility/SString.h"

#include <climits>

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

} // namespace

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

} // namespace S
