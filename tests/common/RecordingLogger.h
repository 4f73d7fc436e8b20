// A leveled logger for tests: records every line written while it is installed.
#pragma once

#include "library/diagnostics/log/Log.h"

#include <mutex>
#include <string>
#include <vector>

namespace STest
{

class RecordingLogger : public S::ILeveledLogger
{
public:
    struct Line
    {
        std::wstring component;
        int level = 0;
        int type = 0;
        int32_t result = 0;
        std::wstring text; // as written: every "%" doubled
    };

    RecordingLogger() : m_Previous(S::InstallLeveledLogger(this)) {}
    RecordingLogger(const RecordingLogger&) = delete;
    RecordingLogger& operator=(const RecordingLogger&) = delete;
    ~RecordingLogger() override { S::InstallLeveledLogger(m_Previous); }

    S::SLogType GetDefaultType() const override { return S::SLogType(S::SLogType::Default); }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType type, S::SLogLevel level,
               int32_t result, const wchar_t* text) override
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Lines.push_back(Line{component, level.GetValue(), type.GetValue(), result, text});
    }

    std::vector<Line> Lines() const
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Lines;
    }

private:
    S::ILeveledLogger* m_Previous;
    mutable std::mutex m_Mutex;
    std::vector<Line> m_Lines;
};

} // namespace STest
