// Replacement of the global allocation functions for the utility tests: each block carries its
// size in a header so that operator delete can inspect the whole block before freeing it.
#include "FreedMemoryProbe.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace
{

constexpr size_t HeaderSize = 16;
constexpr size_t MaxWatched = 16;

struct WatchRecord
{
    const void* block = nullptr;
    bool freed = false;
    bool zero = false;
    size_t size = 0;
};

WatchRecord g_Watched[MaxWatched];
size_t g_WatchedCount = 0;
bool g_Armed = false;

void* Allocate(size_t size) noexcept
{
    auto* base = static_cast<unsigned char*>(std::malloc(size + HeaderSize));
    if (base == nullptr)
        return nullptr;
    std::memcpy(base, &size, sizeof(size));
    return base + HeaderSize;
}

void Deallocate(void* p) noexcept
{
    if (p == nullptr)
        return;
    auto* base = static_cast<unsigned char*>(p) - HeaderSize;
    size_t size = 0;
    std::memcpy(&size, base, sizeof(size));
    if (g_Armed)
    {
        for (size_t i = 0; i < g_WatchedCount; ++i)
        {
            WatchRecord& record = g_Watched[i];
            if (record.block == p && !record.freed)
            {
                record.freed = true;
                record.size = size;
                record.zero = STest::AllZero(p, size);
            }
        }
    }
    std::free(base);
}

const WatchRecord* Find(const void* p)
{
    for (size_t i = 0; i < g_WatchedCount; ++i)
    {
        if (g_Watched[i].block == p)
            return &g_Watched[i];
    }
    return nullptr;
}

} // namespace

// The runtime's array and nothrow forms end in these.
void* operator new(size_t size)
{
    void* p = Allocate(size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept
{
    Deallocate(p);
}
void operator delete(void* p, size_t) noexcept
{
    Deallocate(p);
}

namespace STest
{

FreedMemoryProbe::FreedMemoryProbe()
{
    g_WatchedCount = 0;
    g_Armed = true;
}

FreedMemoryProbe::~FreedMemoryProbe()
{
    g_Armed = false;
    g_WatchedCount = 0;
}

void FreedMemoryProbe::Watch(const void* p)
{
    if (g_WatchedCount < MaxWatched)
        g_Watched[g_WatchedCount++] = WatchRecord{p};
}

bool FreedMemoryProbe::WasFreed(const void* p) const
{
    const WatchRecord* record = Find(p);
    return record != nullptr && record->freed;
}

bool FreedMemoryProbe::WasZeroWhenFreed(const void* p) const
{
    const WatchRecord* record = Find(p);
    return record != nullptr && record->freed && record->zero;
}

size_t FreedMemoryProbe::FreedSize(const void* p) const
{
    const WatchRecord* record = Find(p);
    return record != nullptr && record->freed ? record->size : 0;
}

bool AllZero(const void* p, size_t bytes)
{
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < bytes; ++i)
    {
        if (b[i] != 0)
            return false;
    }
    return true;
}

bool ContainsBytes(const void* haystack, size_t size, const void* needle, size_t needleSize)
{
    const auto* h = static_cast<const unsigned char*>(haystack);
    for (size_t i = 0; i + needleSize <= size; ++i)
    {
        if (std::memcmp(h + i, needle, needleSize) == 0)
            return true;
    }
    return false;
}

} // namespace STest
