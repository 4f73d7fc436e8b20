// Per-thread translation of structured exceptions (access violations, divide by zero, illegal
// instructions, RaiseException) into C++ exceptions that an ordinary catch in the faulting
// thread's code catches. This is what the platform's _set_se_translator offers, rebuilt because
// g++'s exception runtime never calls translators installed there.
//
// A translator is installed for the calling thread only. When a structured exception with the
// warning or error severity happens on that thread, the translator is called with the code and the
// pointers (valid during the call only) in place of the faulting instruction, and is expected to
// throw. Threads without a translator keep the default behaviour. Only code compiled with
// -fnon-call-exceptions has unwind entries for faulting instructions; a fault elsewhere ends in
// std::terminate. A translator that returns instead of throwing also ends in std::terminate.
//
// Thread-safety: every function affects the calling thread only and may be called from any thread.
#pragma once

#include "library/diagnostics/SResult.h"

#include <windows.h>

namespace S
{

using SSeTranslatorFunction = void (*)(unsigned int code, EXCEPTION_POINTERS* pointers);

// Installs translator for the calling thread (null removes it) and returns the previous one.
// Failure contract: if the process-wide machinery cannot be set up, result holds the failure,
// the thread keeps its previous translator and that one is returned.
SSeTranslatorFunction SetSeTranslator(SSeTranslatorFunction translator, SResult& result) noexcept;
SSeTranslatorFunction SetSeTranslator(SSeTranslatorFunction translator) noexcept;

// The calling thread's translator, null when none is installed.
SSeTranslatorFunction GetSeTranslator() noexcept;

} // namespace S
