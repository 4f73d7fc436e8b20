#include "library/diagnostics/crash/SWin32Exception.h"

#include "library/diagnostics/crash/SCrashSupport.h"
#include "library/diagnostics/SWin32ErrorResult.h"
#include "library/diagnostics/WerApiShim.h"
#include "library/system/SModule.h"
#include "library/system/process/SCriticalSection.h"

#include <dbghelp.h>

#include <cstdlib>
#include <cwchar>

namespace S
{

namespace
{

struct CodeName
{
    DWORD code;
    const char* name;
};

constexpr CodeName kCodeNames[] = {
    {0x80000001u, "GUARD_PAGE"},
    {0x80000002u, "DATATYPE_MISALIGNMENT"},
    {0x80000003u, "BREAKPOINT"},
    {0x80000004u, "SINGLE_STEP"},
    {0xC0000005u, "ACCESS_VIOLATION"},
    {0xC0000006u, "IN_PAGE_ERROR"},
    {0xC0000008u, "INVALID_HANDLE"},
    {0xC000001Du, "ILLEGAL_INSTRUCTION"},
    {0xC0000025u, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026u, "INVALID_DISPOSITION"},
    {0xC000008Cu, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008Du, "FLT_DENORMAL_OPERAND"},
    {0xC000008Eu, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008Fu, "FLT_INEXACT_RESULT"},
    {0xC0000090u, "FLT_INVALID_OPERATION"},
    {0xC0000091u, "FLT_OVERFLOW"},
    {0xC0000092u, "FLT_STACK_CHECK"},
    {0xC0000093u, "FLT_UNDERFLOW"},
    {0xC0000094u, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095u, "INT_OVERFLOW"},
    {0xC0000096u, "PRIV_INSTRUCTION"},
    {0xC00000FDu, "STACK_OVERFLOW"},
};
constexpr const char kUnknownCodeName[] = "<Unknown Win32 exception>";

constexpr DWORD kFatalAppExitCode = 0x40000015u;

constexpr auto kMiniDumpType =
    static_cast<MINIDUMP_TYPE>(MiniDumpWithHandleData | MiniDumpScanMemory |
                               MiniDumpWithIndirectlyReferencedMemory | MiniDumpWithThreadInfo);

uint32_t Low32(ULONG_PTR value) noexcept
{
    return static_cast<uint32_t>(value & 0xFFFFFFFFu);
}

ULONG_PTR Parameter(const EXCEPTION_RECORD* record, DWORD index) noexcept
{
    return record != nullptr && index < record->NumberParameters ? record->ExceptionInformation[index] : 0;
}

const wchar_t* AccessVerb(ULONG_PTR kind) noexcept
{
    switch (kind)
    {
    case 0:
        return L"read";
    case 1:
        return L"write";
    case 8:
        return L"execute";
    default:
        return L"access";
    }
}

// Found by ArmCrashReporting; the crash path only reads what was found, since loading a module
// there could wait for a loader lock that the crashing thread or a dead one holds.
SLazyFunction<decltype(&MiniDumpWriteDump)> g_MiniDumpWriteDump{L"dbghelp.dll", "MiniDumpWriteDump"};
SLazyFunction<decltype(&WerReportCreate)> g_WerReportCreate{L"wer.dll", "WerReportCreate"};
SLazyFunction<decltype(&WerReportAddDump)> g_WerReportAddDump{L"wer.dll", "WerReportAddDump"};
SLazyFunction<decltype(&WerReportAddFile)> g_WerReportAddFile{L"wer.dll", "WerReportAddFile"};
SLazyFunction<decltype(&WerReportSubmit)> g_WerReportSubmit{L"wer.dll", "WerReportSubmit"};

// The calling thread's stage text lives in a thread-local slot of its own: reading it on the crash
// path allocates nothing.
class StageSlot
{
public:
    StageSlot() noexcept : m_Slot(TlsAlloc()) {}

