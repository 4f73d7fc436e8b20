#include "library/system/process/SEvent.h"

#include <gtest/gtest.h>

#include <regex>

using namespace S;

namespace
{

// The serial of a unique name "<base>::<8 hex digits>", or -1 when the form is wrong.
long long SerialOf(const SString& name, const std::wstring& base)
{
    const std::wstring text(name.c_str());
    return std::regex_match(text, std::wregex(base + L"::[0-9a-f]{8}"))
               ? std::stoll(text.substr(base.size() + 2), nullptr, 16)
               : -1;
}

} // namespace

TEST(SEvent, ResetModesUniqueNamesAndSharedObjects)
{
    SEvent first, second, anonymous, unnamed, autoReset, owner, again;
    SResult result;
    EXPECT_EQ(first.Set(result), kResultNoHandle);
    for (SEvent* event : {&first, &second})
        ASSERT_EQ(event->Create(result, SString(L"SyncTestEvent"), true, false, true, false, nullptr).Code(),
                  0);
    const long long a = SerialOf(first.GetName(), L"SyncTestEvent");
    ASSERT_GE(a, 0) << first.GetName().c_str();
    EXPECT_EQ(static_cast<uint32_t>(SerialOf(second.GetName(), L"SyncTestEvent") - a), 1u);
    ASSERT_EQ(anonymous.Create(result, SString(), true, false, true, false, nullptr).Code(), 0);
    EXPECT_EQ(static_cast<uint32_t>(SerialOf(anonymous.GetName(), L"ANONYMOUS") - a), 2u)
        << anonymous.GetName().c_str();
    ASSERT_EQ(unnamed.Create(result, SString(L"x"), true, true, true, false, nullptr).Code(), 0);
    EXPECT_TRUE(unnamed.GetName().IsEmpty()) << "unnamed wins over unique";

    // Manual reset stays signalled until reset; automatic reset lets one wait through.
    EXPECT_EQ(first.Set(result).Code(), 0);
    EXPECT_TRUE(first.IsSignaled() && first.IsSignaled());
    EXPECT_EQ(first.Reset(result).Code(), 0);
    EXPECT_FALSE(first.IsSignaled());
    ASSERT_EQ(autoReset.Create(result, SString(), false, true, false, true, nullptr).Code(), 0);
    EXPECT_TRUE(autoReset.IsSignaled());
    EXPECT_FALSE(autoReset.IsSignaled());

    // A plain name is used as given; a second creation reports that the object existed.
    const SString name((L"SyncTestEvent-" + std::to_wstring(GetCurrentProcessId())).c_str());
    ASSERT_EQ(owner.Create(result, name, false, false, true, false, nullptr).Code(), 0);
    EXPECT_EQ(owner.GetName(), name);
    EXPECT_EQ(again.Create(result, name, false, false, true, false, nullptr), kResultObjectExisted);
    // A failed open also drops a handle held before.
    EXPECT_EQ(first.Open(result, SString(L"SyncTestEvent-none"), SYNCHRONIZE, false), kResultCreateFailed);
    EXPECT_FALSE(first.IsValid());
}
