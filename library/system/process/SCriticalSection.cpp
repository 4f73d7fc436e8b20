#include "library/system/process/SCriticalSection.h"

#include "library/diagnostics/SAssert.h"

#include <new>

namespace S
{

CRITICAL_SECTION* SCriticalSection::SectionPolicy::Create() noexcept
{
    CRITICAL_SECTION* const section = new (std::nothrow) CRITICAL_SECTION;
    if (section != nullptr)
        InitializeCriticalSection(section);
    return section;
}

void SCriticalSection::SectionPolicy::Close(CRITICAL_SECTION* section) noexcept
{
    DeleteCriticalSection(section);
    delete section;
}

SCriticalSection::SCriticalSection() noexcept : m_Section(SectionPolicy::Create())
{
    if (!m_Section)
    {
        // The source path and line are fixed texts, kept on purpose for compatibility.
        ReportAssertion(AssertionReportType, L"library\\system\\process\\winum\\scriticalsection", 25,
                        nullptr, L"m_pCSection != NULL");
    }
}

SResult SCriticalSection::Wait(SResult& result, bool /*alertable*/, DWORD /*timeoutMs*/) noexcept
{
    if (!m_Section)
        return result = kResultNoHandle;
    EnterCriticalSection(m_Section.Get());
    return result = 0;
}

void SCriticalSection::Enter() noexcept
{
    if (m_Section)
        EnterCriticalSection(m_Section.Get());
}

void SCriticalSection::Leave() noexcept
{
    if (m_Section)
        LeaveCriticalSection(m_Section.Get());
}

SResult SCriticalSection::TryEnter(SResult& result) noexcept
{
    if (!m_Section)
        return result = kResultNoHandle;
    return result = TryEnterCriticalSection(m_Section.Get()) ? SResult(0) : kResultCallFailed;
}

void SAutoCriticalSection::Attach(SCriticalSection* section) noexcept
{
    Release();
    if (section == nullptr)
        return;
    section->Enter();
    m_pSection = section;
}

void SAutoCriticalSection::Release() noexcept
{
    if (m_pSection != nullptr)
        m_pSection->Leave();
    m_pSection = nullptr;
}

} // namespace S
