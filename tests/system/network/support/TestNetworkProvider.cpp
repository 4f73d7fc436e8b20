// A network provider whose connected resources are the "type|local|remote|comment" lines of the
// loading process's variable LUMERELX_TEST_NET_CONNECTIONS, read at each opened enumeration. When
// LUMERELX_PROBE_KEY names a key below HKEY_CURRENT_USER, opening an enumeration first probes memory
// as third-party providers do, through calls that fault and handle their own faults, and leaves their
// answers there as "Answers".
#include <windows.h>
#include <winnetwk.h>
extern "C"
{
#include <npapi.h>
}

#include <array>
#include <cwchar>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace
{

const wchar_t ProviderName[] = L"Lumerelx Test Network";

struct Enumeration
{
    std::vector<std::array<std::wstring, 4>> connections; // type, local, remote, comment
    size_t next = 0;
};

void ProbeLikeAThirdPartyProvider()
{
    wchar_t key[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LUMERELX_PROBE_KEY", key, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::wstring answers = std::to_wstring(IsBadReadPtr(reinterpret_cast<void*>(1), 4)) + L"|" +
                                 std::to_wstring(lstrlenW(reinterpret_cast<LPCWSTR>(1)));
    RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Answers", REG_SZ, answers.c_str(),
                    static_cast<DWORD>((answers.size() + 1) * sizeof(wchar_t)));
}

wchar_t* CopyText(wchar_t*& cursor, const std::wstring& text)
{
    return std::exchange(cursor, std::wcscpy(cursor, text.c_str()) + text.size() + 1);
}

} // namespace

// 0x00FE0000 is a net type no real provider uses.
extern "C" DWORD APIENTRY NPGetCaps(DWORD index)
{
    return index == WNNC_SPEC_VERSION  ? WNNC_SPEC_VERSION51
           : index == WNNC_NET_TYPE    ? 0x00FE0000
           : index == WNNC_ENUMERATION ? WNNC_ENUM_LOCAL
                                       : 0;
}

extern "C" DWORD APIENTRY NPOpenEnum(DWORD scope, DWORD, DWORD, LPNETRESOURCEW, LPHANDLE handle)
{
    if (scope != RESOURCE_CONNECTED)
        return WN_NOT_SUPPORTED;
    ProbeLikeAThirdPartyProvider();
    std::wstring text(32767, L'\0');
    text.resize(GetEnvironmentVariableW(L"LUMERELX_TEST_NET_CONNECTIONS", text.data(), 32767));
    auto enumeration = std::make_unique<Enumeration>();
    std::wistringstream lines(text);
    for (std::wstring line; std::getline(lines, line);)
    {
        std::wistringstream fields(line);
        for (std::wstring& field : enumeration->connections.emplace_back())
            std::getline(fields, field, L'|');
    }
    *handle = enumeration.release();
    return WN_SUCCESS;
}

// One resource per call, its strings in the caller's buffer except the comment, whose pointer Mpr
// passes on uncopied. A buffer too small leaves the count as asked: with 0, Wine's Mpr would end the
// enumeration instead of answering ERROR_MORE_DATA.
extern "C" DWORD APIENTRY NPEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size)
{
    auto& [connections, next] = *static_cast<Enumeration*>(handle);
    if (next >= connections.size())
    {
        *count = 0;
        return WN_NO_MORE_ENTRIES;
    }
    const auto& [type, local, remote, comment] = connections[next];
    const size_t needed =
        sizeof(NETRESOURCEW) + sizeof(wchar_t) * (local.size() + remote.size() + std::size(ProviderName) + 2);
    if (*size < needed)
    {
        *size = static_cast<DWORD>(needed);
        return WN_MORE_DATA;
    }
    auto* resource = static_cast<NETRESOURCEW*>(buffer);
    auto* cursor = reinterpret_cast<wchar_t*>(resource + 1);
    *resource = {};
    resource->dwType = std::wcstoul(type.c_str(), nullptr, 10);
    resource->lpLocalName = CopyText(cursor, local);
    resource->lpRemoteName = CopyText(cursor, remote);
    resource->lpComment = const_cast<wchar_t*>(comment.c_str());
    resource->lpProvider = CopyText(cursor, ProviderName);
    *count = 1;
    ++next;
    return WN_SUCCESS;
}

extern "C" DWORD APIENTRY NPCloseEnum(HANDLE handle)
{
    std::unique_ptr<Enumeration> enumeration(static_cast<Enumeration*>(handle));
    return WN_SUCCESS;
}
