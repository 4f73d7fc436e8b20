// The file sink of the log front end: appends UTF-8 lines to a size-limited log file that starts
// with a byte-order mark, keeping one backup generation (the log path with ".bak" appended).
// Its size limit may come from the registry value "LogFileSize" in the subkey "Logging" of a
// per-machine or per-user settings key. Thread-safe: all writers of the process, and every
// configuration change, share one process-wide critical section.
// Failure contract: nothing here throws; a line that cannot be written is dropped and the next
// line tries again.
#pragma once

#include "library/diagnostics/log/Log.h"
#include "library/diagnostics/log/SLogValues.h"
#include "library/system/file/SFile.h"
#include "library/system/registry/SRegKey.h"
#include "library/utility/SPath.h"
#include "library/utility/SString.h"

#include <atomic>
#include <cstdint>

namespace S
{

class SFileLogSink : public IFileLogSink
{
public:
    static constexpr uint32_t DefaultSizeLimit = 0x100000;
    static constexpr uint32_t MinimumSizeLimit = 1024;
    static constexpr uint32_t MaximumSizeLimit = 104857600;

    SFileLogSink() = default;
    SFileLogSink(const SFileLogSink&) = delete;
    SFileLogSink& operator=(const SFileLogSink&) = delete;
    // Uninstall the sink before destroying it; the file closes with the object (the writer lock
    // may already be gone when a static sink is destroyed).
    ~SFileLogSink() override = default;

    // The log file, the levels the file route writes (Debug lines need both bits of 48), and the
    // settings key: HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER with `settingsKeyPath` (an empty path:
    // no settings). An empty log path marks the sink unusable. The settings are read again at the
    // next write.
    void Configure(const SPath& logPath, SLogLevel levelMask, bool perMachine,
                   const SString& settingsKeyPath);
    // Sets the limit directly (0 switches the sink off; the registry can then not switch it on).
    void SetSizeLimit(uint32_t bytes);
    // Has the settings read again at the next write.
    void Reconfigure() noexcept { m_Generation.fetch_add(1); }

    int GetLevelMask() const noexcept override { return m_LevelMask.load(); }
    uint32_t GetSizeLimit() const;
    SPath GetPath() const;
    SPath GetBackupPath() const;

    // Writes "<time stamp> {593347BD-18 ...} [CLNT:<pid>:<tid>] <level>:   [LOG] <message>\r\n".
    void WriteLine(const wchar_t* levelText, const SString& message) noexcept override;
    // Closes the log file; the next line opens it again.
    void Close() noexcept;

    // The limit a "LogFileSize" value gives: at least 1,024 bytes, at most 100 MiB.
    static uint32_t ClampSizeLimit(uint32_t bytes) noexcept;

protected:
    // Whether an existing log file may be changed by anyone: its descriptor explicitly holds a
    // null DACL. Such a file is rolled over rather than continued.
    virtual bool IsOpenToEveryone(HANDLE file) const noexcept;

private:
    // The ...Locked functions need FileLogLock() (the process-wide writer lock, in the .cpp) held.
    void ApplySettingsLocked();
    SResult OpenLogLocked(bool fresh, bool& created);
    SResult OpenWithMarkLocked(uint32_t disposition, bool& created);
    bool HasByteOrderMarkLocked();
    void RollOverLocked() noexcept;

    // Guarded by FileLogLock(), the process-wide writer lock in the .cpp.
    SPath m_Path;
    // Lock-free: GetLevelMask reads it without the lock.
    std::atomic<int> m_LevelMask{SLogLevel::Error};
    // Guarded by FileLogLock().
    SRegKeyLocation m_Settings;
    bool m_HasSettings = false;
    uint32_t m_SizeLimit = DefaultSizeLimit;
    bool m_Unusable = true;
    // Lock-free: bumped by Reconfigure without the lock.
    std::atomic<uint32_t> m_Generation{1};
    // Guarded by FileLogLock().
    uint32_t m_AppliedGeneration = 0;
    SFile m_File;
    uint64_t m_TrackedSize = 0;
};

// The wide line the sink writes for a message, CR LF included.
SString FormatLogLine(const wchar_t* levelText, const SString& message);

} // namespace S
