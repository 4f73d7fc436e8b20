#include "library/diagnostics/SFileLogSink.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
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

void WriteBytes(const std::wstring& path, const std::string& bytes, SECURITY_ATTRIBUTES* security = nullptr)
{
    const HANDLE h =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, security, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

// Splits after each CR LF; a trailing piece without one is kept as it is.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size())
    {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
        {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end + 2 - start));
        start = end + 2;
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

// Wine hands back a default DACL for a file created with a null one, so the descriptor check
// is answered here instead: the first `unsafeAnswers` existing files count as open to everyone.
class UnsafeFileSink : public SFileLogSink
{
public:
    int unsafeAnswers = 0;
    mutable int questions = 0;

protected:
    bool IsOpenToEveryone(HANDLE) const noexcept override { return ++questions <= unsafeAnswers; }
};

class SFileLogSinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const std::wstring id = std::to_wstring(GetCurrentProcessId());
        m_Folder = std::wstring(temp) + L"lumerelx-logsink-" + id;
        RemoveFolder();
        m_LogPath = m_Folder + L"\\nested\\agent.log";
        m_BackupPath = m_LogPath + L".bak";
        m_KeyPath = L"Software\\LumerelxTests\\FileLogSink-" + id;
        RegDeleteTreeW(HKEY_CURRENT_USER, m_KeyPath.c_str());
    }
    void TearDown() override
    {
        InstallFileLogSink(nullptr);
        m_Sink.Close();
        RemoveFolder();
        RegDeleteTreeW(HKEY_CURRENT_USER, m_KeyPath.c_str());
    }

    void RemoveFolder()
    {
        for (const std::wstring& file : {m_LogPath, m_BackupPath})
            if (!file.empty())
                DeleteFileW(file.c_str());
        RemoveDirectoryW((m_Folder + L"\\nested").c_str());
        RemoveDirectoryW(m_Folder.c_str());
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

    void Install(int levelMask = SLogLevel::Error, bool withSettings = true)
    {
        m_Sink.Configure(SPath(m_LogPath.c_str()), levelMask, false,
                         withSettings ? SString(m_KeyPath.c_str()) : SString());
        InstallFileLogSink(&m_Sink);
    }

    std::wstring m_Folder;
    std::wstring m_LogPath;
    std::wstring m_BackupPath;
    std::wstring m_KeyPath;
    SFileLogSink m_Sink;
};

} // namespace

TEST_F(SFileLogSinkTest, LineFormatByteForByte)
{
    Install();
    SYSTEMTIME before{};
    GetLocalTime(&before);
    LogError(L"disk %s is %d%% full: %s", L"C:", 93, L"\u00e9\u4e2d");
    SYSTEMTIME after{};
    GetLocalTime(&after);
    LogDebug(L"not at this level");

    const std::string bytes = ReadBytes(m_LogPath);
    ASSERT_EQ(bytes.substr(0, 3), Mark);
    const std::vector<std::string> lines = Lines(bytes.substr(3));
    ASSERT_EQ(lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, LinePattern)) << lines[0];
    EXPECT_EQ(match[10].str(), Padded(GetCurrentProcessId()));
    EXPECT_EQ(match[11].str(), Padded(GetCurrentThreadId()));
    EXPECT_EQ(match[12].str(), "Error");
    EXPECT_EQ(match[13].str(), "disk C: is 93% full: \xC3\xA9\xE4\xB8\xAD"); // UTF-8
    EXPECT_EQ(match[8].str() + ":" + match[9].str(), ExpectedOffset());

    SYSTEMTIME stamp{};
    stamp.wYear = static_cast<WORD>(std::stoi(match[1].str()));
    stamp.wMonth = static_cast<WORD>(std::stoi(match[2].str()));
    stamp.wDay = static_cast<WORD>(std::stoi(match[3].str()));
    stamp.wHour = static_cast<WORD>(std::stoi(match[4].str()));
    stamp.wMinute = static_cast<WORD>(std::stoi(match[5].str()));
    stamp.wSecond = static_cast<WORD>(std::stoi(match[6].str()));
    stamp.wMilliseconds = static_cast<WORD>(std::stoi(match[7].str()));
    EXPECT_GE(LocalMilliseconds(stamp) + 1, LocalMilliseconds(before));
    EXPECT_LE(LocalMilliseconds(stamp), LocalMilliseconds(after) + 1);
}

