// Version detection as steps over a source of system facts, so that the same steps run on the
// live system (OSVersionLiveSource) and on recorded facts.
// Thread-safety: DetectOSVersion keeps no state; a source is used by one thread at a time.
// Failure contract: every query reports false (or an empty list) when its entry point, key or
// value is missing, and leaves its output untouched; detection then carries on without it.
#pragma once

#include "library/system/osversion/OSVersionRecord.h"
#include "library/utility/SString.h"

#include <windows.h>

#include <vector>

namespace S
{

class IOSVersionSource
{
public:
    virtual ~IOSVersionSource() = default;

    // GetVersionExW (from KERNEL32.DLL) with the extended and with the plain structure.
    virtual bool QueryVersionEx(OSVERSIONINFOEXW& info) = 0;
    virtual bool QueryVersion(OSVERSIONINFOW& info) = 0;
    // GetVersion's packed result.
    virtual bool QueryPackedVersion(DWORD& version) = 0;
    // Values below HKEY_LOCAL_MACHINE, opened with `access`.
    virtual bool KeyExists(const wchar_t* subKey, REGSAM access) = 0;
    virtual bool ReadText(const wchar_t* subKey, const wchar_t* name, REGSAM access, SString& out) = 0;
    virtual bool ReadDword(const wchar_t* subKey, const wchar_t* name, REGSAM access, DWORD& out) = 0;
    virtual std::vector<SString> ReadMultiString(const wchar_t* subKey, const wchar_t* name,
                                                 REGSAM access) = 0;
    virtual int GetSystemMetric(int index) = 0;
    // GetProductInfo; false when the entry point does not exist.
    virtual bool QueryProductInfo(DWORD major, DWORD minor, DWORD servicePackMajor, DWORD servicePackMinor,
                                  DWORD& product) = 0;
    // wProcessorArchitecture of GetSystemInfo, and of GetNativeSystemInfo when that exists.
    virtual WORD ProcessArchitecture() = 0;
    virtual bool NativeArchitecture(WORD& architecture) = 0;
    // RtlGetVersion (from NTDLL.DLL).
    virtual bool QueryTrueVersion(OSVERSIONINFOEXW& info) = 0;
    // dwFileVersionLS of the system directory's HAL.DLL.
    virtual bool HalFileVersionLS(DWORD& versionLS) = 0;
};

// Registry places and access masks that detection reads.
namespace OSVersionKeys
{
inline constexpr const wchar_t* CurrentVersion = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
inline constexpr const wchar_t* CurrentVersionUpper = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline constexpr const wchar_t* ProductOptions = L"System\\CurrentControlSet\\Control\\ProductOptions";
inline constexpr const wchar_t* TerminalServer = L"System\\CurrentControlSet\\Control\\Terminal Server";
inline constexpr const wchar_t* MediaCenter = L"System\\WPA\\MediaCenter";
inline constexpr const wchar_t* TabletPc = L"System\\WPA\\TabletPC";
inline constexpr const wchar_t* HotfixQ246009 =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
inline constexpr REGSAM SoftwareQuery = KEY_QUERY_VALUE | KEY_WOW64_64KEY;
inline constexpr REGSAM SoftwareRead = KEY_READ | KEY_WOW64_64KEY;
inline constexpr REGSAM SystemRead = KEY_READ;
} // namespace OSVersionKeys

// Fills `record` from `source`. Nonzero on success; 0 with the record zero when no version
// query answers.
int DetectOSVersion(OSVersionRecord& record, IOSVersionSource& source);

} // namespace S
