#include "library/system/process/SSyncable.h"

#include "library/crypto/SRandomPool.h"

#include <atomic>

namespace S
{

SResult WaitResultFromStatus(DWORD status) noexcept
{
    switch (status)
    {
    case WAIT_OBJECT_0:
        return 0;
    case WAIT_ABANDONED:
        return kResultWaitAbandoned;
    case WAIT_IO_COMPLETION:
        return kResultWaitIoCompletion;
    case WAIT_TIMEOUT:
        return kResultWaitTimeout;
    case WAIT_FAILED:
        return kResultWaitFailed;
    default:
        return kResultCallFailed;
    }
}

SResult WaitOnHandle(HANDLE handle, bool alertable, DWORD timeoutMs) noexcept
{
    if (handle == nullptr)
        return kResultNoHandle;
    return WaitResultFromStatus(WaitForSingleObjectEx(handle, timeoutMs, alertable ? TRUE : FALSE));
}

SResult SSyncBase::Wait(SResult& result, bool alertable, DWORD timeoutMs) noexcept
{
    result = WaitOnHandle(GetHandle(), alertable, timeoutMs);
    return result;
}

bool SSyncBase::IsSignaled() noexcept
{
    SResult result;
    return Wait(result, false, 0).Succeeded();
}

uint32_t NextUniqueNameSerial() noexcept
{
    static std::atomic<uint32_t> counter{0};
    if (counter.load(std::memory_order_relaxed) == 0)
    {
        uint32_t seed = 0;
        GetRandom32(&seed);
        uint32_t expected = 0;
        counter.compare_exchange_strong(expected, seed);
    }
    return counter.fetch_add(1) + 1;
}

} // namespace S
