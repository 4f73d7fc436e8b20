// The exception family in this process: descriptions built from records, and the translator that
// turns faults into thrown members of the family.
#include "diagnostics/Faults.h"
#include "library/diagnostics/SSeTranslator.h"
#include "library/diagnostics/SWin32Exception.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{

// An exception record and context as the system would hand them over.
struct FakeException
{
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};

    FakeException(DWORD code, uintptr_t address, const std::vector<ULONG_PTR>& parameters)
    {
        record.ExceptionCode = code;
        record.ExceptionAddress = reinterpret_cast<void*>(address);
        for (ULONG_PTR p : parameters)
            record.ExceptionInformation[record.NumberParameters++] = p;
        context.Rip = address;
    }
};

std::string Narrow(const wchar_t* text)
{
    return std::string(text, text + wcslen(text));
}

} // namespace

TEST(SWin32Exception, CodeNamesCoverTheTableEndsAndUnlistedCodesAreUnknown)
{
    EXPECT_STREQ(S::SWin32Exception::GetCodeName(0x80000001u), "GUARD_PAGE");
    EXPECT_STREQ(S::SWin32Exception::GetCodeName(0xC00000FDu), "STACK_OVERFLOW");
    for (DWORD code : {0u, 0x40000015u, 0xC0000007u, 0xC00000FCu, 0xE06D7363u})
        EXPECT_STREQ(S::SWin32Exception::GetCodeName(code), "<Unknown Win32 exception>") << std::hex << code;
}

TEST(SWin32Exception, DescriptionsFollowCodeAccessKindAndAreCutAt128)
{
    const std::string av = "Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x00401000. Unable to ";
    const std::string inPage =
        "Win32 Exception 0xc0000006 (IN_PAGE_ERROR) at address 0x12345678. Unable to read "
        "location: 0x00000010. [NTSTATUS code = 0xc000009c]";
    struct Case
    {
        DWORD code;
        uintptr_t address;
        std::vector<ULONG_PTR> parameters;
        std::string description;
    };
    const std::vector<Case> cases = {
        {0xC0000094u,
         0x7FF612345678u,
         {},
         "Win32 Exception 0xc0000094 (INT_DIVIDE_BY_ZERO) at address 0x12345678."},
        {0xE0401234u, 0x1000u, {7}, "Win32 Exception 0xe0401234 at address 0x00001000."},
        {0xC0000005u, 0x401000u, {1, 0x10}, av + "write location: 0x00000010."},
        {0xC0000005u, 0x401000u, {0, 0}, av + "read location: 0x00000000."},
        {0xC0000005u, 0x401000u, {8, 0xFFFF0000DEADBEEFu}, av + "execute location: 0xdeadbeef."},
        {0xC0000005u, 0x401000u, {2, 0x20}, av + "access location: 0x00000020."},
        {0xC0000005u, 0x401000u, {}, av + "read location: 0x00000000."},
        {0xC0000006u, 0x12345678u, {0, 0x10, 0xC000009Cu}, inPage.substr(0, 128)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.description);
        FakeException fake(c.code, c.address, c.parameters);
        std::unique_ptr<S::SWin32Exception> e;
        if (c.code == 0xC0000005u)
            e = std::make_unique<S::SWin32AccessViolation>(&fake.pointers);
        else if (c.code == 0xC0000006u)
            e = std::make_unique<S::SWin32InPageError>(&fake.pointers);
        else
            e = std::make_unique<S::SWin32Exception>(&fake.pointers);
        EXPECT_EQ(Narrow(e->GetDescription()), c.description);
        EXPECT_EQ(std::string(e->what()), c.description);
        EXPECT_EQ(e->Unsigned(), c.code);
    }
}

