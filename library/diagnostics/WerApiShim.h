// mingw's werapi.h uses three names that it never declares; they are supplied here before it is
// included. Include this header instead of <werapi.h>.
// Declarations only: nothing here runs, fails or holds state.
#pragma once

#include <windows.h>

typedef HANDLE HREPORT;
#ifndef WER_MAX_PREFERRED_MODULES_BUFFER
#define WER_MAX_PREFERRED_MODULES_BUFFER 256
#endif
#define PWER_SUBMIT_RESULT WER_SUBMIT_RESULT*
#include <werapi.h>
#undef PWER_SUBMIT_RESULT

// The file flag of WerReportAddFile that marks a file as free of personal data.
inline constexpr DWORD SWerFileAnonymousData = 2;
