// The running system as a source of version facts: every Win32 call of version detection is
// made here, each entry point that may be missing is looked up at run time.
// Thread-safety: no state of its own; usable from any thread.
// Failure contract: as IOSVersionSource (false or empty when missing, output untouched).
#pragma once

#include "library/system/osversion/OSVersionDetect.h"

namespace S
{

class OSVersionLiveSource final : public IOSVersionSource
{
public:
    bool QueryVersionEx(OSVERSIONINFOEXW& info) override;
    bool QueryVersion(OSVERSIONINFOW& info) override;
    bool QueryPackedVersion(DWORD& version) override;
    bool KeyExists(const wchar_t* subKey, REGSAM access) override;
    bool ReadText(const wchar_t* subKey, const wchar_t* name, REGSAM access, SString& out) override;
    bool ReadDword(const wchar_t* subKey, const wchar_t* name, REGSAM access, DWORD& out) override;
    std::vector<SString> ReadMultiString(const wchar_t* subKey, const wchar_t* name, REGSAM access) override;
    int GetSystemMetric(int index) override;
    bool QueryProductInfo(DWORD major, DWORD minor, DWORD servicePackMajor, DWORD servicePackMinor,
                          DWORD& product) override;
    WORD ProcessArchitecture() override;
    bool NativeArchitecture(WORD& architecture) override;
    bool QueryTrueVersion(OSVERSIONINFOEXW& info) override;
    bool HalFileVersionLS(DWORD& versionLS) override;
};

} // namespace S
