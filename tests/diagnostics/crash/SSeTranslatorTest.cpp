// The translator that turns faults in this process into thrown members of the exception family.
#include "common/Faults.h"
#include "library/diagnostics/crash/SSeTranslator.h"
#include "library/diagnostics/crash/SWin32Exception.h"

#include <gtest/gtest.h>

#include <thread>
#include <tuple>

namespace
{

std::vector<std::string> trail; // what unwinding ran, in order

struct Guard
{
    std::string name;
    ~Guard() { trail.push_back(name); }
};

[[gnu::noipa]] void Nested(int depth)
{
    Guard g{"level " + std::to_string(depth)};
    if (depth == 0)
        return Faults::WriteTo(reinterpret_cast<int*>(0x10));
    try
    {
        Nested(depth - 1);
    }
    catch (const std::string&)
    {
        trail.push_back("wrong catch");
    }
}

// A fault directly in a frame that realigns its stack and has a destructor to run.
[[gnu::noipa]] void AlignedFrame(volatile int* target)
{
    alignas(64) volatile char block[100];
    block[0] = 1;
    Guard g{"aligned"};
    *target = block[0];
}

// A fault inside a catch block is translated again.
void FaultInCatch()
{
    try
    {
        Faults::WriteTo(nullptr);
    }
    catch (const S::SWin32AccessViolation&)
    {
        Faults::Divide(1, 0);
    }
}

} // namespace

TEST(SSeTranslator, UnwindsRealFaultsFromTheirInstructionThroughNestedFrames)
{
    const auto at = [](auto* function) { return reinterpret_cast<uintptr_t>(function); };
    // Class, code, fault, the function that holds the faulting instruction (0: not checked).
    const std::tuple<const char*, DWORD, void (*)(), uintptr_t> cases[] = {
        {"SWin32AccessViolation", 0xC0000005u, [] { Nested(2); }, at(&Faults::WriteTo)},
        {"SWin32AccessViolation", 0xC0000005u, [] { AlignedFrame(reinterpret_cast<int*>(0x10)); }, 0},
        {"SWin32Exception", 0xC0000094u, &FaultInCatch, at(&Faults::Divide)},
        {"SWin32Exception", 0xC000001Du, &Faults::IllegalInstruction, at(&Faults::IllegalInstruction)},
    };
    trail.clear();
    S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
    for (const auto& [className, code, fault, function] : cases)
    {
        SCOPED_TRACE(className);
        try
        {
            S::CallWithSeTranslation(fault);
            ADD_FAILURE() << "nothing caught";
        }
        catch (const S::SWin32Exception& e)
        {
            EXPECT_EQ(e.GetClassName() + std::string("|") + std::to_string(e.Unsigned()),
                      className + std::string("|") + std::to_string(code));
            // Stack use after the catch must not disturb the exception's records.
            volatile char scratch[8192];
            for (volatile char& s : scratch)
                s = static_cast<char>(0xA5);
            const EXCEPTION_POINTERS* pointers = e.GetExceptionPointers();
            const auto address = reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress);
            EXPECT_EQ(pointers->ContextRecord->Rip, address);
            EXPECT_EQ(pointers->ExceptionRecord->ExceptionInformation[1], code == 0xC0000005u ? 0x10u : 0u);
            EXPECT_TRUE(function == 0 || (address >= function && address < function + 32)) << address;
        }
    }
    S::SetSeTranslator(nullptr);
    EXPECT_EQ(trail, (std::vector<std::string>{"level 0", "level 1", "level 2", "aligned"}));
}

TEST(SSeTranslator, IsPerThreadAndConcurrentThreadsFaultManyTimesAndKeepTheirValues)
{
    long long expected = 0;
    for (int i = 0; i < 200; ++i)
        expected += i % 5 == 0 ? -i : i / (i % 5);
    std::vector<std::jthread> threads; // joined on leaving
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [expected]
            {
                EXPECT_EQ(S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator), nullptr)
                    << "inherited";
                long long total = 0; // lives in a callee-saved register or the frame across the faults
                S::CallWithSeTranslation(
                    [&]
                    {
                        for (int i = 0; i < 200; ++i)
                            try
                            {
                                total += Faults::Divide(i, i % 5);
                            }
                            catch (const S::SWin32Exception& e)
                            {
                                total -= e.Unsigned() == 0xC0000094u ? i : 1000000;
                            }
                    });
                EXPECT_EQ(total, expected);
                S::SetSeTranslator(nullptr);
            });
}

// Only faults and errors are translated: a foreign runtime's C++ exception and informational codes go on
// to whoever handles them (here the last-chance filter, which lets the raise return).
TEST(SSeTranslator, LeavesForeignCxxExceptionsAndInformationalCodesToOthers)
{
    static std::vector<DWORD> passedOn;
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(
        [](EXCEPTION_POINTERS* pointers) -> LONG
        {
            passedOn.push_back(pointers->ExceptionRecord->ExceptionCode);
            return EXCEPTION_CONTINUE_EXECUTION;
        });
    const std::pair<DWORD, std::string> cases[] = {
        {0xE06D7363u, "passed on"},       {0x40010006u, "passed on"},
        {0x40000015u, "passed on"},       {0x00000001u, "passed on"},
        {0xC0000094u, "SWin32Exception"}, {0xC0000005u, "SWin32AccessViolation"},
        {0xE0401234u, "SWin32Exception"}, {0x80000002u, "SWin32Exception"},
    };
    std::thread(
        [&]
        {
            S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
            for (const auto& [code, expected] : cases)
            {
                passedOn.clear();
                std::string seen;
                try
                {
                    S::CallWithSeTranslation([code] { RaiseException(code, 0, 0, nullptr); });
                    seen = passedOn == std::vector<DWORD>{code} ? "passed on" : "lost";
                }
                catch (const S::SWin32Exception& e)
                {
                    seen = e.GetClassName();
                }
                EXPECT_EQ(seen, expected) << std::hex << code;
            }
            S::SetSeTranslator(nullptr);
        })
        .join();
    SetUnhandledExceptionFilter(previous);
}
