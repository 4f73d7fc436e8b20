#include "FreedMemoryProbe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace
{

constexpr size_t HeaderSize = 16;
STest::FreedMemoryProbe* g_Probe = nullptr;

} // namespace

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
    if (g_Probe != nullptr && g_Probe->m_Block == p && g_Probe->m_Fate == STest::Fate::Alive)
    {
        std::memcpy(&g_Probe->m_FreedSize, base, sizeof(size_t));
        g_Probe->m_Fate = STest::AllZero(p, g_Probe->m_FreedSize) ? STest::Fate::FreedZeroed
                                                                  : STest::Fate::FreedHoldingData;
    }
    std::free(base);
}

void operator delete(void* p, size_t) noexcept
{
    operator delete(p);
}

namespace STest
{

FreedMemoryProbe::FreedMemoryProbe()
{
    g_Probe = this;
}

FreedMemoryProbe::~FreedMemoryProbe()
{
    g_Probe = nullptr;
}

void FreedMemoryProbe::Watch(const void* block)
{
    m_Block = block;
    m_Fate = Fate::Alive;
}

bool AllZero(const void* p, size_t bytes)
{
    const auto* b = static_cast<const unsigned char*>(p);
    return std::all_of(b, b + bytes, [](unsigned char c) { return c == 0; });
}

} // namespace STest
