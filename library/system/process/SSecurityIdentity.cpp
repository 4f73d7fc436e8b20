#include "library/system/process/SSecurityIdentity.h"

#include "library/diagnostics/SWin32ErrorResult.h"
#include "library/utility/SBuffer.h"

namespace S
{

SString FormatSid(PSID sid)
{
    SString text;
    text.Format(L"S-%lu-", static_cast<unsigned long>(SID_REVISION));
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    const BYTE* v = authority->Value;
    if (v[0] != 0 || v[1] != 0)
    {
        text.AppendFormat(L"0x%02hx%02hx%02hx%02hx%02hx%02hx", static_cast<unsigned short>(v[0]),
                          static_cast<unsigned short>(v[1]), static_cast<unsigned short>(v[2]),
                          static_cast<unsigned short>(v[3]), static_cast<unsigned short>(v[4]),
                          static_cast<unsigned short>(v[5]));
    }
    else
    {
        const unsigned long value =
            (static_cast<unsigned long>(v[2]) << 24) | (static_cast<unsigned long>(v[3]) << 16) |
            (static_cast<unsigned long>(v[4]) << 8) | static_cast<unsigned long>(v[5]);
        text.AppendFormat(L"%lu", value);
    }
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    for (UCHAR i = 0; i < count; ++i)
        text.AppendFormat(L"-%lu", static_cast<unsigned long>(*GetSidSubAuthority(sid, i)));
    return text;
}

SResult GetTokenUserSidString(HANDLE token, SString& out)
{
    out.Clear();
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, nullptr, 0, &size) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return HResultFromWin32(GetLastError());
    SBufferT<unsigned char, 0> buffer;
    SResult resized;
    buffer.Resize(resized, size, false);
    if (resized.Failed())
        return resized;
    if (!GetTokenInformation(token, TokenUser, buffer.GetData(), size, &size))
        return HResultFromWin32(GetLastError());
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.GetData())->User.Sid;
    if (!IsValidSid(sid))
        return kResultInvalidSid;
    out.Assign(FormatSid(sid));
    return 0;
}

} // namespace S
