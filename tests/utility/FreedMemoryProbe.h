// The utility tests replace the global operator delete, so that a probe can look at the one block
// it watches when that block is handed back. Single-threaded use only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>

namespace STest
{

inline bool AllZero(const void* p, size_t bytes)
{
    const auto* b = static_cast<const unsigned char*>(p);
    return std::all_of(b, b + bytes, [](unsigned char c) { return c == 0; });
}

struct FreedMemoryProbe
{
    static inline FreedMemoryProbe* active = nullptr;
    explicit FreedMemoryProbe(const void* block) : m_Block(block) { active = this; }
    ~FreedMemoryProbe() { active = nullptr; }

    const void* m_Block;
    std::optional<bool> m_FreedZeroed; // empty while the block lives
    size_t m_FreedSize = 0;
};

} // namespace STest
