#include "library/system/process/thread/SThreadPool.h"

#include "library/diagnostics/log/Log.h"
#include "library/system/SModule.h"
#include "library/system/process/thread/SCaughtException.h"

#include <algorithm>
#include <new>

namespace S
{

namespace
{

// The component, the place and line of a failed job's report and the log texts in this file are
// fixed texts, kept on purpose for compatibility.
constexpr wchar_t LogComponent[] = L"ThreadPool";
constexpr char WorkerPlace[] = "S::SThreadPool::WorkerInnerWrapper";
constexpr uint32_t WorkerLine = 503;
constexpr DWORD PollIntervalMs = 50;
constexpr LONG SemaphoreMaximum = 0x7FFFFFFF;
constexpr int SpinsBeforeSleep = 4000;

void PoolLog(int level, const SResult* result, const wchar_t* format, ...) noexcept
{
    SLogContext context;
    context.component = LogComponent;
    context.level = SLogLevel(level);
    va_list args;
    va_start(args, format);
    LogV(context, result, format, args);
    va_end(args);
}

// True while the process is ending: its other threads are gone and will never report back.
bool ProcessIsEnding() noexcept
{
    const auto query = FindLoadedModuleFunction<BOOLEAN(NTAPI*)()>(L"ntdll.dll", "RtlDllShutdownInProgress");
    return query != nullptr && query() != FALSE;
}

SString TerminatorName(const SString& name)
{
    SString derived;
    derived.Format(L"%s-%s", name.c_str(), L"Terminator");
    return derived;
}

// The destroying thread holds the loader lock: a thread that has yet to start cannot, until it lets go.
bool HoldsLoaderLock() noexcept
{
    // The process block's loader lock (gs:0x60 is the process block, the lock's address at 0x110).
    const unsigned char* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));
    const auto* lock = *reinterpret_cast<RTL_CRITICAL_SECTION* const*>(peb + 0x110);
    return lock != nullptr &&
           reinterpret_cast<uintptr_t>(lock->OwningThread) == static_cast<uintptr_t>(GetCurrentThreadId());
}

} // namespace

// Everything the workers touch. The pool object and every live worker each hold a reference.
class SThreadPool::Core : public std::enable_shared_from_this<SThreadPool::Core>
{
public:
    Core(uint32_t maxWorkers, uint32_t extraWorkers, const SString& name, DWORD waitLimitMs,
         std::unique_ptr<ISemaphore> semaphore, bool withTerminator);

    // The pool object's end: discards the queue, asks every worker to leave and waits for them
    // where they can run.
    void Shutdown();
    SResult Start(SResult& result);
    SResult Stop(SResult& result, bool discardQueued);
    void DiscardJobs();
    SResult PostJob(SResult& result, std::unique_ptr<Job> job);
    uint32_t GetWorkerCount() const;
    uint32_t GetQueuedCount() const;
    SString GetName() const;
    void SetName(const SString& name);
    void WaitUntilIdle() const;
    void WaitUntilNoWorkers() const;

    // Set by the constructor only; read without a lock.
    const uint32_t m_MaxWorkers;
    const uint32_t m_ExtraWorkers;
    const DWORD m_WaitLimit;
    SResult m_Result;

private:
    struct WorkerStart;

    static unsigned __stdcall WorkerEntry(void* start);
    void WorkerLoop(WorkerStart& start);
    void WorkerInnerWrapper(std::unique_ptr<Job> job, uint32_t index);
    // The five ...Locked functions need m_Lock held by the caller.
    SResult EnsureWorkersLocked(uint32_t wanted, uint32_t required);
    SResult CreateWorkersLocked(uint32_t count, uint32_t required);
    void DiscardQueuedLocked();
    void RequestWorkersToLeaveLocked();
    void ReleaseWorkerThreadLocked(std::unique_ptr<SThread> thread);
    // Counts one queued entry; the semaphore is released only for a sleeping worker.
    void SignalEntry() noexcept;
    // Claims one counted entry, sleeping on the semaphore for at most the wait limit; the wait's
    // result (kResultWaitTimeout when it timed out).
    SResult WaitForEntry() noexcept;
    // Logs the refusal of `operation` when the pool is unusable; true then.
    bool Refuses(const wchar_t* operation) const;

