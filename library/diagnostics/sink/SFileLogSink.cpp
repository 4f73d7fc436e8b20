#include "library/diagnostics/sink/SFileLogSink.h"

#include "library/system/SHandle.h"
#include "library/system/process/SCriticalSection.h"

#include <aclapi.h>

#include <cstdlib>
#include <ctime>
#include <cwchar>

namespace S
{

namespace
{

constexpr unsigned char ByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
constexpr uint32_t LogOpenMode = SFileMode::ShareWrite | SFileMode::ShareDelete;

// Created on first use, destroyed at unload; serialises every writer of the process and guards
// every sink's fields but its two atomics.
SCriticalSection& FileLogLock()
{
    static SCriticalSection lock;
    return lock;
}

// 100-nanosecond units from 1601 to 1970.
uint64_t UnixEpochFileTime() noexcept
{
    static const uint64_t epoch = []() noexcept
    {
        SYSTEMTIME start{};
        start.wYear = 1970;
        start.wMonth = 1;
        start.wDay = 1;
        FILETIME ft{};
        SystemTimeToFileTime(&start, &ft);
        return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    }();
    return epoch;
}

// The runtime otherwise takes its zone from a "TZ" variable the process may have inherited;
// emptied, the system's own zone applies.
void UseSystemTimeZone() noexcept
{
    static const bool done = []() noexcept
    {
        _putenv("TZ=");
        _tzset();
        return true;
    }();
    (void)done;
}

// "2024-05-01 13:45:12.345 (+02:00)": local time, milliseconds, UTC offset.
void FormatTimeStamp(wchar_t (&out)[128]) noexcept
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks =
        ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - UnixEpochFileTime();
    const __time64_t seconds = static_cast<__time64_t>(ticks / 10000000);
    const unsigned milliseconds = static_cast<unsigned>((ticks / 10000) % 1000);

    UseSystemTimeZone();
    tm local{};
    out[0] = L'\0';
    if (_localtime64_s(&local, &seconds) != 0)
        return;
    const size_t length = wcsftime(out, 82, L"%Y-%m-%d %H:%M:%S", &local);
    const long bias = _timezone; // seconds west of UTC
    const long offset = (local.tm_isdst > 0 ? 3600 : 0) - bias;
    const int hours = static_cast<int>(offset / 3600);
    const int minutes = static_cast<int>(std::labs(offset % 3600) / 60);
    _snwprintf(out + length, 128 - length - 1, L".%.3u (%+.2d:%.2d)", milliseconds, hours, minutes);
    out[127] = L'\0';
}

} // namespace

bool SFileLogSink::IsOpenToEveryone(HANDLE file) const noexcept
{
    SLocalMemory descriptor;
    PACL dacl = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        descriptor.Put()) != ERROR_SUCCESS)
        return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL explicitDacl = nullptr;
    return GetSecurityDescriptorDacl(descriptor.Get(), &present, &explicitDacl, &defaulted) && present &&
           explicitDacl == nullptr && !defaulted;
}

namespace
{

SPath FolderOf(const SPath& path)
{
    SPath folder;
    const size_t separator = path.ReverseFindOneOf(L"\\/");
    if (separator != SNpos)
        path.Mid(folder, 0, separator);
    return folder;
}

} // namespace

SString FormatLogLine(const wchar_t* levelText, const SString& message)
{
    wchar_t stamp[128];
    FormatTimeStamp(stamp);
    SString line;
    // The fixed middle part of the line is kept on purpose for compatibility.
    line.Format(L"%s {593347BD-18         :    0} [CLNT:%5lu:%5lu] %s:   [LOG] ", stamp,
                GetCurrentProcessId(), GetCurrentThreadId(), levelText);
    line.Append(message);
    line.Append(L"\r\n");
    return line;
}

uint32_t SFileLogSink::ClampSizeLimit(uint32_t bytes) noexcept
{
    if (bytes > MaximumSizeLimit)
        return MaximumSizeLimit;
    if (bytes < MinimumSizeLimit)
        return MinimumSizeLimit;
    return bytes;
}

void SFileLogSink::Configure(const SPath& logPath, SLogLevel levelMask, bool perMachine,
                             const SString& settingsKeyPath)
{
    SAutoCriticalSection lock(FileLogLock());
    m_File.Close();
    m_Path = logPath;
    m_Unusable = logPath.IsEmpty();
    m_LevelMask = levelMask.GetValue();
    m_HasSettings = !settingsKeyPath.IsEmpty();
    m_Settings = SRegKeyLocation(perMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, settingsKeyPath);
    Reconfigure();
}

