// Stopping a service whose running dependents keep it from stopping, and restarting it.
// Wine's control manager ignores dependencies: a service with running dependents just stops, and
// the dependents enumeration always answers none. So the script plays Windows' part: the stop is
// refused with ERROR_DEPENDENT_SERVICES_RUNNING while a dependent is active, and the enumeration
// lists the dependents (or is left to Wine). Every service involved is real.
#include "ServiceTestKit.h"

#include "library/system/service/ServiceControl.h"

#include <gtest/gtest.h>

using namespace S;
using STest::LogCapture;
using STest::Said;
using STest::TestService;

namespace
{

using Lines = std::vector<std::wstring>;

class StopWithDependents : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(main.Registered() && main.Start());
        ASSERT_TRUE(first.Registered() && first.Start());
        ASSERT_TRUE(paused.Registered() && paused.Start(SERVICE_PAUSED));
        script.HoldForDependents(main.Name(), {first.Name(), paused.Name()});
    }

    Lines Stopped(const SListT<SServiceEntry>& list)
    {
        Lines names;
        for (const SServiceEntry& entry : list.GetItems())
            names.push_back(entry.displayName == entry.name ? entry.name.c_str() : L"?");
        return names;
    }

    TestService main{L"main"};
    TestService first{L"first_dependent"};
    TestService paused{L"paused_dependent", L"--idle=paused"};
    STest::ServiceCallScript script;
    LogCapture log;
};

TEST_F(StopWithDependents, StopsTheDependentsFirstAndListsThoseThatWereRunning)
{
    script.ListDependents(main.Name(), {first.Name(), paused.Name()});
    SListT<SServiceEntry> stopped;
    stopped.PushBack({L"stale", L"stale", {}});
    SServiceStatus status;
    SResult result;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped).Code(), 0);
    // Both were stopped, waiting for each; only the running one is listed.
    EXPECT_EQ(Stopped(stopped), Lines{first.Name()});
    EXPECT_EQ(log.TextsWith(L"Successfully stopped"),
              (Lines{Said(L"Successfully stopped service '%ls'.", first.Name()),
                     Said(L"Successfully stopped service '%ls'.", paused.Name())}));
    EXPECT_TRUE(main.WaitForState(SERVICE_STOPPED));
    EXPECT_EQ(script.EnumerationsSeen(main.Name()), 1);
    EXPECT_EQ(script.StopsSeen(main.Name()), 2);
}

TEST_F(StopWithDependents, RestartStartsTheRunningDependentsAgainWithoutWaiting)
{
    script.ListDependents(main.Name(), {first.Name(), paused.Name()});
    const DWORD oldProcess = main.ProcessId();
    SResult result;
    EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Restart, true, nullptr).Code(), 0);
    EXPECT_EQ(main.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_NE(main.ProcessId(), oldProcess);
    Lines steps = log.TextsWith(L"service '");
    EXPECT_EQ(steps, (Lines{Said(L"Successfully stopped service '%ls'.", first.Name()),
                            Said(L"Successfully stopped service '%ls'.", paused.Name()),
                            Said(L"Successfully stopped service '%ls'.", main.Name()),
                            Said(L"Successfully started service '%ls'.", main.Name()),
                            Said(L"Sent start request to service '%ls'.", first.Name())}));
    EXPECT_TRUE(first.WaitForState(SERVICE_RUNNING));
    EXPECT_EQ(paused.State(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(StopWithDependents, WithWinesEnumerationOrWithoutAListTheRefusalStands)
{
    SListT<SServiceEntry> stopped;
    SServiceStatus status;
    SResult result;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, nullptr), ServiceResult::DependentServices);
    EXPECT_EQ(script.StopsSeen(main.Name()), 1);
    // Refused, asked Wine's enumeration (none), asked again and was refused again.
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), ServiceResult::DependentServices);
    EXPECT_EQ(stopped.GetCount(), 0u);
    EXPECT_EQ(script.StopsSeen(main.Name()), 3);
    EXPECT_EQ(ControlServiceByName(result, main.SName(), SServiceAction::Stop, true, nullptr),
              ServiceResult::DependentServices);
    const auto failed = log.With(Said(L"Failed to stop service '%ls'.", main.Name()));
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].level, SLogLevel::Error);
    EXPECT_EQ(static_cast<uint32_t>(failed[0].result), 0xA0040795u);
    EXPECT_EQ(main.State(), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(first.State(), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(StopWithDependents, ADependentThatCannotBeStoppedEndsTheStop)
{
    const std::wstring missing = TestService::UniqueName(L"vanished_dependent");
    script.ListDependents(main.Name(), {missing, first.Name()});
    SListT<SServiceEntry> stopped;
    SServiceStatus status;
    SResult result;
    EXPECT_EQ(main.Service().StopWithDependents(result, status, &stopped), ServiceResult::DependentServices);
    const auto failed = log.With(L"Failed to stop dependent");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].text, Said(L"Failed to stop dependent service %ls.", missing));
    EXPECT_EQ(failed[0].level, SLogLevel::Error);
    EXPECT_EQ(static_cast<uint32_t>(failed[0].result), 0xA0040792u);
    EXPECT_EQ(first.State(), static_cast<DWORD>(SERVICE_RUNNING)); // the later ones are left alone
}

} // namespace
