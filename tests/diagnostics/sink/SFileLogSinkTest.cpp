// The file sink on real files: the line format, rollover at the size limit, concurrent writers.
#include "library/diagnostics/sink/SFileLogSink.h"
#include "library/system/SHandle.h"
#include "library/system/SModule.h"
#include "library/utility/SScopedForTesting.h"

#include "common/ProcessRunner.h"
#include "common/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <thread>

using namespace S;

namespace
{

// The lines after the file's byte-order mark, each with its CR LF; none for a missing file.
std::vector<std::string> LogLines(const std::wstring& path)
{
    const std::string bytes = STest::ReadFileBytes(path);
    if (bytes == "<missing>")
        return {};
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    std::vector<std::string> lines;
    for (size_t start = 3, end = 0; start < bytes.size(); start = end)
    {
        end = std::min(bytes.find("\r\n", start), bytes.size() - 2) + 2; // a last piece without CR LF too
        lines.push_back(bytes.substr(start, end - start));
    }
    return lines;
}

// Groups: time stamp, UTC offset, process id, thread id, level and message.
const std::regex LinePattern(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) \(([+-]\d\d:\d\d)\) )"
                             R"(\{593347BD-18         :    0\} \[CLNT:([ \d]{5}):([ \d]{5})\] )"
                             R"((Error|Debug):   \[LOG\] (.*)\r\n$)");

class SFileLogSinkTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        m_Installed.reset();
        m_Sink.Close();
        std::filesystem::remove_all(m_Folder);
        RegDeleteTreeW(HKEY_CURRENT_USER, m_Key.c_str());
    }

    // Installs the sink with a "LogFileSize" value when one is given.
    void Install(DWORD logFileSize = 0, int levels = SLogLevel::Error)
    {
        if (logFileSize != 0) // a failure shows in the limits the cases check
            RegSetKeyValueW(HKEY_CURRENT_USER, (m_Key + L"\\Logging").c_str(), L"LogFileSize", REG_DWORD,
                            &logFileSize, sizeof logFileSize);
        m_Sink.Configure(SPath(m_Log.c_str()), levels, false, SString(m_Key.c_str()));
        if (!m_Installed)
            m_Installed.emplace(&InstallFileLogSink, &m_Sink);
    }

    const std::wstring m_Id = std::to_wstring(GetCurrentProcessId());
    const std::wstring m_Folder =
        (std::filesystem::temp_directory_path() / (L"lumerelx-logsink-" + m_Id)).wstring();
    const std::wstring m_Log = m_Folder + L"\\nested\\agent.log";
    const std::wstring m_Backup = m_Log + L".bak";
    const std::wstring m_Key = L"Software\\LumerelxTests\\FileLogSink-" + m_Id;
    SFileLogSink m_Sink;
    // Put back the sink installed before, once the test is over.
    std::optional<SScopedForTesting<IFileLogSink*>> m_Installed;
};

std::string Stamp(const SYSTEMTIME& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

} // namespace

// Also run by the next case in zones west and east of UTC.
TEST_F(SFileLogSinkTest, LineFormatByteForByte)
{
    Install(0, SLogLevel::Error | SLogLevel::Info); // half of Debug
    LogDebug(L"not at this level");
    Install(0, SLogLevel::Error | SLogLevel::Debug);
    SYSTEMTIME before{}, after{};
    GetLocalTime(&before);
    LogError(L"disk %s is %d%% full: %s", L"C:", 93, L"\u00e9\u4e2d");
    LogDebug(L"debug %d", 5);
    GetLocalTime(&after);
    m_Sink.SetSizeLimit(0);
    LogError(L"switched off");

    const std::vector<std::string> lines = LogLines(m_Log);
    ASSERT_EQ(lines.size(), 2u) << testing::PrintToString(lines);
    TIME_ZONE_INFORMATION zone{};
    const bool daylight = GetTimeZoneInformation(&zone) == TIME_ZONE_ID_DAYLIGHT;
    const long east = -(zone.Bias + (daylight ? zone.DaylightBias : 0)); // the system's view, in minutes
    for (const auto& [line, message] :
         {std::pair{lines[0], "Error|disk C: is 93% full: \xC3\xA9\xE4\xB8\xAD"},
          std::pair{lines[1], "Debug|debug 5"}})
    {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, LinePattern)) << line;
        EXPECT_TRUE(Stamp(before) <= match[1].str() && match[1].str() <= Stamp(after)) << match[1];
        char expected[96];
        std::snprintf(expected, sizeof expected, "%c%02ld:%02ld|%5lu|%5lu|%s", east < 0 ? '-' : '+',
                      std::labs(east) / 60, std::labs(east) % 60, GetCurrentProcessId(), GetCurrentThreadId(),
                      message); // the message in UTF-8
        EXPECT_EQ(match[2].str() + "|" + match[3].str() + "|" + match[4].str() + "|" + match[5].str() + "|" +
                      match[6].str(),
                  expected);
        std::printf("offset=%s\n", match[2].str().c_str());
    }
}

