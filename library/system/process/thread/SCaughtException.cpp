#include "library/system/process/thread/SCaughtException.h"

#include "library/diagnostics/crash/SWin32Exception.h"

#include <windows.h>

#include <cstring>

namespace S
{

void WriteToStandardOutput(const char* text) noexcept
{
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(output, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void ReportCaughtException(const char* place, uint32_t line) noexcept
{
    try
    {
        throw;
    }
    catch (const SWin32Exception& e)
    {
        WriteToStandardOutput("Caught a 'SWin32Exception' exception.\n");
        e.GenerateExceptionReport(place, line);
        SResult ignored;
        SWin32Exception::GenerateMiniDump(e.GetExceptionPointers(), &e.GetTime(), ignored);
    }
    catch (const SException& e)
    {
        WriteToStandardOutput("Caught a 'SException' exception.\n");
        e.GenerateExceptionReport();
    }
    catch (...)
    {
        WriteToStandardOutput("Caught an 'UNKNOWN...' exception.\n");
        const SException unknown(kResultUnknownException, place, place, line);
        unknown.GenerateExceptionReport();
    }
}

} // namespace S
