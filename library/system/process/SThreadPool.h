// SThreadPool: runs posted jobs, first in first out, on worker threads that it creates when a job
// arrives and that leave after an idle time. A queued entry is counted by a semaphore; a null
// entry tells one worker to leave.
//
// Thread-safety: every operation may be called from any thread. One critical section guards the
// queue and the counters; no lock is held while a job runs. WaitUntilIdle and WaitUntilNoWorkers
// poll the counters every 50 ms. A pool must not be destroyed from one of its own jobs.
// Failure contract: a pool whose semaphore could not be made (IsValid false) refuses Start, Stop
// and PostJob with its stored code and logs the refusal. A job handed to a refused PostJob is
// destroyed unrun; a job queued by a PostJob whose worker creation failed stays queued.
//
// Unloading a module that holds a pool with live workers waits for the workers to leave; when the
// process is already ending (its other threads are gone) the pool does not wait.
#pragma once

#include "library/diagnostics/SResult.h"
#include "library/system/process/SCriticalSection.h"
#include "library/system/process/SSemaphore.h"
#include "library/system/process/SThread.h"
#include "library/utility/SString.h"
#include "library/utility/collection/SList.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace S
{

namespace ThreadPoolResult
{
inline constexpr SResult JobFailed{0xA0040B01u};
inline constexpr SResult SemaphoreFailed{0xA0040B03u};
inline constexpr SResult SemaphoreExisted{0xA0040B04u};
inline constexpr SResult WorkerCreateFailed{0xA0040B05u};
inline constexpr SResult WorkerResumeFailed{0xA0040B06u};
inline constexpr SResult NoJob{0xA0040B09u};
} // namespace ThreadPoolResult

class SThreadPool
{
public:
    // A unit of work. The pool deletes every job it has taken, run or not.
    class Job
    {
    public:
        Job() = default;
        Job(const Job&) = delete;
        Job& operator=(const Job&) = delete;
        virtual ~Job() = default;
        // The job's body, on a worker thread. The pool does not use the value.
        virtual int Run() { return 0; }
        // Told that the job failed while running (failedWhileRunning) or was discarded unrun.
        // `reserved` is always 0.
        virtual void Abort(bool failedWhileRunning, int reserved)
        {
            static_cast<void>(failedWhileRunning);
            static_cast<void>(reserved);
        }
    };

    // Deletes a finished worker's thread object on the terminator pool.
    class TerminatorJob : public Job
    {
    public:
        explicit TerminatorJob(std::unique_ptr<SThread> thread) noexcept : m_pThread(std::move(thread)) {}
        int Run() override;

    private:
        std::unique_ptr<SThread> m_pThread;
    };

    // maxWorkers 0 is taken as 1; extraWorkers may be added beyond maxWorkers while every worker
    // is busy. A waitLimitMs of 0 lets a worker leave as soon as it finds the queue empty.
    // withTerminator gives the pool a second pool, "<name>-Terminator", that deletes the thread
    // objects of workers that left.
    SThreadPool(uint32_t maxWorkers, uint32_t extraWorkers, const SString& name, DWORD waitLimitMs,
                bool withTerminator = false);
    // As above, with the semaphore object to create the queue's semaphore in.
    SThreadPool(uint32_t maxWorkers, uint32_t extraWorkers, const SString& name, DWORD waitLimitMs,
                std::unique_ptr<ISemaphore> semaphore, bool withTerminator = false);
    SThreadPool(const SThreadPool&) = delete;
    SThreadPool& operator=(const SThreadPool&) = delete;
    // Discards the queued jobs and waits until every worker has left.
    virtual ~SThreadPool();

    // Creates workers up to maxWorkers.
    virtual SResult Start(SResult& result);
    // Lets every worker leave after the jobs queued so far (discardQueued: aborts them unrun
    // instead) and waits until none is left. The pool stays usable.
    virtual SResult Stop(SResult& result, bool discardQueued);
    // Aborts (failedWhileRunning false) and deletes every queued job.
    virtual void DiscardJobs();
    // Queues the job and makes sure a worker will run it: 0xA0040B09 for no job, a worker
    // creation failure (0xA0040B05, 0xA0040B06) when no worker could be made.
    virtual SResult PostJob(SResult& result, std::unique_ptr<Job> job);
    virtual DWORD GetWaitLimit() const noexcept { return m_WaitLimit; }
    virtual uint32_t GetMaxWorkers() const noexcept { return m_MaxWorkers; }
    virtual uint32_t GetExtraWorkers() const noexcept { return m_ExtraWorkers; }
    virtual uint32_t GetWorkerCount() const;
    // Queued entries, leave requests included.
    virtual uint32_t GetQueuedCount() const;
    virtual SString GetName() const;
    virtual void SetName(const SString& name);
    virtual bool IsValid() const noexcept { return m_Result.Code() == 0; }
    // Returns once no worker runs a job (polling every 50 ms).
    virtual void WaitUntilIdle() const;
    // Returns once no worker is left (polling every 50 ms).
    virtual void WaitUntilNoWorkers() const;

    // The code of a failed construction, 0 for a usable pool.
    SResult GetResult() const noexcept { return m_Result; }

private:
    struct WorkerStart;

    static unsigned __stdcall WorkerEntry(void* start);
    void WorkerLoop(WorkerStart& start);
    void WorkerInnerWrapper(std::unique_ptr<Job> job, uint32_t index);
    // The next three are called with the lock held.
    SResult EnsureWorkers(uint32_t wanted, uint32_t required);
    SResult CreateWorkers(uint32_t count, uint32_t required);
    void DiscardQueued();
    void RequestWorkersToLeave();
    void ReleaseWorkerThread(std::unique_ptr<SThread> thread);
    // Counts one queued entry; the semaphore is released only for a sleeping worker.
    void SignalEntry() noexcept;
    // Claims one counted entry, sleeping on the semaphore for at most the wait limit; the wait's
    // result (0xA004090D when it timed out).
    SResult WaitForEntry() noexcept;
    // Logs the refusal of `operation` when the pool is unusable; true then.
    bool Refuses(const wchar_t* operation) const;
    static SString TerminatorName(const SString& name);

    std::unique_ptr<SThreadPool> m_pTerminator;
    std::atomic<uint32_t> m_Workers{0};
    std::atomic<uint32_t> m_Busy{0};
    uint32_t m_MaxWorkers;
    uint32_t m_ExtraWorkers;
    DWORD m_WaitLimit;
    // Owns the jobs it holds; null entries ask a worker to leave.
    SListT<Job*> m_Queue;
    mutable SCriticalSection m_Lock;
    std::unique_ptr<ISemaphore> m_pSemaphore;
    // Entries signalled and not yet claimed; negative by the number of workers asleep on the
    // semaphore.
    std::atomic<int32_t> m_Signals{0};
    SResult m_Result;
    SString m_Name;
};

} // namespace S
