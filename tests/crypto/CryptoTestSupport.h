// Helpers shared by the crypto tests: hex conversion and a scanner of released heap blocks.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crypto_test
{

inline std::vector<uint8_t> FromHex(std::string_view hex)
{
    std::vector<uint8_t> bytes(hex.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(std::stoul(std::string(hex.substr(2 * i, 2)), nullptr, 16));
    return bytes;
}

inline std::string ToHex(std::span<const uint8_t> bytes)
{
    std::string hex;
    for (uint8_t b : bytes)
        hex += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return hex;
}

// While one exists, every block released through operator delete in this process is searched
// for `pattern` just before it goes back to the heap. Single-threaded use only.
struct FreedBlockScanner
{
    static inline FreedBlockScanner* s_Active = nullptr;
    explicit FreedBlockScanner(std::span<const uint8_t> p) : m_Pattern(p.begin(), p.end())
    {
        s_Active = this;
    }
    ~FreedBlockScanner() { s_Active = nullptr; }

    std::vector<uint8_t> m_Pattern;
    size_t m_Released = 0;
    size_t m_Holding = 0; // released blocks that still held the pattern
};

} // namespace crypto_test
