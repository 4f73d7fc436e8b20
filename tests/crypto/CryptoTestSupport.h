// Helpers shared by the crypto tests: hex conversion and a scanner of released heap blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crypto_test
{

std::vector<uint8_t> FromHex(std::string_view hex);
std::string ToHex(std::span<const uint8_t> bytes);

// While one exists, every block released through operator delete in this process is searched
// for `pattern` just before it goes back to the heap. Single-threaded use only.
class FreedBlockScanner
{
public:
    explicit FreedBlockScanner(std::span<const uint8_t> pattern);
    FreedBlockScanner(const FreedBlockScanner&) = delete;
    FreedBlockScanner& operator=(const FreedBlockScanner&) = delete;
    ~FreedBlockScanner();

    std::vector<uint8_t> m_Pattern;
    size_t m_Released = 0;
    size_t m_Holding = 0; // released blocks that still held the pattern
};

} // namespace crypto_test
