// Running the child program: a private folder that receives a copy of it (its reports land
// there), and a run that collects the child's exit code, its "<key>=<value>" facts and the
// debugger announcements it copied to standard output.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ChildProcess
{

struct ChildRun
{
    uint32_t exitCode = 0;
    std::multimap<std::string, std::string> facts;
    std::vector<std::string> announcements; // each with its line end
    std::string output;

    // The only value of a fact; a failure is recorded when there is not exactly one.
    std::string Fact(const std::string& key) const;
};

// A folder of its own below the temp folder, removed with everything in it at the end.
class Folder
{
public:
    // executablePathLength, when not 0, pads the folder's path so that the child's path has that length.
    explicit Folder(size_t executablePathLength = 0);
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Names of the files in the folder other than the child, sorted.
    std::vector<std::wstring> Reports() const;
    std::string ReadFile(const std::wstring& name) const;
    ChildRun Start(const std::wstring& mode) const;

private:
    std::wstring m_Path;
    std::wstring m_Child;
};

std::string Narrow(const std::wstring& text);

} // namespace ChildProcess
