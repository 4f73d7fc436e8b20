// Bounded polling for what another thread or process brings about.
#pragma once

#include <windows.h>

namespace STest
{

// Polls `done` every 10 ms; false when it does not hold within `timeoutMs`.
template <typename Predicate> bool WaitUntil(Predicate done, DWORD timeoutMs = 10'000)
{
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs; !done(); Sleep(10))
        if (GetTickCount64() > deadline)
            return false;
    return true;
}

} // namespace STest
