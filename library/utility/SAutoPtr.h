// SAutoPtrT: a pointer that either owns its target or merely borrows it. IsArray 1: a plain array
// from the plain allocator (PlainAllocateZeroed), released with PlainFree; IsArray 0: one object
// deleted through its (virtual) destructor.
// Failure contract: nothing here fails.
// Thread-safety: none; one owner at a time.
#pragma once

#include "library/utility/SBuffer.h"

#include <cstdint>
#include <utility>

namespace S
{

template <typename T, int IsArray> class SAutoPtrT
{
public:
    SAutoPtrT() noexcept = default;
    explicit SAutoPtrT(T* target, bool owns = true) noexcept : m_Owns(owns ? 1 : 0), m_pTarget(target) {}
    SAutoPtrT(const SAutoPtrT&) = delete;
    SAutoPtrT& operator=(const SAutoPtrT&) = delete;
    SAutoPtrT(SAutoPtrT&& other) noexcept
        : m_Owns(std::exchange(other.m_Owns, 0)), m_pTarget(std::exchange(other.m_pTarget, nullptr))
    {
    }
    SAutoPtrT& operator=(SAutoPtrT&& other) noexcept
    {
        if (this == &other)
            return *this;
        if (m_pTarget != other.m_pTarget)
            ReleaseTarget();
        m_Owns = std::exchange(other.m_Owns, 0);
        m_pTarget = std::exchange(other.m_pTarget, nullptr);
        return *this;
    }
    virtual ~SAutoPtrT()
    {
        ReleaseTarget();
        m_Owns = 0;
        m_pTarget = nullptr;
    }

    T* Get() const noexcept { return m_pTarget; }
    T* operator->() const noexcept { return m_pTarget; }
    T& operator*() const noexcept { return *m_pTarget; }
    T& operator[](size_t i) const noexcept requires(IsArray == 1) { return m_pTarget[i]; }
    explicit operator bool() const noexcept { return m_pTarget != nullptr; }
    bool Owns() const noexcept { return m_Owns != 0; }

    // Releases the current target (when owned) and takes the new one.
    void Reset(T* target = nullptr, bool owns = true) noexcept
    {
        if (target != m_pTarget)
            ReleaseTarget();
        m_Owns = owns ? 1 : 0;
        m_pTarget = target;
    }

    // Gives the target up without releasing it; the caller becomes responsible for it.
    T* Detach() noexcept
    {
        m_Owns = 0;
        return std::exchange(m_pTarget, nullptr);
    }

private:
    void ReleaseTarget() noexcept
    {
        if (m_Owns == 0 || m_pTarget == nullptr)
            return;
        if constexpr (IsArray == 1)
            PlainFree(m_pTarget);
        else
            delete m_pTarget;
    }

    int32_t m_Owns = 1;
    T* m_pTarget = nullptr;
};

} // namespace S
