#include "library/system/SHandle.h"

namespace S
{

void SHandle::Reset(HANDLE handle) noexcept
{
    const HANDLE old = std::exchange(m_Handle, handle);
    if (IsValid(old) && old != handle)
        CloseHandle(old);
}

} // namespace S
