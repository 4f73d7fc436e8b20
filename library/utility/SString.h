// Strings of the library: SString (UTF-16) and its 8-bit counterparts SStringA (ANSI code page),
// SStringOem (OEM code page) and SStringUtf8. Every instance is a standard string with a code page,
// converts from and into every other on assignment and append, and wipes its text when it is
// destroyed, cleared or assigned. Lengths and positions are size_t; -1 means "up to the NUL" as an
// argument and "not found" as a result. Case-insensitive operations are ASCII only.
// Failure contract: operations report failure as false, a count of 0 or -1 and leave the string
// unchanged; growth beyond the standard string's limits throws the standard length/range errors.
// Thread-safety: none; concurrent reads are fine, any modification needs the caller's exclusion.
// One family over several files: the code-page layers SStringConverter and SStringAbstractBase
// have a .cpp each; SString.cpp holds the typed strings and includes its sections (SString*.inl).
#pragma once

#include "library/utility/SAutoPtr.h"
#include "library/utility/SBuffer.h"

#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// windows.h maps FormatMessage to FormatMessageA/W; the strings have a member of that name.
#undef FormatMessage

namespace S
{

inline constexpr size_t SNpos = static_cast<size_t>(-1);
inline constexpr UINT SOwnCodePage = 0xFFFFFFFFu; // as a requested code page: the string's own

class SStringAbstractBase;

class SStringConverter
{
public:
    explicit SStringConverter(UINT codePage) noexcept : m_CodePage(codePage) {}

    UINT GetCodePage() const noexcept { return m_CodePage; }
    void SetCodePage(UINT codePage) noexcept { m_CodePage = codePage; }

    // Each returns an owning, NUL-terminated array (null when s is null or the conversion fails) and
    // writes the count the Windows call reports to *count (0 on failure); with len -1 that count
    // includes the terminating NUL.
    static SAutoPtrT<wchar_t, 1> MultiByteToWide(const char* s, size_t len, UINT codePage, size_t* count);
    static SAutoPtrT<char, 1> WideToMultiByte(const wchar_t* s, size_t len, UINT codePage, size_t* count);
    static SAutoPtrT<char, 1> MultiByteToMultiByte(const char* s, size_t len, UINT fromCodePage,
                                                   UINT toCodePage, size_t* count);

    // True when text has to be converted to travel from one string to the other.
    static bool NeedsConversion(const SStringAbstractBase& a, const SStringAbstractBase& b) noexcept;

protected:
    UINT m_CodePage;
};

class SStringAbstractBase : public SStringConverter
{
public:
    explicit SStringAbstractBase(UINT codePage) noexcept : SStringConverter(codePage) {}
    SStringAbstractBase(const SStringAbstractBase&) = default;
    SStringAbstractBase& operator=(const SStringAbstractBase&) = default;

    virtual ~SStringAbstractBase();
    virtual size_t GetLength() const = 0;
    virtual size_t GetCapacity() const = 0;
    virtual bool IsEmpty() const = 0;
    virtual void Clear() = 0;
    virtual SStringAbstractBase& Append(wchar_t ch, size_t count = 1);
    virtual SStringAbstractBase& Append(char ch, size_t count = 1);
    virtual SStringAbstractBase& Append(const wchar_t* s, size_t len = SNpos, size_t* appended = nullptr);
    virtual SStringAbstractBase& Append(const char* s, size_t len = SNpos, size_t* appended = nullptr);
    virtual SStringAbstractBase& Append(const SStringAbstractBase& other);
    virtual SStringAbstractBase& Assign(const wchar_t* s, size_t len = SNpos, size_t* assigned = nullptr);
    virtual SStringAbstractBase& Assign(const char* s, size_t len = SNpos, size_t* assigned = nullptr);
    virtual SStringAbstractBase& Assign(const SStringAbstractBase& other);
    virtual bool IsWide() const = 0;
    // The text as UTF-16; borrows the own storage when the string is wide.
    virtual SAutoPtrT<wchar_t, 1>& GetWide(SAutoPtrT<wchar_t, 1>& out, size_t* outLen = nullptr) const;
    // The text in a code page (-1: the own one); borrows the own storage when no conversion is needed.
    virtual SAutoPtrT<char, 1>& GetNarrow(SAutoPtrT<char, 1>& out, UINT codePage = SOwnCodePage,
                                          size_t* outLen = nullptr) const;
    virtual SAutoPtrT<wchar_t, 1>& GetWide(SAutoPtrT<wchar_t, 1>& out, size_t* outLen = nullptr);
    // Native text: wchar_t for wide strings, char for narrow ones.
    virtual bool AppendNative(const void* s, size_t len) = 0;
    virtual bool AssignNative(const void* s, size_t len) = 0;
    virtual const void* GetNativeBuffer() const = 0;

private:
    template <typename CharT>
    SStringAbstractBase& AppendOrAssign(const CharT* s, size_t len, size_t* done, bool append);
};

template <class StdString, class CharT, UINT DefaultCodePage, int Flag>
class SStringBaseT : public StdString, public SStringAbstractBase
{
public:
    using CharType = CharT;
    using OtherCharT = std::conditional_t<std::is_same_v<CharT, wchar_t>, char, wchar_t>;
    static constexpr UINT DefaultCodePageValue = DefaultCodePage;

