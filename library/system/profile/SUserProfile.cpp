#include "library/system/profile/SUserProfile.h"

#include "library/system/SHandle.h"
#include "library/system/process/SSecurityIdentity.h"
#include "library/system/profile/ProfileSource.h"
#include "library/utility/SBuffer.h"

namespace S
{

namespace
{

SHandle OpenCallerToken()
{
    SHandle token;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_READ, TRUE, token.Put()))
        return token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.Put());
    return token;
}

// The token's TokenUser record; empty on failure.
SBufferT<unsigned char> ReadTokenUser(HANDLE token)
{
    SBufferT<unsigned char> buffer;
    SResult result;
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.Resize(result, size, false).Failed() ||
        !GetTokenInformation(token, TokenUser, buffer.GetData(), size, &size))
        buffer.Resize(result, 0, false);
    return buffer;
}

bool LookupAccountName(HANDLE token, SString& accountName)
{
    const SBufferT<unsigned char> user = ReadTokenUser(token);
    if (user.GetCount() == 0)
        return false;
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.GetData())->User.Sid;
    DWORD nameChars = 0;
    DWORD domainChars = 0;
    SID_NAME_USE use{};
    LookupAccountSidW(nullptr, sid, nullptr, &nameChars, nullptr, &domainChars, &use);
    if (nameChars == 0)
        return false;
    SBufferT<wchar_t> domain;
    SResult result;
    if (domain.Resize(result, domainChars + 1, false).Failed())
        return false;
    wchar_t* name = accountName.GetBuffer(nameChars);
    const bool found =
        LookupAccountSidW(nullptr, sid, name, &nameChars, domain.GetData(), &domainChars, &use);
    accountName.ReleaseBuffer(found ? SNpos : 0);
    return found;
}

} // namespace

BOOL GetCurrentUserProfile(SString& accountName, SString& profileName, SString& sidString)
{
    accountName.Clear();
    profileName.Clear();
    sidString.Clear();

    const SHandle token = OpenCallerToken();
    if (!token)
        return FALSE;
    if (GetTokenUserSidString(token.Get(), sidString).Failed() ||
        !LookupAccountName(token.Get(), accountName))
        return FALSE;

    SString directory;
    if (CurrentProfileSource().UserProfileDirectory(token.Get(), directory).Failed())
        return FALSE;
    const size_t separator = directory.ReverseFind(L'\\');
    if (separator != SNpos)
        profileName.AssignNative(directory.c_str() + separator + 1, directory.GetLength() - separator - 1);
    if (profileName.IsEqualNoCase(SString(L"SYSTEMPROFILE")))
        profileName.AssignNative(L"SYSTEM");
    return TRUE;
}

} // namespace S
