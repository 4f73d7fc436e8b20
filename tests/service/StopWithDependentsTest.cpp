// Stopping a service whose running dependents keep it from stopping, and restarting it.
// Wine's control manager ignores dependencies: stopping a service with running dependents just
// works and the dependents enumeration always answers none. So the script plays the two parts
// Windows would: the stop is refused with ERROR_DEPENDENT_SERVICES_RUNNING while a dependent is
// active, and the enumeration lists the dependents. Every service involved is real.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"
#include "library/system/service/ServiceResult.h"

#include <gtest/gtest.h>

using namespace S;
using STest::LogCapture;
using STest::Said;
using STest::ServiceCallScript;
using STest::TestService;

namespace
{

std::vector<std::wstring> Names(const SListT<SServiceEntry>& list)
{
    std::vector<std::wstring> names;
    for (const SServiceEntry& entry : list.GetItems())
    {
        EXPECT_EQ(entry.displayName, entry.name);
        names.push_back(entry.name.c_str());
    }
    return names;
}

class StopWithDependents : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (TestService* service : {&main, &first, &second})
        {
            ASSERT_TRUE(service->Registered());
            ASSERT_TRUE(service->Start(service == &second ? SERVICE_PAUSED : SERVICE_RUNNING));
        }
        script.HoldForDependents(main.Name(), {first.Name(), second.Name()});
    }

    TestService main{L"main"};
    TestService first{L"first_dependent"};
    TestService second{L"paused_dependent", L"--idle=paused"};
    ServiceCallScript script;
};

TEST_F(StopWithDependents, StopsTheDependentsFirstAndListsThoseThatWereRunning)
{
    script.ListDependents(main.Name(), {first.Name(), second.Name()});
    LogCapture log;
    SListT<SServiceEntry> stopped;
    stopped.PushBack({L"stale", L"stale", {}});
    SServiceStatus status;
    SResult result;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped).Code(), 0);
    EXPECT_EQ(result.Code(), 0);
    // The paused dependent was stopped too, but only running (or starting) ones are listed.
    EXPECT_EQ(Names(stopped), std::vector<std::wstring>{first.Name()});
    EXPECT_EQ(first.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(second.State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(main.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(script.EnumerationsSeen(main.Name()), 1);
    EXPECT_EQ(script.StopsSeen(main.Name()), 2);
    EXPECT_TRUE(log.Has(Said(L"Successfully stopped service '%ls'.", first.Name())));
    EXPECT_TRUE(log.Has(Said(L"Successfully stopped service '%ls'.", second.Name())));
}

TEST_F(StopWithDependents, RestartStopsDependentsWaitingAndStartsThemAfterwardsWithout)
{
    script.ListDependents(main.Name(), {first.Name(), second.Name()});
    LogCapture log;
    const DWORD oldProcess = main.ProcessId();
    SResult result;
    SServiceState before = SServiceState::Unknown;
    {
        STest::StartGate gate;
        EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Restart, true, &before).Code(),
                  0);
    }
    EXPECT_EQ(before, SServiceState::Running);
    EXPECT_EQ(main.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_NE(main.ProcessId(), oldProcess);

    std::vector<std::wstring> order;
    for (const auto& line : log.Lines())
        if (line.text.rfind(L"S", 0) == 0 &&
            line.text.find(L" received OS service code") == std::wstring::npos)
            order.push_back(line.text);
    EXPECT_EQ(order,
              (std::vector<std::wstring>{Said(L"Successfully stopped service '%ls'.", first.Name()),
                                         Said(L"Successfully stopped service '%ls'.", second.Name()),
                                         Said(L"Successfully stopped service '%ls'.", main.Name()),
                                         Said(L"Successfully started service '%ls'.", main.Name()),
                                         Said(L"Sent start request to service '%ls'.", first.Name())}));
    // Only the dependent that was running comes back; the paused one stays stopped.
    EXPECT_TRUE(first.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(second.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(StopWithDependents, WithWinesRealEnumerationTheRefusalStands)
{
    LogCapture log;
    SListT<SServiceEntry> stopped;
    SServiceStatus status;
    SResult result;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), ServiceResult::DependentServices);
    EXPECT_EQ(stopped.GetCount(), 0u);
    // Refused, asked the real enumeration (none), asked again and was refused again.
    EXPECT_EQ(script.StopsSeen(main.Name()), 2);
    EXPECT_EQ(first.State(), static_cast<DWORD>(SERVICE_RUNNING));

    EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Stop, true, nullptr),
              ServiceResult::DependentServices);
    const auto lines = log.LinesWith(Said(L"Failed to stop service '%ls'.", main.Name()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, SLogLevel::Error);
    EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040795u);
    EXPECT_EQ(main.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(StopWithDependents, WithoutAListTheRefusalIsReturnedUnexamined)
{
    script.ListDependents(main.Name(), {first.Name()});
    SServiceStatus status;
    SResult result;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, nullptr), ServiceResult::DependentServices);
    EXPECT_EQ(script.EnumerationsSeen(main.Name()), 0);
    EXPECT_EQ(script.StopsSeen(main.Name()), 1);
    EXPECT_EQ(first.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(StopWithDependents, ADependentThatCannotBeStoppedEndsTheStop)
{
    const std::wstring missing = TestService::UniqueName(L"vanished_dependent");
    script.ListDependents(main.Name(), {missing, first.Name()});
    LogCapture log;
    SListT<SServiceEntry> stopped;
    SServiceStatus status;
    SResult result;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), ServiceResult::DependentServices);
    const auto lines = log.LinesWith(L"Failed to stop dependent service");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, Said(L"Failed to stop dependent service %ls.", missing));
    EXPECT_EQ(lines[0].level, SLogLevel::Error);
    EXPECT_EQ(static_cast<uint32_t>(lines[0].result), 0xA0040792u);
    // The dependents after the failing one are left alone.
    EXPECT_EQ(first.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(main.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

} // namespace