    // Set by the constructor only.
    std::unique_ptr<SThreadPool> m_pTerminator;
    mutable SCriticalSection m_Lock;
    // Guarded by m_Lock for changes; read without it by the polling waits.
    std::atomic<uint32_t> m_Workers{0};
    std::atomic<uint32_t> m_Busy{0};
    // Guarded by m_Lock. Owns the jobs it holds; null entries ask a worker to leave.
    SListT<Job*> m_Queue;
    // Guarded by m_Lock.
    SString m_Name;
    // Set by the constructor only.
    std::unique_ptr<ISemaphore> m_pSemaphore;
    // Entries signalled and not yet claimed; negative by the number of workers asleep on the
    // semaphore. Lock-free: changed by atomic operations only.
    std::atomic<int32_t> m_Signals{0};
};

struct SThreadPool::Core::WorkerStart
{
    std::shared_ptr<Core> core;
    std::unique_ptr<SThread> thread;
    uint32_t index = 0;
};

int SThreadPool::TerminatorJob::Run()
{
    m_pThread.reset();
    return 0;
}

SThreadPool::SThreadPool(uint32_t maxWorkers, uint32_t extraWorkers, const SString& name, DWORD waitLimitMs,
                         bool withTerminator)
    : SThreadPool(maxWorkers, extraWorkers, name, waitLimitMs, std::make_unique<SSemaphore>(), withTerminator)
{
}

SThreadPool::SThreadPool(uint32_t maxWorkers, uint32_t extraWorkers, const SString& name, DWORD waitLimitMs,
                         std::unique_ptr<ISemaphore> semaphore, bool withTerminator)
    : m_pCore(std::make_shared<Core>(maxWorkers, extraWorkers, name, waitLimitMs, std::move(semaphore),
                                     withTerminator))
{
}

SThreadPool::Core::Core(uint32_t maxWorkers, uint32_t extraWorkers, const SString& name, DWORD waitLimitMs,
                        std::unique_ptr<ISemaphore> semaphore, bool withTerminator)
    : m_MaxWorkers(std::max<uint32_t>(maxWorkers, 1)), m_ExtraWorkers(extraWorkers), m_WaitLimit(waitLimitMs),
      m_Name(name), m_pSemaphore(std::move(semaphore))
{
    SResult created = kResultCreateFailed;
    if (m_pSemaphore)
        m_pSemaphore->Create(created, SString(), false, true, 0, SemaphoreMaximum, nullptr);
    if (created.Failed())
    {
        m_Result = created == kResultObjectExisted ? kResultPoolSemaphoreExisted : kResultPoolSemaphoreFailed;
        PoolLog(SLogLevel::Error, &m_Result, L"Failed to create thread pool [%s].", m_Name.c_str());
        return;
    }
    if (withTerminator)
        m_pTerminator = std::make_unique<SThreadPool>(1, 0, TerminatorName(m_Name), waitLimitMs);
}

SThreadPool::~SThreadPool()
{
    m_pCore->Shutdown();
}

void SThreadPool::Core::Shutdown()
{
    // Once the process is ending its other threads are gone without having said so, and one of them
    // may have died holding the lock: what is left is not touched.
    if (ProcessIsEnding())
        return;
    if (m_Result.Succeeded())
    {
        {
            SAutoCriticalSection lock(m_Lock);
            DiscardQueuedLocked();
            RequestWorkersToLeaveLocked();
        }
        // Workers that cannot start before this thread lets go of the loader lock leave later, on
        // their own reference to this state.
        if (!HoldsLoaderLock())
            WaitUntilNoWorkers();
    }
}

SResult SThreadPool::Start(SResult& result)
{
    return m_pCore->Start(result);
}

SResult SThreadPool::Stop(SResult& result, bool discardQueued)
{
    return m_pCore->Stop(result, discardQueued);
}

