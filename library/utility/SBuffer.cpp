#include "library/utility/SBuffer.h"

#include <cstring>

namespace S
{

void* PlainAllocateZeroed(size_t bytes) noexcept
{
    void* p = ::operator new(bytes == 0 ? 1 : bytes, std::nothrow);
    if (p != nullptr)
        std::memset(p, 0, bytes);
    return p;
}

void PlainFree(void* p) noexcept
{
    ::operator delete(p);
}

void SecureZero(void* p, size_t bytes) noexcept
{
    if (p == nullptr || bytes == 0)
        return;
    std::memset(p, 0, bytes);
    // The barrier makes the zeros observable, so the store survives a following free.
    __asm__ __volatile__("" : : "r"(p) : "memory");
}

} // namespace S
