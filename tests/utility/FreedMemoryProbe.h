// The utility tests replace the global allocation functions: every block carries its size, so a
// probe can look at the one block it watches when that block is handed back to operator delete.
// Single-threaded use only.
#pragma once

#include <cstddef>

namespace STest
{

enum class Fate
{
    Alive,
    FreedZeroed,
    FreedHoldingData,
};

class FreedMemoryProbe
{
public:
    FreedMemoryProbe();
    ~FreedMemoryProbe();
    FreedMemoryProbe(const FreedMemoryProbe&) = delete;
    FreedMemoryProbe& operator=(const FreedMemoryProbe&) = delete;

    // Starts watching the block that begins at `block` (a pointer operator new returned).
    void Watch(const void* block);

    const void* m_Block = nullptr;
    Fate m_Fate = Fate::Alive;
    size_t m_FreedSize = 0;
};

// True if the bytes contain no other value than zero.
bool AllZero(const void* p, size_t bytes);

} // namespace STest
