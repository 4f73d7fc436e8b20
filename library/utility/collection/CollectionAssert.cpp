#include "library/utility/collection/CollectionAssert.h"

#include "library/diagnostics/SAssert.h"

namespace S::CollectionAssert
{

void Report(const wchar_t* source, int line, const wchar_t* expression) noexcept
{
    ReportAssertion(AssertionReportType, source, line, nullptr, expression);
}

} // namespace S::CollectionAssert
