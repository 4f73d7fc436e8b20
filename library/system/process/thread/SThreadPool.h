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
// Every worker keeps the module that holds this code loaded until it has left it, so a module's
// static pool is destroyed only once its workers are gone. Destruction waits for live workers to
// leave, except where they could never run: when the process is ending (its other threads are gone)
// or the destroying thread holds the loader lock (a new thread cannot start without it). The workers
// then finish on their own, on state that outlives the pool object.
#pragma once

#include "library/diagnostics/SResultCodes.h"
#include "library/system/process/SCriticalSection.h"
#include "library/system/process/SSemaphore.h"
#include "library/system/process/thread/SThread.h"
#include "library/utility/SString.h"
#include "library/utility/collection/SList.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace S
{

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
    // Queues the job and makes sure a worker will run it: kResultPoolNoJob for no job, a worker
    // creation failure (kResultPoolWorkerCreateFailed, kResultPoolWorkerResumeFailed) when no
    // worker could be made.
    virtual SResult PostJob(SResult& result, std::unique_ptr<Job> job);
    virtual DWORD GetWaitLimit() const noexcept;
    virtual uint32_t GetMaxWorkers() const noexcept;
    virtual uint32_t GetExtraWorkers() const noexcept;
    virtual uint32_t GetWorkerCount() const;
    // Queued entries, leave requests included.
    virtual uint32_t GetQueuedCount() const;
    virtual SString GetName() const;
    virtual void SetName(const SString& name);
    virtual bool IsValid() const noexcept;
    // Returns once no worker runs a job (polling every 50 ms).
    virtual void WaitUntilIdle() const;
    // Returns once no worker is left (polling every 50 ms).
    virtual void WaitUntilNoWorkers() const;

    // The code of a failed construction, 0 for a usable pool.
    SResult GetResult() const noexcept;

private:
    class Core;
    // Shared with every worker: the queue, the lock and the semaphore stay alive until the last
    // worker has left, even when the pool object is gone first.
    std::shared_ptr<Core> m_pCore;
};

} // namespace S
