// RequestFontCacheStop with Wine's own "FontCache" service (demand start, stopped when the
// prefix starts) and the process's font-cache pool. Each test leaves the service stopped.
#include "ServiceTestKit.h"

#include "library/system/service/FontCachePool.h"
#include "library/system/service/SFontCacheService.h"
#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace S;
using STest::LogCapture;
using STest::ServiceCallScript;
using STest::WaitUntil;

namespace
{

const SString FontCache(L"FontCache");

SServiceState FontCacheState()
{
    SServiceManager manager;
    std::unique_ptr<SService> service;
    SServiceStatus status;
    SResult result;
    if (manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Failed() ||
        manager.OpenService(result, &service, FontCache, ServiceAccess::QueryStatus).Failed() ||
        service->QueryStatus(result, status).Failed())
        return SServiceState::Unknown;
    return status.currentState;
}

// Every request handled and the job done with them.
bool Drained()
{
    return WaitUntil([] { return PendingFontCacheStopRequests() == 0; }, 15000);
}

class RequestFontCacheStopTest : public ::testing::Test
{
protected:
    void SetUp() override { StopFontCache(); }
    void TearDown() override { StopFontCache(); }

    static void StopFontCache()
    {
        SResult result;
        EXPECT_EQ(ControlServiceByName(result, FontCache, SServiceAction::Stop, true, nullptr).Code(), 0);
        EXPECT_EQ(FontCacheState(), SServiceState::Stopped);
    }
};

TEST_F(RequestFontCacheStopTest, StopsTheServiceWhenItRuns)
{
    SResult result;
    ASSERT_EQ(ControlServiceByName(result, FontCache, SServiceAction::Start, true, nullptr).Code(), 0);
    ASSERT_EQ(FontCacheState(), SServiceState::Running);
    LogCapture log;
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    EXPECT_TRUE(WaitUntil([] { return FontCacheState() == SServiceState::Stopped; }));
    EXPECT_EQ(log.TextsWith(L"FontCache"),
              std::vector<std::wstring>{L"Sent stop request to service 'FontCache'."});
}

TEST_F(RequestFontCacheStopTest, OnlyChecksAStoppedService)
{
    ServiceCallScript script;
    LogCapture log;
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    EXPECT_EQ(script.ConnectionsSeen(), 1);
    EXPECT_EQ(script.StopsSeen(L"Windows Font Cache Service"), 0);
    EXPECT_TRUE(log.With().empty());
}

// The requesters meet at a manual-reset event, not a std::latch: this runtime's latch (its atomic
// wait has no futex here and falls back to a condition variable whose notifier skips the mutex)
// loses wake-ups, and once left a requester asleep for good.
TEST_F(RequestFontCacheStopTest, TenRequestsAtOncePostOneJobThatChecksTwice)
{
    ServiceCallScript script;
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(gate, nullptr);
    ASSERT_NE(start, nullptr);
    script.GateNextConnection(gate); // the job's first check waits here
    std::atomic<int> arrived{0};
    std::vector<std::thread> requesters;
    for (int i = 0; i < 10; ++i)
        requesters.emplace_back(
            [&]
            {
                ++arrived;
                WaitForSingleObject(start, INFINITE);
                RequestFontCacheStop();
            });
    EXPECT_TRUE(WaitUntil([&] { return arrived == 10; }));
    SetEvent(start);
    for (std::thread& requester : requesters)
        requester.join();
    EXPECT_EQ(PendingFontCacheStopRequests(), 10u);
    EXPECT_TRUE(WaitUntil([&] { return script.ConnectionsSeen() == 1; }));
    EXPECT_EQ(FontCachePool().GetQueuedCount(), 0u); // the one job is running, nothing waits behind it
    SetEvent(gate);
    EXPECT_TRUE(Drained());
    // One check for the request that posted the job, one for the nine that came meanwhile.
    EXPECT_EQ(script.ConnectionsSeen(), 2);
    CloseHandle(start);
    CloseHandle(gate);
}

TEST_F(RequestFontCacheStopTest, AFailedConnectionStillDrainsTheRequests)
{
    ServiceCallScript script;
    script.FailConnections(ERROR_ACCESS_DENIED);
    LogCapture log;
    RequestFontCacheStop();
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    const int connections = script.ConnectionsSeen();
    EXPECT_GE(connections, 1);
    EXPECT_EQ(log.TextsWith(L"ERROR_ACCESS_DENIED").front(),
              L"SServiceManager::Init received OS service code: ERROR_ACCESS_DENIED (0x00000005).");
    RequestFontCacheStop(); // the counter is back at 0: this request posts a job of its own
    ASSERT_TRUE(Drained());
    EXPECT_EQ(script.ConnectionsSeen(), connections + 1);
}

} // namespace
