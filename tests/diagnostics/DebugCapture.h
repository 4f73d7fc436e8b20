// Runs a helper program beside the test executable under a debugger loop and collects every
// text it sends to the debugger.
#pragma once

#include <string>
#include <vector>

namespace S::TestKit
{

struct DebugCapture
{
    bool started = false;
    unsigned long exitCode = 0;
    std::vector<std::wstring> messages;
};

// `arguments` follow the program name on the command line; `folder` is the working directory
// (empty: the test's own).
DebugCapture RunUnderDebugger(const std::wstring& program, const std::wstring& arguments,
                              const std::wstring& folder = {});

// The folder holding the running test executable, with a trailing backslash.
std::wstring ExecutableFolder();

} // namespace S::TestKit
