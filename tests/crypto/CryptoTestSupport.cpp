#include "CryptoTestSupport.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>

// The test program's own operator delete: the default operator new takes blocks from malloc,
// so they go back with free after the active scanner has looked at them. The runtime's array
// forms forward to these.
void operator delete(void* block) noexcept
{
    if (auto* scanner = crypto_test::FreedBlockScanner::s_Active; block != nullptr && scanner != nullptr)
    {
        const auto* begin = static_cast<const uint8_t*>(block);
        const auto* end = begin + _msize(block);
        ++scanner->m_Released;
        if (std::search(begin, end, scanner->m_Pattern.begin(), scanner->m_Pattern.end()) != end)
            ++scanner->m_Holding;
    }
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}
