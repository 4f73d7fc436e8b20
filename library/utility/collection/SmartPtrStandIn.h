// Temporary shared pointer for iterators until the library's SSmartPtrT is available.
#pragma once

#include <memory>

namespace S
{

template <typename TPtr, int A, int B> class SSmartPtrT;

template <typename T, int A, int B> class SSmartPtrT<T*, A, B>
{
public:
    SSmartPtrT() = default;
    explicit SSmartPtrT(T* target) : m_Target(target) {}
    virtual ~SSmartPtrT() = default;
    SSmartPtrT(const SSmartPtrT&) = default;
    SSmartPtrT& operator=(const SSmartPtrT&) = default;

    T* Get() const noexcept { return m_Target.get(); }
    T* operator->() const noexcept { return m_Target.get(); }
    T& operator*() const noexcept { return *m_Target; }
    explicit operator bool() const noexcept { return m_Target != nullptr; }

private:
    std::shared_ptr<T> m_Target;
};

} // namespace S
