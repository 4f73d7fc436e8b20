// The translation mechanism itself, with a translator of the test's own that throws a plain value.
#include "library/diagnostics/SSeTranslator.h"
#include "diagnostics/Faults.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <climits>
#include <string>
#include <thread>
#include <vector>

namespace
{

struct Translated
{
    unsigned code;
    uintptr_t address;
    DWORD parameterCount;
    std::array<ULONG_PTR, 3> parameters;
};

void ThrowTranslated(unsigned code, EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    Translated t{code, reinterpret_cast<uintptr_t>(record.ExceptionAddress), record.NumberParameters, {}};
    for (DWORD i = 0; i < record.NumberParameters && i < t.parameters.size(); ++i)
        t.parameters[i] = record.ExceptionInformation[i];
    throw t;
}

// Installs the test translator on the calling thread for one scope.
class ScopedTranslator
{
public:
    explicit ScopedTranslator(S::SSeTranslatorFunction translator = &ThrowTranslated)
    {
        S::SResult result;
        m_Previous = S::SetSeTranslator(translator, result);
        EXPECT_TRUE(result.Succeeded()) << std::hex << result.Unsigned();
    }
    ~ScopedTranslator() { S::SetSeTranslator(m_Previous); }
    ScopedTranslator(const ScopedTranslator&) = delete;
    ScopedTranslator& operator=(const ScopedTranslator&) = delete;

private:
    S::SSeTranslatorFunction m_Previous = nullptr;
};

template <class F> Translated CatchTranslated(F&& fault)
{
    try
    {
        fault();
    }
    catch (const Translated& t)
    {
        return t;
    }
    ADD_FAILURE() << "no exception arrived";
    return {};
}

void AnotherTranslator(unsigned, EXCEPTION_POINTERS*)
{
    throw 42;
}

} // namespace

TEST(SSeTranslator, InstallationIsPerThreadAndReturnsThePrevious)
{
    EXPECT_EQ(S::GetSeTranslator(), nullptr);
    EXPECT_EQ(S::SetSeTranslator(&ThrowTranslated), nullptr);
    EXPECT_EQ(S::GetSeTranslator(), &ThrowTranslated);

    S::SSeTranslatorFunction seenOnOtherThread = &AnotherTranslator;
    std::thread([&] { seenOnOtherThread = S::GetSeTranslator(); }).join();
    EXPECT_EQ(seenOnOtherThread, nullptr);

    EXPECT_EQ(S::SetSeTranslator(&AnotherTranslator), &ThrowTranslated);
    EXPECT_THROW(Faults::WriteTo(nullptr), int);
    EXPECT_EQ(S::SetSeTranslator(nullptr), &AnotherTranslator);
    EXPECT_EQ(S::GetSeTranslator(), nullptr);
}

