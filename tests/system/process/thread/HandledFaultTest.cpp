// Faults that the code raising them handles itself keep their meaning on every kind of library thread,
// while a fault in the library's own code still arrives as the fitting exception.
#include "common/Faults.h"
#include "system/process/ThreadTestSupport.h"

#include "library/diagnostics/crash/SWin32Exception.h"
#include "startup/Startup.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

namespace
{

// IsBadReadPtr's and lstrlenW's answers on bad pointers, then the class a fault of our own arrives as.
std::string Probe()
{
    std::string seen = std::to_string(IsBadReadPtr(reinterpret_cast<void*>(1), 4)) + "|" +
                       std::to_string(lstrlenW(reinterpret_cast<LPCWSTR>(1))) + "|";
    try
    {
        Faults::WriteTo(reinterpret_cast<int*>(0x10));
        seen += "nothing";
    }
    catch (const S::SWin32Exception& e)
    {
        seen += e.GetClassName();
    }
    return seen;
}

void ProbeInto(void* seen)
{
    *static_cast<std::string*>(seen) = Probe();
}

} // namespace

TEST(HandledFaults, KeepTheirMeaningOnEveryKindOfLibraryThread)
{
    std::string seen;
    const std::pair<const char*, std::function<void()>> runners[] = {
        {"SThread",
         [&]
         {
             S::SThread thread;
             S::SResult result;
             thread.Create(
                 result, L"probe", [](void* out) -> unsigned { return ProbeInto(out), 0; }, &seen);
             thread.Wait(result, false, 30'000);
         }},
        {"pool worker",
         [&]
         {
             S::SThreadPool pool(1, 0, L"probe", 30'000);
             S::SResult result;
             pool.PostJob(result, ThreadTest::MakeJob([&] { seen = Probe(); }));
             pool.Stop(result, false);
         }},
        {"shielded work inline", [&] { S::RunShielded(&ProbeInto, &seen); }},
        {"shielded work on a thread of its own",
         [&] { std::thread([&] { S::RunShielded(&ProbeInto, &seen); }).join(); }},
    };
    for (const auto& [name, run] : runners)
    {
        seen.clear();
        run();
        EXPECT_EQ(seen, "1|0|SWin32AccessViolation") << name;
    }
}
