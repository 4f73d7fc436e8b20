#include "library/system/profile/SUserEnvironment.h"

#include "system/profile/RecordedProfileSource.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace STest;

// With a token: the user expansion, its buffer doubled while it is too small, any other failure
// releasing it. Without one: the process expansion, retried once with the needed size and 32 more.
// Every expansion then has its mapped drive letters rewritten.
TEST(UserEnvironment, ExpansionForUserAndProcess)
{
    const S::SHandle caller = STest::DuplicateProcessToken();
    const HANDLE own = caller.Get(), invalid = INVALID_HANDLE_VALUE;
    const std::wstring big(299, L'p'), bigger(399, L'p');
    using Row = std::tuple<const wchar_t*, HANDLE, unsigned, std::deque<Answer>, std::wstring, std::wstring,
                           unsigned>;
    // clang-format off
    const Row rows[] = {
        {L"", own, 0, {}, L"", L"", 0},
        {L"%A%", own, 0, {{0, L"M:\\a"}}, L"user 260@c", L"\\\\srv\\share\\a", 260},
        {L"%A%", own, 0, {{TooSmall, L""}, {TooSmall, L""}, {0, L"C:\\a"}},
         L"user 260@c|user 520@c|user 1040@c", L"C:\\a", 1040},
        {L"%A%", own, 100, {{TooSmall, L""}, {0, L"m:"}}, L"user 100@c|user 200@c", L"\\\\srv\\share", 200},
        {L"%A%", own, 0, {{TooSmall, L""}, {Denied, L"C:\\a"}}, L"user 260@c|user 520@c", L"", 0},
        {L"%A%", nullptr, 0, {{0, L"C:\\a;M:\\b"}}, L"process 260", L"C:\\a;\\\\srv\\share\\b", 260},
        {L"%A%", invalid, 0, {{0, big}, {0, big}}, L"process 260|process 332", big, 332},
        {L"%A%", nullptr, 0, {{0, big}, {0, bigger}}, L"process 260|process 332", L"", 0},
        {L"%A%", nullptr, 0, {{Fail, L""}}, L"process 260", L"", 0},
    };
    // clang-format on
    const MappedM mapped;
    for (const auto& [text, token, bufferChars, answers, calls, output, bufferAfter] : rows)
    {
        RecordedProfileSource source(answers, own);
        const S::SScopedForTesting scope(S::SetProfileSourceForTesting, &source);
        S::SBufferT<wchar_t> buffer;
        SResult result;
        buffer.Resize(result, bufferChars, false);
        SString out(L"stale");
        const BOOL expanded = S::ExpandEnvironmentForUser(SString(text), buffer, out, token);
        EXPECT_EQ(expanded, *text == 0 || bufferAfter != 0) << calls;
        EXPECT_EQ(Text(out), output) << calls;
        EXPECT_EQ(source.calls, calls);
        EXPECT_EQ(buffer.GetCount(), bufferAfter) << calls;
    }
}
