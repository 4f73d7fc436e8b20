// Translated faults travel like any C++ exception: through nested frames, running destructors, out
// of catch blocks, and on many threads at once.
#include "library/diagnostics/SSeTranslator.h"
#include "diagnostics/Faults.h"
#include "library/diagnostics/SWin32Exception.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

namespace
{

using Trail = std::vector<std::string>;

class Guard
{
public:
    Guard(Trail& trail, std::string name) : m_Trail(trail), m_Name(std::move(name)) {}
    ~Guard() { m_Trail.push_back(m_Name); }

private:
    Trail& m_Trail;
    std::string m_Name;
};

[[gnu::noinline]] void Level2(Trail& trail, int* target)
{
    Guard g(trail, "level2");
    Faults::WriteTo(target);
    trail.push_back("after fault");
}

[[gnu::noinline]] void Level1(Trail& trail, int* target)
{
    Guard g(trail, "level1");
    try
    {
        Guard inner(trail, "level1 try");
        Level2(trail, target);
    }
    catch (const std::string&)
    {
        trail.push_back("wrong catch");
    }
}

// A fault inside a frame that realigns its stack, directly in a frame with a destructor.
[[gnu::noinline]] int AlignedFrame(Trail& trail, volatile int* target)
{
    alignas(64) volatile char block[100];
    block[0] = 1;
    Guard g(trail, "aligned");
    *target = block[0];
    return block[0];
}

} // namespace

TEST(SSeTranslator, UnwindingRunsEveryDestructorOnTheWayInOrder)
{
    const S::SSeTranslatorFunction previous = S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
    Trail trail;
    try
    {
        Guard outer(trail, "outer");
        Level1(trail, reinterpret_cast<int*>(0x10));
    }
    catch (const S::SWin32AccessViolation& e)
    {
        trail.push_back("caught " +
                        std::to_string(e.GetExceptionPointers()->ExceptionRecord->ExceptionInformation[1]));
    }
    try
    {
        AlignedFrame(trail, nullptr);
    }
    catch (const S::SWin32Exception& e)
    {
        trail.push_back("caught " + std::string(e.GetClassName()));
    }
    // A fault inside a catch block is translated again and can be rethrown.
    try
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
    catch (const S::SWin32Exception& e)
    {
        trail.push_back("caught " + std::to_string(e.Unsigned()));
    }
    S::SetSeTranslator(previous);
    EXPECT_EQ(trail, (Trail{"level2", "level1 try", "level1", "outer", "caught 16", "aligned",
                            "caught SWin32AccessViolation", "caught 3221225620"}));
}

TEST(SSeTranslator, ConcurrentThreadsFaultManyTimesAndKeepTheirValues)
{
    long long expected = 0;
    for (int i = 0; i < 200; ++i)
        expected += i % 5 == 0 ? -i : i / (i % 5);
    std::array<long long, 4> sums{};
    std::vector<std::thread> threads;
    for (long long& sum : sums)
        threads.emplace_back(
            [&sum]
            {
                S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
                // The running sum lives in a callee-saved register or the frame across the faults.
                long long total = 0;
                for (int i = 0; i < 200; ++i)
                {
                    try
                    {
                        total += Faults::Divide(i, i % 5);
                    }
                    catch (const S::SWin32Exception& e)
                    {
                        total -= e.Unsigned() == 0xC0000094u ? i : 1000000;
                    }
                }
                sum = total;
            });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(sums, (std::array<long long, 4>{expected, expected, expected, expected}));
}
