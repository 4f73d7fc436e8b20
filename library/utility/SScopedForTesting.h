// A test seam is a process-wide setter of the shape `T SetXForTesting(T value) noexcept` that puts
// `value` in place of the real call and returns the value it replaced. SScopedForTesting sets a
// seam for its own lifetime and then puts back that replaced value, not the default, so scopes
// nest and a test never undoes what an enclosing scope installed.
// Thread-safety: as the setter's; create and destroy a scope on one thread, and nested scopes in
// reverse order.
// Failure contract: none; setters cannot fail.
#pragma once

#include <type_traits>
#include <utility>

namespace S
{

template <typename T> class SScopedForTesting
{
public:
    using Setter = T (*)(T) noexcept;

    SScopedForTesting(Setter set, T value) noexcept : m_Set(set), m_Previous(set(std::move(value))) {}
    ~SScopedForTesting() { m_Set(std::move(m_Previous)); }
    SScopedForTesting(const SScopedForTesting&) = delete;
    SScopedForTesting& operator=(const SScopedForTesting&) = delete;

    // What the scope replaced and will put back.
    const T& Previous() const noexcept { return m_Previous; }

private:
    const Setter m_Set;
    T m_Previous;
};

// The setter alone decides T, so a derived pointer or a string literal converts to it.
template <typename T> SScopedForTesting(T (*)(T) noexcept, std::type_identity_t<T>) -> SScopedForTesting<T>;

} // namespace S