void SThreadPool::DiscardJobs()
{
    m_pCore->DiscardJobs();
}

SResult SThreadPool::PostJob(SResult& result, std::unique_ptr<Job> job)
{
    return m_pCore->PostJob(result, std::move(job));
}

DWORD SThreadPool::GetWaitLimit() const noexcept
{
    return m_pCore->m_WaitLimit;
}

uint32_t SThreadPool::GetMaxWorkers() const noexcept
{
    return m_pCore->m_MaxWorkers;
}

uint32_t SThreadPool::GetExtraWorkers() const noexcept
{
    return m_pCore->m_ExtraWorkers;
}

uint32_t SThreadPool::GetWorkerCount() const
{
    return m_pCore->GetWorkerCount();
}

uint32_t SThreadPool::GetQueuedCount() const
{
    return m_pCore->GetQueuedCount();
}

SString SThreadPool::GetName() const
{
    return m_pCore->GetName();
}

void SThreadPool::SetName(const SString& name)
{
    m_pCore->SetName(name);
}

bool SThreadPool::IsValid() const noexcept
{
    return m_pCore->m_Result.Code() == 0;
}

void SThreadPool::WaitUntilIdle() const
{
    m_pCore->WaitUntilIdle();
}

void SThreadPool::WaitUntilNoWorkers() const
{
    m_pCore->WaitUntilNoWorkers();
}

SResult SThreadPool::GetResult() const noexcept
{
    return m_pCore->m_Result;
}

bool SThreadPool::Core::Refuses(const wchar_t* operation) const
{
    if (m_Result.Succeeded())
        return false;
    PoolLog(SLogLevel::Error, &m_Result, L"Failed calling thread pool [%s] with function [%s].",
            GetName().c_str(), operation);
    return true;
}

SResult SThreadPool::Core::Start(SResult& result)
{
    if (Refuses(L"Start"))
        return result = m_Result;
    SAutoCriticalSection lock(m_Lock);
    return result = EnsureWorkersLocked(m_MaxWorkers, 0);
}

SResult SThreadPool::Core::Stop(SResult& result, bool discardQueued)
{
    if (Refuses(L"Stop"))
        return result = m_Result;
    {
        SAutoCriticalSection lock(m_Lock);
        if (discardQueued)
            DiscardQueuedLocked();
        RequestWorkersToLeaveLocked();
    }
    WaitUntilNoWorkers();
    return result = 0;
}

void SThreadPool::Core::DiscardJobs()
{
    SAutoCriticalSection lock(m_Lock);
    DiscardQueuedLocked();
}

void SThreadPool::Core::DiscardQueuedLocked()
{
    // Leave requests stay queued, in their order: a Stop in progress still needs them.
    for (unsigned int remaining = m_Queue.GetCount(); remaining > 0; --remaining)
    {
        Job* entry = nullptr;
        m_Queue.PopFront(entry);
        if (entry == nullptr)
        {
            m_Queue.PushBack(nullptr);
            continue;
        }
        const std::unique_ptr<Job> job(entry);
        try
        {
            job->Abort(false, 0);
        }
        catch (...)
        {
        }
    }
}

void SThreadPool::Core::RequestWorkersToLeaveLocked()
{
    for (uint32_t worker = m_Workers; worker > 0; --worker)
    {
        m_Queue.PushBack(nullptr);
        SignalEntry();
    }
}

SResult SThreadPool::Core::PostJob(SResult& result, std::unique_ptr<Job> job)
{
    if (Refuses(L"PostJob"))
        return result = m_Result;
    if (!job)
        return result = kResultPoolNoJob;
    SResult ensured;
    {
        SAutoCriticalSection lock(m_Lock);
        try
        {
            m_Queue.PushBack(job.get());
        }
        catch (const std::bad_alloc&)
        {
            return result = kResultOutOfMemory;
        }
        job.release(); // the queue owns it now
        ensured = EnsureWorkersLocked(1, 1);
    }
    SignalEntry();
    return result = ensured;
}

uint32_t SThreadPool::Core::GetWorkerCount() const
{
    SAutoCriticalSection lock(m_Lock);
    return m_Workers;
}