    SStringBaseT() noexcept : SStringAbstractBase(DefaultCodePage) {}
    SStringBaseT(const CharT* s, size_t len = SNpos, UINT codePage = DefaultCodePage);
    SStringBaseT(const OtherCharT* s, size_t len = SNpos, UINT codePage = DefaultCodePage);
    SStringBaseT(const SStringAbstractBase& other);
    SStringBaseT(const StdString& s) : StdString(s), SStringAbstractBase(DefaultCodePage) {}
    explicit SStringBaseT(std::basic_string_view<CharT> s)
        : StdString(s), SStringAbstractBase(DefaultCodePage)
    {
    }
    SStringBaseT(const SStringBaseT& other) : StdString(other), SStringAbstractBase(other) {}
    SStringBaseT(SStringBaseT&& other) noexcept;
    SStringBaseT& operator=(const SStringBaseT& other);
    SStringBaseT& operator=(SStringBaseT&& other) noexcept;
    SStringBaseT& operator=(const CharT* s);
    SStringBaseT& operator=(const OtherCharT* s);
    SStringBaseT& operator+=(const CharT* s);
    SStringBaseT& operator+=(const OtherCharT* s);
    SStringBaseT& operator+=(CharT ch);
    bool operator==(const CharT* s) const;
    // Typed views of the native operations; text of the other width must go through Append/Assign.
    bool AppendNative(const CharT* s, size_t len = SNpos)
    {
        return AppendNative(static_cast<const void*>(s), len);
    }
    bool AssignNative(const CharT* s, size_t len = SNpos)
    {
        return AssignNative(static_cast<const void*>(s), len);
    }
    bool AppendNative(const OtherCharT* s, size_t len) = delete;
    bool AssignNative(const OtherCharT* s, size_t len) = delete;
    // Out receives at most count units from `from` (empty text when from is not below GetLength()).
    void Mid(SStringBaseT& out, size_t from, size_t count = SNpos) const;

    ~SStringBaseT() override;
    size_t GetLength() const override;
    size_t GetCapacity() const override;
    bool IsEmpty() const override;
    void Clear() override;
    bool IsWide() const override;
    bool AppendNative(const void* s, size_t len) override;
    bool AssignNative(const void* s, size_t len) override;
    const void* GetNativeBuffer() const override;

