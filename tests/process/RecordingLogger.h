// A leveled logger that keeps every line written while it is installed.
#pragma once

#include "library/diagnostics/Log.h"

#include <string>
#include <vector>

namespace STest
{

struct LoggedLine
{
    std::wstring component;
    int level = 0;
    int32_t result = 0;
    std::wstring text;
};

class RecordingLogger : public S::ILeveledLogger
{
public:
    RecordingLogger() { S::InstallLeveledLogger(this); }
    RecordingLogger(const RecordingLogger&) = delete;
    RecordingLogger& operator=(const RecordingLogger&) = delete;
    ~RecordingLogger() override { S::InstallLeveledLogger(nullptr); }

    S::SLogType GetDefaultType() const override { return S::SLogType::Default; }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
               int32_t result, const wchar_t* text) override
    {
        lines.push_back({component, level.GetValue(), result, text});
    }

    std::vector<LoggedLine> lines;
};

} // namespace STest
