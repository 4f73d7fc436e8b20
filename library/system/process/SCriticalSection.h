// The process-local lock of the library: a recursive critical section and the scope guard
// through which the library takes every lock. SCriticalSection is thread-safe (that is its job);
// an SAutoCriticalSection belongs to the thread that holds it.
// Failure contract: a section whose memory could not be allocated holds nothing; Enter and
// Leave then do nothing, Wait and TryEnter give kResultNoHandle.
#pragma once

#include "library/system/SHandle.h"
#include "library/system/process/SSyncable.h"

namespace S
{

class ICriticalSection : public SSyncable
{
public:
    virtual void Enter() noexcept = 0;
    virtual void Leave() noexcept = 0;
    // Never blocks: 0 when entered, kResultCallFailed when another thread holds the section.
    virtual SResult TryEnter(SResult& result) noexcept = 0;
};

class SCriticalSection : public ICriticalSection
{
public:
    SCriticalSection() noexcept;
    SCriticalSection(const SCriticalSection&) = delete;
    SCriticalSection& operator=(const SCriticalSection&) = delete;

    HANDLE GetHandle() const noexcept override { return nullptr; }
    // Enters the section; the flag and the time-out do not apply to a critical section.
    SResult Wait(SResult& result, bool alertable, DWORD timeoutMs) noexcept override;
    void Enter() noexcept override;
    void Leave() noexcept override;
    SResult TryEnter(SResult& result) noexcept override;

    bool IsValid() const noexcept { return m_Section.IsValid(); }

private:
    // The section lives on the heap; allocating and releasing it both stay in this policy.
    struct SectionPolicy : SNullIsEmpty<CRITICAL_SECTION*>
    {
        static CRITICAL_SECTION* Create() noexcept;
        static void Close(CRITICAL_SECTION* section) noexcept;
    };
    SUniqueResource<SectionPolicy> m_Section;
};

// Holds one section entered for its lifetime; leaves it on every path out of the scope.
class SAutoCriticalSection
{
public:
    SAutoCriticalSection() noexcept = default;
    explicit SAutoCriticalSection(SCriticalSection* section) noexcept { Attach(section); }
    explicit SAutoCriticalSection(SCriticalSection& section) noexcept { Attach(&section); }
    SAutoCriticalSection(const SAutoCriticalSection&) = delete;
    SAutoCriticalSection& operator=(const SAutoCriticalSection&) = delete;
    ~SAutoCriticalSection() { Release(); }

    // Leaves the section held, then enters `section` when one is given.
    void Attach(SCriticalSection* section) noexcept;
    // Leaves the section held and forgets it.
    void Release() noexcept;
    SCriticalSection* Get() const noexcept { return m_pSection; }

private:
    SCriticalSection* m_pSection = nullptr;
};

} // namespace S
