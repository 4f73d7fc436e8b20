// Watches blocks handed back to operator delete in this test executable (which replaces the
// global allocation functions) and records whether each watched block was all zeros when freed.
// Single-threaded use only.
#pragma once

#include <cstddef>

namespace STest
{

class FreedMemoryProbe
{
public:
    FreedMemoryProbe();
    ~FreedMemoryProbe();
    FreedMemoryProbe(const FreedMemoryProbe&) = delete;
    FreedMemoryProbe& operator=(const FreedMemoryProbe&) = delete;

    // Starts watching the block that begins at p (a pointer operator new returned).
    void Watch(const void* p);
    bool WasFreed(const void* p) const;
    bool WasZeroWhenFreed(const void* p) const;
    size_t FreedSize(const void* p) const;
};

// True if the bytes contain no other value than zero.
bool AllZero(const void* p, size_t bytes);

// True if needle occurs anywhere in the bytes of haystack.
bool ContainsBytes(const void* haystack, size_t size, const void* needle, size_t needleSize);

} // namespace STest
