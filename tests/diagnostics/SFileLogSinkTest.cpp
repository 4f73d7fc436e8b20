#include "library/diagnostics/SFileLogSink.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace S;

namespace
{

const std::string Mark = "\xEF\xBB\xBF";

std::string ReadBytes(const std::wstring& path)
{
    const HANDLE h =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty())
        ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(h);
    bytes.resize(read);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    const HANDLE h =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

// The lines of a log file after its mark, each with its CR LF; a trailing piece without one is kept.
std::vector<std::string> LogLines(const std::wstring& path)
{
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.substr(0, 3), Mark);
    std::vector<std::string> lines;
    for (size_t start = 3, end = 0; start < bytes.size(); start = end)
    {
        end = bytes.find("\r\n", start);
        end = end == std::string::npos ? bytes.size() : end + 2;
        lines.push_back(bytes.substr(start, end - start));
    }
    return lines;
}

const std::regex LinePattern(R"(^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3}) \(([+-]\d\d):(\d\d)\) )"
                             R"(\{593347BD-18         :    0\} \[CLNT:([ \d]{5}):([ \d]{5})\] )"
                             R"((Error|Debug):   \[LOG\] (.*)\r\n$)");

std::string Padded(unsigned long id)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%5lu", id);
    return text;
}

// The system's own view of the UTC offset right now, as "+hh:mm".
std::string ExpectedOffset()
{
    TIME_ZONE_INFORMATION zone{};
    const DWORD mode = GetTimeZoneInformation(&zone);
    long bias = zone.Bias + (mode == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
    const long offset = -bias; // minutes east of UTC
    char text[16];
    std::snprintf(text, sizeof(text), "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                  std::labs(offset) % 60);
    return text;
}

ULONGLONG LocalMilliseconds(const SYSTEMTIME& time)
{
    FILETIME ft{};
    SystemTimeToFileTime(&time, &ft);
    return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
}

class SFileLogSinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(m_Folder);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_KeyPath.c_str());
    }
    void TearDown() override
    {
        InstallFileLogSink(nullptr);
        m_Sink.Close();
        std::filesystem::remove_all(m_Folder);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_KeyPath.c_str());
    }

    void SetLogFileSize(DWORD value)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (m_KeyPath + L"\\Logging").c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"LogFileSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof(value));
        RegCloseKey(key);
    }

    void Install(int levelMask = SLogLevel::Error)
    {
        m_Sink.Configure(SPath(m_LogPath.c_str()), levelMask, false, SString(m_KeyPath.c_str()));
        InstallFileLogSink(&m_Sink);
    }

    const std::wstring m_Id = std::to_wstring(GetCurrentProcessId());
    const std::wstring m_Folder =
        (std::filesystem::temp_directory_path() / (L"lumerelx-logsink-" + m_Id)).wstring();
    const std::wstring m_LogPath = m_Folder + L"\\nested\\agent.log";
    const std::wstring m_BackupPath = m_LogPath + L".bak";
    const std::wstring m_KeyPath = L"Software\\LumerelxTests\\FileLogSink-" + m_Id;
    SFileLogSink m_Sink;
};

} // namespace

TEST_F(SFileLogSinkTest, LineFormatByteForByte)
{
    m_Sink.Configure(SPath(m_LogPath.c_str()), SLogLevel::All, false, SString());
    LogError(L"no sink installed");
    EXPECT_EQ(ReadBytes(m_LogPath), "<missing>");
    Install(SLogLevel::Error | 16); // Info alone: half of Debug
    SYSTEMTIME before{};
    GetLocalTime(&before);
    LogError(L"disk %s is %d%% full: %s", L"C:", 93, L"\u00e9\u4e2d");
    SYSTEMTIME after{};
    GetLocalTime(&after);
    LogDebug(L"not at this level");
    m_Sink.SetSizeLimit(0);
    LogError(L"switched off");

    const std::vector<std::string> lines = LogLines(m_LogPath);
    ASSERT_EQ(lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, LinePattern)) << lines[0];
    EXPECT_EQ(match[10].str(), Padded(GetCurrentProcessId()));
    EXPECT_EQ(match[11].str(), Padded(GetCurrentThreadId()));
    EXPECT_EQ(match[12].str(), "Error");
    EXPECT_EQ(match[13].str(), "disk C: is 93% full: \xC3\xA9\xE4\xB8\xAD"); // UTF-8
    EXPECT_EQ(match[8].str() + ":" + match[9].str(), ExpectedOffset());

    SYSTEMTIME stamp{};
    WORD* const parts[] = {&stamp.wYear,   &stamp.wMonth,  &stamp.wDay,         &stamp.wHour,
                           &stamp.wMinute, &stamp.wSecond, &stamp.wMilliseconds};
    for (int i = 0; i < 7; ++i)
        *parts[i] = static_cast<WORD>(std::stoi(match[i + 1].str()));
    EXPECT_GE(LocalMilliseconds(stamp) + 1, LocalMilliseconds(before));
    EXPECT_LE(LocalMilliseconds(stamp), LocalMilliseconds(after) + 1);
}

