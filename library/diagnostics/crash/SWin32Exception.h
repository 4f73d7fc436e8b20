// SWin32Exception and its subclasses: structured exceptions of the operating system as C++
// exceptions, and the crash handling around them.
//
// How a thread takes part (SThread's start wrapper does this for its threads):
//   previous = S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
//   std::set_terminate(&S::SWin32Exception::TerminationHandler);
//   S::SWin32Exception::SetThreadStage(L"TST");
//   S::CallWithSeTranslation(work, context);
// (This runtime keeps one terminate handler for the whole module, not one per thread.)
// A fault below that frame that no handler of the faulting code takes then arrives as a thrown
// SWin32AccessViolation, SWin32InPageError or SWin32Exception. A catch block reports it with
//   e.GenerateExceptionReport("S::Class::Method", line);
//   S::SWin32Exception::GenerateMiniDump(e.GetExceptionPointers(), &e.GetTime(), result);
// which leaves a text report, a minidump and an error-report request beside the executable (the
// last two once ArmCrashReporting has run; SThread arms it when it starts a thread).
//
// Failure contract: construction and reporting never throw (only ExceptionTranslator throws, by
// design); each report function's result says which step failed.
// Thread-safety: an exception is a value (concurrent reads are fine); the static functions may run
// on several threads at once, minidumps are written one at a time.
#pragma once

#include "library/diagnostics/crash/SException.h"

namespace S
{

class SWin32Exception : public SException
{
public:
    static constexpr size_t MaxDescriptionLength = 128;

    // Whether the exception refers to the system's records (valid only while the system keeps
    // them, as inside an exception filter) or keeps copies of its own (needed once the stack that
    // held them is unwound, as after a translation).
    enum class Records
    {
        Borrowed,
        Copied,
    };

    explicit SWin32Exception(const EXCEPTION_POINTERS* pointers,
                             Records records = Records::Borrowed) noexcept;
    // Member-wise, except that a copy refers to its own copies of the records.
    SWin32Exception(const SWin32Exception& other) noexcept;
    SWin32Exception& operator=(const SWin32Exception& other) noexcept;

    using SException::GenerateExceptionReport;
    // Writes the text report with place (the exception's message when null) and line (the
    // exception's line when 0) and passes its text to the log.
    virtual void GenerateExceptionReport(const char* place, uint32_t line) const noexcept;

    const EXCEPTION_POINTERS* GetExceptionPointers() const noexcept { return &m_ExceptionPointers; }
    const char* GetCodeName() const noexcept { return m_CodeName; }
    const wchar_t* GetDescription() const noexcept { return m_Description; }

    // The name of a structured exception code; "<Unknown Win32 exception>" for unlisted codes.
    static const char* GetCodeName(DWORD code) noexcept;

    // Translator for S::SetSeTranslator: throws the family member that fits the code.
    static void ExceptionTranslator(unsigned int code, EXCEPTION_POINTERS* pointers);
    // Handler for std::set_terminate: reports through TopLevelExceptionHandler, then aborts.
    [[noreturn]] static void TerminationHandler();
    // Exception filter: reports the exception, writes a minidump and lets the search go on.
    static LONG WINAPI TopLevelExceptionHandler(EXCEPTION_POINTERS* pointers);

    // Finds the minidump and error-report functions (loading their modules) so that a later crash
    // can use them without taking the loader lock. Until then crash reports are text only.
    static void ArmCrashReporting() noexcept;

    // Writes a minidump report for time (now when null) and then sends the error report.
    // Failure contract: result holds the minidump's outcome; a file that cannot be created leaves
    // the dump out, and the error report is still sent.
    static SResult GenerateMiniDump(const EXCEPTION_POINTERS* pointers, const SYSTEMTIME* time,
                                    SResult& result) noexcept;
    // Sends a Windows Error Reporting report, with the dump file attached when one is named.
    // Failure contract: result holds the first failing step's code; later steps are skipped.
    static SResult SendWerReport(const EXCEPTION_POINTERS* pointers, const wchar_t* dumpFile,
                                 SResult& result) noexcept;

    // The calling thread's stage text that reports print; stage must outlive the thread's use.
    static void SetThreadStage(const wchar_t* stage) noexcept;
    static const wchar_t* GetThreadStage() noexcept;

protected:
    SWin32Exception(const EXCEPTION_POINTERS* pointers, Records records, const char* className) noexcept;
    // Appends to the description, cut at its length limit, and refreshes the message from it.
    void AppendDescription(const wchar_t* format, ...) noexcept;

private:
    void CopyFrom(const SWin32Exception& other) noexcept;

    EXCEPTION_POINTERS m_ExceptionPointers{};
    const char* m_CodeName; // always a static text
    wchar_t m_Description[MaxDescriptionLength + 1] = {};
    // Kept inside the object, so that a translation allocates nothing beyond the thrown object.
    bool m_OwnsRecords = false;
    EXCEPTION_RECORD m_Record{};
    CONTEXT m_Context{};
};

class SWin32AccessViolation : public SWin32Exception
{
public:
    explicit SWin32AccessViolation(const EXCEPTION_POINTERS* pointers,
                                   Records records = Records::Borrowed) noexcept;

protected:
    SWin32AccessViolation(const EXCEPTION_POINTERS* pointers, Records records,
                          const char* className) noexcept;
};

class SWin32InPageError : public SWin32AccessViolation
{
public:
    explicit SWin32InPageError(const EXCEPTION_POINTERS* pointers,
                               Records records = Records::Borrowed) noexcept;
};

} // namespace S
