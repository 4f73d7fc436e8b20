// SThread: one operating-system thread handle with a purpose text. Threads it creates run through
// a start wrapper that logs their birth and end, turns structured exceptions into thrown
// SWin32Exception objects, and writes a crash report when the procedure lets anything escape.
// Each created thread holds a reference on the module that contains this code until it has left
// it, so a host may unload the module while the thread still runs; Create also arms crash
// reporting, which loads the minidump and error-report modules on the creating thread.
//
// Thread-safety: an SThread is not locked; its owner uses it from one thread. The created thread
// reads only its own start block, never the SThread object.
// Failure contract: operations that need a handle give kResultNoHandle without one and kResultCallFailed
// when the system call fails; out-parameters are left untouched on failure. Create and Open leave
// the object without a handle when they fail (kResultCreateFailed).
#pragma once

#include "library/system/process/SSyncable.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace S
{

using SThreadProcedure = unsigned(__stdcall*)(void* parameter);

// The call that starts a thread for SThread::Create, with _beginthreadex's contract (0 and the
// last error set on failure). Test seam (set it through SScopedForTesting): tests put their own in
// place to make thread creation fail; null puts _beginthreadex back. Returns the one it replaced.
// Any thread may call it.
using SThreadStarter = uintptr_t (*)(void* security, unsigned stackSize, SThreadProcedure procedure,
                                     void* parameter, unsigned creationFlags, unsigned* threadId);
SThreadStarter SetThreadStarterForTesting(SThreadStarter starter) noexcept;

struct SThreadTimes
{
    FILETIME creation{};
    FILETIME exit{};
    FILETIME kernel{};
    FILETIME user{};
};

class IThread;

// Told when it is attached to a thread object and when it is replaced there; it may refuse.
class IThreadObserver
{
public:
    virtual ~IThreadObserver() = default;
    // False refuses the attachment.
    virtual bool OnAttach(IThread& thread) = 0;
    virtual void OnDetach(IThread& thread) = 0;
};

class IThread : public SSyncBase
{
public:
    // A new object attached to the calling thread, null when it cannot be opened.
    virtual std::unique_ptr<IThread> OpenThread(DWORD access, bool inherit) const = 0;
    virtual SResult GetExitCode(SResult& result, DWORD& exitCode) const noexcept = 0;
    // The previous suspend count, 0xFFFFFFFF without a handle or on failure.
    virtual DWORD Suspend() noexcept = 0;
    virtual DWORD Resume() noexcept = 0;
    virtual SResult Terminate(SResult& result, DWORD exitCode) noexcept = 0;
    // -1 without a handle.
    virtual int GetPriority() const noexcept = 0;
    virtual SResult SetPriority(SResult& result, int priority) noexcept = 0;
    virtual SResult GetPriorityBoost(SResult& result, bool& disabled) const noexcept = 0;
    virtual SResult SetPriorityBoost(SResult& result, bool disable) noexcept = 0;
    virtual SResult GetTimes(SResult& result, SThreadTimes& times) const noexcept = 0;
    virtual bool IsValid() const noexcept = 0;
    // Forgets the handle, closing it when owned.
    virtual void Close() noexcept = 0;
    virtual bool HasObserver() const noexcept = 0;
    // 0xFFFFFFFF without a handle, 0 when the query fails.
    virtual DWORD GetThreadId() const noexcept = 0;
    // Null or empty stores "<not specified>"; longer texts are cut at 255 characters.
    virtual void SetPurpose(const wchar_t* purpose) noexcept = 0;
    virtual const wchar_t* GetPurpose() const noexcept = 0;
    // threadId 0xFFFFFFFF opens the calling thread.
    virtual SResult Open(SResult& result, DWORD access, bool inherit, DWORD threadId) noexcept = 0;
    // Starts procedure(parameter) through the start wrapper; threadId, when given, receives the
    // new thread's id. kResultObjectExisted when the system reported ERROR_ALREADY_EXISTS.
    virtual SResult Create(SResult& result, const wchar_t* purpose, SThreadProcedure procedure,
                           void* parameter, DWORD creationFlags = 0, unsigned stackSize = 0,
                           SECURITY_ATTRIBUTES* security = nullptr, DWORD* threadId = nullptr) = 0;
    // As Create, in another process and without the start wrapper.
    virtual SResult CreateRemote(SResult& result, HANDLE process, const wchar_t* purpose,
                                 LPTHREAD_START_ROUTINE procedure, void* parameter, DWORD creationFlags = 0,
                                 SIZE_T stackSize = 0, SECURITY_ATTRIBUTES* security = nullptr,
                                 DWORD* threadId = nullptr) noexcept = 0;
    // Detaches the current observer and attaches `observer` (not owned); a refusal leaves none.
    virtual void SetObserver(IThreadObserver* observer) = 0;
};

class SThreadBase : public virtual ISyncableBase
{
};

class SThread : public IThread, public SThreadBase
{
public:
    static constexpr size_t MaxPurposeLength = 255;

    SThread() noexcept;
    // Attaches `handle`: INVALID_HANDLE_VALUE stands for the calling thread and is not owned,
    // any other handle is owned.
    explicit SThread(HANDLE handle) noexcept;
    ~SThread() override;

    std::unique_ptr<IThread> OpenThread(DWORD access, bool inherit) const override;
    SResult GetExitCode(SResult& result, DWORD& exitCode) const noexcept override;
    DWORD Suspend() noexcept override;
    DWORD Resume() noexcept override;
    SResult Terminate(SResult& result, DWORD exitCode) noexcept override;
    int GetPriority() const noexcept override;
    SResult SetPriority(SResult& result, int priority) noexcept override;
    SResult GetPriorityBoost(SResult& result, bool& disabled) const noexcept override;
    SResult SetPriorityBoost(SResult& result, bool disable) noexcept override;
    SResult GetTimes(SResult& result, SThreadTimes& times) const noexcept override;
    bool IsValid() const noexcept override { return m_Handle.Get() != nullptr; }
    void Close() noexcept override;
    bool HasObserver() const noexcept override { return m_pObserver != nullptr; }
    DWORD GetThreadId() const noexcept override;
    void SetPurpose(const wchar_t* purpose) noexcept override;
    const wchar_t* GetPurpose() const noexcept override { return m_Purpose; }
    SResult Open(SResult& result, DWORD access, bool inherit, DWORD threadId) noexcept override;
    SResult Create(SResult& result, const wchar_t* purpose, SThreadProcedure procedure, void* parameter,
                   DWORD creationFlags = 0, unsigned stackSize = 0, SECURITY_ATTRIBUTES* security = nullptr,
                   DWORD* threadId = nullptr) override;
    SResult CreateRemote(SResult& result, HANDLE process, const wchar_t* purpose,
                         LPTHREAD_START_ROUTINE procedure, void* parameter, DWORD creationFlags = 0,
                         SIZE_T stackSize = 0, SECURITY_ATTRIBUTES* security = nullptr,
                         DWORD* threadId = nullptr) noexcept override;
    void SetObserver(IThreadObserver* observer) override;

    // Replaces the held handle (see the handle constructor for ownership).
    void Attach(HANDLE handle) noexcept;

    // The start wrapper every created thread runs; `block` is its start block.
    static unsigned __stdcall ThreadStart(void* block);

private:
    struct StartBlock;

    // The outcome of a handle call: kResultNoHandle without a handle, kResultCallFailed when it failed.
    SResult CallResult(bool succeeded) const noexcept;

    // m_Handle (from SSyncBase) holds the handle; it is closed only when owned.
    bool m_Owned = false;
    wchar_t m_Purpose[MaxPurposeLength + 1] = {};
    IThreadObserver* m_pObserver = nullptr;
};

} // namespace S
