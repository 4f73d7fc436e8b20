// How a structured exception becomes a C++ throw without the platform's translator hook.
//
// CallWithSeTranslation's frame carries an exception handler of its own. The system calls the
// handlers of the frames between the fault and it first, innermost first; only when none of them has
// taken the exception does it reach this frame. For a thread with a translator the handler then
// copies the exception record and context into the thread's fixed record and changes the faulting
// context so that the thread resumes in a small assembler frame instead of re-running the faulting
// instruction. That frame looks exactly as if the faulting instruction had called it, so the throw
// that follows unwinds from there into the faulting function, whose -fnon-call-exceptions tables
// cover the faulting instruction, and on to the ordinary catch.
#include "library/diagnostics/crash/SSeTranslator.h"

#include "library/diagnostics/SWin32ErrorResult.h"
#include "library/diagnostics/crash/SWin32Exception.h"

#include <atomic>
#include <exception>

// The redirected thread enters at S_SeTranslationEntry with r11 = faulting address + 1, pushes it as
// a return address and so forms a call frame for S_SeTranslationFrame. One byte into the faulting
// instruction is where a return address would point if that instruction had been a call: the
// unwinder then finds the faulting instruction's own handler region. S_SeTranslationFrame keeps rbp
// as its frame pointer so that unwinding it needs no assumption about the faulting stack's alignment.
//
// S_CallWithSeTranslation is the translation frame: its handler is asked during the search phase
// only, so C++ exceptions and unwinding pass through it untouched.
asm(R"(
    .text
    .p2align 4
S_SeTranslationEntry:
    pushq %r11
    jmp S_SeTranslationFrame
    .p2align 4
    .seh_proc S_SeTranslationFrame
S_SeTranslationFrame:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    call S_SeTranslationThrow
    int3
    .seh_endproc

    .p2align 4
    .globl S_CallWithSeTranslation
    .def S_CallWithSeTranslation; .scl 2; .type 32; .endef
    .seh_proc S_CallWithSeTranslation
S_CallWithSeTranslation:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler S_SeTranslationFrameHandler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    call *%rax
    nop
    addq $40, %rsp
    ret
    .seh_endproc
)");

extern "C" void S_SeTranslationEntry();
extern "C" [[noreturn]] void S_SeTranslationThrow();
extern "C" void S_CallWithSeTranslation(void (*work)(void*), void* context);
extern "C" EXCEPTION_DISPOSITION S_SeTranslationFrameHandler(EXCEPTION_RECORD* record, void* frame,
                                                             CONTEXT* context, void* dispatch) noexcept;

namespace S
{
namespace
{

// Exceptions of a foreign C++ runtime travel as this code and belong to that runtime's handlers.
constexpr DWORD kForeignCxxExceptionCode = 0xE06D7363u;

// Informational and success codes (debugger output, thread naming, this runtime's own throws, the
// fatal-exit exception of the termination handler) are never translated.
constexpr bool IsTranslatable(DWORD code) noexcept
{
    return (code & 0x80000000u) != 0 && code != kForeignCxxExceptionCode;
}

// A thread's translator and the copy of its latest exception. The system's own records lie on the
// stack just below the faulting frame and are overwritten as soon as the redirected thread runs.
struct ThreadState
{
    // No lock guards the table: a thread claims an entry by setting inUse, and the other fields
    // belong to that thread alone until it releases the entry.
    std::atomic<bool> inUse{false};
    SSeTranslatorFunction translator = nullptr;
    EXCEPTION_RECORD record{};
    CONTEXT context{};
};

ThreadState g_States[kMaxTranslatingThreads];

ThreadState* ClaimState() noexcept
{
    for (ThreadState& state : g_States)
        if (!state.inUse.load(std::memory_order_relaxed) &&
            !state.inUse.exchange(true, std::memory_order_acquire))
            return &state;
    return nullptr;
}

void WINAPI ReleaseThreadState(void* state) noexcept
{
    if (state != nullptr)
        static_cast<ThreadState*>(state)->inUse.store(false, std::memory_order_release);
}

std::atomic<DWORD> g_Slot{FLS_OUT_OF_INDEXES};

// Reads the calling thread's state without touching its last error, which the faulting code and any
// report about the fault still need.
ThreadState* CurrentThreadState() noexcept
{
    const DWORD slot = g_Slot.load(std::memory_order_acquire);
    if (slot == FLS_OUT_OF_INDEXES)
        return nullptr;
    const DWORD lastError = GetLastError();
    auto* state = static_cast<ThreadState*>(FlsGetValue(slot));
    SetLastError(lastError);
    return state;
}

// A stack overflow is reported on this reserve stack; one thread at a time, and only once, since the
// process ends afterwards.
constexpr size_t kReserveStackBytes = 512 * 1024;
alignas(16) unsigned char g_ReserveStack[kReserveStackBytes];
// Claimed once by g_ReserveStackTaken; the stack and the copies below belong to the claiming thread.
std::atomic<bool> g_ReserveStackTaken{false};
EXCEPTION_RECORD g_OverflowRecord;
CONTEXT g_OverflowContext;

[[noreturn]] void ReportStackOverflow() noexcept
{
    // Stack probes and walkers judge the stack by these bounds.
    NT_TIB* tib = nullptr;
    asm("movq %%gs:0x30, %0" : "=r"(tib)); // the thread block's own address
    tib->StackBase = g_ReserveStack + kReserveStackBytes;
    tib->StackLimit = g_ReserveStack;
    EXCEPTION_POINTERS pointers{&g_OverflowRecord, &g_OverflowContext};
    SWin32Exception::TopLevelExceptionHandler(&pointers);
    TerminateProcess(GetCurrentProcess(), g_OverflowRecord.ExceptionCode);
    for (;;)
        SleepEx(INFINITE, FALSE);
}

// True when the thread now goes on in the report; false when another thread is already there.
bool RedirectToOverflowReport(const EXCEPTION_RECORD& record, CONTEXT& context) noexcept
{
    if (g_ReserveStackTaken.exchange(true))
        return false;
    g_OverflowRecord = record;
    g_OverflowRecord.ExceptionRecord = nullptr;
    g_OverflowContext = context;
    g_OverflowContext.ContextFlags &= CONTEXT_ALL;
    // Entered as if called: the return-address slot and the callee's 32-byte home area lie inside.
    context.Rsp = reinterpret_cast<DWORD64>(g_ReserveStack + kReserveStackBytes) - 40;
    context.Rip = reinterpret_cast<DWORD64>(&ReportStackOverflow);
    return true;
}

// An overflow never reaches the translation frame: walking thousands of frames needs more stack than
// the exhausted one has left. So this one code is taken first, and only on translating threads.
LONG CALLBACK TakeStackOverflow(EXCEPTION_POINTERS* pointers) noexcept
{
    if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW)
        return EXCEPTION_CONTINUE_SEARCH;
    const ThreadState* state = CurrentThreadState();
    if (state == nullptr || state->translator == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;
    return RedirectToOverflowReport(*pointers->ExceptionRecord, *pointers->ContextRecord)
               ? EXCEPTION_CONTINUE_EXECUTION
               : EXCEPTION_CONTINUE_SEARCH;
}

// The fiber-local slot, whose callback gives a thread's record back when the thread ends, and the
// overflow handler; made on first use and removed when the module unloads.
class Machinery
{
public:
    Machinery() noexcept
    {
        const DWORD slot = FlsAlloc(&ReleaseThreadState);
        if (slot == FLS_OUT_OF_INDEXES)
        {
            m_Result = HResultFromWin32(GetLastError());
            return;
        }
        g_Slot.store(slot, std::memory_order_release);
        m_OverflowHandler = AddVectoredExceptionHandler(1, &TakeStackOverflow);
    }
    ~Machinery()
    {
        if (m_OverflowHandler != nullptr)
            RemoveVectoredExceptionHandler(m_OverflowHandler);
        const DWORD slot = g_Slot.exchange(FLS_OUT_OF_INDEXES);
        if (slot != FLS_OUT_OF_INDEXES)
            FlsFree(slot);
    }
    Machinery(const Machinery&) = delete;
    Machinery& operator=(const Machinery&) = delete;

