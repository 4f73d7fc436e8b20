// SException: the root of the library's exception family, and the crash-report files that every
// member of the family writes beside the process's executable.
//
// The texts live in fixed buffers, so that copying an exception never allocates or throws and a
// report can be written when the heap is no longer trusted. Longer texts are cut.
// windows.h maps GetMessage and GetClassName to their wide Win32 names; every user of this header
// sees the same mapping, so the members keep their names in source.
//
// Failure contract: nothing here throws; a report whose file cannot be created is left out and the
// other steps still run.
// Thread-safety: an exception is a value (concurrent reads are fine); the static report functions
// may run on several threads at once and then write separate files.
#pragma once

#include "library/diagnostics/SFixedText.h"
#include "library/diagnostics/SResultCodes.h"
#include "library/system/SHandle.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <exception>

namespace S
{

// The build's version, printed after "Version:" in every report.
inline constexpr wchar_t SBuildVersion[] = L"1.0.0";

// A report file's full name: the executable's path of at most 202 characters and the suffix.
using SReportPath = SFixedTextW<MAX_PATH - 1>;

class SException : public std::exception, public SResult
{
public:
    static constexpr size_t MaxMessageLength = 511;
    static constexpr size_t MaxPlaceLength = 255;
    // Report texts are formatted into at most this many characters.
    static constexpr size_t MaxReportLength = 1300;

    // message and place may be null (empty); the time is taken now, in UTC.
    explicit SException(SResult code, const char* message = nullptr, const char* place = nullptr,
                        uint32_t line = 0) noexcept;
    SException(const SException&) noexcept = default;
    SException& operator=(const SException&) noexcept = default;
    ~SException() override;

    const char* what() const noexcept override;
    virtual const char* GetMessage() const noexcept;
    virtual const char* GetPlace() const noexcept;
    virtual uint32_t GetLine() const noexcept;
    virtual const char* GetClassName() const noexcept;
    // Writes the text report of this exception and passes its text to the log.
    virtual void GenerateExceptionReport() const noexcept;

    const SYSTEMTIME& GetTime() const noexcept { return m_Time; }

    // Creates a new report file named after the executable and time with the given extension
    // ("txt", "dmp"), trying the next two milliseconds when a name is taken. path, when given,
    // receives the file's name.
    // Failure contract: file holds no handle on failure and path the last name tried, if any.
    static SResult CreateExceptionFile(const SYSTEMTIME& time, const wchar_t* extension, SHandle& file,
                                       SReportPath* path, SResult& result) noexcept;
    // Writes text as UTF-16 without byte-order mark or line end into a new "txt" report for time.
    static SResult WriteTextReport(const SYSTEMTIME& time, const wchar_t* text, SResult& result) noexcept;

protected:
    SException(SResult code, const char* className, const char* message, const char* place,
               uint32_t line) noexcept;
    void SetMessage(const char* message) noexcept;
    // Passes a finished report text to the log front end.
    static void LogReport(const wchar_t* text) noexcept;

private:
    char m_Message[MaxMessageLength + 1] = {};
    const char* m_ClassName; // always a static text
    char m_Place[MaxPlaceLength + 1] = {};
    uint32_t m_Line;
    SYSTEMTIME m_Time;
};

} // namespace S
