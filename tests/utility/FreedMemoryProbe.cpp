#include "FreedMemoryProbe.h"

#include <malloc.h>

#include <cstdlib>

// The default operator new takes blocks from malloc, so _msize tells a block's size. Only the first
// release of the watched address counts. The runtime's array and sized forms end in these.
void operator delete(void* p) noexcept
{
    auto* probe = STest::FreedMemoryProbe::active;
    if (probe != nullptr && p != nullptr && probe->m_Block == p && !probe->m_FreedZeroed)
    {
        probe->m_FreedSize = _msize(p);
        probe->m_FreedZeroed = STest::AllZero(p, probe->m_FreedSize);
    }
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    operator delete(p);
}
