// Modules and their functions found at run time. A guest in another process loads a system module
// only when the work that needs it runs, never at its own load.
//
// SModuleRef (SHandle.h) owns one module reference; LoadModule takes one by name, ReferenceModuleOf
// one on the module that holds an address, such as a thread's own code. FindModuleFunction looks a
// function up by name and type. SLazyFunction finds a function of a system module on first use and
// keeps the answer, found or missing, for the life of the process; the module then stays loaded, as
// a delay-loaded import would.
// Failure contract: a lookup that fails gives null with the loader's reason in the last error; a
// miss that SLazyFunction kept from an earlier use gives null and leaves the last error alone.
// Thread-safety: SLazyFunction may be used from any thread; two first uses at once may both load
// the module, which only adds a reference.
#pragma once

#include "library/diagnostics/SResultCodes.h"
#include "library/system/SHandle.h"

#include <windows.h>

#include <atomic>
#include <type_traits>

namespace S
{

// A new reference on a module loaded by name; null when it cannot be loaded.
inline SModuleRef LoadModule(const wchar_t* name) noexcept
{
    return SModuleRef(LoadLibraryW(name));
}

// A new reference on the module that holds address; null when no module does.
inline SModuleRef ReferenceModuleOf(const void* address) noexcept
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, static_cast<LPCWSTR>(address), &module))
        return SModuleRef();
    return SModuleRef(module);
}

template <typename Function> Function FindModuleFunction(HMODULE module, const char* name) noexcept
{
    static_assert(std::is_pointer_v<Function>);
    if (module == nullptr)
        return nullptr;
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A function of a module that is already loaded in every process (ntdll, kernel32); no reference is
// taken.
template <typename Function>
Function FindLoadedModuleFunction(const wchar_t* module, const char* name) noexcept
{
    return FindModuleFunction<Function>(GetModuleHandleW(module), name);
}

template <typename Function> class SLazyFunction
{
public:
    constexpr SLazyFunction(const wchar_t* module, const char* name) noexcept : m_Module(module), m_Name(name)
    {
    }
    SLazyFunction(const SLazyFunction&) = delete;
    SLazyFunction& operator=(const SLazyFunction&) = delete;

    // The function, null when its module or the function itself is missing (asked once only).
    Function Get() noexcept
    {
        if (m_State.load(std::memory_order_acquire) == State::Resolved)
            return m_Function.load(std::memory_order_relaxed);
        SModuleRef module = LoadModule(m_Module);
        const Function function = FindModuleFunction<Function>(module.Get(), m_Name);
        // A module with the function stays for the process; one without it is of no further use.
        if (function != nullptr)
            module.Detach();
        m_Function.store(function, std::memory_order_relaxed);
        m_State.store(State::Resolved, std::memory_order_release);
        return function;
    }

    // True once Get has run, whatever it found.
    bool IsResolved() const noexcept { return m_State.load(std::memory_order_acquire) == State::Resolved; }
    // The function if Get already found it, without ever loading anything: for paths that must not
    // take the loader lock.
    Function GetIfResolved() const noexcept
    {
        return IsResolved() ? m_Function.load(std::memory_order_relaxed) : nullptr;
    }

private:
    enum class State : int
    {
        Unresolved,
        Resolved
    };
    const wchar_t* m_Module;
    const char* m_Name;
    std::atomic<Function> m_Function{nullptr};
    std::atomic<State> m_State{State::Unresolved};
};

} // namespace S
