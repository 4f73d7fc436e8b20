#include "ToolSupport.h"

#include "library/system/SHandle.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace STool
{

void Write(Stream stream, const std::wstring& text)
{
    const HANDLE handle = GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty())
        return;
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(handle, &mode))
    {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr);
}

void Print(Stream stream, const wchar_t* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vswprintf(nullptr, 0, format, args);
    va_end(args);
    std::wstring text;
    if (length > 0)
    {
        text.resize(static_cast<size_t>(length) + 1);
        std::vswprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    Write(stream, text);
}

bool ParseDecimal(const std::wstring& text, DWORD& value)
{
    if (text.empty() || text.size() > 10)
        return false;
    unsigned long long number = 0;
    for (const wchar_t c : text)
    {
        if (c < L'0' || c > L'9')
            return false;
        number = number * 10 + static_cast<unsigned>(c - L'0');
    }
    if (number > 0xFFFFFFFFull)
        return false;
    value = static_cast<DWORD>(number);
    return true;
}

std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg)
    {
        if (c == L'\\')
        {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring DescribeError(DWORD error)
{
    S::SLocalMemory buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(buffer.Put()), 0, nullptr);
    std::wstring text = length > 0 && buffer ? std::wstring(static_cast<const wchar_t*>(buffer.Get()), length)
                                             : std::wstring();
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    for (size_t insert = text.find(L"%1"); insert != std::wstring::npos; insert = text.find(L"%1"))
        text.replace(insert, 2, L"this file");
    if (text.empty())
        text = L"unknown error";
    return text + L" (error " + std::to_wstring(error) + L")";
}

std::wstring OwnPath()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;)
    {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size())
            return std::wstring(path.data(), n);
        path.resize(path.size() * 2);
    }
}

std::wstring ExtendedPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    if (path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

} // namespace STool
