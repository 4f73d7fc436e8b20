#include "FreedMemoryProbe.h"

#include <cstdlib>
#include <cstring>
#include <new>

static constexpr size_t HeaderSize = 16;

// The runtime's array, sized and nothrow forms end in these.
void* operator new(size_t size)
{
    auto* base = static_cast<unsigned char*>(std::malloc(size + HeaderSize));
    if (base == nullptr)
        throw std::bad_alloc();
    std::memcpy(base, &size, sizeof(size));
    return base + HeaderSize;
}

void operator delete(void* p) noexcept
{
    if (p == nullptr)
        return;
    auto* base = static_cast<unsigned char*>(p) - HeaderSize;
    STest::FreedMemoryProbe* probe = STest::FreedMemoryProbe::active;
    if (probe != nullptr && probe->m_Block == p && !probe->m_FreedZeroed)
    {
        std::memcpy(&probe->m_FreedSize, base, sizeof(size_t));
        probe->m_FreedZeroed = STest::AllZero(p, probe->m_FreedSize);
    }
    std::free(base);
}

void operator delete(void* p, size_t) noexcept
{
    operator delete(p);
}
