#include "library/system/network/SMappedDrives.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using S::SMappedDrive;
using S::SMappedDrives;
using S::SPath;
using S::SResult;

namespace
{

void AddDrive(SMappedDrives& drives, const wchar_t* local, const wchar_t* remote)
{
    SMappedDrive drive;
    drive.m_LocalName.Assign(local);
    drive.m_RemoteName.Assign(remote);
    SResult result;
    ASSERT_EQ(drives.Add(result, drive), SResult(0));
}

std::wstring Text(const SPath& path)
{
    return {path.c_str(), path.GetLength()};
}

// Z: is \\srv\share, Y: is a share whose remote name ends in a backslash, P: makes "http:" a
// drive-letter candidate.
class MappedDrivesWithList : public testing::Test
{
protected:
    void SetUp() override
    {
        AddDrive(m_Drives, L"Z:", L"\\\\srv\\share");
        AddDrive(m_Drives, L"Y:", L"\\\\srv\\b\\");
        AddDrive(m_Drives, L"p:", L"\\\\srv\\p");
        ASSERT_EQ(S::GetThreadMappedDrives(), nullptr) << "every thread starts without a current list";
        S::SetThreadMappedDrives(&m_Drives);
    }
    void TearDown() override { S::SetThreadMappedDrives(nullptr); }

    SMappedDrives m_Drives;
};

struct TranslationCase
{
    const wchar_t* input;
    const wchar_t* expected;
    BOOL translated;
};

} // namespace

TEST_F(MappedDrivesWithList, RewritesEveryMappedDriveLetterInTheText)
{
    const TranslationCase cases[] = {
        {L"Z:\\Fonts", L"\\\\srv\\share\\Fonts", TRUE},
        {L"Z:", L"\\\\srv\\share", TRUE},
        {L"Z:\\", L"\\\\srv\\share", TRUE},
        {L"z:\\fonts\\", L"\\\\srv\\share\\fonts\\", TRUE},
        // A remote name that ends in a backslash gets no second one.
        {L"Y:\\x", L"\\\\srv\\b\\x", TRUE},
        {L"Y:", L"\\\\srv\\b", TRUE},
        // Several letters in one text.
        {L"copy Z:\\x;Y:\\y P:\\b", L"copy \\\\srv\\share\\x;\\\\srv\\b\\y \\\\srv\\p\\b", TRUE},
        {L"X:\\a;Z:", L"X:\\a;\\\\srv\\share", TRUE},
        {L":Z:\\a", L":\\\\srv\\share\\a", TRUE},
        // Texts that stay as they are.
        {L"C:\\Windows\\Fonts", L"C:\\Windows\\Fonts", FALSE},
        {L"Z:foo", L"Z:foo", FALSE},
        {L"Z:/x", L"Z:/x", FALSE},
        {L"http://server/share", L"http://server/share", FALSE},
        {L"Z::", L"Z::", FALSE},
        {L"", L"", FALSE},
    };
    for (const TranslationCase& c : cases)
    {
        SPath output(L"stale");
        EXPECT_EQ(S::TranslateMappedDrives(SPath(c.input), output, nullptr), c.translated) << c.input;
        EXPECT_EQ(Text(output), c.expected) << c.input;
    }
}

// Switched off, an empty list, and another thread's list (each thread starts without one).
TEST_F(MappedDrivesWithList, WithoutACurrentListTheInputStays)
{
    SMappedDrives* seenByOther = &m_Drives;
    BOOL translatedByOther = TRUE;
    std::thread other(
        [&]
        {
            seenByOther = S::GetThreadMappedDrives();
            S::SetThreadMappedDrives(S::MappedDrivesOff());
            SPath output;
            translatedByOther = S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr);
        });
    other.join();
    EXPECT_EQ(seenByOther, nullptr);
    EXPECT_FALSE(translatedByOther);
    EXPECT_EQ(S::GetThreadMappedDrives(), &m_Drives);
    SMappedDrives none;
    for (SMappedDrives* current : {S::MappedDrivesOff(), &none})
    {
        S::SetThreadMappedDrives(current);
        SPath output;
        EXPECT_FALSE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr));
        EXPECT_EQ(Text(output), L"Z:\\Fonts");
    }
}

// Stock Wine has no network provider: the open fails and nothing is listed or translated. (A test
// process started while the test provider is registered has one; it skips this.)
TEST(MappedDrives, WithoutNetworkProviderNothingIsListedOrTranslated)
{
    if (GetModuleHandleW(L"TestNetworkProvider.dll") != nullptr)
        GTEST_SKIP() << "a network provider is loaded";
    SMappedDrives drives;
    EXPECT_FALSE(drives.Refresh(nullptr));
    EXPECT_EQ(drives.GetCount(), 0u);
    SPath output;
    EXPECT_FALSE(S::TranslateMappedDrives(SPath(L"Z:\\Fonts"), output, nullptr));
    EXPECT_EQ(Text(output), L"Z:\\Fonts");
}
