// Functions that fault in known ways, shared by the tests and their child programs. Kept out of
// every interprocedural optimisation so that each fault happens where it is written.
#pragma once

namespace Faults
{

[[gnu::noipa]] inline void WriteTo(int* target)
{
    *static_cast<volatile int*>(target) = 1;
}

[[gnu::noipa]] inline int Divide(int dividend, int divisor)
{
    return dividend / divisor;
}

[[gnu::noipa]] inline void IllegalInstruction()
{
    asm volatile("ud2");
}

} // namespace Faults
