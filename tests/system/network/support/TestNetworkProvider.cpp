// A network provider that lists connected resources chosen by the process it is loaded into: the
// environment variable LUMERELX_TEST_NET_CONNECTIONS holds one line per resource,
// "type|local name|remote name|comment", read afresh each time an enumeration is opened. Each
// open also records in LUMERELX_TEST_NET_OPENED_BY whether the opening thread impersonated.
#include <windows.h>
#include <winnetwk.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr DWORD SpecVersion51 = 0x00050001;    // WNNC_SPEC_VERSION51
constexpr DWORD NetType = 0x00FE0000;          // a net type no real provider uses
constexpr DWORD EnumerateConnections = 0x0002; // WNNC_ENUM_LOCAL
constexpr DWORD CapSpecVersion = 0x0001;       // WNNC_SPEC_VERSION
constexpr DWORD CapNetType = 0x0002;           // WNNC_NET_TYPE
constexpr DWORD CapEnumeration = 0x000B;       // WNNC_ENUMERATION
const wchar_t ProviderName[] = L"Lumerelx Test Network";

struct Connection
{
    DWORD type = RESOURCETYPE_DISK;
    std::wstring local;
    std::wstring remote;
    std::wstring comment;
};

struct Enumeration
{
    std::vector<Connection> connections;
    size_t next = 0;
};

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t end = text.find(separator); end != std::wstring::npos; end = text.find(separator, start))
    {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::vector<Connection> ReadConnections()
{
    std::vector<Connection> connections;
    const DWORD size = GetEnvironmentVariableW(L"LUMERELX_TEST_NET_CONNECTIONS", nullptr, 0);
    if (size == 0)
        return connections;
    std::wstring text(size, L'\0');
    text.resize(GetEnvironmentVariableW(L"LUMERELX_TEST_NET_CONNECTIONS", text.data(), size));
    for (const std::wstring& line : Split(text, L'\n'))
    {
        const std::vector<std::wstring> fields = Split(line, L'|');
        if (fields.size() != 4)
            continue;
        connections.push_back({static_cast<DWORD>(std::wcstoul(fields[0].c_str(), nullptr, 10)), fields[1],
                               fields[2], fields[3]});
    }
    return connections;
}

wchar_t* CopyText(wchar_t*& cursor, const std::wstring& text)
{
    wchar_t* start = cursor;
    text.copy(cursor, text.size());
    cursor[text.size()] = L'\0';
    cursor += text.size() + 1;
    return start;
}

} // namespace

extern "C" DWORD APIENTRY NPGetCaps(DWORD index)
{
    switch (index)
    {
    case CapSpecVersion:
        return SpecVersion51;
    case CapNetType:
        return NetType;
    case CapEnumeration:
        return EnumerateConnections;
    default:
        return 0;
    }
}

extern "C" DWORD APIENTRY NPOpenEnum(DWORD scope, DWORD /*type*/, DWORD /*usage*/,
                                     LPNETRESOURCEW /*container*/, LPHANDLE handle)
{
    if (scope != RESOURCE_CONNECTED)
        return WN_NOT_SUPPORTED;
    HANDLE token = nullptr;
    const bool impersonating = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) != FALSE;
    if (impersonating)
        CloseHandle(token);
    SetEnvironmentVariableW(L"LUMERELX_TEST_NET_OPENED_BY",
                            impersonating ? L"thread token" : L"process token");
    auto enumeration = std::make_unique<Enumeration>();
    enumeration->connections = ReadConnections();
    *handle = enumeration.release();
    return WN_SUCCESS;
}

// One resource per call. The strings go into the caller's buffer except the comment, which stays
// in the enumeration (Mpr passes the comment pointer through without copying it).
extern "C" DWORD APIENTRY NPEnumResource(HANDLE handle, LPDWORD count, LPVOID buffer, LPDWORD size)
{
    auto* enumeration = static_cast<Enumeration*>(handle);
    if (enumeration->next >= enumeration->connections.size())
    {
        *count = 0;
        return WN_NO_MORE_ENTRIES;
    }
    const Connection& connection = enumeration->connections[enumeration->next];
    const size_t needed =
        sizeof(NETRESOURCEW) + sizeof(wchar_t) * (connection.local.size() + 1 + connection.remote.size() + 1 +
                                                  std::size(ProviderName));
    if (*size < needed)
    {
        *size = static_cast<DWORD>(needed);
        return WN_MORE_DATA;
    }
    auto* resource = static_cast<NETRESOURCEW*>(buffer);
    *resource = NETRESOURCEW{};
    resource->dwScope = RESOURCE_CONNECTED;
    resource->dwType = connection.type;
    resource->dwUsage = RESOURCEUSAGE_CONNECTABLE;
    auto* cursor = reinterpret_cast<wchar_t*>(resource + 1);
    resource->lpLocalName = CopyText(cursor, connection.local);
    resource->lpRemoteName = CopyText(cursor, connection.remote);
    resource->lpProvider = CopyText(cursor, ProviderName);
    resource->lpComment = const_cast<wchar_t*>(connection.comment.c_str());
    *count = 1;
    ++enumeration->next;
    return WN_SUCCESS;
}

extern "C" DWORD APIENTRY NPCloseEnum(HANDLE handle)
{
    std::unique_ptr<Enumeration> enumeration(static_cast<Enumeration*>(handle));
    return WN_SUCCESS;
}