TEST_F(SFileLogSinkTest, DebugLinesNeedBothDebugBits)
{
    Install(SLogLevel::Error | 16); // Info alone: half of Debug
    LogDebug(L"hidden");
    EXPECT_EQ(ReadBytes(m_LogPath), "<missing>");
    Install(SLogLevel::Debug);
    LogDebug(L"shown %d", 1);
    const std::vector<std::string> lines = Lines(ReadBytes(m_LogPath).substr(3));
    ASSERT_EQ(lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, LinePattern)) << lines[0];
    EXPECT_EQ(match[12].str(), "Debug");
    EXPECT_EQ(match[13].str(), "shown 1");
}

TEST_F(SFileLogSinkTest, NothingIsWrittenWhenUninstalledUnusableOrSwitchedOff)
{
    m_Sink.Configure(SPath(m_LogPath.c_str()), SLogLevel::All, false, SString());
    LogError(L"no sink installed");
    EXPECT_EQ(ReadBytes(m_LogPath), "<missing>");

    InstallFileLogSink(&m_Sink);
    m_Sink.SetSizeLimit(0);
    LogError(L"switched off");
    EXPECT_EQ(ReadBytes(m_LogPath), "<missing>");

    m_Sink.Configure(SPath(), SLogLevel::All, false, SString());
    m_Sink.SetSizeLimit(4096);
    LogError(L"no path");
    EXPECT_EQ(ReadBytes(m_LogPath), "<missing>");
}

TEST_F(SFileLogSinkTest, SizeLimitComesFromTheRegistry)
{
    EXPECT_EQ(SFileLogSink::ClampSizeLimit(10), 1024u);
    EXPECT_EQ(SFileLogSink::ClampSizeLimit(200000000), 104857600u);
    EXPECT_EQ(SFileLogSink::ClampSizeLimit(5000), 5000u);

    Install();
    LogError(L"no settings yet");
    EXPECT_EQ(m_Sink.GetSizeLimit(), SFileLogSink::DefaultSizeLimit);

    const struct
    {
        DWORD value;
        uint32_t limit;
    } rows[] = {{10, 1024}, {200000000, 104857600}, {5000, 5000}, {1024, 1024}, {104857600, 104857600}};
    for (const auto& row : rows)
    {
        SetLogFileSize(row.value);
        LogError(L"old settings");
        m_Sink.Reconfigure();
        EXPECT_NE(m_Sink.GetSizeLimit(), row.limit); // applied at the next write only
        LogError(L"new settings");
        EXPECT_EQ(m_Sink.GetSizeLimit(), row.limit) << row.value;
    }
    // A value that disappears leaves the limit as it was.
    RegDeleteTreeW(HKEY_CURRENT_USER, m_KeyPath.c_str());
    m_Sink.Reconfigure();
    LogError(L"settings gone");
    EXPECT_EQ(m_Sink.GetSizeLimit(), 104857600u);
}

TEST_F(SFileLogSinkTest, ForeignFilesAreRolledOver)
{
    CreateDirectoryW(m_Folder.c_str(), nullptr);
    CreateDirectoryW((m_Folder + L"\\nested").c_str(), nullptr);
    for (const std::string& foreign : {std::string("foreign content\r\n"), std::string("ab"), std::string()})
    {
        WriteBytes(m_LogPath, foreign);
        Install();
        LogError(L"after %d bytes", static_cast<int>(foreign.size()));
        m_Sink.Close();
        EXPECT_EQ(ReadBytes(m_BackupPath), foreign);
        const std::string bytes = ReadBytes(m_LogPath);
        ASSERT_EQ(bytes.substr(0, 3), Mark);
        const std::vector<std::string> lines = Lines(bytes.substr(3));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("after " + std::to_string(foreign.size()) + " bytes\r\n"), std::string::npos);
    }
    // A file of our own is continued, not rolled over.
    Install();
    LogError(L"continued");
    m_Sink.Close();
    EXPECT_EQ(Lines(ReadBytes(m_LogPath).substr(3)).size(), 2u);
}

