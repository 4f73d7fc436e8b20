#include "process/ThreadTestSupport.h"

#include "library/system/process/SThreadPool.h"
#include "library/system/service/FontCachePool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <sstream>

using namespace S;
using namespace ThreadTest;
using testing::HasSubstr;

namespace
{

// Every test leaves no job behind.
class SThreadPoolTest : public testing::Test
{
protected:
    void SetUp() override { m_AliveBefore = FunctionJob::Alive(); }
    void TearDown() override { EXPECT_EQ(FunctionJob::Alive(), m_AliveBefore); }

private:
    int m_AliveBefore = 0;
};

// A semaphore whose creation reports a given outcome.
class RefusingSemaphore : public ISemaphore
{
public:
    explicit RefusingSemaphore(SResult outcome) : m_Outcome(outcome) {}
    SResult Release(SResult& result, LONG, LONG*) noexcept override { return result = SyncResult::NoHandle; }
    SResult Open(SResult& result, const SString&, DWORD, bool) override { return result = m_Outcome; }
    SResult Create(SResult& result, const SString&, bool, bool, int32_t, int32_t,
                   SECURITY_ATTRIBUTES*) override
    {
        return result = m_Outcome;
    }
    SResult Recreate(SResult& result) override { return result = m_Outcome; }
    SString GetName() const override { return SString(); }
    int32_t GetStartCount() const noexcept override { return 0; }
    int32_t GetMaxCount() const noexcept override { return 0; }

private:
    SResult m_Outcome;
};

std::wstring WorkerBirth(const std::wstring& pool, unsigned index)
{
    return L"Thread created. Purpose: Thread_" + pool + L"_" + std::to_wstring(index) + L".";
}

} // namespace

TEST_F(SThreadPoolTest, StaticFontCachePoolHasNoWorkerUntilAJobArrives)
{
    SThreadPool& pool = FontCachePool();
    EXPECT_EQ(pool.GetName(), SString(L"FontCacheProcesor"));
    EXPECT_EQ(pool.GetWaitLimit(), 30000u);
    EXPECT_EQ(pool.GetMaxWorkers(), 1u); // built with 0, 0
    EXPECT_EQ(pool.GetExtraWorkers(), 0u);
    EXPECT_TRUE(pool.IsValid());
    EXPECT_EQ(pool.GetWorkerCount(), 0u);

    LogCapture log;
    Gate ran;
    SResult result;
    EXPECT_EQ(pool.PostJob(result, MakeJob([&] { ran.Open(); })), SResult(0));
    EXPECT_TRUE(ran.Wait());
    EXPECT_EQ(pool.GetWorkerCount(), 1u);
    EXPECT_TRUE(log.WaitFor(WorkerBirth(L"FontCacheProcesor", 1)));
    EXPECT_EQ(pool.Stop(result, false), SResult(0)); // rather than idle for 30 s
    EXPECT_EQ(pool.GetWorkerCount(), 0u);
}