    void Set(const wchar_t* stage) const noexcept
    {
        if (m_Slot)
            TlsSetValue(m_Slot.Get(), const_cast<wchar_t*>(stage));
    }
    const wchar_t* Get() const noexcept
    {
        if (!m_Slot)
            return nullptr;
        // TlsGetValue clears the last error, which reports still print.
        const DWORD lastError = GetLastError();
        const auto* stage = static_cast<const wchar_t*>(TlsGetValue(m_Slot.Get()));
        SetLastError(lastError);
        return stage;
    }

private:
    SThreadSlot m_Slot;
};

const StageSlot& TheStageSlot() noexcept
{
    static const StageSlot slot;
    return slot;
}

// The process-wide lock that serialises minidump writing, made with the module's statics so that
// the crash path never initialises anything. Guards every call into dbghelp, which is
// single-threaded.
SCriticalSection g_DumpLock;

SResult WriteMiniDump(decltype(&MiniDumpWriteDump) writeDump, const SHandle& file,
                      const EXCEPTION_POINTERS* pointers) noexcept
{
    MINIDUMP_EXCEPTION_INFORMATION exception{};
    exception.ThreadId = GetCurrentThreadId();
    exception.ExceptionPointers = const_cast<EXCEPTION_POINTERS*>(pointers);
    exception.ClientPointers = FALSE;
    BOOL written = FALSE;
    DWORD error = 0;
    {
        SAutoCriticalSection locked(g_DumpLock);
        written = writeDump(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), kMiniDumpType,
                            pointers != nullptr ? &exception : nullptr, nullptr, nullptr);
        error = GetLastError();
    }
    if (written)
        return 0;
    // dbghelp reports some failures as HRESULTs in the last error.
    if (error == 0)
        return kResultFail;
    return (error & 0x80000000u) != 0 ? SResult(error) : HResultFromWin32(error);
}

// Copies text into a fixed field of capacity characters (with its terminator).
bool CopyIfFits(wchar_t* field, size_t capacity, const wchar_t* text, size_t length) noexcept
{
    if (length >= capacity)
        return false;
    wmemcpy(field, text, length);
    field[length] = L'\0';
    return true;
}

// The steps between creating and closing an error report; the first failure skips the rest.
SResult FillAndSubmit(const SErrorReport& report, const EXCEPTION_POINTERS* pointers,
                      const wchar_t* dumpFile) noexcept
{
    const auto addDump = g_WerReportAddDump.GetIfResolved();
    const auto addFile = g_WerReportAddFile.GetIfResolved();
    const auto submit = g_WerReportSubmit.GetIfResolved();
    if (addDump == nullptr || addFile == nullptr || submit == nullptr)
        return kResultFunctionMissing;
    WER_EXCEPTION_INFORMATION exception{const_cast<EXCEPTION_POINTERS*>(pointers), FALSE};
    SResult result = addDump(report.Get(), GetCurrentProcess(), GetCurrentThread(), WerDumpTypeMiniDump,
                             pointers != nullptr ? &exception : nullptr, nullptr, 0);
    if (result.Failed())
        return result;
    AnnounceToDebugger(L"SWin32Exception::SendWerReport added dump file.\n");
    if (dumpFile != nullptr)
    {
        result = addFile(report.Get(), dumpFile, WerFileTypeMinidump, SWerFileAnonymousData);
        if (result.Failed())
            return result;
        AnnounceToDebugger(L"SWin32Exception::SendWerReport added manually-generated dump file.\n");
    }
    WER_SUBMIT_RESULT submitted{};
    result = submit(report.Get(), WerConsentNotAsked, 0, &submitted);
    if (result.Failed())
        return result;
    AnnounceToDebugger(L"SWin32Exception::SendWerReport submitted.\n");
    return result;
}

} // namespace

