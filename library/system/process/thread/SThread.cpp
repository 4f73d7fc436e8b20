#include "library/system/process/thread/SThread.h"

#include "library/diagnostics/log/Log.h"
#include "library/diagnostics/crash/SSeTranslator.h"
#include "library/diagnostics/crash/SWin32Exception.h"
#include "library/system/SModule.h"
#include "library/system/process/thread/SCaughtException.h"

#include <process.h>

#include <atomic>
#include <cwchar>
#include <exception>
#include <new>
#include <type_traits>
#include <utility>

namespace S
{

namespace
{

constexpr wchar_t NotSpecified[] = L"<not specified>";
constexpr wchar_t ThreadStage[] = L"TST";
// The place and line of an escaped exception's report are fixed texts, kept on purpose for compatibility.
constexpr char StartPlace[] = "S::SThread::ThreadStart";
constexpr uint32_t StartLine = 384;

void CopyPurpose(wchar_t (&out)[SThread::MaxPurposeLength + 1], const wchar_t* purpose) noexcept
{
    if (purpose == nullptr || *purpose == L'\0')
        purpose = NotSpecified;
    std::wcsncpy(out, purpose, SThread::MaxPurposeLength);
    out[SThread::MaxPurposeLength] = L'\0';
}

// What NtQueryInformationThread returns for ThreadBasicInformation (48 bytes on x64).
struct ThreadBasicInformation
{
    LONG exitStatus;
    void* tebBaseAddress;
    HANDLE uniqueProcess;
    HANDLE uniqueThread;
    KAFFINITY affinityMask;
    LONG priority;
    LONG basePriority;
};
static_assert(sizeof(ThreadBasicInformation) == 48);

using NtQueryInformationThreadFunction = LONG(NTAPI*)(HANDLE thread, int informationClass, void* information,
                                                      ULONG length, ULONG* returnedLength);

// Null stands for _beginthreadex: an imported function's address is not a constant, and a thread
// may be created before this module's dynamic initialisers have run.
constinit std::atomic<SThreadStarter> g_Starter{nullptr};

} // namespace

SThreadStarter SetThreadStarterForTesting(SThreadStarter starter) noexcept
{
    const SThreadStarter previous = g_Starter.exchange(starter);
    return previous != nullptr ? previous : &_beginthreadex;
}

struct SThread::StartBlock
{
    SThreadProcedure procedure = nullptr;
    void* parameter = nullptr;
    wchar_t purpose[MaxPurposeLength + 1] = {};
    DWORD parentThreadId = 0;
    SModuleRef module;
};

SThread::SThread() noexcept
{
    CopyPurpose(m_Purpose, nullptr);
}

SThread::SThread(HANDLE handle) noexcept : SThread()
{
    Attach(handle);
}

SThread::~SThread()
{
    try
    {
        SetObserver(nullptr);
    }
    catch (...)
    {
    }
    Close();
}

void SThread::Attach(HANDLE handle) noexcept
{
    Close();
    if (handle == INVALID_HANDLE_VALUE)
    {
        m_Handle.Reset(GetCurrentThread());
        m_Owned = false;
        return;
    }
    m_Handle.Reset(handle);
    m_Owned = handle != nullptr;
}

void SThread::Close() noexcept
{
    // SHandle already leaves null and INVALID_HANDLE_VALUE alone; a borrowed handle is only forgotten.
    if (m_Owned)
        m_Handle.Reset();
    else
        m_Handle.Detach();
    m_Owned = false;
}

SResult SThread::CallResult(bool succeeded) const noexcept
{
    if (!IsValid())
        return kResultNoHandle;
    return succeeded ? SResult(0) : kResultCallFailed;
}

std::unique_ptr<IThread> SThread::OpenThread(DWORD access, bool inherit) const
{
    auto thread = std::make_unique<SThread>();
    SResult result;
    if (thread->Open(result, access, inherit, 0xFFFFFFFFu).Failed())
        return nullptr;
    return thread;
}

SResult SThread::GetExitCode(SResult& result, DWORD& exitCode) const noexcept
{
    DWORD code = 0;
    result = CallResult(IsValid() && GetExitCodeThread(m_Handle.Get(), &code));
    if (result.Succeeded())
        exitCode = code;
    return result;
}

DWORD SThread::Suspend() noexcept
{
    return IsValid() ? SuspendThread(m_Handle.Get()) : 0xFFFFFFFFu;
}

DWORD SThread::Resume() noexcept
{
    return IsValid() ? ResumeThread(m_Handle.Get()) : 0xFFFFFFFFu;
}

SResult SThread::Terminate(SResult& result, DWORD exitCode) noexcept
{
    if (!IsValid())
        return result = kResultNoHandle;
    LogDebug(L"Thread forcibly terminated with exit code %u [purpose: %s]", exitCode, m_Purpose);
    return result = CallResult(TerminateThread(m_Handle.Get(), exitCode));
}

int SThread::GetPriority() const noexcept
{
    return IsValid() ? GetThreadPriority(m_Handle.Get()) : -1;
}

SResult SThread::SetPriority(SResult& result, int priority) noexcept
{
    return result = CallResult(IsValid() && SetThreadPriority(m_Handle.Get(), priority));
}

SResult SThread::GetPriorityBoost(SResult& result, bool& disabled) const noexcept
{
    BOOL value = FALSE;
    result = CallResult(IsValid() && GetThreadPriorityBoost(m_Handle.Get(), &value));
    if (result.Succeeded())
        disabled = value != FALSE;
    return result;
}

SResult SThread::SetPriorityBoost(SResult& result, bool disable) noexcept
{
    return result = CallResult(IsValid() && SetThreadPriorityBoost(m_Handle.Get(), disable ? TRUE : FALSE));
}

SResult SThread::GetTimes(SResult& result, SThreadTimes& times) const noexcept
{
    SThreadTimes read;
    result = CallResult(IsValid() &&
                        GetThreadTimes(m_Handle.Get(), &read.creation, &read.exit, &read.kernel, &read.user));
    if (result.Succeeded())
        times = read;
    return result;
}

DWORD SThread::GetThreadId() const noexcept
{
    if (!IsValid())
        return 0xFFFFFFFFu;
    HANDLE rawDuplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), m_Handle.Get(), GetCurrentProcess(), &rawDuplicate,
                         THREAD_QUERY_INFORMATION, FALSE, 0))
        return 0;
    const SHandle duplicate(rawDuplicate);
    const SModuleRef ntdll = LoadModule(L"ntdll.dll");
    const auto query =
        FindModuleFunction<NtQueryInformationThreadFunction>(ntdll.Get(), "NtQueryInformationThread");
    if (query == nullptr)
        return 0;
    ThreadBasicInformation information{};
    ULONG returned = 0;
    constexpr int ThreadBasicInformationClass = 0;
    if (query(duplicate.Get(), ThreadBasicInformationClass, &information, sizeof(information), &returned) < 0)
        return 0;
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(information.uniqueThread));
}

