// The owner template: each real resource is closed once, values that mean "none" never are, moves
// hand the resource over, and a close leaves the thread's last error as it found it.
#include "library/system/SHandle.h"

#include <gtest/gtest.h>

#include <utility>

using namespace S;

namespace
{

struct
{
    int count = 0;
    int last = 0;
} g_Closes;

// 0 and -1 both mean "none", as for kernel handles. The close sets a last error of its own, as a
// failing system close would.
struct CountingPolicy
{
    using Type = int;
    static constexpr bool kCounted = false;
    static constexpr int Empty() noexcept { return 0; }
    static bool IsValid(int resource) noexcept { return resource != 0 && resource != -1; }
    static void Close(int resource) noexcept
    {
        ++g_Closes.count;
        g_Closes.last = resource;
        SetLastError(ERROR_INVALID_HANDLE);
    }
};
using Owner = SUniqueResource<CountingPolicy>;

} // namespace

TEST(SUniqueResource, ClosesEachRealResourceOnceAndKeepsTheLastError)
{
    struct Case
    {
        const char* name;
        int start;
        void (*step)(Owner&);
        int held; // after the step
        int closes;
        int lastClosed;
    };
    const Case cases[] = {
        {"destructor", 7, [](Owner&) {}, 7, 1, 7},
        {"empty", 0, [](Owner&) {}, 0, 0, 0},
        {"-1 is never closed", -1, [](Owner&) {}, -1, 0, 0},
        {"reset over -1", -1, [](Owner& owner) { owner.Reset(5); }, 5, 1, 5},
        {"reset replaces", 3, [](Owner& owner) { owner.Reset(4); }, 4, 2, 4},
        {"reset to the same value", 3, [](Owner& owner) { owner.Reset(3); }, 3, 1, 3},
        {"put closes first", 3, [](Owner& owner) { *owner.Put() = 9; }, 9, 2, 9},
        {"detach", 3, [](Owner& owner) { EXPECT_EQ(owner.Detach(), 3); }, 0, 0, 0},
        {"move out", 3, [](Owner& owner) { const Owner taken(std::move(owner)); }, 0, 1, 3},
        {"move over", 3, [](Owner& owner) { owner = Owner(4); }, 4, 2, 4},
        {"move over -1", -1, [](Owner& owner) { owner = Owner(4); }, 4, 1, 4},
    };
    for (const Case& test : cases)
    {
        g_Closes = {};
        SetLastError(ERROR_FILE_NOT_FOUND);
        {
            Owner owner(test.start);
            test.step(owner);
            EXPECT_EQ(owner.Get(), test.held) << test.name;
        }
        EXPECT_EQ(g_Closes.count, test.closes) << test.name;
        EXPECT_EQ(g_Closes.last, test.lastClosed) << test.name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << test.name;
    }
}
