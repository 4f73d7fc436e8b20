#include "library/system/osversion/OSVersionLiveSource.h"

#include "library/system/SModule.h"
#include "library/system/osversion/SOSInfo.h"
#include "library/system/registry/SRegKey.h"

#include <vector>

namespace S
{

namespace
{

template <typename Function> Function LookUpKernel32(const char* name) noexcept
{
    return FindLoadedModuleFunction<Function>(L"KERNEL32.DLL", name);
}

// An open key below HKEY_LOCAL_MACHINE, closed with the object.
class LocalMachineKey
{
public:
    LocalMachineKey(const wchar_t* subKey, REGSAM access)
    {
        m_Key.SetLocation(SRegKeyLocation(HKEY_LOCAL_MACHINE, SString(subKey)));
        m_Key.Open(access);
    }

    explicit operator bool() const noexcept { return m_Key.IsOpen(); }

    bool QueryText(const wchar_t* name, SString& out) const
    {
        return m_Key.IsOpen() && m_Key.QueryString(name, out, nullptr).Succeeded();
    }

    // The value's raw data into `data` (up to `size` bytes); `size` receives the byte count.
    bool Query(const wchar_t* name, void* data, DWORD& size) const noexcept
    {
        return m_Key.IsOpen() && RegQueryValueExW(m_Key.GetHandle(), name, nullptr, nullptr,
                                                  static_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
    }

private:
    SRegKey m_Key;
};

} // namespace

bool OSVersionLiveSource::QueryVersionEx(OSVERSIONINFOEXW& info)
{
    using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOEXW*);
    const auto getVersionEx = LookUpKernel32<GetVersionExFn>("GetVersionExW");
    return getVersionEx != nullptr && getVersionEx(&info) != FALSE;
}

bool OSVersionLiveSource::QueryVersion(OSVERSIONINFOW& info)
{
    using GetVersionExFn = BOOL(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersionEx = LookUpKernel32<GetVersionExFn>("GetVersionExW");
    return getVersionEx != nullptr && getVersionEx(&info) != FALSE;
}

bool OSVersionLiveSource::QueryPackedVersion(DWORD& version)
{
    using GetVersionFn = DWORD(WINAPI*)();
    const auto getVersion = LookUpKernel32<GetVersionFn>("GetVersion");
    if (getVersion == nullptr)
        return false;
    version = getVersion();
    return true;
}

bool OSVersionLiveSource::KeyExists(const wchar_t* subKey, REGSAM access)
{
    return static_cast<bool>(LocalMachineKey(subKey, access));
}

bool OSVersionLiveSource::ReadText(const wchar_t* subKey, const wchar_t* name, REGSAM access, SString& out)
{
    return LocalMachineKey(subKey, access).QueryText(name, out);
}

bool OSVersionLiveSource::ReadDword(const wchar_t* subKey, const wchar_t* name, REGSAM access, DWORD& out)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (!LocalMachineKey(subKey, access).Query(name, &value, size))
        return false;
    out = value;
    return true;
}

std::vector<SString> OSVersionLiveSource::ReadMultiString(const wchar_t* subKey, const wchar_t* name,
                                                          REGSAM access)
{
    std::vector<SString> strings;
    const LocalMachineKey key(subKey, access);
    DWORD size = 0;
    if (!key.Query(name, nullptr, size) || size == 0)
        return strings;
    // Two spare terminators, in case the value lacks its own.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (!key.Query(name, data.data(), size))
        return strings;
    for (const wchar_t* item = data.data(); *item != L'\0'; item += std::wcslen(item) + 1)
        strings.emplace_back(item);
    return strings;
}

int OSVersionLiveSource::GetSystemMetric(int index)
{
    return GetSystemMetrics(index);
}

bool OSVersionLiveSource::QueryProductInfo(DWORD major, DWORD minor, DWORD servicePackMajor,
                                           DWORD servicePackMinor, DWORD& product)
{
    using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
    const auto getProductInfo = LookUpKernel32<GetProductInfoFn>("GetProductInfo");
    if (getProductInfo == nullptr)
        return false;
    DWORD code = 0;
    getProductInfo(major, minor, servicePackMajor, servicePackMinor, &code);
    product = code;
    return true;
}

WORD OSVersionLiveSource::ProcessArchitecture()
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.wProcessorArchitecture;
}

bool OSVersionLiveSource::NativeArchitecture(WORD& architecture)
{
    using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
    const auto getNativeSystemInfo = LookUpKernel32<GetNativeSystemInfoFn>("GetNativeSystemInfo");
    if (getNativeSystemInfo == nullptr)
        return false;
    SYSTEM_INFO info{};
    getNativeSystemInfo(&info);
    architecture = info.wProcessorArchitecture;
    return true;
}

bool OSVersionLiveSource::QueryTrueVersion(OSVERSIONINFOEXW& info)
{
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtlGetVersion = FindLoadedModuleFunction<RtlGetVersionFn>(L"NTDLL.DLL", "RtlGetVersion");
    return rtlGetVersion != nullptr && rtlGetVersion(&info) >= 0;
}

bool OSVersionLiveSource::HalFileVersionLS(DWORD& versionLS)
{
    wchar_t path[MAX_PATH + 16] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    wcscat_s(path, L"\\HAL.DLL");

    // The version library is loaded only for this one query.
    const SModuleRef version = LoadModule(L"version.dll");
    if (!version)
        return false;
    using SizeFn = DWORD(WINAPI*)(const wchar_t*, DWORD*);
    using InfoFn = BOOL(WINAPI*)(const wchar_t*, DWORD, DWORD, void*);
    using QueryFn = BOOL(WINAPI*)(const void*, const wchar_t*, void**, UINT*);
    const auto getSize = FindModuleFunction<SizeFn>(version.Get(), "GetFileVersionInfoSizeW");
    const auto getInfo = FindModuleFunction<InfoFn>(version.Get(), "GetFileVersionInfoW");
    const auto query = FindModuleFunction<QueryFn>(version.Get(), "VerQueryValueW");
    if (getSize == nullptr || getInfo == nullptr || query == nullptr)
        return false;

    DWORD ignored = 0;
    const DWORD size = getSize(path, &ignored);
    if (size == 0)
        return false;
    std::vector<unsigned char> block(size);
    if (!getInfo(path, 0, size, block.data()))
        return false;
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!query(block.data(), L"\\", &fixed, &fixedSize) || fixed == nullptr ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return false;
    versionLS = static_cast<const VS_FIXEDFILEINFO*>(fixed)->dwFileVersionLS;
    return true;
}

int DetectOSVersion(OSVersionRecord& record)
{
    OSVersionLiveSource source;
    return DetectOSVersion(record, source);
}

} // namespace S