void SThread::SetPurpose(const wchar_t* purpose) noexcept
{
    CopyPurpose(m_Purpose, purpose);
}

SResult SThread::Open(SResult& result, DWORD access, bool inherit, DWORD threadId) noexcept
{
    Close();
    if (threadId == 0xFFFFFFFFu)
        threadId = GetCurrentThreadId();
    const HANDLE handle = ::OpenThread(access, inherit ? TRUE : FALSE, threadId);
    if (handle == nullptr)
        return result = kResultCreateFailed;
    Attach(handle);
    return result = 0;
}

SResult SThread::Create(SResult& result, const wchar_t* purpose, SThreadProcedure procedure, void* parameter,
                        DWORD creationFlags, unsigned stackSize, SECURITY_ATTRIBUTES* security,
                        DWORD* threadId)
{
    Close();
    SetLastError(ERROR_SUCCESS);
    SetPurpose(purpose);

    auto block = std::unique_ptr<StartBlock>(new (std::nothrow) StartBlock);
    if (!block)
        return result = kResultCreateFailed;
    block->procedure = procedure;
    block->parameter = parameter;
    CopyPurpose(block->purpose, m_Purpose);
    block->parentThreadId = GetCurrentThreadId();
    // So that the thread can finish running this code even when its host unloads the module meanwhile.
    block->module = ReferenceModuleOf(reinterpret_cast<const void*>(&CopyPurpose));
    if (!block->module)
        return result = kResultCreateFailed;
    // Here, not on the new thread: a crash there must find everything it needs already loaded.
    SWin32Exception::ArmCrashReporting();

    unsigned id = 0;
    const SThreadStarter installed = g_Starter.load();
    const SThreadStarter start = installed != nullptr ? installed : &_beginthreadex;
    const uintptr_t handle =
        start(security, stackSize, &SThread::ThreadStart, block.get(), creationFlags, &id);
    if (handle == 0)
        return result = kResultCreateFailed;
    // The new thread owns its block from here on.
    block.release();
    Attach(reinterpret_cast<HANDLE>(handle));
    if (threadId != nullptr)
        *threadId = id;
    return result = GetLastError() == ERROR_ALREADY_EXISTS ? kResultObjectExisted : SResult(0);
}

