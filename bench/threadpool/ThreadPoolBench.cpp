// Cost of a job from posting to completion: 100,000 empty jobs posted from one thread, timed until
// the last one has run, on SThreadPool with one and with two workers, and on the platform's pool
// (TrySubmitThreadpoolCallback) with the same thread limits and with its defaults. The pieces
// a job passes through on SThreadPool are timed alone below the totals, and the cost of waking a
// sleeping worker is timed with jobs posted one at a time.
#include "library/system/SHandle.h"
#include "library/system/process/SCriticalSection.h"
#include "library/system/process/SSemaphore.h"
#include "library/system/process/thread/SThreadPool.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace
{

constexpr int Jobs = 100'000;
constexpr int Rounds = 3;

using Clock = std::chrono::steady_clock;

// Counts finished jobs and signals once all of a round have run.
struct Completion
{
    std::atomic<int> done{0};
    int expected = 0;
    const S::SHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    void Reset(int count)
    {
        expected = count;
        done = 0;
        ResetEvent(event.Get());
    }
    void Finish()
    {
        if (done.fetch_add(1) + 1 == expected)
            SetEvent(event.Get());
    }
    void Wait() const { WaitForSingleObject(event.Get(), INFINITE); }
};

class EmptyJob : public S::SThreadPool::Job
{
public:
    explicit EmptyJob(Completion& completion) : m_Completion(completion) {}
    int Run() override
    {
        m_Completion.Finish();
        return 0;
    }

private:
    Completion& m_Completion;
};

void CALLBACK EmptyCallback(PTP_CALLBACK_INSTANCE, void* context)
{
    static_cast<Completion*>(context)->Finish();
}

template <typename Post> double SecondsFor(Completion& completion, int count, Post post)
{
    completion.Reset(count);
    const auto start = Clock::now();
    for (int n = 0; n < count; ++n)
        post();
    completion.Wait();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The best of a few rounds after a warm-up round that creates the threads.
template <typename Post> double BestSeconds(Completion& completion, Post post)
{
    SecondsFor(completion, 1000, post);
    double best = 1e9;
    for (int round = 0; round < Rounds; ++round)
        best = std::min(best, SecondsFor(completion, Jobs, post));
    return best;
}

void Print(const char* what, double seconds)
{
    std::printf("%-46s %8.2f us/job %10.0f jobs/s\n", what, seconds * 1e6 / Jobs, Jobs / seconds);
}

double OwnPool(uint32_t workers)
{
    Completion completion;
    S::SThreadPool pool(workers, 0, L"bench", 30'000);
    return BestSeconds(completion,
                       [&]
                       {
                           S::SResult result;
                           pool.PostJob(result, std::make_unique<EmptyJob>(completion));
                       });
}

// The platform's pool; maxThreads 0 uses the process's default pool.
double PlatformPool(DWORD maxThreads)
{
    Completion completion;
    TP_CALLBACK_ENVIRON environment;
    InitializeThreadpoolEnvironment(&environment);
    PTP_POOL pool = nullptr;
    if (maxThreads != 0)
    {
        pool = CreateThreadpool(nullptr);
        SetThreadpoolThreadMaximum(pool, maxThreads);
        SetThreadpoolThreadMinimum(pool, 1);
        SetThreadpoolCallbackPool(&environment, pool);
    }
    const double seconds = BestSeconds(
        completion,
        [&] { TrySubmitThreadpoolCallback(&EmptyCallback, &completion, pool ? &environment : nullptr); });
    if (pool != nullptr)
        CloseThreadpool(pool);
    DestroyThreadpoolEnvironment(&environment);
    return seconds;
}

// Jobs posted one at a time to a pool whose threads have gone to sleep: the time from the post to the
// start of the job, on average. The poster spins on the job's flag, so no kernel wait is timed.
constexpr int SparseJobs = 300;

struct Wake
{
    std::atomic<bool> ran{false};
    Clock::time_point posted;
    Clock::duration total{};
    void Run()
    {
        total += Clock::now() - posted;
        ran.store(true, std::memory_order_release);
    }
};

template <typename Post> double WakeMicroseconds(Wake& wake, Post post)
{
    wake.total = {};
    for (int n = 0; n < SparseJobs; ++n)
    {
        Sleep(3);
        wake.ran = false;
        wake.posted = Clock::now();
        post();
        while (!wake.ran.load(std::memory_order_acquire))
            YieldProcessor();
    }
    return std::chrono::duration<double>(wake.total).count() * 1e6 / SparseJobs;
}

class WakeJob : public S::SThreadPool::Job
{
public:
    explicit WakeJob(Wake& wake) : m_Wake(wake) {}
    int Run() override
    {
        m_Wake.Run();
        return 0;
    }

private:
    Wake& m_Wake;
};

void CALLBACK WakeCallback(PTP_CALLBACK_INSTANCE, void* context)
{
    static_cast<Wake*>(context)->Run();
}

void SparsePosting()
{
    Wake wake;
    S::SThreadPool pool(1, 0, L"bench", 30'000);
    const double own = WakeMicroseconds(wake,
                                        [&]
                                        {
                                            S::SResult result;
                                            pool.PostJob(result, std::make_unique<WakeJob>(wake));
                                        });
    std::printf("%-46s %8.2f us/job\n", "SThreadPool, 1 worker asleep: post to start", own);

    TP_CALLBACK_ENVIRON environment;
    InitializeThreadpoolEnvironment(&environment);
    PTP_POOL platform = CreateThreadpool(nullptr);
    SetThreadpoolThreadMaximum(platform, 1);
    SetThreadpoolThreadMinimum(platform, 1);
    SetThreadpoolCallbackPool(&environment, platform);
    const double theirs =
        WakeMicroseconds(wake, [&] { TrySubmitThreadpoolCallback(&WakeCallback, &wake, &environment); });
    std::printf("%-46s %8.2f us/job\n", "platform pool, 1 thread asleep: post to start", theirs);
    CloseThreadpool(platform);
    DestroyThreadpoolEnvironment(&environment);
}

// The pieces of one job's way through SThreadPool, each timed alone.
void Pieces()
{
    // Kernel calls go through the Wine server and are slow: fewer rounds do.
    constexpr int Count = 5'000;
    const auto perOp = [](Clock::time_point start)
    { return std::chrono::duration<double>(Clock::now() - start).count() * 1e6 / Count; };

    S::SSemaphore semaphore;
    S::SResult result;
    semaphore.Create(result, S::SString(), false, true, 0, 0x7FFFFFFF, nullptr);
    auto start = Clock::now();
    for (int n = 0; n < Count; ++n)
    {
        semaphore.Release(result, 1);
        semaphore.Wait(result, false, INFINITE);
    }
    std::printf("%-46s %8.2f us/pair\n", "piece: semaphore release + wait, one thread", perOp(start));

    // A release that wakes a waiting thread, as a post wakes an idle worker: a round trip is two.
    S::SSemaphore ping;
    S::SSemaphore pong;
    ping.Create(result, S::SString(), false, true, 0, 0x7FFFFFFF, nullptr);
    pong.Create(result, S::SString(), false, true, 0, 0x7FFFFFFF, nullptr);
    std::thread echo(
        [&]
        {
            S::SResult r;
            for (int n = 0; n < Count; ++n)
            {
                ping.Wait(r, false, INFINITE);
                pong.Release(r, 1);
            }
        });
    start = Clock::now();
    for (int n = 0; n < Count; ++n)
    {
        ping.Release(result, 1);
        pong.Wait(result, false, INFINITE);
    }
    std::printf("%-46s %8.2f us/wake\n", "piece: semaphore wake of another thread", perOp(start) / 2);
    echo.join();

    S::SCriticalSection lock;
    start = Clock::now();
    for (int n = 0; n < Count; ++n)
    {
        S::SAutoCriticalSection held(lock);
    }
    std::printf("%-46s %8.2f us/pair\n", "piece: critical section enter + leave", perOp(start));

    Completion completion;
    std::vector<std::unique_ptr<S::SThreadPool::Job>> jobs(Count);
    start = Clock::now();
    for (auto& job : jobs)
        job = std::make_unique<EmptyJob>(completion);
    jobs.clear();
    std::printf("%-46s %8.2f us/job\n", "piece: job allocation + deletion", perOp(start));
}

} // namespace

int main()
{
    const double own1 = OwnPool(1);
    Print("SThreadPool, 1 worker", own1);
    const double own2 = OwnPool(2);
    Print("SThreadPool, 2 workers", own2);
    const double platform1 = PlatformPool(1);
    Print("platform pool (TrySubmit), at most 1 thread", platform1);
    const double platform2 = PlatformPool(2);
    Print("platform pool (TrySubmit), at most 2 threads", platform2);
    const double platformDefault = PlatformPool(0);
    Print("platform pool (TrySubmit), default pool", platformDefault);
    std::printf("%-46s %8.2f x\n", "ratio SThreadPool / platform, 1 thread", own1 / platform1);
    std::printf("%-46s %8.2f x\n", "ratio SThreadPool / platform, 2 threads", own2 / platform2);
    SparsePosting();
    Pieces();
    return 0;
}
