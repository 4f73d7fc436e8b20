// The exception family in this process: names, descriptions and fields built from records, and
// the translator that throws them.
#include "diagnostics/ThreadDebugOutput.h"
#include "diagnostics/Faults.h"
#include "library/diagnostics/SSeTranslator.h"
#include "library/diagnostics/SWin32Exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
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
    std::string narrow;
    for (; *text != L'\0'; ++text)
        narrow += static_cast<char>(*text);
    return narrow;
}

} // namespace

TEST(SWin32Exception, CodeNamesCoverTheTableEndsAndUnlistedCodesAreUnknown)
{
    EXPECT_STREQ(S::SWin32Exception::GetCodeName(0x80000001u), "GUARD_PAGE");
    EXPECT_STREQ(S::SWin32Exception::GetCodeName(0xC000008Eu), "FLT_DIVIDE_BY_ZERO");
    EXPECT_STREQ(S::SWin32Exception::GetCodeName(0xC00000FDu), "STACK_OVERFLOW");
    for (DWORD code : {0u, 0x40000015u, 0x80000005u, 0xC0000007u, 0xC00000FCu, 0xE06D7363u})
        EXPECT_STREQ(S::SWin32Exception::GetCodeName(code), "<Unknown Win32 exception>") << std::hex << code;
}

TEST(SWin32Exception, DescriptionsFollowCodeAccessKindAndAreCutAt128)
{
    enum class Kind
    {
        Plain,
        AccessViolation,
        InPage
    };
    struct Case
    {
        Kind kind;
        DWORD code;
        uintptr_t address;
        std::vector<ULONG_PTR> parameters;
        std::string className;
        std::string description;
    };
    const std::string inPageFull =
        "Win32 Exception 0xc0000006 (IN_PAGE_ERROR) at address 0x12345678. Unable to read "
        "location: 0x00000010. [NTSTATUS code = 0xc000009c]";
    ASSERT_GT(inPageFull.size(), 128u);
    const std::vector<Case> cases = {
        {Kind::Plain,
         0xC0000094u,
         0x7FF612345678u,
         {},
         "SWin32Exception",
         "Win32 Exception 0xc0000094 (INT_DIVIDE_BY_ZERO) at address 0x12345678."},
        {Kind::Plain,
         0xE0401234u,
         0x1000u,
         {7},
         "SWin32Exception",
         "Win32 Exception 0xe0401234 at address 0x00001000."},
        {Kind::AccessViolation,
         0xC0000005u,
         0x401000u,
         {1, 0x10},
         "SWin32AccessViolation",
         "Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x00401000. Unable to write location: "
         "0x00000010."},
        {Kind::AccessViolation,
         0xC0000005u,
         0x401000u,
         {0, 0},
         "SWin32AccessViolation",
         "Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x00401000. Unable to read location: "
         "0x00000000."},
        {Kind::AccessViolation,
         0xC0000005u,
         0x401000u,
         {8, 0xFFFF0000DEADBEEFu},
         "SWin32AccessViolation",
         "Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x00401000. Unable to execute location: "
         "0xdeadbeef."},
        {Kind::AccessViolation,
         0xC0000005u,
         0x401000u,
         {2, 0x20},
         "SWin32AccessViolation",
         "Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x00401000. Unable to access location: "
         "0x00000020."},
        {Kind::AccessViolation,
         0xC0000005u,
         0x401000u,
         {},
         "SWin32AccessViolation",
         "Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x00401000. Unable to read location: "
         "0x00000000."},
        {Kind::InPage,
         0xC0000006u,
         0x12345678u,
         {0, 0x10, 0xC000009Cu},
         "SWin32InPageError",
         inPageFull.substr(0, 128)},
        // A class built for another code still describes the record's own code.
        {Kind::AccessViolation,
         0xC0000094u,
         0x10u,
         {1, 0x10},
         "SWin32AccessViolation",
         "Win32 Exception 0xc0000094 (INT_DIVIDE_BY_ZERO) at address 0x00000010. Unable to write location: "
         "0x00000010."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.description);
        FakeException fake(c.code, c.address, c.parameters);
        std::unique_ptr<S::SWin32Exception> e;
        switch (c.kind)
        {
        case Kind::Plain:
            e = std::make_unique<S::SWin32Exception>(&fake.pointers);
            break;
        case Kind::AccessViolation:
            e = std::make_unique<S::SWin32AccessViolation>(&fake.pointers);
            break;
        case Kind::InPage:
            e = std::make_unique<S::SWin32InPageError>(&fake.pointers);
            break;
        }
        EXPECT_EQ(Narrow(e->GetDescription()), c.description);
        EXPECT_EQ(e->GetClassName(), c.className);
        EXPECT_EQ(e->Unsigned(), c.code);
        EXPECT_EQ(e->GetCodeName(), std::string(S::SWin32Exception::GetCodeName(c.code)));
        // The message, and so what(), is the description.
        EXPECT_EQ(std::string(e->what()), c.description);
        EXPECT_EQ(std::string(e->GetMessage()), c.description);
        EXPECT_STREQ(e->GetPlace(), "");
        EXPECT_EQ(e->GetLine(), 0u);
    }
}