SResult SThread::CreateRemote(SResult& result, HANDLE process, const wchar_t* purpose,
                              LPTHREAD_START_ROUTINE procedure, void* parameter, DWORD creationFlags,
                              SIZE_T stackSize, SECURITY_ATTRIBUTES* security, DWORD* threadId) noexcept
{
    Close();
    SetLastError(ERROR_SUCCESS);
    SetPurpose(purpose);
    DWORD id = 0;
    const HANDLE handle =
        CreateRemoteThread(process, security, stackSize, procedure, parameter, creationFlags, &id);
    if (handle == nullptr)
        return result = kResultCreateFailed;
    Attach(handle);
    if (threadId != nullptr)
        *threadId = id;
    return result = GetLastError() == ERROR_ALREADY_EXISTS ? kResultObjectExisted : SResult(0);
}

void SThread::SetObserver(IThreadObserver* observer)
{
    if (m_pObserver != nullptr)
        std::exchange(m_pObserver, nullptr)->OnDetach(*this);
    if (observer != nullptr && observer->OnAttach(*this))
        m_pObserver = observer;
}

unsigned __stdcall SThread::ThreadStart(void* parameter)
{
    // What the thread ends with unless its procedure returns.
    DWORD exitCode = kResultFail.Unsigned();
    HMODULE module = nullptr;
    {
        std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(parameter));
        LogDebug(L"Thread created. Purpose: %s. Parent thread: %5lu.", block->purpose, block->parentThreadId);

        // libstdc++ keeps one terminate handler for the whole process; setting it again per thread
        // keeps it in force whatever another component installed meanwhile.
        std::set_terminate(&SWin32Exception::TerminationHandler);
        const SSeTranslatorFunction previousTranslator =
            SetSeTranslator(&SWin32Exception::ExceptionTranslator);
        SWin32Exception::SetThreadStage(ThreadStage);

        try
        {
            CallWithSeTranslation([&] { exitCode = block->procedure(block->parameter); });
        }
        catch (...)
        {
            exitCode = kResultFail.Unsigned();
            ReportCaughtException(StartPlace, StartLine);
        }

        SetSeTranslator(previousTranslator);
        LogDebug(L"Thread ended with exit code 0x%08x [purpose: %s]", exitCode, block->purpose);
        module = block->module.Detach();
    }
    // Raw, not through an owner: the module's last reference may go here, so nothing of it may run
    // afterwards.
    FreeLibraryAndExitThread(module, exitCode);
}

} // namespace S
