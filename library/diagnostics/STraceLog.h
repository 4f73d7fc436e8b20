// A sink that prints to the debugger. The process holds one as a static (TraceLogInstance),
// which the agent never calls. Thread-safe: formats on the caller's stack.
// Failure contract: nothing here fails or throws; a longer text is cut at TextSize.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace S
{

class STraceLog
{
public:
    // Texts are cut to this many units, terminator included.
    static constexpr size_t TextSize = 1024;

    virtual ~STraceLog() = default;
    // "%s" takes text of the format's own width.
    virtual void TraceV(const char* format, va_list args) const noexcept;
    virtual void TraceV(const wchar_t* format, va_list args) const noexcept;
    virtual void Trace(const char* format, ...) const noexcept;
    virtual void Trace(const wchar_t* format, ...) const noexcept;
};

extern STraceLog TraceLogInstance;

} // namespace S
