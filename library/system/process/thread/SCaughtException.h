// The crash handling shared by the catch blocks of threads and pool workers: whatever was thrown
// is announced on standard output and reported beside the executable (a text report for every
// kind, a minidump and an error report for structured exceptions).
// Thread-safety: may run on several threads at once; each writes its own report files.
// Failure contract: nothing throws; a report file that cannot be created is left out and the
// other reports are still written.
#pragma once

#include <cstdint>

namespace S
{

// Must be called inside a catch block; reports the exception being handled as thrown at
// place/line. Never throws.
void ReportCaughtException(const char* place, uint32_t line) noexcept;

// Writes text to standard output as it is.
void WriteToStandardOutput(const char* text) noexcept;

} // namespace S