void SFileLogSink::SetSizeLimit(uint32_t bytes)
{
    SAutoCriticalSection lock(FileLogLock());
    m_SizeLimit = bytes;
}

uint32_t SFileLogSink::GetSizeLimit() const
{
    SAutoCriticalSection lock(FileLogLock());
    return m_SizeLimit;
}

SPath SFileLogSink::GetPath() const
{
    SAutoCriticalSection lock(FileLogLock());
    return m_Path;
}

SPath SFileLogSink::GetBackupPath() const
{
    SAutoCriticalSection lock(FileLogLock());
    SPath backup = m_Path;
    backup.Append(L".bak");
    return backup;
}

void SFileLogSink::Close() noexcept
{
    SAutoCriticalSection lock(FileLogLock());
    m_File.Close();
}

void SFileLogSink::ApplySettingsLocked()
{
    if (!m_HasSettings)
        return;
    uint32_t value = 0;
    // A missing key or value keeps the limit as it was.
    if (ReadRegistryDword(false, m_Settings, SString(L"Logging"), L"LogFileSize", value).Succeeded())
        m_SizeLimit = ClampSizeLimit(value);
}

void SFileLogSink::RollOverLocked() noexcept
{
    m_File.Close();
    SPath backup = m_Path;
    backup.Append(L".bak");
    RemoveFile(backup, 0, false);
    MoveFileReplacing(m_Path, backup);
}

SResult SFileLogSink::OpenWithMarkLocked(uint32_t disposition, bool& created)
{
    SResult result;
    if (m_File.SetPath(m_Path, result).Failed() ||
        m_File.Open(LogOpenMode | disposition, nullptr, false, result).Failed())
        return result;
    created = disposition == SFileMode::CreateAlways || GetLastError() != ERROR_ALREADY_EXISTS;
    if (!created)
        return result;
    DWORD written = 0;
    if (m_File.Write(ByteOrderMark, sizeof(ByteOrderMark), 0, &written, result).Succeeded())
        m_TrackedSize = sizeof(ByteOrderMark);
    return result;
}

SResult SFileLogSink::OpenLogLocked(bool fresh, bool& created)
{
    created = false;
    SResult result;
    if (m_File.IsOpen() && !fresh)
        return result;
    if (fresh)
    {
        m_File.Close();
        return OpenWithMarkLocked(SFileMode::CreateAlways, created);
    }
    CreateDirectoryPath(FolderOf(m_Path));
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        result = OpenWithMarkLocked(SFileMode::OpenAlways, created);
        if (result.Failed() || created)
            return result;
        if (!IsOpenToEveryone(m_File.GetHandle()))
        {
            uint64_t size = 0;
            m_TrackedSize = m_File.GetSize(size, result).Succeeded() ? size : 0;
            return result = 0;
        }
        RollOverLocked();
    }
    return result = kResultLogFileUnsafe;
}

bool SFileLogSink::HasByteOrderMarkLocked()
{
    unsigned char head[3] = {};
    DWORD read = 0;
    SResult result;
    return m_File.Read(head, sizeof(head), 0, &read, result).Succeeded() && read == sizeof(head) &&
           head[0] == ByteOrderMark[0] && head[1] == ByteOrderMark[1] && head[2] == ByteOrderMark[2];
}

void SFileLogSink::WriteLine(const wchar_t* levelText, const SString& message) noexcept
{
    try
    {
        SAutoCriticalSection lock(FileLogLock());
        if (m_SizeLimit == 0 || m_Unusable)
            return;
        const uint32_t generation = m_Generation.load();
        if (generation != m_AppliedGeneration)
        {
            ApplySettingsLocked();
            m_AppliedGeneration = generation;
        }
        SStringUtf8 line;
        line.Assign(FormatLogLine(levelText, message));
        const auto bytes = static_cast<DWORD>(line.GetLength());

        bool created = false;
        if (OpenLogLocked(false, created).Failed())
        {
            m_File.Close();
            return;
        }
        const bool foreign = !created && !HasByteOrderMarkLocked();
        if (foreign || m_TrackedSize + bytes > m_SizeLimit)
        {
            RollOverLocked();
            if (OpenLogLocked(true, created).Failed())
            {
                m_File.Close();
                return;
            }
        }
        SResult result;
        DWORD written = 0;
        if (m_File.Write(line.c_str(), bytes, m_TrackedSize, &written, result).Failed())
        {
            m_File.Close();
            return;
        }
        m_TrackedSize += written;
    }
    catch (...)
    {
    }
}

} // namespace S