// g++ has no __try/__except. This frame gets one through the C runtime's scope-table handler: the
// scope around the raise has TopLevelExceptionHandler as its filter. The function must stay free
// of anything that needs g++'s own handler, since a frame has only one.
[[gnu::noinline, gnu::noclone]] static void RaiseFatalAppExitUnderTopLevelFilter()
{
    asm volatile(".seh_handler __C_specific_handler, @except\n\t"
                 ".seh_handlerdata\n\t"
                 ".long 1\n\t"
                 ".rva .Ls_fatal_exit_begin, .Ls_fatal_exit_end, %c0, .Ls_fatal_exit_end\n\t"
                 ".text\n"
                 ".Ls_fatal_exit_begin:" ::"i"(&SWin32Exception::TopLevelExceptionHandler));
    RaiseException(kFatalAppExitCode, 0, 0, nullptr);
    asm volatile("nop\n"
                 ".Ls_fatal_exit_end:\n\t"
                 "nop");
}

SWin32Exception::SWin32Exception(const EXCEPTION_POINTERS* pointers, Records records) noexcept
    : SWin32Exception(pointers, records, "SWin32Exception")
{
}

SWin32Exception::SWin32Exception(const EXCEPTION_POINTERS* pointers, Records records,
                                 const char* className) noexcept
    : SException(0, className, nullptr, nullptr, 0), m_CodeName(kUnknownCodeName)
{
    if (pointers != nullptr)
        m_ExceptionPointers = *pointers;
    if (records == Records::Copied && pointers != nullptr && pointers->ExceptionRecord != nullptr &&
        pointers->ContextRecord != nullptr)
    {
        m_Record = *pointers->ExceptionRecord;
        m_Record.ExceptionRecord = nullptr;
        m_Context = *pointers->ContextRecord;
        m_Context.ContextFlags &= CONTEXT_ALL;
        m_OwnsRecords = true;
        m_ExceptionPointers = {&m_Record, &m_Context};
    }

    const EXCEPTION_RECORD* record = m_ExceptionPointers.ExceptionRecord;
    const DWORD code = record != nullptr ? record->ExceptionCode : 0;
    const uint32_t address =
        record != nullptr ? Low32(reinterpret_cast<ULONG_PTR>(record->ExceptionAddress)) : 0;
    SetCode(static_cast<int32_t>(code));
    m_CodeName = GetCodeName(code);
    if (m_CodeName != kUnknownCodeName)
        AppendDescription(L"Win32 Exception 0x%.8x (%S) at address 0x%.8x.", code, m_CodeName, address);
    else
        AppendDescription(L"Win32 Exception 0x%.8x at address 0x%.8x.", code, address);
}

SWin32Exception::SWin32Exception(const SWin32Exception& other) noexcept
    : SException(static_cast<const SException&>(other))
{
    CopyFrom(other);
}

SWin32Exception& SWin32Exception::operator=(const SWin32Exception& other) noexcept
{
    if (this != &other)
    {
        SException::operator=(static_cast<const SException&>(other));
        CopyFrom(other);
    }
    return *this;
}

void SWin32Exception::CopyFrom(const SWin32Exception& other) noexcept
{
    m_CodeName = other.m_CodeName;
    wmemcpy(m_Description, other.m_Description, std::size(m_Description));
    m_OwnsRecords = other.m_OwnsRecords;
    m_Record = other.m_Record;
    m_Context = other.m_Context;
    m_ExceptionPointers =
        m_OwnsRecords ? EXCEPTION_POINTERS{&m_Record, &m_Context} : other.m_ExceptionPointers;
}

void SWin32Exception::ArmCrashReporting() noexcept
{
    g_MiniDumpWriteDump.Get();
    g_WerReportCreate.Get();
    g_WerReportAddDump.Get();
    g_WerReportAddFile.Get();
    g_WerReportSubmit.Get();
    SErrorReportPolicy::Resolve();
}

const char* SWin32Exception::GetCodeName(DWORD code) noexcept
{
    for (const CodeName& entry : kCodeNames)
        if (entry.code == code)
            return entry.name;
    return kUnknownCodeName;
}

