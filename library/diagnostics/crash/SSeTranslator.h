// Per-thread translation of structured exceptions (access violations, divide by zero, illegal
// instructions, RaiseException) into C++ exceptions that an ordinary catch in the faulting thread's
// code catches. This is what the platform's _set_se_translator offers, rebuilt because g++'s
// exception runtime never calls translators installed there.
//
// Two things take part: the thread's translator (SetSeTranslator) and a translation frame
// (CallWithSeTranslation) around the code whose faults are to be translated. As with the platform's
// translator, a structured exception is translated only when the search for its handler reaches the
// translation frame: faults that the code which raised them handles itself (a system DLL probing
// memory, a provider DLL's own __except) keep their meaning. The translator is then called in place
// of the faulting instruction, with the code and pointers (valid during the call only), and is
// expected to throw; the throw unwinds from the faulting instruction to the nearest catch. Only code
// compiled with -fnon-call-exceptions has unwind entries for faulting instructions; a fault elsewhere
// ends in std::terminate, as does a translator that returns.
//
// A stack overflow cannot be thrown on the exhausted stack: on a thread with a translator it is taken
// before any other handler (the only exception taken so) and reported as a crash
// (SWin32Exception::TopLevelExceptionHandler, on a reserve stack) and the process ends with the exception's
// code, as it would without the library.
//
// Failure contract: SetSeTranslator's result holds the failure when the thread cannot take part
// (every per-thread record is in use, or the fiber-local slot cannot be made); the thread keeps its
// previous translator.
// Thread-safety: every function affects the calling thread only and may be called from any thread.
#pragma once

#include "library/diagnostics/SResult.h"

#include <windows.h>

#include <type_traits>

namespace S
{

using SSeTranslatorFunction = void (*)(unsigned int code, EXCEPTION_POINTERS* pointers);

// How many threads may have a translator installed at once; the records live in fixed storage so
// that the fault path allocates nothing.
inline constexpr unsigned kMaxTranslatingThreads = 64;

// Installs translator for the calling thread (null removes it) and returns the previous one.
SSeTranslatorFunction SetSeTranslator(SSeTranslatorFunction translator, SResult& result) noexcept;
SSeTranslatorFunction SetSeTranslator(SSeTranslatorFunction translator) noexcept;

// The calling thread's translator, null when none is installed.
SSeTranslatorFunction GetSeTranslator() noexcept;

// Runs work(context) inside a translation frame. What work throws (translated or not) passes on.
void CallWithSeTranslation(void (*work)(void*), void* context);

template <typename Work> void CallWithSeTranslation(Work&& work)
{
    using Callable = std::remove_reference_t<Work>;
    CallWithSeTranslation([](void* callable) { (*static_cast<Callable*>(callable))(); },
                          const_cast<void*>(static_cast<const void*>(&work)));
}

} // namespace S
