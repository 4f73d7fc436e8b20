#include "common/ProcessRunner.h"
#include "common/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

// Wine shows a program the Windows version named under its AppDefaults key from its next start on.
TEST(OSVersionLive, DetectionSeesTheVersionWinePresents)
{
    const wchar_t* const key = L"Software\\Wine\\AppDefaults\\osversion_probe.exe";
    // Reported and true version, true service pack, platform code, product type, architecture of
    // the process and the machine: classified platform, version bit, revision, older than Vista.
    const std::pair<const wchar_t*, const char*> cases[] = {
        {nullptr, "6.1 6.1.7601 sp1 platform4 type1 arch6/6: 1 0x20 0x40000 0"}, // the prefix's Windows 7
        {L"winxp", "5.1 5.1.2600 sp3 platform4 type1 arch6/6: 1 0x2 0x80 1"},
        {L"vista", "6.0 6.0.6002 sp2 platform4 type1 arch6/6: 1 0x8 0x2000 0"},
        // A program without a compatibility manifest is told 6.2 by Windows 10.
        {L"win10", "6.2 10.0.18362 sp0 platform4 type1 arch6/6: 1 0x800 0 0"},
    };
    for (const auto& [version, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << "presented as " << (version != nullptr ? version : L"default"));
        if (version != nullptr)
            STest::RegistrySandbox::SetString(HKEY_CURRENT_USER, key, L"Version", version);
        const STest::ProcessResult probe =
            STest::RunProcess(STest::Quote(STest::BinFolder() + L"osversion_probe.exe"), 10'000);
        RegDeleteTreeW(HKEY_CURRENT_USER, key);
        EXPECT_EQ(probe.exitCode, 0u);
        EXPECT_EQ(probe.output, expected);
    }
}
