// SSmartPtrT: a shared pointer whose reference count and target live in two heap cells shared by
// all copies. The count changes atomically, so copies may be released on different threads; the
// target itself is not protected. The last release deletes the target (by default through its
// virtual destructor) and frees both cells.
// Failure contract: nothing fails but cell allocation, which throws std::bad_alloc after deleting
// the target it was given.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace S
{

// Holds the pointer to the shared reference count.
class SReferencePtr
{
protected:
    SReferencePtr() noexcept = default;
    explicit SReferencePtr(std::atomic<int32_t>* count) noexcept : m_pCount(count) {}

    // Out of line, so that the compiler's flow analysis does not take the shared count cell,
    // freed by whichever copy is released last, for a double free.
    static std::atomic<int32_t>* NewCountCell();
    static void FreeCountCell(std::atomic<int32_t>* cell) noexcept;

    // The count after the change; a missing count cell reads as -1 on release.
    int32_t AddReference() noexcept { return m_pCount == nullptr ? 0 : m_pCount->fetch_add(1) + 1; }
    int32_t ReleaseReference() noexcept { return m_pCount == nullptr ? -1 : m_pCount->fetch_sub(1) - 1; }

    std::atomic<int32_t>* m_pCount = nullptr;
};

template <typename TPtr, int A = 0, int B = 1> class SSmartPtrT : public SReferencePtr
{
    static_assert(std::is_pointer_v<TPtr>, "SSmartPtrT is instantiated with a pointer type");

public:
    using T = std::remove_pointer_t<TPtr>;
    using DeleterFunction = void (*)(T*);

    SSmartPtrT() noexcept = default;

    // Owns target: the last release deletes it through its virtual destructor.
    explicit SSmartPtrT(T* target) : SSmartPtrT(target, VirtualDelete, 0) {}

    // The last release calls deleter with the target; a null deleter never deletes it.
    SSmartPtrT(T* target, DeleterFunction deleter)
        : SSmartPtrT(target, deleter == nullptr ? NeverDelete : reinterpret_cast<uintptr_t>(deleter), 0)
    {
    }

    SSmartPtrT(const SSmartPtrT& other) noexcept : SReferencePtr() { ShareFrom(other); }
    SSmartPtrT(SSmartPtrT&& other) noexcept : SReferencePtr() { TakeFrom(other); }
    SSmartPtrT& operator=(const SSmartPtrT& other) noexcept
    {
        if (this != &other && !(m_ppTarget == other.m_ppTarget && m_pCount == other.m_pCount))
        {
            Release();
            ShareFrom(other);
        }
        return *this;
    }
    SSmartPtrT& operator=(SSmartPtrT&& other) noexcept
    {
        if (this != &other)
        {
            Release();
            TakeFrom(other);
        }
        return *this;
    }

    virtual ~SSmartPtrT() { Release(); }

    // Same object, same target cell or same target; otherwise the targets' own equality.
    virtual bool IsEqual(const SSmartPtrT& other) const
    {
        if (&other == this)
            return true;
        if (HasCell() && other.HasCell())
        {
            if (m_ppTarget == other.m_ppTarget || *m_ppTarget == *other.m_ppTarget)
                return true;
        }
        const T* mine = Get();
        const T* theirs = other.Get();
        if (mine == nullptr || theirs == nullptr)
            return false;
        if constexpr (requires(const T& a, const T& b) { static_cast<bool>(a.IsEqual(b)); })
            return static_cast<bool>(mine->IsEqual(*theirs));
        else
            return false;
    }
    virtual bool IsNotEqual(const SSmartPtrT& other) const { return !IsEqual(other); }

    T* Get() const noexcept { return HasCell() ? *m_ppTarget : nullptr; }
    T* operator->() const noexcept { return Get(); }
    T& operator*() const noexcept { return *Get(); }
    explicit operator bool() const noexcept { return Get() != nullptr; }
    // How many copies share the target (0 when there is none).
    int32_t GetReferenceCount() const noexcept { return m_pCount == nullptr ? 0 : m_pCount->load(); }

protected:
    // Frees both cells without touching the target; the pointer is left without a cell.
    virtual void ReleaseCells()
    {
        FreeCountCell(m_pCount);
        m_pCount = nullptr;
        if (HasCell())
            delete m_ppTarget;
        m_ppTarget = Marker();
    }

private:
    static constexpr uintptr_t NeverDelete = 0;
    static constexpr uintptr_t VirtualDelete = ~uintptr_t(0);

    SSmartPtrT(T* target, uintptr_t deleter, int) : m_Deleter(deleter)
    {
        try
        {
            m_ppTarget = new T*(target);
            m_pCount = NewCountCell();
        }
        catch (...)
        {
            if (HasCell())
                delete m_ppTarget;
            m_ppTarget = Marker();
            DeleteTarget(target);
            throw;
        }
        AddReference();
    }

    static T** Marker() noexcept { return reinterpret_cast<T**>(~uintptr_t(0)); }
    bool HasCell() const noexcept { return m_ppTarget != nullptr && m_ppTarget != Marker(); }

    void DeleteTarget(T* target) const
    {
        if (target == nullptr || reinterpret_cast<uintptr_t>(target) == ~uintptr_t(0) ||
            m_Deleter == NeverDelete)
            return;
        if (m_Deleter == VirtualDelete)
            delete target;
        else
            reinterpret_cast<DeleterFunction>(m_Deleter)(target);
    }

    void Release() noexcept
    {
        if (m_ppTarget == Marker())
            return;
        const int32_t remaining = ReleaseReference();
        T* taken = nullptr;
        if (remaining == 0 && m_Deleter != NeverDelete && HasCell())
            taken = std::exchange(*m_ppTarget, nullptr);
        if (remaining == 0)
        {
            DeleteTarget(taken);
            if (m_KeepCells == 0)
                ReleaseCells();
        }
        m_ppTarget = Marker();
        m_pCount = nullptr;
    }

    void ShareFrom(const SSmartPtrT& other) noexcept
    {
        m_ppTarget = other.m_ppTarget;
        m_pCount = other.m_pCount;
        m_Deleter = other.m_Deleter;
        m_KeepCells = other.m_KeepCells;
        if (m_ppTarget != Marker())
            AddReference();
    }

    void TakeFrom(SSmartPtrT& other) noexcept
    {
        m_ppTarget = std::exchange(other.m_ppTarget, Marker());
        m_pCount = std::exchange(other.m_pCount, nullptr);
        m_Deleter = other.m_Deleter;
        m_KeepCells = other.m_KeepCells;
    }

    T** m_ppTarget = Marker();
    uintptr_t m_Deleter = VirtualDelete;
    int32_t m_KeepCells = 0;
};

} // namespace S
