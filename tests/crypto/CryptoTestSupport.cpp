#include "CryptoTestSupport.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace crypto_test
{

namespace
{

FreedBlockScanner* g_ActiveScanner = nullptr;

void InspectAndFree(void* block) noexcept
{
    if (FreedBlockScanner* scanner = g_ActiveScanner; block != nullptr && scanner != nullptr)
    {
        const auto* begin = static_cast<const uint8_t*>(block);
        const auto* end = begin + _msize(block);
        ++scanner->m_Released;
        if (std::search(begin, end, scanner->m_Pattern.begin(), scanner->m_Pattern.end()) != end)
            ++scanner->m_Holding;
    }
    std::free(block);
}

} // namespace

std::vector<uint8_t> FromHex(std::string_view hex)
{
    std::vector<uint8_t> bytes(hex.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(std::stoul(std::string(hex.substr(2 * i, 2)), nullptr, 16));
    return bytes;
}

std::string ToHex(std::span<const uint8_t> bytes)
{
    std::string hex;
    for (uint8_t b : bytes)
        hex += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return hex;
}

FreedBlockScanner::FreedBlockScanner(std::span<const uint8_t> pattern)
    : m_Pattern(pattern.begin(), pattern.end())
{
    g_ActiveScanner = this;
}

FreedBlockScanner::~FreedBlockScanner()
{
    g_ActiveScanner = nullptr;
}

} // namespace crypto_test

// The test program's own operator delete: the default operator new takes blocks from malloc,
// so they go back with free after the active scanner has looked at them. The runtime's array
// forms forward to these.
void operator delete(void* block) noexcept
{
    crypto_test::InspectAndFree(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    crypto_test::InspectAndFree(block);
}