    virtual SStringBaseT& ReplaceChar(CharT from, CharT to);
    virtual SStringBaseT& Replace(const SStringBaseT& find, const SStringBaseT& with, bool ignoreCase = false,
                                  bool wholeWord = false);
    virtual SStringBaseT& operator+=(const SStringAbstractBase& other);
    virtual SStringBaseT& operator=(const SStringAbstractBase& other);
    virtual bool StartsWithChar(CharT ch) const;
    virtual bool EndsWithChar(CharT ch) const;
    virtual SStringBaseT& Enclose(const wchar_t* s, size_t len = SNpos);
    virtual SStringBaseT& Enclose(const char* s, size_t len = SNpos);
    virtual SStringBaseT& Enclose(const SStringAbstractBase& s);
    virtual size_t GetSize() const;
    virtual SStringBaseT& Truncate(size_t n);
    virtual SStringBaseT& TruncateRight(size_t n);
    // Splits at a separator that goes to neither side; without one, left gets all and right is cleared.
    virtual bool SplitAtFirstOf(SStringBaseT& left, SStringBaseT& right, const CharT* set) const;
    virtual bool SplitAtFirst(SStringBaseT& left, SStringBaseT& right, CharT ch) const;
    virtual bool SplitAtLastOf(SStringBaseT& left, SStringBaseT& right, const CharT* set) const;
    virtual bool SplitAtLast(SStringBaseT& left, SStringBaseT& right, CharT ch) const;
    virtual bool operator==(const SStringBaseT& other) const;
    virtual bool operator!=(const SStringBaseT& other) const;
    virtual bool StartsWith(const SStringBaseT& prefix, CharT separator = 0, size_t* matched = nullptr) const;
    virtual bool EndsWith(const SStringBaseT& suffix, CharT separator = 0, size_t* matched = nullptr) const;
    virtual bool IsEqual(const SStringBaseT& other) const;
    virtual bool IsNotEqual(const SStringBaseT& other) const;
    virtual bool Contains(const SStringBaseT& sub, size_t* position = nullptr) const;
    virtual bool StartsWithNoCase(const SStringBaseT& prefix, CharT separator = 0,
                                  size_t* matched = nullptr) const;
    virtual bool EndsWithNoCase(const SStringBaseT& suffix, CharT separator = 0,
                                size_t* matched = nullptr) const;
    virtual bool IsEqualNoCase(const SStringBaseT& other) const;
    virtual bool IsNotEqualNoCase(const SStringBaseT& other) const;
    virtual bool ContainsNoCase(const SStringBaseT& sub, size_t* position = nullptr) const;
    virtual int Dump() const;
    virtual void Reserve(size_t n);
    virtual CharT* GetBuffer(size_t n);
    virtual bool ReleaseBuffer(size_t n = SNpos);
    virtual bool MakeUpper();
    virtual bool MakeLower();
    // Trimming: the two-sided and right-hand forms return the new length, the left-hand forms
    // whether the text was assigned.
    virtual size_t Trim(const CharT* set);
    virtual size_t Trim(CharT ch);
    virtual size_t TrimBlanks();
    virtual size_t TrimWhitespace();
    virtual bool TrimLeft(const CharT* set);
    virtual bool TrimLeft(CharT ch);
    virtual bool TrimLeftBlanks();
    virtual bool TrimLeftWhitespace();
    virtual size_t TrimRight(const CharT* set);
    virtual size_t TrimRight(CharT ch);
    virtual size_t TrimRightBlanks();
    virtual size_t TrimRightWhitespace();
    // printf-style: %s takes text of this string's width, %S of the other width.
    virtual bool Format(const CharT* fmt, ...);
    virtual bool FormatV(const CharT* fmt, va_list args);
    virtual bool AppendFormat(const CharT* fmt, ...);
    virtual bool AppendFormatV(const CharT* fmt, va_list args);
    // FormatMessage-style inserts (%1, %2!d!).
    virtual bool FormatMessage(const CharT* fmt, ...);
    virtual int Compare(const SStringBaseT& other) const;
    virtual int Compare(const CharT* other) const;
    virtual int CompareNoCase(const SStringBaseT& other) const;
    virtual int CompareNoCase(const CharT* other) const;
    // Searches on the stored units; -1 when not found.
    virtual size_t Find(const SStringBaseT& s, size_t from = 0) const;
    virtual size_t Find(const CharT* s, size_t from = 0, size_t count = SNpos) const;
    virtual size_t Find(CharT ch, size_t from = 0) const;
    virtual size_t FindNoCase(const SStringBaseT& s, size_t from = 0) const;
    virtual size_t FindNoCase(const CharT* s, size_t from = 0, size_t count = SNpos) const;
    virtual size_t FindNoCase(CharT ch, size_t from = 0) const;
    // Set scans over positions from..to (inclusive, -1 = the last unit).
    virtual size_t FindOneOf(const CharT* set, ptrdiff_t from = 0, size_t to = SNpos,
                             bool matchCase = true) const;
    virtual SStringBaseT SpanIncluding(const CharT* set, ptrdiff_t from = 0, size_t to = SNpos,
                                       bool matchCase = true) const;
    virtual SStringBaseT SpanExcluding(const CharT* set, ptrdiff_t from = 0, size_t to = SNpos,
                                       bool matchCase = true) const;
    virtual size_t GetSpanIncludingLength(const CharT* set, ptrdiff_t from = 0, size_t to = SNpos,
                                          bool matchCase = true) const;
    virtual size_t GetSpanExcludingLength(const CharT* set, ptrdiff_t from = 0, size_t to = SNpos,
                                          bool matchCase = true) const;
    virtual size_t ScanNotOf(const CharT* set, ptrdiff_t from = 0, size_t to = SNpos,
                             bool matchCase = true) const;
    virtual size_t ScanOneOf(const CharT* set, ptrdiff_t from = 0, size_t to = SNpos,
                             bool matchCase = true) const;
    virtual size_t ReverseFind(const SStringBaseT& s, size_t from = SNpos) const;
    virtual size_t ReverseFind(const CharT* s, size_t from = SNpos, size_t count = SNpos) const;
    virtual size_t ReverseFind(CharT ch, size_t from = SNpos) const;
    virtual size_t ReverseFindNoCase(const SStringBaseT& s, size_t from = SNpos) const;
    virtual size_t ReverseFindNoCase(const CharT* s, size_t from = SNpos, size_t count = SNpos) const;
    virtual size_t ReverseFindNoCase(CharT ch, size_t from = SNpos) const;
    // Backward set scans: from is the upper end (-1 = the last unit), to the lower end.
    virtual size_t ReverseFindOneOf(const CharT* set, size_t from = SNpos, ptrdiff_t to = 0,
                                    bool matchCase = true) const;
    virtual SStringBaseT ReverseSpanIncluding(const CharT* set, size_t from = SNpos, ptrdiff_t to = 0,
                                              bool matchCase = true) const;
    virtual SStringBaseT ReverseSpanExcluding(const CharT* set, size_t from = SNpos, ptrdiff_t to = 0,
                                              bool matchCase = true) const;
    virtual size_t GetReverseSpanIncludingLength(const CharT* set, size_t from = SNpos, ptrdiff_t to = 0,
                                                 bool matchCase = true) const;
    virtual size_t GetReverseSpanExcludingLength(const CharT* set, size_t from = SNpos, ptrdiff_t to = 0,
                                                 bool matchCase = true) const;
    virtual size_t ReverseScanNotOf(const CharT* set, size_t from = SNpos, ptrdiff_t to = 0,
                                    bool matchCase = true) const;
    virtual size_t ReverseScanOneOf(const CharT* set, size_t from = SNpos, ptrdiff_t to = 0,
                                    bool matchCase = true) const;

    // The base class names are hidden by the overloads above; bring the conversion family back.
    using SStringAbstractBase::Append;
    using SStringAbstractBase::Assign;
    using SStringAbstractBase::GetNarrow;
    using SStringAbstractBase::GetWide;

private:
    void ZeroStorage() noexcept;
    bool FormatInto(const CharT* fmt, va_list args, bool append);
    bool SplitAt(SStringBaseT& left, SStringBaseT& right, size_t position) const;
};

using SString = SStringBaseT<std::wstring, wchar_t, 1, 1>;
using SStringA = SStringBaseT<std::string, char, 0, 1>;
using SStringOem = SStringBaseT<std::string, char, 1, 1>;
using SStringUtf8 = SStringBaseT<std::string, char, 65001, 1>;

extern template class SStringBaseT<std::wstring, wchar_t, 1, 1>;
extern template class SStringBaseT<std::string, char, 0, 1>;
extern template class SStringBaseT<std::string, char, 1, 1>;
extern template class SStringBaseT<std::string, char, 65001, 1>;

} // namespace S
