// A waited stop that never leaves stop pending gives up after about 20 s. That case runs in a
// process of its own, started before the first test and checked after the last, so the rest of
// the suite runs meanwhile.
// (Not on a thread: under Wine, control-manager calls made at the same time from two threads of
// one process can leave handles the control manager no longer knows, ERROR_INVALID_HANDLE, since
// its RPC runtime sends them over different connections.)
#include "ServiceTestKit.h"
#include "common/ProcessRunner.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <thread>

using namespace S;

namespace
{

TEST(StopThatHangs, DISABLED_WarnsAfterTwentySecondsAndStillSucceeds)
{
    STest::LogCapture log;
    STest::TestService test(L"hangs", L"--stop-hint=3000", true);
    ASSERT_TRUE(test.Registered() && test.Start());
    SResult result;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(ControlServiceByName(result, test.SName(), SServiceAction::Stop, true, nullptr).Code(), 0);
    EXPECT_GE(GetTickCount64() - start, 20000u);
    EXPECT_EQ(test.State(), static_cast<DWORD>(SERVICE_STOP_PENDING));
    const auto lines = log.With(test.Name());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text,
              STest::Said(L"Service '%ls' timed out while stopping. Last state: 5.", test.Name()));
    EXPECT_EQ(lines[0].level, SLogLevel::Warning);
    EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040797u);
}

class InBackground final : public ::testing::Environment
{
public:
    void SetUp() override
    {
        const std::string filter = GTEST_FLAG_GET(filter);
        if (GetEnvironmentVariableW(STest::TestService::ChildVariable, nullptr, 0) != 0 ||
            (filter != "*" && filter.find("StopThatHangs") == std::string::npos))
            return;
        // Leftovers are cleared first: the child leaves them alone, since they may be ours.
        STest::TestService::SweepStaleServices();
        SetEnvironmentVariableW(STest::TestService::ChildVariable, L"1");
        wchar_t self[MAX_PATH * 2];
        const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH * 2));
        thread = std::thread(
            [this, exe]
            {
                child = STest::RunProcess(L"\"" + exe +
                                          L"\" --gtest_also_run_disabled_tests "
                                          L"--gtest_filter=StopThatHangs.DISABLED_*");
            });
    }

    void TearDown() override
    {
        if (!thread.joinable())
            return;
        thread.join();
        EXPECT_EQ(child.exitCode, 0u) << child.output;
        EXPECT_NE(child.output.find("[  PASSED  ] 1 test."), std::string::npos) << child.output;
    }

private:
    std::thread thread;
    STest::ProcessResult child;
};

// GoogleTest owns its environments.
[[maybe_unused]] auto* const Background = ::testing::AddGlobalTestEnvironment(new InBackground);

} // namespace
