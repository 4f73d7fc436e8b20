// Owned system resources: one owner template, SUniqueResource, and a named type for every kind of
// handle or system memory the library releases.
//
// A policy gives the owner its resource type (Type), the value an empty owner holds (Empty), which
// values are real resources (IsValid: anything else is never closed), the close call (Close), and
// whether one value stands for several counted references (kCounted: a module handle), so that
// taking the same value again still releases the one held; otherwise resetting to the held value
// keeps it open.
// Closing never throws, its failure is ignored since nothing useful can be done about it, and the
// thread's last error is the same after a close as before it, so a caller may close first and read
// the reason of an earlier failure afterwards.
// Closers that live in a module the library does not import (ole32, mpr, wer) are found at run time:
// Resolve() finds them and says whether they exist; call it before taking such a resource, since
// Close never loads anything and does nothing while its function is unknown.
// Thread-safety: an owner belongs to one thread at a time; separate owners are independent.
#pragma once

#include <windows.h>

#include <utility>

namespace S
{

template <typename Policy> class SUniqueResource
{
public:
    using Type = typename Policy::Type;

    SUniqueResource() noexcept = default;
    explicit SUniqueResource(Type resource) noexcept : m_Resource(resource) {}
    SUniqueResource(const SUniqueResource&) = delete;
    SUniqueResource& operator=(const SUniqueResource&) = delete;
    SUniqueResource(SUniqueResource&& other) noexcept : m_Resource(other.Detach()) {}
    SUniqueResource& operator=(SUniqueResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    ~SUniqueResource() { Reset(); }

    static bool IsValid(Type resource) noexcept { return Policy::IsValid(resource); }
    bool IsValid() const noexcept { return Policy::IsValid(m_Resource); }
    explicit operator bool() const noexcept { return IsValid(); }
    Type Get() const noexcept { return m_Resource; }

    // For APIs that return the resource through a pointer; closes what was held.
    Type* Put() noexcept
    {
        Reset();
        return &m_Resource;
    }
    Type Detach() noexcept { return std::exchange(m_Resource, Policy::Empty()); }
    void Reset(Type resource = Policy::Empty()) noexcept
    {
        const Type old = std::exchange(m_Resource, resource);
        if (!Policy::IsValid(old) || (old == resource && !Policy::kCounted))
            return;
        const DWORD lastError = GetLastError();
        Policy::Close(old);
        SetLastError(lastError);
    }

private:
    Type m_Resource = Policy::Empty();
};

// A policy for resources whose only "no resource" value is null.
template <typename T> struct SNullIsEmpty
{
    using Type = T;
    static constexpr bool kCounted = false;
    static constexpr Type Empty() noexcept { return nullptr; }
    static bool IsValid(Type resource) noexcept { return resource != nullptr; }
};

struct SKernelHandlePolicy : SNullIsEmpty<HANDLE>
{
    static bool IsValid(HANDLE handle) noexcept
    {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Close(HANDLE handle) noexcept;
};
// A kernel object (CloseHandle); 0 and INVALID_HANDLE_VALUE both mean none.
// Failure contract: a failed close is ignored and the last error survives it.
using SHandle = SUniqueResource<SKernelHandlePolicy>;

struct SRegistryKeyPolicy : SNullIsEmpty<HKEY>
{
    static void Close(HKEY key) noexcept;
};
// An open registry key (RegCloseKey). Failure contract: as SHandle.
using SRegistryKeyHandle = SUniqueResource<SRegistryKeyPolicy>;

struct SServiceHandlePolicy : SNullIsEmpty<SC_HANDLE>
{
    static void Close(SC_HANDLE handle) noexcept;
};
// A control-manager or service handle (CloseServiceHandle). Failure contract: as SHandle.
using SServiceHandle = SUniqueResource<SServiceHandlePolicy>;

struct SModulePolicy : SNullIsEmpty<HMODULE>
{
    static constexpr bool kCounted = true;
    static void Close(HMODULE module) noexcept;
};
// One reference on a loaded module (FreeLibrary). Failure contract: as SHandle.
using SModuleRef = SUniqueResource<SModulePolicy>;

struct SThreadSlotPolicy
{
    using Type = DWORD;
    static constexpr bool kCounted = false;
    static constexpr DWORD Empty() noexcept { return TLS_OUT_OF_INDEXES; }
    static bool IsValid(DWORD slot) noexcept { return slot != TLS_OUT_OF_INDEXES; }
    static void Close(DWORD slot) noexcept;
};
// A thread-local storage index (TlsFree). Failure contract: as SHandle.
using SThreadSlot = SUniqueResource<SThreadSlotPolicy>;

struct SLocalMemoryPolicy : SNullIsEmpty<void*>
{
    static void Close(void* memory) noexcept;
};
// Memory a system call allocated with LocalAlloc for its caller. Failure contract: as SHandle.
using SLocalMemory = SUniqueResource<SLocalMemoryPolicy>;

struct STaskMemoryPolicy : SNullIsEmpty<void*>
{
    static bool Resolve() noexcept;
    static void Close(void* memory) noexcept;
};
// Memory a shell or COM call allocated for its caller (CoTaskMemFree, found at run time).
// Failure contract: without Resolve() having found the function, the memory is left (never a crash).
using STaskMemory = SUniqueResource<STaskMemoryPolicy>;

struct SNetworkEnumerationPolicy : SNullIsEmpty<HANDLE>
{
    static bool Resolve() noexcept;
    static void Close(HANDLE enumeration) noexcept;
};
// An open enumeration of network resources (WNetCloseEnum, found at run time).
// Failure contract: as STaskMemory.
using SNetworkEnumeration = SUniqueResource<SNetworkEnumerationPolicy>;

struct SErrorReportPolicy : SNullIsEmpty<HANDLE>
{
    static bool Resolve() noexcept;
    static void Close(HANDLE report) noexcept;
};
// A Windows Error Reporting report (WerReportCloseHandle, found at run time); closing loads nothing.
// Failure contract: as STaskMemory.
using SErrorReport = SUniqueResource<SErrorReportPolicy>;

} // namespace S
