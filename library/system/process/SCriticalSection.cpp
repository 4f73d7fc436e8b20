#include "library/system/process/SCriticalSection.h"

#include "library/diagnostics/SAssert.h"

#include <new>

namespace S
{

void SCriticalSection::Deleter::operator()(CRITICAL_SECTION* section) const noexcept
{
    DeleteCriticalSection(section);
    delete section;
}

SCriticalSection::SCriticalSection() noexcept : m_pCSection(new (std::nothrow) CRITICAL_SECTION)
{
    if (m_pCSection == nullptr)
    {
        // The source path and line are fixed texts, kept on purpose for compatibility.
        ReportAssertion(AssertionReportType, L"library\\system\\process\\winum\\scriticalsection", 25,
                        nullptr, L"m_pCSection != NULL");
        return;
    }
    InitializeCriticalSection(m_pCSection.get());
}

SResult SCriticalSection::Wait(SResult& result, bool /*alertable*/, DWORD /*timeoutMs*/) noexcept
{
    if (m_pCSection == nullptr)
        return result = kResultNoHandle;
    EnterCriticalSection(m_pCSection.get());
    return result = 0;
}

void SCriticalSection::Enter() noexcept
{
    if (m_pCSection != nullptr)
        EnterCriticalSection(m_pCSection.get());
}

void SCriticalSection::Leave() noexcept
{
    if (m_pCSection != nullptr)
        LeaveCriticalSection(m_pCSection.get());
}

SResult SCriticalSection::TryEnter(SResult& result) noexcept
{
    if (m_pCSection == nullptr)
        return result = kResultNoHandle;
    return result = TryEnterCriticalSection(m_pCSection.get()) ? SResult(0) : kResultCallFailed;
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
