#include "library/diagnostics/crash/SException.h"

#include "library/diagnostics/log/Log.h"
#include "library/diagnostics/crash/SCrashSupport.h"
#include "library/diagnostics/SWin32ErrorResult.h"

namespace S
{
namespace
{

// Report files are named after an executable path of at most this many characters.
constexpr size_t kMaxReportedExecutablePath = 202;
constexpr int kReportNameAttempts = 3;

void CopyCut(char* target, size_t capacity, const char* source) noexcept
{
    size_t length = 0;
    if (source != nullptr)
        for (; length < capacity && source[length] != '\0'; ++length)
            target[length] = source[length];
    target[length] = '\0';
}

SResult LastErrorResult() noexcept
{
    const DWORD error = GetLastError();
    return error != 0 ? HResultFromWin32(error) : kResultFail;
}

HANDLE CreateNewReportFile(const wchar_t* path) noexcept
{
    return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

SResult WriteAll(const SHandle& file, const void* data, DWORD size) noexcept
{
    DWORD written = 0;
    if (!WriteFile(file.Get(), data, size, &written, nullptr))
        return LastErrorResult();
    return written == size ? SResult(0) : kResultWriteFault;
}

} // namespace

SException::SException(SResult code, const char* message, const char* place, uint32_t line) noexcept
    : SException(code, "SException", message, place, line)
{
}

SException::SException(SResult code, const char* className, const char* message, const char* place,
                       uint32_t line) noexcept
    : SResult(code), m_ClassName(className), m_Line(line), m_Time(CurrentUtcTime())
{
    SetMessage(message);
    CopyCut(m_Place, MaxPlaceLength, place);
}

SException::~SException() = default;

const char* SException::what() const noexcept
{
    return m_Message;
}

const char* SException::GetMessage() const noexcept
{
    return m_Message;
}

const char* SException::GetPlace() const noexcept
{
    return m_Place;
}

uint32_t SException::GetLine() const noexcept
{
    return m_Line;
}

const char* SException::GetClassName() const noexcept
{
    return m_ClassName;
}

void SException::SetMessage(const char* message) noexcept
{
    CopyCut(m_Message, MaxMessageLength, message);
}

void SException::GenerateExceptionReport() const noexcept
{
    // Taken first: the announcements and file calls below change it.
    const DWORD lastError = GetLastError();
    AnnounceToDebugger(L"SException::GenerateExceptionReport called.\n");
    SFixedTextW<MaxReportLength> text;
    text.Format(L"Version: %s. Exception 0x%.8x (%S), line %u: %S. (OS error = %lu). [PID=%lu, TID=%lu]",
                SBuildVersion, Unsigned(), GetClassName(), GetLine(), GetMessage(), lastError,
                GetCurrentProcessId(), GetCurrentThreadId());
    SResult result;
    WriteTextReport(m_Time, text.Get(), result);
    LogReport(text.Get());
    AnnounceToDebugger(L"SException::GenerateExceptionReport exited.\n");
}

SResult SException::CreateExceptionFile(const SYSTEMTIME& time, const wchar_t* extension, SHandle& file,
                                        SReportPath* path, SResult& result) noexcept
{
    AnnounceToDebugger(L"SException::CreateExceptionFile called.\n");
    file.Reset();
    if (path != nullptr)
        path->Format(L"");

    wchar_t executable[MAX_PATH];
    const size_t length = GetExecutablePath(executable);
    if (length == 0)
        result = LastErrorResult();
    else if (length > kMaxReportedExecutablePath)
        result = kResultFilenameTooLong;
    else
    {
        SYSTEMTIME stamp = time;
        for (int attempt = 0; attempt < kReportNameAttempts; ++attempt)
        {
            SReportPath name;
            name.Format(L"%s_%.4u%.2u%.2u_%.2u%.2u%.2u_%.3u.%.3s", executable, stamp.wYear, stamp.wMonth,
                        stamp.wDay, stamp.wHour, stamp.wMinute, stamp.wSecond, stamp.wMilliseconds,
                        extension);
            if (path != nullptr)
                *path = name;
            file.Reset(CreateNewReportFile(name.Get()));
            if (file)
            {
                result = 0;
                break;
            }
            const DWORD error = GetLastError();
            result = error != 0 ? HResultFromWin32(error) : kResultFail;
            // A taken name fails with ERROR_FILE_EXISTS and moves on to the next millisecond.
            if (error == ERROR_ALREADY_EXISTS)
                break;
            stamp.wMilliseconds = static_cast<WORD>(stamp.wMilliseconds + 1);
        }
    }
    AnnounceToDebugger(L"SException::CreateExceptionFile exited.\n");
    return result;
}

SResult SException::WriteTextReport(const SYSTEMTIME& time, const wchar_t* text, SResult& result) noexcept
{
    SHandle file;
    if (CreateExceptionFile(time, L"txt", file, nullptr, result).Failed())
        return result;
    result = WriteAll(file, text, static_cast<DWORD>(wcslen(text) * sizeof(wchar_t)));
    return result;
}

void SException::LogReport(const wchar_t* text) noexcept
{
    LogError(L"%s", text);
    LogRecord(L"%s", text);
}

} // namespace S
