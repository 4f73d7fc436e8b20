// What the profile tests share: a recorded profile source and a mapped drive M: for a scope.
#pragma once

#include "library/system/network/SMappedDrives.h"
#include "library/system/profile/ProfileSource.h"
#include "library/utility/SScopedForTesting.h"

#include "common/TokenTestHelpers.h"

#include <deque>
#include <string>

namespace STest
{

using S::SResult;
using S::SString;

inline const auto Text = [](const SString& text) { return std::wstring(text.c_str(), text.GetLength()); };

// The account the process started as.
inline const std::wstring UserName = _wgetenv(L"USERNAME");

constexpr SResult Fail = S::kResultFail, BadArgument = S::kResultInvalidArgument,
                  Denied = S::kResultAccessDenied, TooSmall = S::kResultInsufficientBuffer,
                  Missing = S::kResultFunctionMissing;

struct Answer
{
    SResult result;
    std::wstring text;
};

// Answers each call with the next recorded answer and writes the call down, with "@c" for the
// caller's token and "@s" for another token of the process's user (the desktop shell's, here).
class RecordedProfileSource final : public S::IProfileSource
{
public:
    RecordedProfileSource(std::deque<Answer> answers, HANDLE caller, bool knownFolderLookup = true)
        : m_Answers(std::move(answers)), m_Caller(caller), m_KnownFolderLookup(knownFolderLookup)
    {
    }
    std::wstring calls;

    bool HasKnownFolderLookup() override { return m_KnownFolderLookup; }
    SResult KnownFolderPath(const GUID& id, DWORD flags, HANDLE token, SString& path) override
    {
        return Give(Call(token, L"known %08lX %X", id.Data1, unsigned(flags)), path);
    }
    SResult FolderPath(int csidl, HANDLE token, DWORD type, SString& path) override
    {
        return Give(Call(token, L"folder %d %u", csidl, unsigned(type)), path);
    }
    SResult UserProfileDirectory(HANDLE token, SString& path) override
    {
        return Give(Call(token, L"profile%s", L""), path);
    }
    SResult ExpandForUser(HANDLE token, const wchar_t*, wchar_t* buffer, DWORD size) override
    {
        const Answer answer = Call(token, L"user %u", unsigned(size));
        wcsncpy_s(buffer, size, answer.text.c_str(), _TRUNCATE);
        return answer.result;
    }
    // The answer's text stands for the expansion, and its size for the size needed.
    SResult ExpandForProcess(const wchar_t*, wchar_t* buffer, DWORD size, DWORD& needed) override
    {
        const Answer answer = Call(nullptr, L"process %u", unsigned(size));
        needed = DWORD(answer.text.size() + 1);
        if (needed <= size)
            wcscpy_s(buffer, size, answer.text.c_str());
        return answer.result;
    }

private:
    template <typename... Arguments> Answer Call(HANDLE token, const wchar_t* format, Arguments... arguments)
    {
        wchar_t call[64];
        swprintf(call, 64, format, arguments...);
        calls += (calls.empty() ? L"" : L"|") + std::wstring(call);
        if (token != nullptr)
            calls += token == m_Caller ? L"@c" : TokenUserSid(token) == ProcessUserSid() ? L"@s" : L"@?";
        const Answer answer = m_Answers.empty() ? Answer{0x8000FFFFu, L"no answer left"} : m_Answers.front();
        if (!m_Answers.empty())
            m_Answers.pop_front();
        return answer;
    }
    static SResult Give(const Answer& answer, SString& path)
    {
        path.AssignNative(answer.text.c_str());
        return answer.result;
    }

    std::deque<Answer> m_Answers;
    HANDLE m_Caller;
    bool m_KnownFolderLookup;
};

// A list of the thread's with M: mapped, for the scope: expansions are rewritten without Mpr.
struct MappedM
{
    S::SMappedDrives drives;
    MappedM()
    {
        SResult result;
        drives.Add(result, {S::SPath(L"M:"), S::SPath(L"\\\\srv\\share"), {}, {}});
        S::SetThreadMappedDrives(&drives);
    }
    ~MappedM() { S::SetThreadMappedDrives(nullptr); }
};

} // namespace STest