TEST(SSeTranslator, EachFaultKindArrivesWithItsCodeAndFaultingAddress)
{
    ScopedTranslator scope;
    struct Case
    {
        const char* name;
        void (*fault)();
        const void* function; // the faulting instruction lies in its first bytes
        unsigned code;
        std::vector<ULONG_PTR> parameters;
    };
    const std::vector<Case> cases = {
        {"write to 0x10",
         [] { Faults::WriteTo(reinterpret_cast<int*>(0x10)); },
         reinterpret_cast<const void*>(&Faults::WriteTo),
         0xC0000005u,
         {1, 0x10}},
        {"read from null",
         [] { Faults::ReadFrom(nullptr); },
         reinterpret_cast<const void*>(&Faults::ReadFrom),
         0xC0000005u,
         {0, 0}},
        {"integer divide by zero",
         [] { Faults::Divide(7, 0); },
         reinterpret_cast<const void*>(&Faults::Divide),
         0xC0000094u,
         {}},
        {"illegal instruction",
         &Faults::IllegalInstruction,
         reinterpret_cast<const void*>(&Faults::IllegalInstruction),
         0xC000001Du,
         {}},
        {"breakpoint",
         &Faults::Breakpoint,
         reinterpret_cast<const void*>(&Faults::Breakpoint),
         0x80000003u,
         {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Translated t = CatchTranslated(c.fault);
        EXPECT_EQ(t.code, c.code) << std::hex << t.code;
        const auto start = reinterpret_cast<uintptr_t>(c.function);
        EXPECT_GE(t.address, start);
        EXPECT_LT(t.address, start + 64);
        ASSERT_GE(t.parameterCount, c.parameters.size());
        for (size_t i = 0; i < c.parameters.size(); ++i)
            EXPECT_EQ(t.parameters[i], c.parameters[i]) << "parameter " << i;
    }
}

TEST(SSeTranslator, RaisedExceptionsKeepTheirParametersAndInformationalOnesPass)
{
    ScopedTranslator scope;
    const ULONG_PTR arguments[3] = {1, 0xABCDEF, 3};
    const Translated t = CatchTranslated([&] { RaiseException(0xE0001234u, 0, 3, arguments); });
    EXPECT_EQ(t.code, 0xE0001234u);
    EXPECT_EQ(t.parameterCount, 3u);
    EXPECT_EQ(t.parameters[1], 0xABCDEFu);

    // Debugger output travels as an informational exception that must stay with its own handler.
    EXPECT_NO_THROW(OutputDebugStringW(L"not translated\n"));
    // A throw of the runtime's own is not touched either.
    EXPECT_THROW(throw std::string("plain"), std::string);
}

namespace
{

struct Trail
{
    std::vector<std::string> entries;
};

class Guard
{
public:
    Guard(Trail& trail, std::string name) : m_Trail(trail), m_Name(std::move(name)) {}
    ~Guard() { m_Trail.entries.push_back(m_Name); }

private:
    Trail& m_Trail;
    std::string m_Name;
};

[[gnu::noinline]] void Level3(Trail& trail, int* target)
{
    Guard g(trail, "level3");
    Faults::WriteTo(target);
    trail.entries.push_back("after fault");
}

[[gnu::noinline]] void Level2(Trail& trail, int* target)
{
    Guard g(trail, "level2");
    Level3(trail, target);
    trail.entries.push_back("after level3");
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
        trail.entries.push_back("wrong catch");
    }
}

// A fault inside a frame that realigns its stack, a fault directly in a frame with a destructor.
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
    ScopedTranslator scope;
    Trail trail;
    try
    {
        Guard outer(trail, "outer");
        Level1(trail, reinterpret_cast<int*>(0x10));
    }
    catch (const Translated& t)
    {
        trail.entries.push_back("caught " + std::to_string(t.parameters[1]));
    }
    const std::vector<std::string> expected = {"level3", "level2", "level1 try",
                                               "level1", "outer",  "caught 16"};
    EXPECT_EQ(trail.entries, expected);

    trail.entries.clear();
    try
    {
        AlignedFrame(trail, nullptr);
    }
    catch (const Translated& t)
    {
        trail.entries.push_back("caught " + std::to_string(t.code));
    }
    EXPECT_EQ(trail.entries, (std::vector<std::string>{"aligned", "caught 3221225477"}));
}

TEST(SSeTranslator, FaultsInsideCatchBlocksAndRethrowsAreTranslatedAgain)
{
    ScopedTranslator scope;
    std::vector<unsigned> codes;
    try
    {
        try
        {
            Faults::WriteTo(nullptr);
        }
        catch (const Translated& first)
        {
            codes.push_back(first.code);
            try
            {
                Faults::Divide(1, 0);
            }
            catch (const Translated& second)
            {
                codes.push_back(second.code);
                throw;
            }
        }
    }
    catch (const Translated& rethrown)
    {
        codes.push_back(rethrown.code);
    }
    EXPECT_EQ(codes, (std::vector<unsigned>{0xC0000005u, 0xC0000094u, 0xC0000094u}));
}

TEST(SSeTranslator, CalleeSavedValuesSurviveManyFaults)
{
    ScopedTranslator scope;
    // The running sums live in callee-saved registers or the frame across the faulting calls.
    long long caughtSum = 0;
    long long quotientSum = 0;
    long long expectedCaught = 0;
    long long expectedQuotients = 0;
    for (int i = 0; i < 500; ++i)
    {
        if (i % 5 == 0)
            expectedCaught += i;
        else
            expectedQuotients += i / (i % 5);
        try
        {
            quotientSum += Faults::Divide(i, i % 5);
        }
        catch (const Translated& t)
        {
            EXPECT_EQ(t.code, 0xC0000094u);
            caughtSum += i;
        }
    }
    EXPECT_EQ(caughtSum, expectedCaught);
    EXPECT_EQ(quotientSum, expectedQuotients);
}

TEST(SSeTranslator, ConcurrentThreadsEachReceiveTheirOwnExceptions)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::atomic<int> ready{0};
    std::array<int, kThreads> matched{};
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n)
    {
        threads.emplace_back(
            [&, n]
            {
                ScopedTranslator scope;
                ready.fetch_add(1);
                while (ready.load() < kThreads)
                    std::this_thread::yield();
                for (int round = 0; round < kRounds; ++round)
                {
                    const ULONG_PTR argument = static_cast<ULONG_PTR>(round);
                    const Translated t = CatchTranslated(
                        [&] { RaiseException(0xE0000000u + static_cast<unsigned>(n), 0, 1, &argument); });
                    if (t.code == 0xE0000000u + static_cast<unsigned>(n) && t.parameters[0] == argument)
                        ++matched[n];
                }
            });
    }
    for (std::thread& t : threads)
        t.join();
    for (int n = 0; n < kThreads; ++n)
        EXPECT_EQ(matched[n], kRounds) << "thread " << n;
}