TEST_F(SFileLogSinkTest, ForeignFilesAreRolledOver)
{
    std::filesystem::create_directories(m_Folder + L"\\nested");
    for (const std::string& foreign : {std::string("foreign content\r\n"), std::string("ab"), std::string()})
    {
        WriteBytes(m_LogPath, foreign);
        Install();
        LogError(L"after %d bytes", static_cast<int>(foreign.size()));
        m_Sink.Close();
        EXPECT_EQ(ReadBytes(m_BackupPath), foreign);
        const std::vector<std::string> lines = LogLines(m_LogPath);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("after " + std::to_string(foreign.size()) + " bytes\r\n"), std::string::npos);
    }
    // A file of our own is continued, not rolled over.
    Install();
    LogError(L"continued");
    m_Sink.Close();
    EXPECT_EQ(LogLines(m_LogPath).size(), 2u);
}

TEST_F(SFileLogSinkTest, LineThatWouldPassTheLimitStartsANewFile)
{
    Install();
    LogError(L"no settings yet");
    EXPECT_EQ(m_Sink.GetSizeLimit(), SFileLogSink::DefaultSizeLimit);
    SetLogFileSize(10); // raised to 1,024, from the next write on
    m_Sink.Reconfigure();
    const std::wstring filler(60, L'x');
    std::string previous;
    int rollovers = 0;
    for (int i = 0; i < 40; ++i)
    {
        LogError(L"line %02d %s", i, filler.c_str());
        const std::string now = ReadBytes(m_LogPath);
        ASSERT_LE(now.size(), 1024u) << i;
        const std::vector<std::string> lines = LogLines(m_LogPath);
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find((i < 10 ? "line 0" : "line ") + std::to_string(i) + " "),
                  std::string::npos)
            << i;
        if (lines.size() == 1 && i > 0)
        {
            // The old file, as it was before this line, became the backup.
            ++rollovers;
            EXPECT_EQ(ReadBytes(m_BackupPath), previous) << i;
            EXPECT_GT(previous.size() + lines[0].size(), 1024u) << i;
        }
        else if (i > 0)
        {
            EXPECT_EQ(now.substr(0, previous.size()), previous) << i;
            EXPECT_LE(previous.size() + lines.back().size(), 1024u) << i;
        }
        previous = now;
    }
    EXPECT_EQ(m_Sink.GetSizeLimit(), 1024u);
    EXPECT_GE(rollovers, 3);
}

TEST_F(SFileLogSinkTest, ConcurrentWritersWriteWholeLines)
{
    constexpr int Threads = 8;
    constexpr int PerThread = 150;
    for (const uint32_t limit : {200000000u, 8192u}) // the first is lowered to 104,857,600
    {
        SetLogFileSize(limit);
        Install();
        DeleteFileW(m_LogPath.c_str());
        DeleteFileW(m_BackupPath.c_str());
        std::vector<std::thread> writers;
        for (int t = 0; t < Threads; ++t)
            writers.emplace_back(
                [t]
                {
                    for (int i = 0; i < PerThread; ++i)
                        LogError(L"writer %d line %03d", t, i);
                });
        for (std::thread& writer : writers)
            writer.join();
        m_Sink.Close();

        // Backup first, then the log: the order of writing.
        std::vector<std::string> lines;
        for (const std::wstring& path : {m_BackupPath, m_LogPath})
        {
            if (ReadBytes(path) == "<missing>")
                continue;
            const std::vector<std::string> part = LogLines(path);
            lines.insert(lines.end(), part.begin(), part.end());
        }
        std::map<int, std::vector<int>> seen;
        const std::regex message(R"(writer (\d) line (\d{3}))");
        for (const std::string& line : lines)
        {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(line, match, LinePattern)) << line;
            const std::string text = match[13].str();
            ASSERT_TRUE(std::regex_match(text, match, message)) << text;
            seen[std::stoi(match[1].str())].push_back(std::stoi(match[2].str()));
        }
        // Each writer's surviving lines are the unbroken run of its last ones: only rollover loses lines.
        for (const auto& [writer, numbers] : seen)
        {
            ASSERT_FALSE(numbers.empty());
            EXPECT_EQ(numbers.back(), PerThread - 1) << writer;
            for (size_t i = 1; i < numbers.size(); ++i)
                EXPECT_EQ(numbers[i], numbers[i - 1] + 1) << writer;
        }
        if (limit == 200000000u)
        {
            EXPECT_EQ(m_Sink.GetSizeLimit(), 104857600u);
            EXPECT_EQ(lines.size(), static_cast<size_t>(Threads * PerThread));
            EXPECT_EQ(seen.size(), static_cast<size_t>(Threads));
        }
        else
        {
            EXPECT_LT(lines.size(), static_cast<size_t>(Threads * PerThread));
            EXPECT_LE(ReadBytes(m_LogPath).size(), 8192u);
        }
    }
}
