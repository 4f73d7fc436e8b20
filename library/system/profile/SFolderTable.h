// The folder index table: for each folder index its token names, its Known Folder ID and its
// legacy resolution (a CSIDL value, the user profile directory or its parent, or a template of
// environment references). Constant data; thread-safe.
// Failure contract: a folder index outside the table gives a null row.
#pragma once

#include <windows.h>

#include <cstdint>

namespace S
{

enum class SLegacyFolder : uint8_t
{
    None,             // no legacy resolution
    Csidl,            // SHGetFolderPathW with the CSIDL value
    ProfileDirectory, // the user profile directory (CSIDL 40 as the fallback)
    ProfilesParent,   // the parent of the user profile directory (CSIDL 62 as the fallback)
    Template,         // the template expanded for the user
};

struct SFolderTableEntry
{
    const wchar_t* Tokens[3]; // the system's names for the folder; unused places are null
    GUID KnownFolderId;       // GUID_NULL when the folder has none
    SLegacyFolder Legacy;
    int Csidl;               // for Csidl, ProfileDirectory and ProfilesParent rows
    const wchar_t* Template; // for Template rows
};

inline constexpr unsigned kFolderIndexCount = 123;

// The row of a folder index; null for kFolderIndexCount or more.
const SFolderTableEntry* GetFolderTableEntry(unsigned index) noexcept;

} // namespace S
