// Descriptions of the exception family built from exception records.
#include "library/diagnostics/crash/SWin32Exception.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(SWin32Exception, TranslatedRecordsAreDescribedByCodeAndAccessKindCutAt128)
{
    const std::string av = "0xc0000005 (ACCESS_VIOLATION) at address 0x00401000. Unable to ";
    const std::string inPage = "0xc0000006 (IN_PAGE_ERROR) at address 0x12345678. Unable to read location: "
                               "0x00000010. [NTSTATUS code = 0xc000009c]"; // cut at 128 with the prefix
    // Code, address, parameters, the description after "Win32 Exception ".
    const std::tuple<DWORD, uintptr_t, std::vector<ULONG_PTR>, std::string> cases[] = {
        {0xC0000094u, 0x7FF612345678u, {}, "0xc0000094 (INT_DIVIDE_BY_ZERO) at address 0x12345678."},
        {0xE0401234u, 0x1000u, {7}, "0xe0401234 at address 0x00001000."},
        {0xC0000005u, 0x401000u, {8, 0xFFFF0000DEADBEEFu}, av + "execute location: 0xdeadbeef."},
        {0xC0000005u, 0x401000u, {}, av + "read location: 0x00000000."},
        {0xC0000006u, 0x12345678u, {0, 0x10, 0xC000009Cu}, inPage},
    };
    for (const auto& [code, address, parameters, description] : cases)
    {
        SCOPED_TRACE(description);
        EXCEPTION_RECORD record{
            code, 0, nullptr, reinterpret_cast<void*>(address), static_cast<DWORD>(parameters.size()), {}};
        std::copy(parameters.begin(), parameters.end(), record.ExceptionInformation);
        CONTEXT context{};
        EXCEPTION_POINTERS pointers{&record, &context};
        const std::string expected = ("Win32 Exception " + description).substr(0, 128);
        try
        {
            S::SWin32Exception::ExceptionTranslator(code, &pointers);
            ADD_FAILURE() << "returned";
        }
        catch (const S::SWin32Exception& e)
        {
            EXPECT_EQ(std::wstring(e.GetDescription()) + L"|" + std::to_wstring(e.Unsigned()),
                      std::wstring(expected.begin(), expected.end()) + L"|" + std::to_wstring(code));
            EXPECT_EQ(e.what(), expected);
        }
    }
}
