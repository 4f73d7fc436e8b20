// The assertion hook of the foundation library. A failed check is composed into a report text
// and the hook returns 0: nothing is shown, logged or raised, so the caller carries on with its
// own failure path. Thread-safe: works on the caller's stack only.
// Failure contract: nothing here fails; a report longer than its buffer is cut.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace S
{

// Size of each report buffer in wide characters, terminator included.
inline constexpr std::size_t AssertionTextSize = 1024;

// Report type passed at every call site of the library.
inline constexpr int AssertionReportType = 2;

// `format` is the failed expression (a wide format, "%s" taking wide text) with its arguments.
// `module` is unused and always 0. Always returns 0.
int ReportAssertion(int reportType, const wchar_t* file, int line, const wchar_t* module,
                    const wchar_t* format, ...) noexcept;

// Composes the report text that ReportAssertion builds and drops: program path, source file,
// line and the formatted expression, each buffer truncated at AssertionTextSize - 1 characters.
// Returns the number of characters in `report`.
std::size_t FormatAssertionReport(wchar_t (&report)[AssertionTextSize], const wchar_t* file, int line,
                                  const wchar_t* format, va_list args) noexcept;

} // namespace S