void SWin32Exception::AppendDescription(const wchar_t* format, ...) noexcept
{
    size_t length = wcslen(m_Description);
    va_list arguments;
    va_start(arguments, format);
    length = AppendFixedTextV(m_Description, MaxDescriptionLength, length, format, arguments);
    va_end(arguments);

    // The description is plain ASCII, so the narrow message is a unit-by-unit copy.
    char message[MaxDescriptionLength + 1];
    for (size_t i = 0; i <= length; ++i)
        message[i] = m_Description[i] < 0x80 ? static_cast<char>(m_Description[i]) : '?';
    SetMessage(message);
}

void SWin32Exception::GenerateExceptionReport(const char* place, uint32_t line) const noexcept
{
    // Taken first: the announcements and file calls below change it.
    const DWORD lastError = GetLastError();
    AnnounceToDebugger(L"SWin32Exception::GenerateExceptionReport called.\n");
    const wchar_t* stage = GetThreadStage();
    SFixedTextW<MaxReportLength> text;
    text.Format(L"Version: %s. %s %s, line %u: %S. (OS error = %lu). Mini dump file will be created. "
                L"[PID=%lu, TID=%lu]",
                SBuildVersion, m_Description, stage != nullptr ? stage : L"(null)",
                line != 0 ? line : GetLine(), place != nullptr ? place : GetMessage(), lastError,
                GetCurrentProcessId(), GetCurrentThreadId());
    SResult result;
    WriteTextReport(GetTime(), text.Get(), result);
    LogReport(text.Get());
    AnnounceToDebugger(L"SWin32Exception::GenerateExceptionReport exited.\n");
}

void SWin32Exception::ExceptionTranslator(unsigned int code, EXCEPTION_POINTERS* pointers)
{
    AnnounceToDebuggerFormat(
        L"SWin32Exception::ExceptionTranslator called. Pid: 0x%08x. Tid: 0x%08x. Code: 0x%08x.\n",
        GetCurrentProcessId(), GetCurrentThreadId(), code);
    switch (code)
    {
    case EXCEPTION_ACCESS_VIOLATION:
        throw SWin32AccessViolation(pointers, Records::Copied);
    case EXCEPTION_IN_PAGE_ERROR:
        throw SWin32InPageError(pointers, Records::Copied);
    default:
        throw SWin32Exception(pointers, Records::Copied);
    }
}

void SWin32Exception::TerminationHandler()
{
    AnnounceToDebuggerFormat(L"SWin32Exception::TerminationHandler called. Pid: 0x%08x. Tid: 0x%08x.\n",
                             GetCurrentProcessId(), GetCurrentThreadId());
    RaiseFatalAppExitUnderTopLevelFilter();
    AnnounceToDebugger(L"SWin32Exception::TerminationHandler exited.\n");
    std::abort();
}

LONG WINAPI SWin32Exception::TopLevelExceptionHandler(EXCEPTION_POINTERS* pointers)
{
    AnnounceToDebugger(L"SWin32Exception::TopLevelExceptionHandler called.\n");
    const SWin32Exception exception(pointers);
    exception.GenerateExceptionReport(nullptr, 0);
    SResult result;
    GenerateMiniDump(pointers, &exception.GetTime(), result);
    AnnounceToDebugger(L"SWin32Exception::TopLevelExceptionHandler exited.\n");
    return EXCEPTION_CONTINUE_SEARCH;
}