    SResult Result() const noexcept { return m_Result; }

private:
    SResult m_Result;
    void* m_OverflowHandler = nullptr;
};

} // namespace

SSeTranslatorFunction SetSeTranslator(SSeTranslatorFunction translator, SResult& result) noexcept
{
    static Machinery machinery;
    result = machinery.Result();
    if (result.Failed())
        return nullptr;

    const DWORD slot = g_Slot.load(std::memory_order_acquire);
    ThreadState* state = CurrentThreadState();
    if (state == nullptr)
    {
        if (translator == nullptr)
            return nullptr;
        state = ClaimState();
        if (state == nullptr)
        {
            result = kResultNotEnoughMemory;
            return nullptr;
        }
        if (!FlsSetValue(slot, state))
        {
            result = HResultFromWin32(GetLastError());
            ReleaseThreadState(state);
            return nullptr;
        }
    }
    const SSeTranslatorFunction previous = state->translator;
    state->translator = translator;
    if (translator == nullptr)
    {
        // The record goes back to the pool as soon as the thread stops translating.
        FlsSetValue(slot, nullptr);
        ReleaseThreadState(state);
    }
    return previous;
}

SSeTranslatorFunction SetSeTranslator(SSeTranslatorFunction translator) noexcept
{
    SResult ignored;
    return SetSeTranslator(translator, ignored);
}

SSeTranslatorFunction GetSeTranslator() noexcept
{
    const ThreadState* state = CurrentThreadState();
    return state != nullptr ? state->translator : nullptr;
}

void CallWithSeTranslation(void (*work)(void*), void* context)
{
    S_CallWithSeTranslation(work, context);
}

} // namespace S

extern "C" EXCEPTION_DISPOSITION S_SeTranslationFrameHandler(EXCEPTION_RECORD* record, void* /*frame*/,
                                                             CONTEXT* context, void* /*dispatch*/) noexcept
{
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        !S::IsTranslatable(record->ExceptionCode))
        return ExceptionContinueSearch;
    S::ThreadState* state = S::CurrentThreadState();
    if (state == nullptr || state->translator == nullptr)
        return ExceptionContinueSearch;

    state->record = *record;
    state->record.ExceptionRecord = nullptr;
    state->context = *context;
    // Only the plain context is copied, never an extended state area that may follow it.
    state->context.ContextFlags &= CONTEXT_ALL;

    context->R11 = context->Rip + 1;
    context->Rip = reinterpret_cast<DWORD64>(&S_SeTranslationEntry);
    // The faulting instruction is never resumed, so a raise that forbids continuing is no obstacle.
    record->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
    return ExceptionContinueExecution;
}

extern "C" void S_SeTranslationThrow()
{
    S::ThreadState* state = S::CurrentThreadState();
    EXCEPTION_POINTERS pointers{&state->record, &state->context};
    state->translator(state->record.ExceptionCode, &pointers);
    // A translator that returns leaves nowhere to go: the faulting instruction cannot be resumed.
    std::terminate();
}
