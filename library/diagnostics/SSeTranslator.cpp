// How a structured exception becomes a C++ throw without the platform's translator hook.
//
// One process-wide vectored exception handler sees every structured exception first. For a thread
// that installed a translator it copies the exception record and context into that thread's state
// and changes the faulting context so that the thread resumes in a small assembler frame instead of
// re-running the faulting instruction. That frame looks exactly as if the faulting instruction had
// called it, so the throw that follows unwinds from there into the faulting function, whose
// -fnon-call-exceptions tables cover the faulting instruction, and on to the ordinary catch.
//
// Unlike a translator called from frame handlers, the vectored handler runs before any __except of
// code between the fault and the catch (for example inside a system DLL that probes memory); the
// library relies on no such code.
#include "library/diagnostics/SSeTranslator.h"

#include <atomic>
#include <exception>
#include <memory>

// The redirected thread enters at S_SeTranslationEntry with r11 = faulting address + 1, pushes it as
// a return address and so forms a call frame for S_SeTranslationFrame. One byte into the faulting
// instruction is where a return address would point if that instruction had been a call: the
// unwinder then finds the faulting instruction's own handler region. S_SeTranslationFrame keeps rbp
// as its frame pointer so that unwinding it needs no assumption about the faulting stack's alignment.
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
)");

extern "C" void S_SeTranslationEntry();
extern "C" [[noreturn]] void S_SeTranslationThrow();

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
    SSeTranslatorFunction translator = nullptr;
    EXCEPTION_RECORD record{};
    CONTEXT context{};
};

void WINAPI ReleaseThreadState(void* state) noexcept
{
    // Takes back the ownership that SetSeTranslator handed to the fiber-local slot.
    std::unique_ptr<ThreadState> owned(static_cast<ThreadState*>(state));
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

LONG CALLBACK RedirectToTranslator(EXCEPTION_POINTERS* pointers) noexcept
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (!IsTranslatable(record.ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    ThreadState* state = CurrentThreadState();
    if (state == nullptr || state->translator == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;

    state->record = record;
    state->record.ExceptionRecord = nullptr;
    state->context = *pointers->ContextRecord;
    // Only the plain context is copied, never an extended state area that may follow it.
    state->context.ContextFlags &= CONTEXT_ALL;

    CONTEXT& context = *pointers->ContextRecord;
    context.R11 = context.Rip + 1;
    context.Rip = reinterpret_cast<DWORD64>(&S_SeTranslationEntry);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// The fiber-local slot (whose callback frees a thread's state when the thread ends) and the
// vectored handler, set up on first use and removed when the module unloads.
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
        m_Handler = AddVectoredExceptionHandler(1, &RedirectToTranslator);
        if (m_Handler == nullptr)
        {
            m_Result = HResultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
            g_Slot.store(FLS_OUT_OF_INDEXES, std::memory_order_release);
            FlsFree(slot);
        }
    }
    ~Machinery()
    {
        if (m_Handler == nullptr)
            return;
        RemoveVectoredExceptionHandler(m_Handler);
        FlsFree(g_Slot.exchange(FLS_OUT_OF_INDEXES));
    }
    Machinery(const Machinery&) = delete;
    Machinery& operator=(const Machinery&) = delete;

    SResult Result() const noexcept { return m_Result; }

private:
    void* m_Handler = nullptr;
    SResult m_Result;
};

} // namespace

SSeTranslatorFunction SetSeTranslator(SSeTranslatorFunction translator, SResult& result) noexcept
{
    static Machinery machinery;
    result = machinery.Result();
    if (result.Failed())
        return nullptr;

    ThreadState* state = CurrentThreadState();
    if (state == nullptr)
    {
        if (translator == nullptr)
            return nullptr;
        auto created = std::unique_ptr<ThreadState>(new (std::nothrow) ThreadState);
        if (!created)
        {
            result = HResultFromWin32(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (!FlsSetValue(g_Slot.load(std::memory_order_acquire), created.get()))
        {
            result = HResultFromWin32(GetLastError());
            return nullptr;
        }
        state = created.release(); // now owned by the slot
    }
    const SSeTranslatorFunction previous = state->translator;
    state->translator = translator;
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

} // namespace S

extern "C" void S_SeTranslationThrow()
{
    S::ThreadState* state = S::CurrentThreadState();
    EXCEPTION_POINTERS pointers{&state->record, &state->context};
    state->translator(state->record.ExceptionCode, &pointers);
    // A translator that returns leaves nowhere to go: the faulting instruction cannot be resumed.
    std::terminate();
}