SResult SWin32Exception::GenerateMiniDump(const EXCEPTION_POINTERS* pointers, const SYSTEMTIME* time,
                                          SResult& result) noexcept
{
    AnnounceToDebugger(L"SWin32Exception::GenerateMiniDump called.\n");
    const SYSTEMTIME stamp = time != nullptr ? *time : CurrentUtcTime();
    SHandle file;
    SReportPath path;
    // Without the dump writer there is nothing to put in a file.
    const auto writeDump = g_MiniDumpWriteDump.GetIfResolved();
    if (writeDump == nullptr)
        result = kResultFunctionMissing;
    const bool created =
        writeDump != nullptr && CreateExceptionFile(stamp, L"dmp", file, &path, result).Succeeded();
    if (created)
    {
        result = WriteMiniDump(writeDump, file, pointers);
        file.Reset();
    }
    SResult werResult;
    SendWerReport(pointers, created ? path.Get() : nullptr, werResult);
    AnnounceToDebugger(L"SWin32Exception::GenerateExceptionReport exited.\n");
    return result;
}

SResult SWin32Exception::SendWerReport(const EXCEPTION_POINTERS* pointers, const wchar_t* dumpFile,
                                       SResult& result) noexcept
{
    AnnounceToDebugger(L"SWin32Exception::SendWerReport called.\n");
    wchar_t executable[MAX_PATH];
    const size_t length = GetExecutablePath(executable);
    if (length == 0)
    {
        result = HResultFromWin32(GetLastError());
        return result;
    }
    const wchar_t* fileName = executable;
    for (size_t i = 0; i < length; ++i)
        if (executable[i] == L'\\' || executable[i] == L'/')
            fileName = executable + i + 1;
    const size_t fileNameLength = length - static_cast<size_t>(fileName - executable);

    WER_REPORT_INFORMATION information{};
    information.dwSize = sizeof(information);
    if (!CopyIfFits(information.wzConsentKey, std::size(information.wzConsentKey), fileName,
                    fileNameLength) ||
        !CopyIfFits(information.wzFriendlyEventName, std::size(information.wzFriendlyEventName),
                    L"SWin32 Core Exception", 21) ||
        !CopyIfFits(information.wzApplicationName, std::size(information.wzApplicationName), fileName,
                    fileNameLength) ||
        !CopyIfFits(information.wzApplicationPath, std::size(information.wzApplicationPath), executable,
                    length))
    {
        result = kResultInsufficientBuffer;
        return result;
    }

    const auto create = g_WerReportCreate.GetIfResolved();
    if (create == nullptr)
    {
        result = kResultFunctionMissing;
        return result;
    }
    SErrorReport report;
    result = create(L"CoreWerReport", WerReportCritical, &information, report.Put());
    if (result.Failed())
        return result;
    AnnounceToDebugger(L"SWin32Exception::SendWerReport created.\n");
    result = FillAndSubmit(report, pointers, dumpFile);
    report.Reset();
    AnnounceToDebugger(L"SWin32Exception::SendWerReport exited.\n");
    return result;
}

void SWin32Exception::SetThreadStage(const wchar_t* stage) noexcept
{
    TheStageSlot().Set(stage);
}

const wchar_t* SWin32Exception::GetThreadStage() noexcept
{
    return TheStageSlot().Get();
}

SWin32AccessViolation::SWin32AccessViolation(const EXCEPTION_POINTERS* pointers, Records records) noexcept
    : SWin32AccessViolation(pointers, records, "SWin32AccessViolation")
{
}

SWin32AccessViolation::SWin32AccessViolation(const EXCEPTION_POINTERS* pointers, Records records,
                                             const char* className) noexcept
    : SWin32Exception(pointers, records, className)
{
    const EXCEPTION_RECORD* record = GetExceptionPointers()->ExceptionRecord;
    AppendDescription(L" Unable to %s location: 0x%.8x.", AccessVerb(Parameter(record, 0)),
                      Low32(Parameter(record, 1)));
}

SWin32InPageError::SWin32InPageError(const EXCEPTION_POINTERS* pointers, Records records) noexcept
    : SWin32AccessViolation(pointers, records, "SWin32InPageError")
{
    AppendDescription(L" [NTSTATUS code = 0x%.8I64x]",
                      static_cast<unsigned long long>(Parameter(GetExceptionPointers()->ExceptionRecord, 2)));
}

} // namespace S
