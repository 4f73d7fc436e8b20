// WaitForServiceState on real services, with a clock of the test's own so that the poll
// intervals and the 20-second limit can be checked exactly and at once.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"
#include "library/system/service/ServiceResult.h"

#include <gtest/gtest.h>

#include <vector>

using namespace S;
using STest::TestService;

namespace
{

class RecordingClock final : public IServiceWaitClock
{
public:
    uint64_t NowMs() noexcept override { return m_Now; }
    void SleepMs(DWORD ms) noexcept override
    {
        sleeps.push_back(ms);
        m_Now += ms;
    }
    std::vector<DWORD> sleeps;

private:
    uint64_t m_Now = 1'000'000;
};

TEST(WaitForServiceState, PollsAtATenthOfTheWaitHintAndGivesUpAfterTwentySeconds)
{
    struct Case
    {
        DWORD hint;
        DWORD interval;
        size_t polls; // sleeps until more than 20,000 ms have passed
    };
    const std::vector<Case> cases = {
        {0, 1000, 21}, {5000, 1000, 21}, {20000, 2000, 11}, {35000, 3500, 6}, {90000, 5000, 5}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.hint);
        TestService test(L"hint", L"--stop-hint=" + std::to_wstring(c.hint), true);
        ASSERT_TRUE(test.Registered());
        ASSERT_TRUE(test.Start());
        SResult result;
        SServiceStatus status;
        ASSERT_EQ(test.Service().Control(result, ServiceControlCode::Stop, status).Code(), 0);
        ASSERT_TRUE(test.WaitForState(SERVICE_STOP_PENDING));

        RecordingClock clock;
        EXPECT_EQ(WaitForServiceState(test.Service(), SServiceState::StopPending, SServiceState::Stopped,
                                      status, clock),
                  ServiceResult::TimedOut);
        EXPECT_EQ(clock.sleeps, std::vector<DWORD>(c.polls, c.interval));
        EXPECT_EQ(status.currentState, SServiceState::StopPending);
        EXPECT_EQ(status.waitHint, c.hint);
    }
}

TEST(WaitForServiceState, EndsAtTheTargetOrAtAnyOtherState)
{
    TestService test(L"states");
    ASSERT_TRUE(test.Registered());
    RecordingClock clock;
    SServiceStatus status;
    EXPECT_EQ(
        WaitForServiceState(test.Service(), SServiceState::StopPending, SServiceState::Stopped, status, clock)
            .Code(),
        0);
    EXPECT_EQ(status.currentState, SServiceState::Stopped);

    ASSERT_TRUE(test.Start());
    EXPECT_EQ(WaitForServiceState(test.Service(), SServiceState::StopPending, SServiceState::Stopped, status,
                                  clock),
              ServiceResult::UnexpectedState);
    EXPECT_EQ(status.currentState, SServiceState::Running);
    EXPECT_TRUE(clock.sleeps.empty());

    SService closed(L"closed", nullptr);
    EXPECT_EQ(WaitForServiceState(closed, SServiceState::StopPending, SServiceState::Stopped, status, clock),
              ServiceResult::NotOpen);
}

} // namespace
