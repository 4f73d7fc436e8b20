// SBufferT: a typed, single-owner array. Plain data (IsObject 0) lives in zeroed memory from the
// plain allocator and is wiped before it goes back; class types (IsObject 1) are an array of
// constructed elements. Failure contract: Resize writes its code to `out` and returns it; on an
// allocation failure a plain buffer is left empty, an object buffer keeps its old array.
// Thread-safety: none; one owner at a time.
#pragma once

#include "library/diagnostics/SResultCodes.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace S
{

// The plain allocator pair shared by SBufferT, SAutoPtrT<T, 1> and the string conversions: memory
// from PlainAllocateZeroed is released with PlainFree and nothing else.
void* PlainAllocateZeroed(size_t bytes) noexcept;
void PlainFree(void* p) noexcept;

// Overwrites memory with zeros in a way the optimiser may not drop, even right before a free.
void SecureZero(void* p, size_t bytes) noexcept;

inline constexpr unsigned SBufferTagValue = 0x4C544253u;

template <typename T, int IsObject = (std::is_trivially_copyable_v<T> ? 0 : 1),
          typename SizeType = unsigned int, unsigned Tag = SBufferTagValue>
class SBufferT;

// The fields, moves and accessors both buffer kinds share; `Release::Free(data, capacity)` gives
// memory back the kind's way. Detach hands the memory to the caller, who releases it the same way
// (PlainFree for plain data, delete[] for objects); the count is kept so that the caller can still
// read how many elements it received, the capacity becomes 0.
template <typename T, typename SizeType, typename Release> class SBufferStorage
{
public:
    SBufferStorage(const SBufferStorage&) = delete;
    SBufferStorage& operator=(const SBufferStorage&) = delete;
    SBufferStorage(SBufferStorage&& other) noexcept { TakeFrom(other); }
    SBufferStorage& operator=(SBufferStorage&& other) noexcept
    {
        if (this != &other)
        {
            Free();
            TakeFrom(other);
        }
        return *this;
    }

    T* GetData() noexcept { return m_pData; }
    const T* GetData() const noexcept { return m_pData; }
    SizeType GetCount() const noexcept { return m_Count; }
    SizeType GetCapacity() const noexcept { return m_Capacity; }
    T& operator[](SizeType i) noexcept { return m_pData[i]; }
    const T& operator[](SizeType i) const noexcept { return m_pData[i]; }
    T* Detach() noexcept
    {
        m_Capacity = 0;
        return std::exchange(m_pData, nullptr);
    }

protected:
    SBufferStorage() noexcept = default;
    ~SBufferStorage() = default;
    void Free() noexcept
    {
        if (m_pData != nullptr)
            Release::Free(m_pData, m_Capacity);
        m_pData = nullptr;
        m_Count = 0;
        m_Capacity = 0;
    }

private:
    // Takes the other's memory; this one holds none.
    void TakeFrom(SBufferStorage& other) noexcept
    {
        m_pData = std::exchange(other.m_pData, nullptr);
        m_Count = std::exchange(other.m_Count, 0);
        m_Capacity = std::exchange(other.m_Capacity, 0);
    }

protected:
    T* m_pData = nullptr;
    SizeType m_Count = 0;
    SizeType m_Capacity = 0;
};

struct SBufferPlainRelease
{
    template <typename T, typename SizeType> static void Free(T* data, SizeType capacity) noexcept
    {
        SecureZero(data, sizeof(T) * static_cast<size_t>(capacity));
        PlainFree(data);
    }
};

struct SBufferObjectRelease
{
    template <typename T, typename SizeType> static void Free(T* data, SizeType) noexcept { delete[] data; }
};

// Plain data: the memory is always fully zeroed beyond the live elements it has held.
template <typename T, typename SizeType, unsigned Tag>
class SBufferT<T, 0, SizeType, Tag> : public SBufferStorage<T, SizeType, SBufferPlainRelease>
{
    using Storage = SBufferStorage<T, SizeType, SBufferPlainRelease>;
    using Storage::Free;
    using Storage::m_Capacity;
    using Storage::m_Count;
    using Storage::m_pData;

    static_assert(std::is_trivially_copyable_v<T>, "plain buffers hold trivially copyable data only");

public:
    SBufferT() noexcept = default;
    SBufferT(SBufferT&&) noexcept = default;
    SBufferT& operator=(SBufferT&&) noexcept = default;
    virtual ~SBufferT() { Free(); }

    SResult Resize(SResult& out, SizeType count, bool keepContents) noexcept
    {
        out = ResizeImpl(count, keepContents);
        return out;
    }

private:
    SResult ResizeImpl(SizeType n, bool keep) noexcept
    {
        if (n == m_Count)
        {
            if (n == 0)
                return 0;
            if (keep)
                return m_pData != nullptr ? SResult(0) : kResultInternalError;
        }
        if (n == 0)
        {
            m_Count = 0;
            return 0;
        }
        if (m_pData != nullptr && m_Capacity >= n)
        {
            if (!keep)
                SecureZero(m_pData, sizeof(T) * n);
            else if (m_Count < n)
                SecureZero(m_pData + m_Count, sizeof(T) * (n - m_Count));
            m_Count = n;
            return 0;
        }
        T* fresh = static_cast<T*>(PlainAllocateZeroed(sizeof(T) * static_cast<size_t>(n)));
        if (fresh != nullptr && keep && m_pData != nullptr)
            std::copy_n(m_pData, std::min(m_Count, n), fresh);
        Free();
        if (fresh == nullptr)
            return kResultOutOfMemory;
        m_pData = fresh;
        m_Count = n;
        m_Capacity = n;
        return 0;
    }
};

// Class types: an array created with new[] and destroyed element by element with delete[].
template <typename T, typename SizeType, unsigned Tag>
class SBufferT<T, 1, SizeType, Tag> : public SBufferStorage<T, SizeType, SBufferObjectRelease>
{
    using Storage = SBufferStorage<T, SizeType, SBufferObjectRelease>;
    using Storage::Free;
    using Storage::m_Capacity;
    using Storage::m_Count;
    using Storage::m_pData;

public:
    SBufferT() noexcept = default;
    SBufferT(SBufferT&&) noexcept = default;
    SBufferT& operator=(SBufferT&&) noexcept = default;
    virtual ~SBufferT() { Free(); }

    SResult Resize(SResult& out, SizeType count, bool keepContents)
    {
        out = ResizeImpl(count, keepContents);
        return out;
    }

private:
    SResult ResizeImpl(SizeType n, bool keep)
    {
        if (n == 0)
        {
            Free();
            return 0;
        }
        if (n == m_Count && keep)
            return m_pData != nullptr ? SResult(0) : kResultInternalError;
        T* fresh = new (std::nothrow) T[n];
        if (fresh == nullptr)
            return kResultOutOfMemory;
        if (keep && m_pData != nullptr)
            std::copy_n(m_pData, std::min(m_Count, n), fresh);
        Free();
        m_pData = fresh;
        m_Count = n;
        m_Capacity = n;
        return 0;
    }
};

} // namespace S
