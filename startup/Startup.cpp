#include "startup/Startup.h"

#include "fonts/FontRegistration.h"
#include "library/system/profile/SUserProfile.h"
#include "library/diagnostics/crash/SSeTranslator.h"
#include "library/diagnostics/crash/SWin32Exception.h"
#include "startup/Handoff.h"

#include <cwchar>

namespace S
{

bool RunShielded(void (*work)(void*), void* context) noexcept
{
    const SSeTranslatorFunction previous = SetSeTranslator(&SWin32Exception::ExceptionTranslator);
    bool completed = false;
    try
    {
        CallWithSeTranslation(work, context);
        completed = true;
    }
    catch (...)
    {
    }
    SetSeTranslator(previous);
    return completed;
}

uint32_t ParseSessionId(const SString& text)
{
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(begin, &end, 10);
    if (end == nullptr || *end != L'\0')
        return 0;
    return static_cast<uint32_t>(value);
}

int RunStartup()
{
    const uint32_t processId = GetCurrentProcessId();
    SString sessionText;
    if (!ReadHandoffValue(processId, SString(kHandoffSessionId), sessionText))
        return 0;
    SString applicationId;
    if (!ReadHandoffValue(processId, SString(kHandoffAppId), applicationId))
        return 0;
    struct Work
    {
        uint32_t sessionId;
        const SString& applicationId;
    } work{ParseSessionId(sessionText), applicationId};

    // Once both values are consumed the answer is 1, whatever the font job meets.
    RunShielded(
        [](void* context)
        {
            const auto& job = *static_cast<const Work*>(context);
            SString accountName;
            SString profileName;
            SString sidString;
            if (GetCurrentUserProfile(accountName, profileName, sidString))
                RegisterApplicationFonts(job.sessionId, profileName, job.applicationId, TRUE);
        },
        &work);
    return 1;
}

DWORD WINAPI StartupThreadProc(LPVOID /*unused*/)
{
    int result = 0;
    RunShielded([](void* out) { *static_cast<int*>(out) = RunStartup(); }, &result);
    return result != 0 ? 1 : 0;
}

} // namespace S
