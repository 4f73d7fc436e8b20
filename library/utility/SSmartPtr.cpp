#include "library/utility/SSmartPtr.h"

namespace S
{

std::atomic<int32_t>* SReferencePtr::NewCountCell()
{
    return new std::atomic<int32_t>(0);
}

void SReferencePtr::FreeCountCell(std::atomic<int32_t>* cell) noexcept
{
    delete cell;
}

} // namespace S
