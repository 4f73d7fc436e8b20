// Lines per second through the log front end into a file sink: one writer, eight writers, and
// one writer with a small size limit (so that rollover is part of the cost).
#include "library/diagnostics/log/Log.h"
#include "library/diagnostics/sink/SFileLogSink.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace
{

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Measure(const char* label, S::SFileLogSink& sink, uint32_t limit, int threads, int linesPerThread)
{
    sink.SetSizeLimit(limit);
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back(
            [t, linesPerThread]
            {
                for (int i = 0; i < linesPerThread; ++i)
                    S::LogError(L"benchmark writer %d line %d: the quick brown fox jumps over the lazy dog",
                                t, i);
            });
    for (std::thread& writer : writers)
        writer.join();
    QueryPerformanceCounter(&end);
    const int lines = threads * linesPerThread;
    std::printf("file sink, %s: %.0f lines/s (%d lines)\n", label, lines / Seconds(start, end), lines);
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"lumerelx-bench-logsink-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring path = folder + L"\\bench.log";

    S::SFileLogSink sink;
    sink.Configure(S::SPath(path.c_str()), S::SLogLevel::Error, false, S::SString());
    S::InstallFileLogSink(&sink);
    Measure("1 writer", sink, S::SFileLogSink::MaximumSizeLimit, 1, 20000);
    Measure("8 writers", sink, S::SFileLogSink::MaximumSizeLimit, 8, 2500);
    Measure("1 writer, 64 KiB limit with rollover", sink, 65536, 1, 20000);
    S::InstallFileLogSink(nullptr);
    sink.Close();

    DeleteFileW(path.c_str());
    DeleteFileW((path + L".bak").c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}