// Wine takes a process's zone from the Unix "TZ" it starts with, which only a Unix program can set for
// it: the case runs again through the shell, in zones without daylight time, its output in a file.
TEST(SFileLogSinkZones, LineFormatWestAndEastOfUtc)
{
    if (FindLoadedModuleFunction<const char* (*)()>(L"ntdll.dll", "wine_get_version") == nullptr)
        GTEST_SKIP() << "the zone of a Windows process is the system's";
    const std::wstring folder = std::filesystem::temp_directory_path().wstring(),
                       name = L"lumerelx-zone-" + std::to_wstring(GetCurrentProcessId());
    for (const auto& [zone, offset] :
         {std::pair{L"Pacific/Marquesas", "-09:30"}, {L"Asia/Kathmandu", "+05:45"}})
    {
        std::wstring command =
            L"Z:\\bin\\sh -c \"TZ=" + std::wstring(zone) + L" wine '" + STest::BinFolder() +
            L"diagnostics_tests.exe' --gtest_filter=SFileLogSinkTest.LineFormatByteForByte >" + name +
            L".tmp 2>&1; mv " + name + L".tmp " + name + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.c_str(), &startup, &process));
        const SHandle processHandle(process.hProcess), threadHandle(process.hThread);
        // The handles Wine gives for a Unix program tell nothing of its end; the renamed file does.
        EXPECT_TRUE(STest::WaitUntil([&] { return std::filesystem::exists(folder + name); }, 120'000));
        const std::string output = STest::ReadFileBytes(folder + name);
        std::filesystem::remove(folder + name);
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        EXPECT_NE(output.find(std::string("offset=") + offset), std::string::npos) << output;
    }
}

TEST_F(SFileLogSinkTest, ForeignFilesAreRolledOverOwnOnesContinuedUntilALineWouldPassTheLimit)
{
    std::filesystem::create_directories(m_Folder + L"\\nested");
    for (const std::string foreign : {"foreign content\r\n", "ab", ""})
    {
        std::ofstream(std::filesystem::path(m_Log), std::ios::binary) << foreign;
        Install();
        LogError(L"after %d bytes", static_cast<int>(foreign.size()));
        m_Sink.Close();
        EXPECT_EQ(STest::ReadFileBytes(m_Backup), foreign);
        const std::vector<std::string> lines = LogLines(m_Log);
        EXPECT_TRUE(lines.size() == 1 &&
                    lines[0].ends_with("after " + std::to_string(foreign.size()) + " bytes\r\n"))
            << lines.size();
    }
    EXPECT_EQ(m_Sink.GetSizeLimit(), 0x100000u); // without settings
    Install(10);                                 // raised to 1,024
    std::string previous = STest::ReadFileBytes(m_Log);
    for (int i = 10; i < 50; ++i)
    {
        LogError(L"line %d %s", i, std::wstring(60, L'x').c_str());
        const std::string now = STest::ReadFileBytes(m_Log);
        ASSERT_LE(now.size(), 1024u) << i;
        EXPECT_EQ(now.find("line " + std::to_string(i) + " "), now.rfind("line ")) << i; // the last line
        // A new file only when the line would not fit; the old one, as it was, becomes the backup.
        const bool renewed = LogLines(m_Log).size() == 1;
        EXPECT_TRUE(!renewed || previous.size() + now.size() - 3 > 1024) << i;
        EXPECT_EQ(renewed ? STest::ReadFileBytes(m_Backup) : now.substr(0, previous.size()), previous) << i;
        previous = now;
    }
    EXPECT_EQ(m_Sink.GetSizeLimit(), 1024u);
}

TEST_F(SFileLogSinkTest, ConcurrentWritersWriteWholeLinesAndLoseOnlyRolledOverOnes)
{
    for (const DWORD limit : {200000000u, 8192u}) // the first is lowered to 104,857,600
    {
        Install(limit);
        DeleteFileW(m_Log.c_str());
        DeleteFileW(m_Backup.c_str());
        std::vector<std::thread> writers;
        for (int t = 0; t < 8; ++t)
            writers.emplace_back(
                [t]
                {
                    for (int i = 0; i < 150; ++i)
                        LogError(L"writer %d line %03d", t, i);
                });
        for (std::thread& writer : writers)
            writer.join();
        m_Sink.Close();

        std::vector<std::string> lines = LogLines(m_Backup); // written before the log's lines
        std::ranges::copy(LogLines(m_Log), std::back_inserter(lines));
        std::map<int, std::vector<int>> seen;
        for (const std::string& line : lines)
        {
            std::smatch match;
            ASSERT_TRUE(std::regex_match(line, match, LinePattern)) << line;
            const std::string text = match[6].str();
            ASSERT_TRUE(std::regex_match(text, match, std::regex(R"(writer (\d) line (\d{3}))"))) << text;
            seen[std::stoi(match[1].str())].push_back(std::stoi(match[2].str()));
        }
        // Each writer's surviving lines are the unbroken run of its last ones.
        for (const auto& [writer, numbers] : seen)
            for (size_t i = 0; i < numbers.size(); ++i)
                EXPECT_EQ(numbers[i], 150 - static_cast<int>(numbers.size() - i)) << writer;
        EXPECT_EQ(m_Sink.GetSizeLimit(), limit == 8192u ? limit : 104857600u);
        EXPECT_LE(STest::ReadFileBytes(m_Log).size(), limit);
        EXPECT_EQ(lines.size() < 8u * 150, limit == 8192u) << lines.size(); // lost lines only by rollover
    }
}