TEST(SWin32Exception, CopiedRecordsOutliveTheSystemsAndStageTextIsPerThread)
{
    auto fake = std::make_unique<FakeException>(0xC0000005u, 0x1234u, std::vector<ULONG_PTR>{1, 0x10});
    const S::SWin32AccessViolation borrowed(&fake->pointers);
    EXPECT_EQ(borrowed.GetExceptionPointers()->ExceptionRecord, &fake->record);
    auto copied =
        std::make_unique<S::SWin32AccessViolation>(&fake->pointers, S::SWin32Exception::Records::Copied);
    const S::SWin32AccessViolation copyOfCopy = *copied;
    copied.reset();
    fake.reset();
    const EXCEPTION_POINTERS* pointers = copyOfCopy.GetExceptionPointers();
    EXPECT_EQ(pointers->ExceptionRecord->ExceptionInformation[1], 0x10u);
    EXPECT_EQ(pointers->ContextRecord->Rip, 0x1234u);

    S::SWin32Exception::SetThreadStage(L"TST");
    const wchar_t* seen = L"unset";
    std::thread([&] { seen = S::SWin32Exception::GetThreadStage(); }).join();
    EXPECT_EQ(seen, nullptr);
    SetLastError(4321);
    EXPECT_STREQ(S::SWin32Exception::GetThreadStage(), L"TST");
    EXPECT_EQ(GetLastError(), 4321u); // reading the stage leaves the last error for the report
    S::SWin32Exception::SetThreadStage(nullptr);
}

TEST(SWin32Exception, TranslatorIsPerThreadAndThrowsTheClassThatFitsTheFault)
{
    EXPECT_EQ(S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator), nullptr);
    S::SSeTranslatorFunction onOtherThread = &S::SWin32Exception::ExceptionTranslator;
    std::thread([&] { onOtherThread = S::GetSeTranslator(); }).join();
    EXPECT_EQ(onOtherThread, nullptr);

    struct Case
    {
        const char* className;
        DWORD code;
        void (*fault)();
        const void* function; // where the faulting instruction lies; null for a raised exception
    };
    const Case cases[] = {
        {"SWin32AccessViolation", 0xC0000005u, [] { Faults::WriteTo(reinterpret_cast<int*>(0x10)); },
         reinterpret_cast<const void*>(&Faults::WriteTo)},
        {"SWin32InPageError", 0xC0000006u,
         []
         {
             const ULONG_PTR parameters[3] = {0, 0x2000, 0xC000009Cu};
             RaiseException(0xC0000006u, 0, 3, parameters);
         },
         nullptr},
        {"SWin32Exception", 0xC0000094u, [] { Faults::Divide(1, 0); },
         reinterpret_cast<const void*>(&Faults::Divide)},
        {"SWin32Exception", 0xC000001Du, &Faults::IllegalInstruction,
         reinterpret_cast<const void*>(&Faults::IllegalInstruction)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.className);
        std::string caughtAs;
        const auto check = [&](const S::SWin32Exception& e, const char* clause)
        {
            caughtAs = clause;
            EXPECT_STREQ(e.GetClassName(), clause);
            EXPECT_EQ(e.Unsigned(), c.code);
            // Stack use after the catch must not disturb the exception's records.
            volatile char scratch[8192];
            for (size_t i = 0; i < sizeof scratch; ++i)
                scratch[i] = static_cast<char>(0xA5);
            const EXCEPTION_POINTERS* pointers = e.GetExceptionPointers();
            const auto address = reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress);
            if (c.function == nullptr)
                return;
            EXPECT_EQ(pointers->ContextRecord->Rip, address);
            const auto start = reinterpret_cast<uintptr_t>(c.function);
            EXPECT_GE(address, start);
            EXPECT_LT(address, start + 32);
        };
        try
        {
            c.fault();
        }
        catch (const S::SWin32InPageError& e)
        {
            check(e, "SWin32InPageError");
            EXPECT_EQ(e.GetExceptionPointers()->ExceptionRecord->ExceptionInformation[2], 0xC000009Cu);
        }
        catch (const S::SWin32AccessViolation& e)
        {
            check(e, "SWin32AccessViolation");
            EXPECT_EQ(e.GetExceptionPointers()->ExceptionRecord->ExceptionInformation[0], 1u);
            EXPECT_EQ(e.GetExceptionPointers()->ExceptionRecord->ExceptionInformation[1], 0x10u);
        }
        catch (const S::SWin32Exception& e)
        {
            check(e, "SWin32Exception");
        }
        EXPECT_EQ(caughtAs, c.className);
    }
    EXPECT_EQ(S::SetSeTranslator(nullptr), &S::SWin32Exception::ExceptionTranslator);
}
