#include "library/system/profile/SUserEnvironment.h"

#include "library/system/SHandle.h"
#include "library/system/network/SMappedDrives.h"

#include <userenv.h>

namespace S
{

namespace
{

constexpr unsigned DefaultBufferChars = MAX_PATH;
constexpr unsigned ExtraChars = 32;

void Release(SBufferT<wchar_t>& buffer) noexcept
{
    buffer = SBufferT<wchar_t>{};
}

// Wine answers a buffer that is too small with the size it needs (nonzero) and a cut text instead
// of failing; a nonzero answer larger than the buffer therefore counts as a buffer too small.
bool ExpandedIntoBuffer(const SString& source, SBufferT<wchar_t>& buffer, HANDLE token)
{
    const BOOL answer =
        ExpandEnvironmentStringsForUserW(token, source.c_str(), buffer.GetData(), buffer.GetCount());
    if (answer != FALSE && static_cast<DWORD>(answer) > buffer.GetCount())
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return answer != FALSE && static_cast<DWORD>(answer) <= buffer.GetCount();
}

void ExpandForToken(const SString& source, SBufferT<wchar_t>& buffer, HANDLE token)
{
    SResult result;
    while (!ExpandedIntoBuffer(source, buffer, token))
    {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.GetCount() > 0x7FFFFFFFu / 2 ||
            buffer.Resize(result, buffer.GetCount() * 2, false).Failed())
        {
            Release(buffer);
            return;
        }
    }
}

void ExpandForProcess(const SString& source, SBufferT<wchar_t>& buffer)
{
    DWORD needed = ExpandEnvironmentStringsW(source.c_str(), buffer.GetData(), buffer.GetCount());
    if (needed > buffer.GetCount())
    {
        SResult result;
        if (buffer.Resize(result, needed + ExtraChars, false).Failed())
            return Release(buffer);
        needed = ExpandEnvironmentStringsW(source.c_str(), buffer.GetData(), buffer.GetCount());
    }
    if (needed == 0 || needed > buffer.GetCount())
        Release(buffer);
}

} // namespace

BOOL ExpandEnvironmentForUser(const SString& source, SBufferT<wchar_t>& buffer, SString& output, HANDLE token)
{
    output.Clear();
    if (source.IsEmpty())
        return TRUE;
    SResult result;
    if (buffer.GetCount() == 0 && buffer.Resize(result, DefaultBufferChars, false).Failed())
        return FALSE;

    const HANDLE userToken = SHandle::IsValid(token) ? token : nullptr;
    if (userToken != nullptr)
        ExpandForToken(source, buffer, userToken);
    else
        ExpandForProcess(source, buffer);
    if (buffer.GetCount() == 0)
        return FALSE;
    output.AssignNative(buffer.GetData(), wcsnlen(buffer.GetData(), buffer.GetCount()));

    SPath translated;
    TranslateMappedDrives(SPath(output), translated, userToken);
    output.Assign(translated);
    return TRUE;
}

BOOL ExpandEnvironmentForUser(const SString& source, SString& output, HANDLE token)
{
    SBufferT<wchar_t> buffer;
    return ExpandEnvironmentForUser(source, buffer, output, token);
}

} // namespace S