TEST_F(SThreadPoolTest, OneWorkerRunsJobsInPostingOrder)
{
    LogCapture log;
    SThreadPool pool(1, 0, L"ordered", 30'000);
    Gate gate;
    std::vector<int> order; // written by the single worker only
    std::set<DWORD> threads;
    SResult result;
    pool.PostJob(result, MakeJob([&] { gate.Wait(); }));
    for (int n = 0; n < 20; ++n)
    {
        pool.PostJob(result, MakeJob(
                                 [&, n]
                                 {
                                     order.push_back(n);
                                     threads.insert(GetCurrentThreadId());
                                 }));
    }
    EXPECT_EQ(pool.GetWorkerCount(), 1u);
    EXPECT_GE(pool.GetQueuedCount(), 20u);
    gate.Open();
    ASSERT_TRUE(WaitUntil([&] { return pool.GetQueuedCount() == 0; }));
    pool.WaitUntilIdle();

    std::vector<int> expected(20);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(log.Count(L"Thread created. Purpose: Thread_ordered_"), 1u);
}

TEST_F(SThreadPoolTest, IdleWorkerLeavesAndTheNextPostMakesANewOne)
{
    LogCapture log;
    SThreadPool pool(1, 0, L"idle", 100);
    SResult result;
    DWORD threads[2] = {};
    for (DWORD& thread : threads)
    {
        Gate ran;
        EXPECT_EQ(pool.PostJob(result, MakeJob(
                                           [&]
                                           {
                                               thread = GetCurrentThreadId();
                                               ran.Open();
                                           })),
                  SResult(0));
        EXPECT_EQ(pool.GetWorkerCount(), 1u);
        ASSERT_TRUE(ran.Wait());
        ASSERT_TRUE(WaitUntil([&] { return pool.GetWorkerCount() == 0; }));
    }
    EXPECT_NE(threads[0], threads[1]);
    // Workers are numbered from the live ones, of which none was left.
    EXPECT_EQ(log.Count(WorkerBirth(L"idle", 1)), 2u);
    EXPECT_TRUE(log.WaitFor(L"Thread ended with exit code 0x00000000 [purpose: Thread_idle_1]"));
}

TEST_F(SThreadPoolTest, StopRunsOrAbortsTheQueuedJobs)
{
    for (const bool discard : {false, true})
    {
        SCOPED_TRACE(discard ? "discard" : "run");
        SThreadPool pool(1, 0, L"stopping", 30'000);
        Gate started;
        Gate release;
        std::atomic<int> ran{0};
        std::vector<std::pair<bool, int>> aborts; // written by Stop's thread only
        SResult result;
        pool.PostJob(result, MakeJob(
                                 [&]
                                 {
                                     started.Open();
                                     release.Wait();
                                 }));
        for (int n = 0; n < 3; ++n)
        {
            pool.PostJob(result, MakeJob([&] { ++ran; },
                                         [&](bool failed, int reserved)
                                         {
                                             aborts.emplace_back(failed, reserved);
                                             throw std::runtime_error("swallowed by the pool");
                                         }));
        }
        ASSERT_TRUE(started.Wait());

        auto stopped = std::async(std::launch::async, [&] { return pool.Stop(result, discard); });
        // The leave request is queued behind whatever was not discarded, and Stop waits for it.
        ASSERT_TRUE(WaitUntil([&] { return pool.GetQueuedCount() == (discard ? 1u : 4u); }));
        EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
        release.Open();
        EXPECT_EQ(stopped.get(), SResult(0));

        EXPECT_EQ(pool.GetWorkerCount(), 0u);
        EXPECT_EQ(pool.GetQueuedCount(), 0u);
        EXPECT_EQ(ran, discard ? 0 : 3);
        EXPECT_EQ(aborts, (std::vector<std::pair<bool, int>>(discard ? 3 : 0, {false, 0})));

        Gate again; // a stopped pool takes jobs again
        EXPECT_EQ(pool.PostJob(result, MakeJob([&] { again.Open(); })), SResult(0));
        EXPECT_TRUE(again.Wait());
    }
}

TEST_F(SThreadPoolTest, RefusalsCarryTheStoredCode)
{
    const struct
    {
        SResult semaphoreOutcome;
        SResult stored;
    } cases[] = {
        {SResult(0xA0040903u), SResult(0xA0040B03u)},
        {SResult(0xA0040908u), SResult(0xA0040B04u)},
        {SResult(0xA0040909u), SResult(0xA0040B03u)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.semaphoreOutcome.Unsigned());
        LogCapture log;
        SThreadPool pool(1, 0, L"broken", 30'000, std::make_unique<RefusingSemaphore>(c.semaphoreOutcome));
        EXPECT_FALSE(pool.IsValid());
        EXPECT_EQ(pool.GetResult(), c.stored);
        const auto created = log.Matching(L"Failed to create thread pool [broken].");
        ASSERT_EQ(created.size(), 1u);
        EXPECT_EQ(created[0].component, L"ThreadPool");
        EXPECT_EQ(created[0].level, 3);
        EXPECT_EQ(created[0].type, LogCapture::DefaultType);
        EXPECT_EQ(created[0].result, c.stored.Code());

        SResult result;
        bool ran = false;
        EXPECT_EQ(pool.PostJob(result, MakeJob([&] { ran = true; })), c.stored);
        EXPECT_EQ(result, c.stored);
        EXPECT_EQ(pool.Start(result), c.stored);
        EXPECT_EQ(pool.Stop(result, false), c.stored);
        EXPECT_FALSE(ran);
        EXPECT_EQ(pool.GetQueuedCount(), 0u);
        for (const wchar_t* operation : {L"PostJob", L"Start", L"Stop"})
        {
            const auto refused = log.Matching(
                std::wstring(L"Failed calling thread pool [broken] with function [") + operation + L"].");
            ASSERT_EQ(refused.size(), 1u) << Narrow(operation);
            EXPECT_EQ(refused[0].level, 3);
            EXPECT_EQ(refused[0].result, c.stored.Code());
        }
    }

    SThreadPool usable(1, 0, L"usable", 30'000);
    SResult result;
    EXPECT_EQ(usable.PostJob(result, nullptr), SResult(0xA0040B09u));
    EXPECT_EQ(usable.GetWorkerCount(), 0u);
}

TEST_F(SThreadPoolTest, DestructionDiscardsQueuedJobsAndWaitsForWorkers)
{
    Gate started;
    std::atomic<bool> finished{false};
    int aborted = 0;
    bool ranQueued = false;
    auto pool = std::make_unique<SThreadPool>(1, 0, L"doomed", 30'000);
    SResult result;
    pool->PostJob(result, MakeJob(
                              [&]
                              {
                                  started.Open();
                                  Sleep(200);
                                  finished = true;
                              }));
    for (int n = 0; n < 5; ++n)
        pool->PostJob(result, MakeJob([&] { ranQueued = true; },
                                      [&](bool failed, int) { aborted += failed ? 100 : 1; }));
    ASSERT_TRUE(started.Wait());
    pool.reset();
    EXPECT_TRUE(finished);
    EXPECT_EQ(aborted, 5);
    EXPECT_FALSE(ranQueued);
}

TEST_F(SThreadPoolTest, StartMakesTheNormalWorkersAndExtraWorkersJoinWhenAllAreBusy)
{
    LogCapture log;
    SThreadPool pool(2, 1, L"elastic", 30'000);
    SResult result;
    EXPECT_EQ(pool.Start(result), SResult(0));
    EXPECT_EQ(pool.GetWorkerCount(), 2u);

    Gate release;
    std::atomic<int> running{0};
    const auto blocker = [&]
    {
        ++running;
        release.Wait();
    };
    // Two jobs occupy the normal workers; the third finds every worker busy and gets the extra one.
    pool.PostJob(result, MakeJob(blocker));
    pool.PostJob(result, MakeJob(blocker));
    ASSERT_TRUE(WaitUntil([&] { return running == 2; }));
    EXPECT_EQ(pool.PostJob(result, MakeJob(blocker)), SResult(0));
    EXPECT_EQ(pool.GetWorkerCount(), 3u);
    ASSERT_TRUE(WaitUntil([&] { return running == 3; }));
    for (unsigned index = 1; index <= 3; ++index)
        EXPECT_TRUE(log.WaitFor(WorkerBirth(L"elastic", index)));

    // The hard limit is reached: the fourth waits and the callers are told.
    EXPECT_EQ(pool.PostJob(result, MakeJob(blocker)), SResult(0));
    EXPECT_EQ(pool.GetWorkerCount(), 3u);
    const auto told =
        log.Matching(L"Callers had utilized all available worker threads in thread pool [elastic].");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].level, 16);
    EXPECT_THAT(told[0].text,
                HasSubstr(L"Workers: 3/2. Hard max limit 1 has been exceeded. No new workers will "
                          L"be added but 1 may be needed."));
    release.Open();
    ASSERT_TRUE(WaitUntil([&] { return running == 4; }));
    EXPECT_EQ(pool.Stop(result, false), SResult(0));
}

TEST_F(SThreadPoolTest, TerminatorPoolTakesFinishedWorkersAndFollowsRenames)
{
    LogCapture log;
    SThreadPool pool(1, 0, L"tidy", 50, true);
    SResult result;
    pool.PostJob(result, MakeJob({}));
    // The worker leaves after 50 ms and its thread object goes to the terminator's own worker.
    ASSERT_TRUE(log.WaitFor(WorkerBirth(L"tidy-Terminator", 1)));
    ASSERT_TRUE(log.WaitFor(L"Thread ended with exit code 0x00000000 [purpose: Thread_tidy-Terminator_1]"));

    pool.SetName(L"neat");
    EXPECT_EQ(pool.GetName(), SString(L"neat"));
    pool.PostJob(result, MakeJob({}));
    EXPECT_TRUE(log.WaitFor(WorkerBirth(L"neat", 1)));
    EXPECT_TRUE(log.WaitFor(WorkerBirth(L"neat-Terminator", 1)));
}

// Failing jobs write reports, so they run in a child program (see CrashRuns).
TEST_F(SThreadPoolTest, FailingJobsAreReportedAbortedAndTheWorkerGoesOn)
{
    const CrashRuns::Run& crash = CrashRuns::Get(L"pool-faults");
    const STest::ProcessResult run = crash.result.get();
    EXPECT_EQ(run.exitCode, 0u);
    std::vector<std::string> jobs;
    int warnings = 0;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
    {
        if (line.rfind("job=", 0) == 0)
            jobs.push_back(line.substr(4));
        warnings +=
            line == "log=7|a0040b01|ThreadPool|Exception occurred for thread 1/1 in thread pool [faulty]";
    }
    // Kinds: 0 SException, 1 anything else, 2 access violation, 3 a good job; all on one worker,
    // which is still there at the end.
    ASSERT_EQ(jobs.size(), 7u);
    const std::string worker = jobs[0].substr(jobs[0].rfind(' ') + 1);
    EXPECT_EQ(jobs,
              (std::vector<std::string>{"run 0 " + worker, "abort 0 1 0", "run 1 " + worker, "abort 1 1 0",
                                        "run 2 " + worker, "abort 2 1 0", "run 3 " + worker}));
    EXPECT_THAT(run.output, HasSubstr("workers=1\n"));
    EXPECT_EQ(warnings, 3);
    EXPECT_THAT(run.output, HasSubstr("Caught a 'SException' exception.\n"));
    EXPECT_THAT(run.output, HasSubstr("Caught an 'UNKNOWN...' exception.\n"));
    EXPECT_THAT(run.output, HasSubstr("Caught a 'SWin32Exception' exception.\n"));

    const std::vector<std::wstring> reports = crash.folder.Reports(L"txt");
    ASSERT_EQ(reports.size(), 3u);
    for (const wchar_t* part :
         {L"Exception 0xa0045678 (SException), line 12: job failure.",
          L"Exception 0xa0040200 (SException), line 503: S::SThreadPool::WorkerInnerWrapper.",
          L"(ACCESS_VIOLATION)", L"TST, line 503: S::SThreadPool::WorkerInnerWrapper."})
    {
        EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                                [&](const std::wstring& report) { return report.find(part) != report.npos; }),
                  1)
            << Narrow(part);
    }
    EXPECT_EQ(crash.folder.Reports(L"dmp").size(), 1u);
}

TEST_F(SThreadPoolTest, ManyPostersEveryJobRunsOnce)
{
    // The short wait limit with pauses between posts makes workers give up their sleep, leave and
    // be made again while posts arrive: the races of a worker's time-out against a new entry.
    const struct
    {
        DWORD waitLimitMs;
        int jobsEach;
        int pauseEvery;
    } cases[] = {{30'000, 10'000, 0}, {1, 1'500, 25}};
    constexpr int Posters = 8;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.waitLimitMs);
        const int threadsBefore = CountThreads();
        const int total = Posters * c.jobsEach;
        std::vector<std::atomic<int>> runs(total);
        std::atomic<int> done{0};
        std::atomic<int> failures{0};
        {
            SThreadPool pool(3, 2, L"stress", c.waitLimitMs);
            std::vector<std::thread> posters;
            for (int p = 0; p < Posters; ++p)
            {
                posters.emplace_back(
                    [&, p]
                    {
                        for (int slot = p * c.jobsEach; slot < (p + 1) * c.jobsEach; ++slot)
                        {
                            if (c.pauseEvery != 0 && slot % c.pauseEvery == 0)
                                Sleep(2);
                            SResult result;
                            pool.PostJob(result, MakeJob(
                                                     [&, slot]
                                                     {
                                                         ++runs[slot];
                                                         ++done;
                                                     }));
                            failures += result.Failed();
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

TEST_F(SThreadPoolTest, LoadingAndUnloadingTheAgentMakesNoThread)
{
    const ChildFolder folder;
    const STest::ProcessResult run =
        folder.Run(L"dll-threads " + STest::Quote(STest::BinFolder() + L"Lumerelx64.dll"));
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    // The child prints the counts before loading, while loaded and after unloading.
    int before = -1, loaded = -1, after = -1;
    ASSERT_EQ(std::sscanf(run.output.c_str(), "threads=%d %d %d", &before, &loaded, &after), 3) << run.output;
    EXPECT_GT(before, 0);
    EXPECT_EQ(loaded, before);
    EXPECT_EQ(after, before);
}

TEST_F(SThreadPoolTest, ProcessEndsWhileAModulePoolHasABusyWorker)
{
    const ChildFolder folder;
    const std::wstring dll = STest::BinFolder() + L"process_pool_dll.dll";
    // 7 is the code the child ends with; a pool that waited for its dead worker would hang the exit.
    EXPECT_EQ(folder.RunForExitCode(L"exit-with-worker " + STest::Quote(dll), 60'000), 7u);
}
