// Where the collections report programming errors: the assertion hook with the library's own
// source names and lines. Thread-safe: the hook works on the caller's stack only.
// The source names below and the line numbers passed with them are not this tree's paths and
// lines; they are fixed texts, kept on purpose for compatibility.
// Failure contract: none; constants only.
#pragma once

namespace S::CollectionAssert
{

inline constexpr const wchar_t* ListSource = L"library\\utility\\collection\\winum\\slist";
inline constexpr const wchar_t* ResourceListSource = L"library\\utility\\collection\\winum\\sresourcelist";
inline constexpr const wchar_t* MapSource = L"library\\utility\\collection\\winum\\smap";
inline constexpr const wchar_t* CollectionBaseSource = L"library\\utility\\collection\\scollectionbase";
inline constexpr const wchar_t* ListInterfaceSource = L"library\\utility\\collection\\ilist";
inline constexpr const wchar_t* CollectionInterfaceSource = L"library\\utility\\collection\\icollection";

inline constexpr const wchar_t* OwnStepFailed = L"mit->Next(). Message:\nFailed to go next";
inline constexpr const wchar_t* OtherStepFailed = L"oit->Next(). Message:\nFailed to go next";

// `expression` holds no format directives; it is passed to the hook as its own format.
void Report(const wchar_t* source, int line, const wchar_t* expression) noexcept;

} // namespace S::CollectionAssert
