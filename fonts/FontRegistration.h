// The font job: makes a virtualized application's fonts (listed in the Fonts key of its virtual
// registry) available to this process only, or takes them away again.
// Failure contract: FALSE when the fonts folder cannot be found, or when adding a font failed (the
// fonts added before it stay); a failed removal is logged and the job goes on; a missing Fonts key
// is nothing to do and gives TRUE.
// Thread-safety: runs on one thread at a time; keeps no state between calls.
#pragma once

#include "library/diagnostics/SResult.h"
#include "library/system/registry/SRegKey.h"
#include "library/utility/SString.h"

#include <windows.h>

#include <cstdint>

namespace S
{

inline constexpr uint32_t kFontsFolderIndex = 11;
// The longest value name and value data the job reads; longer entries are skipped.
inline constexpr DWORD kFontNameMaxChars = 259;
inline constexpr DWORD kFontDataMaxBytes = 520; // 259 characters and the terminator

// HKEY_LOCAL_MACHINE\<profile>-<session>\<application id>\rhklm\Software\Microsoft\Windows
// NT\CurrentVersion\Fonts.
SRegKeyLocation GetApplicationFontsKeyLocation(const SString& profileName, const SString& applicationId,
                                               uint32_t sessionId);

BOOL RegisterApplicationFonts(uint32_t sessionId, const SString& profileName, const SString& applicationId,
                              BOOL add);

// Adds (or removes) one private font resource; TRUE on success.
BOOL ApplyFontResource(const SString& path, BOOL add);

// The font file's path for one Fonts value: the data itself when it is a full path (a colon as
// its second character), otherwise the fonts folder, a backslash and the data.
SString ResolveFontPath(const SString& fontsFolder, const SString& data);

// The job's fonts folder: the known folder (the legacy lookup before Vista), mapped drives rewritten.
SResult FindFontsFolder(SString& folder);

// What the job does with one entry of the Fonts key.
enum class FontEntryOutcome
{
    Applied,
    Failed,      // the job stops here when adding
    NameTooLong, // skipped
    DataTooLong, // skipped
    NotReached,  // after the job stopped; reported only to observers that ask for it
};

struct FontEntry
{
    SString name; // the whole name, also when it is too long for the job
    SString path; // empty for skipped entries
    FontEntryOutcome outcome = FontEntryOutcome::Applied;
    DWORD nameChars = 0;
    DWORD dataBytes = 0;
};

// The job over one application's Fonts key, with its per-font step and its report replaceable, so
// that a checking tool walks the entries exactly as the agent does.
// Failure contract: Run gives the job's result (see RegisterApplicationFonts); Open fails when the
// key does not exist or cannot be read.
class SFontJob
{
public:
    SFontJob(uint32_t sessionId, const SString& profileName, const SString& applicationId);
    SFontJob(const SFontJob&) = delete;
    SFontJob& operator=(const SFontJob&) = delete;
    virtual ~SFontJob() = default;

    SResult Open();
    BOOL Run(const SString& fontsFolder, BOOL add);
    const SRegKeyLocation& GetLocation() const noexcept { return m_Location; }

protected:
    virtual BOOL Apply(const SString& path, BOOL add) { return ApplyFontResource(path, add); }
    virtual void Report(const FontEntry&, BOOL) {}
    // True to go on listing the entries after a failure, as never reached.
    virtual bool ListsUnreached() const { return false; }

private:
    enum class ReadState
    {
        Read,
        Skipped,
        End
    };
    ReadState ReadEntry(DWORD index, FontEntry& entry, SString& data);

    SRegKeyLocation m_Location;
    SString m_ApplicationId;
    SRegKey m_Key;
};

} // namespace S