uint32_t SThreadPool::Core::GetQueuedCount() const
{
    SAutoCriticalSection lock(m_Lock);
    return m_Queue.GetCount();
}

SString SThreadPool::Core::GetName() const
{
    SAutoCriticalSection lock(m_Lock);
    return m_Name;
}

void SThreadPool::Core::SetName(const SString& name)
{
    SAutoCriticalSection lock(m_Lock);
    m_Name = name;
    if (m_pTerminator)
        m_pTerminator->SetName(TerminatorName(m_Name));
}

void SThreadPool::Core::WaitUntilIdle() const
{
    while (m_Busy.load(std::memory_order_acquire) != 0)
        SleepEx(PollIntervalMs, FALSE);
}

void SThreadPool::Core::WaitUntilNoWorkers() const
{
    while (m_Workers.load(std::memory_order_acquire) != 0)
        SleepEx(PollIntervalMs, FALSE);
}

SResult SThreadPool::Core::EnsureWorkersLocked(uint32_t wanted, uint32_t required)
{
    const uint32_t workers = m_Workers;
    if (workers < m_MaxWorkers)
    {
        const uint32_t room = m_MaxWorkers - workers;
        return CreateWorkersLocked(std::min(room, wanted), std::min(room, required));
    }
    if (required > 0 && m_ExtraWorkers > 0 && m_Busy >= workers)
    {
        const uint64_t limit = uint64_t{m_MaxWorkers} + m_ExtraWorkers;
        if (limit > workers)
        {
            const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(limit - workers, required));
            return CreateWorkersLocked(count, count);
        }
        if (m_MaxWorkers > 1)
            PoolLog(
                SLogLevel::Info, nullptr,
                L"Callers had utilized all available worker threads in thread pool [%s]. This can be a "
                L"caller problem. Workers: %d/%d. Hard max limit %d has been exceeded. No new workers will "
                L"be added but %d may be needed.",
                m_Name.c_str(), workers, m_MaxWorkers, m_ExtraWorkers, required);
    }
    return 0;
}

SResult SThreadPool::Core::CreateWorkersLocked(uint32_t count, uint32_t required)
{
    uint32_t created = 0;
    uint32_t attempt = 0;
    while (created < count)
    {
        const uint32_t index = m_Workers + 1;
        std::unique_ptr<WorkerStart> start;
        SString purpose;
        try
        {
            purpose.Format(L"Thread_%s_%u", m_Name.c_str(), index);
            start = std::make_unique<WorkerStart>();
            start->core = shared_from_this();
            start->thread = std::make_unique<SThread>();
            start->index = index;
        }
        catch (const std::bad_alloc&)
        {
            start.reset();
        }
        if (start)
        {
            SResult ignored;
            start->thread->Create(ignored, purpose.c_str(), &SThreadPool::Core::WorkerEntry, start.get(),
                                  CREATE_SUSPENDED);
        }
        SResult failure;
        if (!start || !start->thread->IsValid())
        {
            failure = kResultPoolWorkerCreateFailed;
        }
        else
        {
            ++created;
            ++m_Workers;
            attempt = 0;
            // Once it runs the worker owns its start block (and the thread object in it). It cannot
            // get past its first lock before this loop is done with it: the caller holds the lock.
            SThread& thread = *start->thread;
            WorkerStart* running = start.release();
            const DWORD previous = thread.Resume();
            if (previous == 0xFFFFFFFFu || previous > 1)
            {
                --created;
                --m_Workers;
                start.reset(running);
                failure = kResultPoolWorkerResumeFailed;
            }
        }
        if (failure.Succeeded())
            continue;

        const DWORD error = GetLastError();
        start.reset();
        if (created < required)
        {
            SleepEx(PollIntervalMs, FALSE);
            ++attempt;
            PoolLog(
                SLogLevel::Error, &failure,
                L"Failed to create worker thread %d/%d in thread pool [%s]. OS Err: 0x%08x. Retrying %d...",
                m_Workers + 1, m_MaxWorkers, m_Name.c_str(), error, attempt);
            continue;
        }
        PoolLog(SLogLevel::Error, &failure,
                L"Failed to create worker thread %d/%d in thread pool [%s]. OS Err: 0x%08x.", m_Workers + 1,
                m_MaxWorkers, m_Name.c_str(), error);
        return failure;
    }
    return 0;
}

