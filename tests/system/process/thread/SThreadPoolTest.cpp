#include "system/process/ThreadTestSupport.h"

#include "library/utility/SScopedForTesting.h"

#include <gtest/gtest.h>

#include <process.h>

#include <future>

using namespace S;
using namespace ThreadTest;

namespace
{

// Every test leaves no job behind.
class SThreadPoolTest : public testing::Test
{
protected:
    void TearDown() override { EXPECT_EQ(FunctionJob::alive, m_AliveBefore); }
    const int m_AliveBefore = FunctionJob::alive;
};

// Makes jobs that count themselves running and then wait until the gate opens.
struct Gate
{
    S::SHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> running{0};
    void Open() const { SetEvent(event.Get()); }
    std::unique_ptr<SThreadPool::Job> Blocker()
    {
        return MakeJob([this] { ++running, WaitForSingleObject(event.Get(), 10'000); });
    }
};

// A semaphore whose creation reports a given outcome.
struct RefusingSemaphore : SSemaphore
{
    explicit RefusingSemaphore(SResult outcome) : outcome(outcome) {}
    SResult Create(SResult& result, const SString&, bool, bool, int32_t, int32_t,
                   SECURITY_ATTRIBUTES*) override
    {
        return result = outcome;
    }
    SResult outcome;
};

// Thread starts for SThread::Create that fail while `failures` lasts, or that leave the new thread
// suspended once more than asked (its resume then reports 2). Those threads are ended afterwards.
struct ScriptedStarts
{
    ~ScriptedStarts()
    {
        for (const S::SHandle& thread : held)
            TerminateThread(thread.Get(), 0);
        held.clear();
    }
    static uintptr_t Start(void* security, unsigned stack, SThreadProcedure procedure, void* parameter,
                           unsigned flags, unsigned* id)
    {
        if (failures > 0)
            return --failures, SetLastError(ERROR_NOT_ENOUGH_MEMORY), 0;
        const auto thread =
            reinterpret_cast<HANDLE>(_beginthreadex(security, stack, procedure, parameter, flags, id));
        if (thread != nullptr && suspendAgain && SuspendThread(thread) != 0xFFFFFFFFu &&
            DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), held.emplace_back().Put(), 0,
                            FALSE, DUPLICATE_SAME_ACCESS) == FALSE)
            held.pop_back();
        return reinterpret_cast<uintptr_t>(thread);
    }
    static inline std::atomic<int> failures{0};
    static inline bool suspendAgain = false;
    static inline std::vector<S::SHandle> held;
    const S::SScopedForTesting<S::SThreadStarter> installed{S::SetThreadStarterForTesting, &Start};
};

} // namespace

// A worker that a post needs is asked for again every 50 ms until it exists; one that Start only
// wants is given up at the first failure, whether the thread could not be made or not resumed.
TEST_F(SThreadPoolTest, WorkerCreationFailuresAreRetriedOnlyForAWorkerAPostNeeds)
{
    const std::wstring failed = L"Failed to create worker thread 1/2 in thread pool [scripted]. OS Err: 0x";
    const std::wstring retrying = failed + L"00000008. Retrying ";
    // Per row: name, failing starts, whether a start leaves its thread suspended, whether a post asks,
    // the outcome, the pool's Error lines (each up to its OS error value) and the workers left.
    const std::tuple<const char*, int, bool, bool, SResult, std::vector<std::wstring>, uint32_t> cases[] = {
        {"post", 2, false, true, 0, {retrying + L"1...", retrying + L"2..."}, 1},
        {"start", 1, false, false, kResultPoolWorkerCreateFailed, {failed + L"00000008."}, 0},
        {"resume", 0, true, false, kResultPoolWorkerResumeFailed, {failed}, 0},
    };
    for (const auto& [name, failures, suspendAgain, post, code, expected, workers] : cases)
    {
        SCOPED_TRACE(name);
        LogCapture log;
        std::atomic<int> ran{0};
        {
            SThreadPool pool(2, 0, L"scripted", 30'000);
            SResult result;
            {
                ScriptedStarts starts;
                ScriptedStarts::failures = failures;
                ScriptedStarts::suspendAgain = suspendAgain;
                EXPECT_EQ(post ? pool.PostJob(result, MakeJob([&] { ++ran; })) : pool.Start(result), code);
                EXPECT_EQ(result, code);
                EXPECT_EQ(pool.GetWorkerCount(), workers);
            }
            EXPECT_TRUE(!post || WaitUntil([&] { return ran == 1; }));
        }
        std::vector<std::wstring> lines;
        for (const LogLine& line : log.Matching(L"Failed to create worker thread"))
        {
            EXPECT_EQ(line.level, SLogLevel::Error);
            EXPECT_EQ(line.result, (post ? kResultPoolWorkerCreateFailed : code).Code());
            lines.push_back(lines.size() < expected.size()
                                ? line.text.substr(0, expected[lines.size()].size())
                                : line.text);
        }
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(SThreadPoolTest, AnIdleWorkerLeavesAndTheNextPostMakesANewOne)
{
    LogCapture log;
    SThreadPool pool(1, 0, L"idle", 100);
    for (int round = 0; round < 2; ++round)
    {
        SResult result;
        EXPECT_EQ(pool.PostJob(result, MakeJob([] {})), SResult(0));
        ASSERT_TRUE(WaitUntil([&] { return pool.GetWorkerCount() == 0; }));
    }
    // A worker was made for each round, numbered from the live ones, of which none was left.
    EXPECT_EQ(log.Matching(L"Thread created. Purpose: Thread_idle_1.").size(), 2u);
    EXPECT_TRUE(log.WaitFor(L"Thread ended with exit code 0x00000000 [purpose: Thread_idle_1]"));
}

TEST_F(SThreadPoolTest, StopRunsTheQueuedJobsInOrderOrAbortsThemAndDestructionDiscardsThem)
{
    for (const std::string ending : {"stop", "discard", "destroy"})
    {
        SCOPED_TRACE(ending);
        auto pool = std::make_unique<SThreadPool>(1, 0, L"stopping", 30'000);
        std::atomic<int> ran{0};
        Gate release;
        std::vector<std::pair<bool, int>> aborts; // written by the ending thread only
        std::string order;                        // written by the single worker only
        SResult result;
        pool->PostJob(result, release.Blocker());
        const auto abort = [&](bool failed, int reserved)
        {
            aborts.emplace_back(failed, reserved);
            throw std::runtime_error("swallowed by the pool");
        };
        for (const char name : {'a', 'b', 'c'})
            pool->PostJob(result, MakeJob([&, name] { order += name; }, abort));
        ASSERT_TRUE(WaitUntil([&] { return release.running == 1; }));
        auto ended = std::async(std::launch::async,
                                [&] {
                                    return ending == "destroy" ? (pool.reset(), SResult(0))
                                                               : pool->Stop(result, ending == "discard");
                                });
        // The leave request is queued behind whatever was not discarded, and the ending waits for it.
        ASSERT_TRUE(ending == "destroy" ||
                    WaitUntil([&] { return pool->GetQueuedCount() == (ending == "stop" ? 4u : 1u); }));
        EXPECT_EQ(ended.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        release.Open();
        EXPECT_EQ(ended.get(), SResult(0));
        EXPECT_EQ(order, ending == "stop" ? "abc" : "");
        EXPECT_EQ(aborts, (std::vector<std::pair<bool, int>>(ending == "stop" ? 0 : 3, {false, 0})));
        if (ending == "destroy")
            continue;
        EXPECT_EQ(pool->GetWorkerCount(), 0u);
        pool->PostJob(result, MakeJob([&] { ++ran; })); // a stopped pool takes jobs again
        EXPECT_TRUE(WaitUntil([&] { return ran == 1; }));
    }
}

TEST_F(SThreadPoolTest, RefusalsCarryTheStoredCode)
{
    const std::pair<SResult, SResult> cases[] = {{kResultCreateFailed, kResultPoolSemaphoreFailed},
                                                 {kResultObjectExisted, kResultPoolSemaphoreExisted},
                                                 {kResultInvalidCounts, kResultPoolSemaphoreFailed}};
    for (const auto& [semaphoreOutcome, stored] : cases)
    {
        SCOPED_TRACE(semaphoreOutcome.Unsigned());
        LogCapture log;
        SThreadPool pool(1, 0, L"broken", 30'000, std::make_unique<RefusingSemaphore>(semaphoreOutcome));
        EXPECT_FALSE(pool.IsValid());
        EXPECT_EQ(pool.GetResult(), stored);
        SResult result;
        EXPECT_EQ(pool.PostJob(result, MakeJob([] { ADD_FAILURE() << "ran"; })), stored);
        EXPECT_EQ(result, stored);
        EXPECT_EQ(pool.Start(result), stored);
        EXPECT_EQ(pool.Stop(result, false), stored);
        for (const wchar_t* text :
             {L"Failed to create thread pool [broken].", L"thread pool [broken] with function [PostJob].",
              L"thread pool [broken] with function [Start].", L"thread pool [broken] with function [Stop]."})
        {
            const auto lines = log.Matching(text);
            ASSERT_EQ(lines.size(), 1u) << text;
            EXPECT_EQ(lines[0].level, 3);
            EXPECT_EQ(lines[0].result, stored.Code());
        }
    }
    SThreadPool usable(1, 0, L"usable", 30'000);
    SResult result;
    EXPECT_EQ(usable.PostJob(result, nullptr), kResultPoolNoJob);
}

TEST_F(SThreadPoolTest, ExtraWorkersJoinWhenAllAreBusyAndFinishedOnesGoToTheTerminator)
{
    LogCapture log;
    SThreadPool pool(2, 1, L"elastic", 30'000, true);
    pool.SetName(L"neat");
    SResult result;
    EXPECT_EQ(pool.Start(result), SResult(0));
    EXPECT_EQ(pool.GetWorkerCount(), 2u);
    Gate release;
    for (int n = 1; n <= 3; ++n)
    {
        pool.PostJob(result, release.Blocker());
        ASSERT_TRUE(WaitUntil([&] { return release.running == n; }));
    }
    EXPECT_EQ(pool.GetWorkerCount(), 3u); // the third job found every worker busy and got the extra one
    pool.PostJob(result, release.Blocker());
    EXPECT_EQ(pool.GetWorkerCount(), 3u);
    const auto told =
        log.Matching(L"pool [neat]. This can be a caller problem. Workers: 3/2. Hard max limit 1 has "
                     L"been exceeded. No new workers will be added but 1 may be needed.");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].level, 16);
    release.Open();
    EXPECT_EQ(pool.Stop(result, false), SResult(0));
    EXPECT_EQ(release.running, 4);
    // The thread objects of the workers that left go to the terminator, which follows renames.
    EXPECT_TRUE(log.WaitFor(L"Thread created. Purpose: Thread_neat-Terminator_1."));
}

TEST_F(SThreadPoolTest, ManyPostersEveryJobRunsOnce)
{
    // The short wait limit with pauses between posts makes workers give up their sleep, leave and
    // be made again while posts arrive: the races of a worker's time-out against a new entry.
    const std::tuple<DWORD, int, int> cases[] = {{30'000, 10'000, 0}, {1, 1'500, 25}};
    constexpr int Posters = 8;
    for (const auto& [waitLimitMs, jobsEach, pauseEvery] : cases)
    {
        SCOPED_TRACE(waitLimitMs);
        const int threadsBefore = CountThreads();
        const int total = Posters * jobsEach;
        std::vector<std::atomic<int>> runs(total);
        std::atomic<int> done{0}, failures{0};
        {
            SThreadPool pool(3, 2, L"stress", waitLimitMs);
            std::vector<std::thread> posters;
            for (int p = 0; p < Posters; ++p)
            {
                posters.emplace_back(
                    [&, p]
                    {
                        for (int slot = p * jobsEach; slot < (p + 1) * jobsEach; ++slot)
                        {
                            if (pauseEvery != 0 && slot % pauseEvery == 0)
                                Sleep(2);
                            SResult result;
                            failures +=
                                pool.PostJob(result, MakeJob([&, slot] { ++runs[slot], ++done; })).Failed();
                        }
                    });
            }
            for (std::thread& poster : posters)
                poster.join();
            ASSERT_TRUE(WaitUntil([&] { return done == total; }, 60'000));
            pool.WaitUntilIdle();
            EXPECT_EQ(pool.GetQueuedCount(), 0u);
            EXPECT_LE(pool.GetWorkerCount(), 5u);
            SResult result;
            EXPECT_EQ(pool.Stop(result, false), SResult(0));
            EXPECT_EQ(pool.GetWorkerCount(), 0u);
        }
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(std::count_if(runs.begin(), runs.end(), [](const std::atomic<int>& r) { return r != 1; }),
                  0);
        // The workers' threads are gone too, not just counted out.
        EXPECT_TRUE(WaitUntil([&] { return CountThreads() <= threadsBefore; }));
    }
}
