#include "library/system/profile/SUserEnvironment.h"

#include "library/system/SHandle.h"
#include "library/system/file/SFile.h"
#include "library/system/network/SMappedDrives.h"
#include "library/system/profile/ProfileSource.h"

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

// Doubles the buffer for as long as it is too small.
void ExpandForToken(IProfileSource& source, const SString& text, SBufferT<wchar_t>& buffer, HANDLE token)
{
    for (;;)
    {
        const SResult answer = source.ExpandForUser(token, text.c_str(), buffer.GetData(), buffer.GetCount());
        if (answer.Succeeded())
            return;
        SResult resized;
        if (answer != kResultInsufficientBuffer || buffer.GetCount() > 0x7FFFFFFFu / 2 ||
            buffer.Resize(resized, buffer.GetCount() * 2, false).Failed())
            return Release(buffer);
    }
}

void ExpandForProcess(IProfileSource& source, const SString& text, SBufferT<wchar_t>& buffer)
{
    DWORD needed = 0;
    SResult result = source.ExpandForProcess(text.c_str(), buffer.GetData(), buffer.GetCount(), needed);
    if (result.Succeeded() && needed > buffer.GetCount())
    {
        if (buffer.Resize(result, needed + ExtraChars, false).Failed())
            return Release(buffer);
        result = source.ExpandForProcess(text.c_str(), buffer.GetData(), buffer.GetCount(), needed);
    }
    if (result.Failed() || needed == 0 || needed > buffer.GetCount())
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
    IProfileSource& profileSource = CurrentProfileSource();
    if (userToken != nullptr)
        ExpandForToken(profileSource, source, buffer, userToken);
    else
        ExpandForProcess(profileSource, source, buffer);
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

bool ExpandedFileExists(const SPath& path, bool* isDirectory)
{
    SPath expanded = path;
    if (path.Find(L'%') != SNpos)
    {
        SString text;
        if (ExpandEnvironmentForUser(path, text, nullptr))
            expanded = text;
    }
    return FileExists(expanded, isDirectory);
}

} // namespace S