TEST_F(SFileLogSinkTest, LineThatWouldPassTheLimitStartsANewFile)
{
    SetLogFileSize(10); // raised to 1,024
    Install();
    const std::wstring filler(60, L'x');
    std::string previous;
    int rollovers = 0;
    for (int i = 0; i < 40; ++i)
    {
        LogError(L"line %02d %s", i, filler.c_str());
        const std::string now = ReadBytes(m_LogPath);
        ASSERT_LE(now.size(), 1024u) << i;
        ASSERT_EQ(now.substr(0, 3), Mark);
        const std::vector<std::string> lines = Lines(now.substr(3));
        ASSERT_FALSE(lines.empty());
        char expected[16];
        std::snprintf(expected, sizeof(expected), "line %02d ", i);
        EXPECT_NE(lines.back().find(expected), std::string::npos) << i;
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
    EXPECT_GE(rollovers, 3);
}

TEST_F(SFileLogSinkTest, NullDaclFileIsRolledOver)
{
    CreateDirectoryW(m_Folder.c_str(), nullptr);
    CreateDirectoryW((m_Folder + L"\\nested").c_str(), nullptr);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES security{sizeof(security), &descriptor, FALSE};
    WriteBytes(m_LogPath, Mark + "open to everyone\r\n", &security);

    // Only meaningful where the file system keeps the null DACL.
    PSECURITY_DESCRIPTOR stored = nullptr;
    PACL dacl = reinterpret_cast<PACL>(1);
    ASSERT_EQ(GetNamedSecurityInfoW(m_LogPath.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &stored),
              static_cast<DWORD>(ERROR_SUCCESS));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorDacl(stored, &present, &dacl, &defaulted);
    LocalFree(stored);
    if (!present || dacl != nullptr)
        GTEST_SKIP() << "this file system does not keep a null DACL";

    Install();
    LogError(L"fresh");
    m_Sink.Close();
    EXPECT_EQ(ReadBytes(m_BackupPath), Mark + "open to everyone\r\n");
    const std::vector<std::string> lines = Lines(ReadBytes(m_LogPath).substr(3));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("fresh\r\n"), std::string::npos);
}

TEST_F(SFileLogSinkTest, FileOpenToEveryoneIsRolledOverOnceThenRefused)
{
    CreateDirectoryW(m_Folder.c_str(), nullptr);
    CreateDirectoryW((m_Folder + L"\\nested").c_str(), nullptr);
    const std::string planted = Mark + "planted\r\n";
    WriteBytes(m_LogPath, planted);

    UnsafeFileSink sink;
    sink.unsafeAnswers = 2;
    sink.Configure(SPath(m_LogPath.c_str()), SLogLevel::Error, false, SString());
    InstallFileLogSink(&sink);
    LogError(L"replaces the planted file");
    sink.Close();
    EXPECT_EQ(sink.questions, 1); // the recreated file is new and not asked about
    EXPECT_EQ(ReadBytes(m_BackupPath), planted);
    std::vector<std::string> lines = Lines(ReadBytes(m_LogPath).substr(3));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("replaces the planted file"), std::string::npos);

    // When the file cannot be moved away (the backup name is a folder that is not empty), the
    // same file comes back and the line is dropped.
    WriteBytes(m_LogPath, planted);
    DeleteFileW(m_BackupPath.c_str());
    ASSERT_TRUE(CreateDirectoryW(m_BackupPath.c_str(), nullptr));
    WriteBytes(m_BackupPath + L"\\keep.txt", "keep");
    sink.questions = 0;
    LogError(L"dropped");
    sink.Close();
    EXPECT_EQ(sink.questions, 2);
    EXPECT_EQ(ReadBytes(m_LogPath), planted);
    // Once the file is acceptable again, lines are appended as usual.
    LogError(L"appended");
    sink.Close();
    lines = Lines(ReadBytes(m_LogPath).substr(3));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("appended"), std::string::npos);
    InstallFileLogSink(nullptr);
    DeleteFileW((m_BackupPath + L"\\keep.txt").c_str());
    RemoveDirectoryW(m_BackupPath.c_str());
}

TEST_F(SFileLogSinkTest, ConcurrentWritersWriteWholeLines)
{
    constexpr int Threads = 8;
    constexpr int PerThread = 150;
    for (const uint32_t limit : {SFileLogSink::MaximumSizeLimit, 8192u})
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
            const std::string bytes = ReadBytes(path);
            if (bytes == "<missing>")
                continue;
            ASSERT_EQ(bytes.substr(0, 3), Mark);
            const std::vector<std::string> part = Lines(bytes.substr(3));
            lines.insert(lines.end(), part.begin(), part.end());
        }
        std::map<int, std::vector<int>> seen;
        const std::regex message(R"(writer (\d) line (\d{3}))");
        for (const std::string& line : lines)
        {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(line, match, LinePattern)) << line;
            const std::string text = match[13].str();
            std::smatch parts;
            ASSERT_TRUE(std::regex_match(text, parts, message)) << text;
            seen[std::stoi(parts[1].str())].push_back(std::stoi(parts[2].str()));
        }
        // Each writer's surviving lines are the unbroken run of its last ones: only rollover loses lines.
        for (const auto& [writer, numbers] : seen)
        {
            ASSERT_FALSE(numbers.empty());
            EXPECT_EQ(numbers.back(), PerThread - 1) << writer;
            for (size_t i = 1; i < numbers.size(); ++i)
                EXPECT_EQ(numbers[i], numbers[i - 1] + 1) << writer;
        }
        if (limit == SFileLogSink::MaximumSizeLimit)
        {
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