TEST(SWin32Exception, BorrowedRecordsAreTheSystemsAndCopiedOnesOutliveThem)
{
    auto fake = std::make_unique<FakeException>(0xC0000005u, 0x1234u, std::vector<ULONG_PTR>{1, 0x10});
    const S::SWin32AccessViolation borrowed(&fake->pointers);
    EXPECT_EQ(borrowed.GetExceptionPointers()->ExceptionRecord, &fake->record);
    EXPECT_EQ(borrowed.GetExceptionPointers()->ContextRecord, &fake->context);

    std::unique_ptr<S::SWin32AccessViolation> copied =
        std::make_unique<S::SWin32AccessViolation>(&fake->pointers, S::SWin32Exception::Records::Copied);
    EXPECT_NE(copied->GetExceptionPointers()->ExceptionRecord, &fake->record);
    const S::SWin32AccessViolation copyOfCopy = *copied;
    copied.reset();
    fake.reset();
    const EXCEPTION_POINTERS* pointers = copyOfCopy.GetExceptionPointers();
    EXPECT_EQ(pointers->ExceptionRecord->ExceptionCode, 0xC0000005u);
    EXPECT_EQ(pointers->ExceptionRecord->ExceptionInformation[1], 0x10u);
    EXPECT_EQ(pointers->ExceptionRecord->ExceptionRecord, nullptr);
    EXPECT_EQ(pointers->ContextRecord->Rip, 0x1234u);
    EXPECT_STREQ(copyOfCopy.GetClassName(), "SWin32AccessViolation");
}

TEST(SWin32Exception, TranslatorThrowsTheClassThatFitsTheCodeAndAnnouncesIt)
{
    const S::SSeTranslatorFunction previous = S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
    struct Case
    {
        const char* className;
        DWORD code;
        void (*fault)();
    };
    const Case cases[] = {
        {"SWin32AccessViolation", 0xC0000005u, [] { Faults::WriteTo(reinterpret_cast<int*>(0x10)); }},
        {"SWin32InPageError", 0xC0000006u,
         []
         {
             const ULONG_PTR parameters[3] = {0, 0x2000, 0xC000009Cu};
             RaiseException(0xC0000006u, 0, 3, parameters);
         }},
        {"SWin32Exception", 0xC0000094u, [] { Faults::Divide(1, 0); }},
        {"SWin32Exception", 0xC000001Du, &Faults::IllegalInstruction},
        {"SWin32Exception", 0xE0401234u, [] { RaiseException(0xE0401234u, 0, 0, nullptr); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.className);
        ThreadDebugOutput capture;
        std::string caughtAs;
        try
        {
            try
            {
                c.fault();
            }
            catch (const S::SWin32InPageError& e)
            {
                caughtAs = e.GetClassName();
                EXPECT_EQ(e.GetExceptionPointers()->ExceptionRecord->ExceptionInformation[2], 0xC000009Cu);
                throw;
            }
            catch (const S::SWin32AccessViolation& e)
            {
                caughtAs = e.GetClassName();
                throw;
            }
            catch (const S::SWin32Exception& e)
            {
                caughtAs = e.GetClassName();
                throw;
            }
        }
        catch (const std::exception& e)
        {
            // Every member of the family is also an SException and a standard exception.
            const auto* family = dynamic_cast<const S::SException*>(&e);
            ASSERT_NE(family, nullptr);
            EXPECT_EQ(family->Unsigned(), c.code);
            EXPECT_EQ(std::string(e.what()), family->GetMessage());
        }
        EXPECT_EQ(caughtAs, c.className);

        char expected[160];
        std::snprintf(
            expected, sizeof expected,
            "SWin32Exception::ExceptionTranslator called. Pid: 0x%08lx. Tid: 0x%08lx. Code: 0x%08lx.\n",
            GetCurrentProcessId(), GetCurrentThreadId(), c.code);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{expected});
    }
    S::SetSeTranslator(previous);
}

TEST(SWin32Exception, TranslatedExceptionKeepsTheFaultsRecordAndContext)
{
    const S::SSeTranslatorFunction previous = S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
    try
    {
        Faults::WriteTo(reinterpret_cast<int*>(0x10));
        ADD_FAILURE() << "no exception";
    }
    catch (const S::SWin32AccessViolation& e)
    {
        // Stack use after the catch must not disturb the exception's records.
        volatile char scratch[8192];
        for (size_t i = 0; i < sizeof scratch; ++i)
            scratch[i] = static_cast<char>(0xA5);
        const EXCEPTION_POINTERS* pointers = e.GetExceptionPointers();
        const auto function = reinterpret_cast<uintptr_t>(&Faults::WriteTo);
        const auto address = reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress);
        EXPECT_GE(address, function);
        EXPECT_LT(address, function + 32);
        EXPECT_EQ(pointers->ContextRecord->Rip, address);
        EXPECT_EQ(pointers->ExceptionRecord->NumberParameters, 2u);
        EXPECT_EQ(pointers->ExceptionRecord->ExceptionInformation[0], 1u);
        EXPECT_EQ(pointers->ExceptionRecord->ExceptionInformation[1], 0x10u);
    }
    S::SetSeTranslator(previous);
}

TEST(SWin32Exception, StageTextBelongsToTheCallingThread)
{
    EXPECT_EQ(S::SWin32Exception::GetThreadStage(), nullptr);
    S::SWin32Exception::SetThreadStage(L"TST");
    const wchar_t* seen = L"unset";
    std::thread([&] { seen = S::SWin32Exception::GetThreadStage(); }).join();
    EXPECT_EQ(seen, nullptr);
    SetLastError(4321);
    EXPECT_STREQ(S::SWin32Exception::GetThreadStage(), L"TST");
    EXPECT_EQ(GetLastError(), 4321u); // reading the stage leaves the last error for the report
    S::SWin32Exception::SetThreadStage(nullptr);
    EXPECT_EQ(S::SWin32Exception::GetThreadStage(), nullptr);
}
