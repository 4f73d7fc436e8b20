// Functions that fault in known ways, shared by the tests and their child program; kept out of
// interprocedural optimisation so that each fault happens where it is written.
#pragma once

struct Faults
{
    [[gnu::noipa]] static void WriteTo(int* target) { *static_cast<volatile int*>(target) = 1; }
    [[gnu::noipa]] static int Divide(int dividend, int divisor) { return dividend / divisor; }
    [[gnu::noipa]] static void IllegalInstruction() { asm volatile("ud2"); }
};
