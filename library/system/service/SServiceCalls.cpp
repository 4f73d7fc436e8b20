#include "library/system/service/SServiceCalls.h"

#include <atomic>

namespace S
{

namespace
{

// Lock-free: each slot is read and replaced by one atomic operation; null means the system's call.
constinit std::atomic<SServiceCalls::OpenManagerFunction> OpenManagerSlot{nullptr};
constinit std::atomic<SServiceCalls::EnumDependentsFunction> EnumDependentsSlot{nullptr};
constinit std::atomic<SServiceCalls::ControlFunction> ControlSlot{nullptr};

template <typename F> F OrDefault(F installed, F system) noexcept
{
    return installed != nullptr ? installed : system;
}

} // namespace

SServiceCalls SServiceCalls::System() noexcept
{
    SServiceCalls calls;
    calls.openManager = &::OpenSCManagerW;
    calls.enumDependents = &::EnumDependentServicesW;
    calls.control = &::ControlService;
    return calls;
}

SServiceCalls GetServiceCalls() noexcept
{
    const SServiceCalls system = SServiceCalls::System();
    SServiceCalls calls;
    calls.openManager = OrDefault(OpenManagerSlot.load(), system.openManager);
    calls.enumDependents = OrDefault(EnumDependentsSlot.load(), system.enumDependents);
    calls.control = OrDefault(ControlSlot.load(), system.control);
    return calls;
}

SServiceCalls SetServiceCallsForTesting(SServiceCalls calls) noexcept
{
    const SServiceCalls previous = GetServiceCalls();
    OpenManagerSlot.store(calls.openManager);
    EnumDependentsSlot.store(calls.enumDependents);
    ControlSlot.store(calls.control);
    return previous;
}

} // namespace S
