// RequestFontCacheStop against Wine's own "FontCache" service, its job on the font-cache pool.
#include "ServiceTestKit.h"

#include "library/system/service/FontCachePool.h"
#include "library/system/service/SFontCacheService.h"

#include <gtest/gtest.h>

#include <thread>

using namespace S;
using namespace STest;
using enum SServiceAction;

namespace
{

// Every font-cache stop request handled and the job done with them.
const auto Drained = [] { return WaitUntil([] { return PendingFontCacheStopRequests() == 0; }, 15000); };

// Wine's own "FontCache" service is demand start, stopped when the prefix starts; each test
// leaves it stopped.
struct RequestFontCacheStopTest : ::testing::Test
{
    void SetUp() override { TearDown(); }
    void TearDown() override
    {
        SResult result;
        EXPECT_EQ(ControlServiceByName(result, L"FontCache", Stop, true, nullptr).Code(), 0);
        EXPECT_EQ(StatusOf(L"FontCache").dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    }
};

TEST_F(RequestFontCacheStopTest, StopsTheServiceWhenItRunsOnlyChecksItWhenStoppedAndDrainsOnFailure)
{
    SResult result;
    ASSERT_EQ(ControlServiceByName(result, L"FontCache", Start, true, nullptr).Code(), 0);
    ServiceCallScript script(L"Windows Font Cache Service");
    RecordingLogger log;
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    EXPECT_TRUE(WaitUntil([] { return StatusOf(L"FontCache").dwCurrentState == SERVICE_STOPPED; }));
    EXPECT_EQ(TextsWith(log, L"FontCache"), Lines{L"Sent stop request to service 'FontCache'."});
    const int connections = script.connections;
    const size_t lines = log.Lines().size();
    RequestFontCacheStop(); // once stopped: one check, nothing sent, nothing logged
    ASSERT_TRUE(Drained());
    EXPECT_TRUE(script.connections == connections + 1 && script.stops == 1);
    EXPECT_EQ(log.Lines().size(), lines);
    script.connectionError = ERROR_ACCESS_DENIED; // a failed connection still drains the requests
    RequestFontCacheStop();
    RequestFontCacheStop();
    ASSERT_TRUE(Drained());
    EXPECT_EQ(TextsWith(log, L"ERROR_ACCESS_DENIED").at(0),
              L"SServiceManager::Init received OS service code: ERROR_ACCESS_DENIED (0x00000005).");
    script.connectionError = 0;
    const std::wstring missing = TestService::UniqueName(L"missing_font_cache");
    {
        const SScopedForTesting name(SetFontCacheServiceNameForTesting, missing.c_str());
        RequestFontCacheStop(); // no such service: nothing to stop
        ASSERT_TRUE(Drained());
    }
    EXPECT_EQ(TextsWith(log, missing),
              Lines{Said(Os(L"SServiceManager::OpenService", L"ERROR_SERVICE_DOES_NOT_EXIST (0x00000424)"),
                         missing)});
    EXPECT_EQ(script.stops, 1);
    {
        SThreadPool refusing(0, 0, L"Refusing", 0, std::unique_ptr<ISemaphore>{});
        const SScopedForTesting pool(SetFontCachePoolForTesting, &refusing);
        RequestFontCacheStop(); // the pool refuses the job: the request is dropped
        EXPECT_EQ(PendingFontCacheStopRequests(), 0u);
    }
    EXPECT_EQ(TextsWith(log, L"with function"),
              Lines{L"Failed calling thread pool [Refusing] with function [PostJob]."});
    const int failed = script.connections;
    RequestFontCacheStop(); // the counter is back at 0: this request posts a job of its own
    ASSERT_TRUE(Drained());
    EXPECT_EQ(script.connections, failed + 1);
}

// The requesters are let go at once; the job's first check waits at the gate until all ten
// requests are in.
TEST_F(RequestFontCacheStopTest, TenRequestsAtOncePostOneJobThatChecksTwice)
{
    ServiceCallScript script;
    const SHandle gate(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(gate);
    script.gate = gate.Get();
    std::atomic<bool> go{false};
    std::vector<std::thread> requesters;
    for (int i = 0; i < 10; ++i)
        requesters.emplace_back(
            [&go]
            {
                while (!go)
                    std::this_thread::yield();
                RequestFontCacheStop();
            });
    go = true;
    for (std::thread& requester : requesters)
        requester.join();
    EXPECT_EQ(PendingFontCacheStopRequests(), 10u);
    EXPECT_TRUE(WaitUntil([&] { return script.connections == 1; }));
    EXPECT_EQ(FontCachePool().GetQueuedCount(), 0u); // the one job is running, nothing waits behind it
    SetEvent(gate.Get());
    EXPECT_TRUE(Drained());
    // One check for the request that posted the job, one for the nine that came meanwhile.
    EXPECT_EQ(script.connections, 2);
}

} // namespace