void SThreadPool::Core::SignalEntry() noexcept
{
    if (m_Signals.fetch_add(1, std::memory_order_release) < 0)
    {
        SResult released;
        m_pSemaphore->Release(released, 1);
    }
}

SResult SThreadPool::Core::WaitForEntry() noexcept
{
    // A worker that finds no entry spins a little before it sleeps: a job posted meanwhile then
    // costs no kernel call on either side.
    for (int spin = 0; spin < SpinsBeforeSleep; ++spin)
    {
        int32_t signals = m_Signals.load(std::memory_order_relaxed);
        if (signals > 0 && m_Signals.compare_exchange_weak(signals, signals - 1, std::memory_order_acquire))
            return 0;
        YieldProcessor();
    }
    if (m_Signals.fetch_sub(1, std::memory_order_acquire) > 0)
        return 0;

    // Asleep: the count is negative by the number of sleeping workers, and a signal that finds it
    // negative wakes one of them through the semaphore.
    SResult waited;
    m_pSemaphore->Wait(waited, false, m_WaitLimit);
    if (waited.Succeeded())
        return waited;
    int32_t signals = m_Signals.load(std::memory_order_relaxed);
    while (signals < 0)
    {
        if (m_Signals.compare_exchange_weak(signals, signals + 1, std::memory_order_relaxed))
            return waited;
    }
    // A signal counted this worker as asleep after its wait gave up; its release is on the way.
    SResult taken;
    return m_pSemaphore->Wait(taken, false, INFINITE);
}

unsigned __stdcall SThreadPool::Core::WorkerEntry(void* parameter)
{
    const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    Core& core = *start->core;
    core.WorkerLoop(*start);
    return 0;
}

void SThreadPool::Core::WorkerLoop(WorkerStart& start)
{
    for (;;)
    {
        if (WaitForEntry().Failed())
            break;
        std::unique_ptr<Job> job;
        {
            SAutoCriticalSection lock(m_Lock);
            if (m_Queue.GetCount() == 0)
                continue;
            Job* entry = nullptr;
            m_Queue.PopFront(entry);
            if (entry == nullptr)
                break;
            job.reset(entry);
            ++m_Busy;
        }
        WorkerInnerWrapper(std::move(job), start.index);
    }

    SAutoCriticalSection lock(m_Lock);
    // The thread object goes before the worker stops counting: once the count drops the pool object
    // may be destroyed at any moment (this state lives on until the worker lets go of it).
    ReleaseWorkerThreadLocked(std::move(start.thread));
    --m_Workers;
    const unsigned int queued = m_Queue.GetCount();
    if (m_Workers == 0 && queued > 0)
        EnsureWorkersLocked(queued, 1);
}

void SThreadPool::Core::WorkerInnerWrapper(std::unique_ptr<Job> job, uint32_t index)
{
    try
    {
        job->Run();
    }
    catch (...)
    {
        ReportCaughtException(WorkerPlace, WorkerLine);
        try
        {
            job->Abort(true, 0);
        }
        catch (...)
        {
        }
        const SResult failed = kResultPoolJobFailed;
        PoolLog(SLogLevel::Warning, &failed, L"Exception occurred for thread %d/%d in thread pool [%s]",
                index, m_MaxWorkers, GetName().c_str());
    }
    job.reset();
    SAutoCriticalSection lock(m_Lock);
    --m_Busy;
}

void SThreadPool::Core::ReleaseWorkerThreadLocked(std::unique_ptr<SThread> thread)
{
    if (m_pTerminator)
    {
        SResult posted;
        m_pTerminator->PostJob(posted, std::make_unique<TerminatorJob>(std::move(thread)));
        return;
    }
    thread.reset();
}

} // namespace S
