// Per-process hand-off values: written by the launcher under the hand-off key, each read once
// and deleted by the agent in the process it names.
// Failure contract: ReadHandoffValue always clears `value` first; it is left empty on any failure.
// Thread-safety: no shared state; the registry serialises access between processes.
#pragma once

#include "library/utility/SString.h"

#include <windows.h>

#include <cstdint>

namespace S
{

inline constexpr const wchar_t* kHandoffAsynchronous = L"Asynchronous";
inline constexpr const wchar_t* kHandoffSessionId = L"SessionId";
inline constexpr const wchar_t* kHandoffAppId = L"AppId";

// "%08x-%s": the process id in eight lower-case hexadecimal digits, a dash, the hand-off name.
SString HandoffValueName(uint32_t processId, const SString& name);

// Reads the value for processId (0: this process) as text and deletes it once read.
// TRUE exactly when the text read is not empty.
BOOL ReadHandoffValue(uint32_t processId, const SString& name, SString& value);

} // namespace S
