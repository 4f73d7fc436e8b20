#include "library/system/process/SThreadPool.h"

#include "library/diagnostics/Log.h"
#include "library/system/process/SCaughtException.h"

#include <algorithm>
#include <new>

namespace S
{

namespace
{

constexpr wchar_t LogComponent[] = L"ThreadPool";
constexpr char WorkerPlace[] = "S::SThreadPool::WorkerInnerWrapper";
constexpr uint32_t WorkerLine = 503;
constexpr DWORD PollIntervalMs = 50;
constexpr LONG SemaphoreMaximum = 0x7FFFFFFF;
constexpr SResult OutOfMemory{0x8007000Eu};
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
    using Function = BOOLEAN(NTAPI*)();
    const auto query = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return query != nullptr && query() != FALSE;
}

} // namespace

struct SThreadPool::WorkerStart
{
    SThreadPool* pool = nullptr;
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
    : m_MaxWorkers(std::max<uint32_t>(maxWorkers, 1)), m_ExtraWorkers(extraWorkers), m_WaitLimit(waitLimitMs),
      m_pSemaphore(std::move(semaphore)), m_Name(name)
{
    SResult created = SyncResult::CreateFailed;
    if (m_pSemaphore)
        m_pSemaphore->Create(created, SString(), false, true, 0, SemaphoreMaximum, nullptr);
    if (created.Failed())
    {
        m_Result = created == SyncResult::AlreadyExists ? ThreadPoolResult::SemaphoreExisted
                                                        : ThreadPoolResult::SemaphoreFailed;
        PoolLog(SLogLevel::Error, &m_Result, L"Failed to create thread pool [%s].", m_Name.c_str());
        return;
    }
    if (withTerminator)
        m_pTerminator = std::make_unique<SThreadPool>(1, 0, TerminatorName(m_Name), waitLimitMs);
}

SThreadPool::~SThreadPool()
{
    // Once the process is ending its other threads are gone without having said so, and one of them
    // may have died holding the lock: what is left is not touched.
    if (ProcessIsEnding())
        return;
    if (IsValid())
    {
        {
            SAutoCriticalSection lock(m_Lock);
            DiscardQueued();
            RequestWorkersToLeave();
        }
        WaitUntilNoWorkers();
    }
    m_pTerminator.reset();
}

SString SThreadPool::TerminatorName(const SString& name)
{
    SString derived;
    derived.Format(L"%s-%s", name.c_str(), L"Terminator");
    return derived;
}

bool SThreadPool::Refuses(const wchar_t* operation) const
{
    if (m_Result.Succeeded())
        return false;
    PoolLog(SLogLevel::Error, &m_Result, L"Failed calling thread pool [%s] with function [%s].",
            GetName().c_str(), operation);
    return true;
}

SResult SThreadPool::Start(SResult& result)
{
    if (Refuses(L"Start"))
        return result = m_Result;
    SAutoCriticalSection lock(m_Lock);
    return result = EnsureWorkers(m_MaxWorkers, 0);
}

SResult SThreadPool::Stop(SResult& result, bool discardQueued)
{
    if (Refuses(L"Stop"))
        return result = m_Result;
    {
        SAutoCriticalSection lock(m_Lock);
        if (discardQueued)
            DiscardJobs();
        RequestWorkersToLeave();
    }
    WaitUntilNoWorkers();
    return result = 0;
}

void SThreadPool::DiscardJobs()
{
    SAutoCriticalSection lock(m_Lock);
    DiscardQueued();
}

void SThreadPool::DiscardQueued()
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

void SThreadPool::RequestWorkersToLeave()
{
    for (uint32_t worker = m_Workers; worker > 0; --worker)
    {
        m_Queue.PushBack(nullptr);
        SignalEntry();
    }
}

SResult SThreadPool::PostJob(SResult& result, std::unique_ptr<Job> job)
{
    if (Refuses(L"PostJob"))
        return result = m_Result;
    if (!job)
        return result = ThreadPoolResult::NoJob;
    SResult ensured;
    {
        SAutoCriticalSection lock(m_Lock);
        try
        {
            m_Queue.PushBack(job.get());
        }
        catch (const std::bad_alloc&)
        {
            return result = OutOfMemory;
        }
        job.release(); // the queue owns it now
        ensured = EnsureWorkers(1, 1);
    }
    SignalEntry();
    return result = ensured;
}

uint32_t SThreadPool::GetWorkerCount() const
{
    SAutoCriticalSection lock(m_Lock);
    return m_Workers;
}

uint32_t SThreadPool::GetQueuedCount() const
{
    SAutoCriticalSection lock(m_Lock);
    return m_Queue.GetCount();
}

SString SThreadPool::GetName() const
{
    SAutoCriticalSection lock(m_Lock);
    return m_Name;
}

void SThreadPool::SetName(const SString& name)
{
    SAutoCriticalSection lock(m_Lock);
    m_Name = name;
    if (m_pTerminator)
        m_pTerminator->SetName(TerminatorName(m_Name));
}

void SThreadPool::WaitUntilIdle() const
{
    while (m_Busy.load(std::memory_order_acquire) != 0)
        SleepEx(PollIntervalMs, FALSE);
}

void SThreadPool::WaitUntilNoWorkers() const
{
    while (m_Workers.load(std::memory_order_acquire) != 0)
        SleepEx(PollIntervalMs, FALSE);
}

SResult SThreadPool::EnsureWorkers(uint32_t wanted, uint32_t required)
{
    const uint32_t workers = m_Workers;
    if (workers < m_MaxWorkers)
    {
        const uint32_t room = m_MaxWorkers - workers;
        return CreateWorkers(std::min(room, wanted), std::min(room, required));
    }
    if (required > 0 && m_ExtraWorkers > 0 && m_Busy >= workers)
    {
        const uint64_t limit = uint64_t{m_MaxWorkers} + m_ExtraWorkers;
        if (limit > workers)
        {
            const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(limit - workers, required));
            return CreateWorkers(count, count);
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

SResult SThreadPool::CreateWorkers(uint32_t count, uint32_t required)
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
            start->pool = this;
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
            start->thread->Create(ignored, purpose.c_str(), &SThreadPool::WorkerEntry, start.get(),
                                  CREATE_SUSPENDED);
        }
        SResult failure;
        if (!start || !start->thread->IsValid())
        {
            failure = ThreadPoolResult::WorkerCreateFailed;
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
                failure = ThreadPoolResult::WorkerResumeFailed;
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

void SThreadPool::SignalEntry() noexcept
{
    if (m_Signals.fetch_add(1, std::memory_order_release) < 0)
    {
        SResult released;
        m_pSemaphore->Release(released, 1);
    }
}

SResult SThreadPool::WaitForEntry() noexcept
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

unsigned __stdcall SThreadPool::WorkerEntry(void* parameter)
{
    const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    start->pool->WorkerLoop(*start);
    return 0;
}

void SThreadPool::WorkerLoop(WorkerStart& start)
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
    // The thread object goes before the worker stops counting: once the count drops the pool may
    // be destroyed at any moment, and this worker must not touch it any more.
    ReleaseWorkerThread(std::move(start.thread));
    --m_Workers;
    const unsigned int queued = m_Queue.GetCount();
    if (m_Workers == 0 && queued > 0)
        EnsureWorkers(queued, 1);
}

void SThreadPool::WorkerInnerWrapper(std::unique_ptr<Job> job, uint32_t index)
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
        const SResult failed = ThreadPoolResult::JobFailed;
        PoolLog(SLogLevel::Warning, &failed, L"Exception occurred for thread %d/%d in thread pool [%s]",
                index, m_MaxWorkers, GetName().c_str());
    }
    job.reset();
    SAutoCriticalSection lock(m_Lock);
    --m_Busy;
}

void SThreadPool::ReleaseWorkerThread(std::unique_ptr<SThread> thread)
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
