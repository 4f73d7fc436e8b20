#include "CryptoTestSupport.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace crypto_test
{

namespace
{

FreedBlockScanner* g_ActiveScanner = nullptr;

void InspectAndFree(void* block) noexcept
{
    if (block != nullptr && g_ActiveScanner != nullptr)
    {
        FreedBlockScanner* scanner = g_ActiveScanner;
        g_ActiveScanner = nullptr; // nothing inside may count itself
        scanner->Inspect(block, _msize(block));
        g_ActiveScanner = scanner;
    }
    std::free(block);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    throw std::invalid_argument("not a hex digit");
}

} // namespace

std::vector<uint8_t> FromHex(std::string_view hex)
{
    if (hex.size() % 2 != 0)
        throw std::invalid_argument("odd hex length");
    std::vector<uint8_t> bytes(hex.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(HexDigit(hex[2 * i]) * 16 + HexDigit(hex[2 * i + 1]));
    return bytes;
}

std::string ToHex(std::span<const uint8_t> bytes)
{
    constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : bytes)
    {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
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

void FreedBlockScanner::Inspect(const void* block, size_t size) noexcept
{
    ++m_Released;
    const auto* begin = static_cast<const uint8_t*>(block);
    if (std::search(begin, begin + size, m_Pattern.begin(), m_Pattern.end()) != begin + size)
        ++m_Holding;
}

} // namespace crypto_test

// The test program's own operator delete: the default operator new takes blocks from malloc,
// so they go back with free after the active scanner has looked at them.
void operator delete(void* block) noexcept
{
    crypto_test::InspectAndFree(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    crypto_test::InspectAndFree(block);
}

void operator delete[](void* block) noexcept
{
    crypto_test::InspectAndFree(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    crypto_test::InspectAndFree(block);
}
