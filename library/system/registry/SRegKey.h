// Registry locations and owned registry keys.
// Failure contract: every operation returns an SResult; on failure an SRegKey stays closed
// (handle 0, both flags 0) and QueryString leaves its output unchanged unless a default was given.
// Thread-safety: an SRegKey belongs to one thread at a time; SRegKeyLocation is a plain value.
#pragma once

#include "library/diagnostics/SResultCodes.h"
#include "library/system/SHandle.h"
#include "library/utility/SPath.h"
#include "library/utility/SString.h"

#include <windows.h>

#include <cstdint>

namespace S
{

inline constexpr REGSAM kRegistryReadWriteCreate = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY; // 0x2001F

struct SRegKeyLocation
{
    HKEY root = nullptr;
    SPath path;

    SRegKeyLocation();
    SRegKeyLocation(HKEY rootKey, const SString& subPath);

    // Joins one component (or relative path) with a single backslash; an empty one is ignored.
    void Append(const SString& component);

    // The location of a token's user below root: HKEY_USERS\<SID> when a token is given and its
    // SID can be read, otherwise HKEY_CURRENT_USER (for HKEY_USERS) or root itself, with no path.
    static SRegKeyLocation ForUser(HKEY rootKey, HANDLE token);

    // The one process-wide empty location that new locations and keys start from.
    static const SRegKeyLocation& Empty();
};

class SRegKey
{
public:
    SRegKey();
    SRegKey(const SRegKey&) = delete;
    SRegKey& operator=(const SRegKey&) = delete;
    virtual ~SRegKey();
    virtual SRegKeyLocation GetLocation() const;
    virtual SResult SetLocation(const SRegKeyLocation& location);

    SResult Open(REGSAM access);
    SResult Create(REGSAM access, DWORD ignoredOptions = 0);
    // Reads a value of any type as text up to its first NUL (an odd final byte is dropped).
    SResult QueryString(const wchar_t* valueName, SString& out, const wchar_t* defaultText) const;
    void Close() noexcept;

    HKEY GetHandle() const noexcept { return m_Handle.Get(); }
    bool IsOpen() const noexcept { return m_IsOpen != 0; }

private:
    SRegKeyLocation m_Location;
    SRegistryKeyHandle m_Handle;
    uint32_t m_IsOpen = 0;
    uint32_t m_OwnsHandle = 0;
};

// Opens (or creates) parent\subPath; the output key stays open on success, independently of the parent.
SResult OpenRegistrySubKey(const SRegKeyLocation& parent, const SString& subPath, SRegKey& out, bool create,
                           bool readOnly);

// Reads 4 bytes of a value whatever its type; on failure `value` keeps what the caller put there.
SResult ReadRegistryDword(bool create, const SRegKeyLocation& parent, const SString& subPath,
                          const wchar_t* valueName, uint32_t& value);

} // namespace S
