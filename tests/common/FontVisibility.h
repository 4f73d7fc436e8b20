// Whether this process's GDI enumerates a font family, and the clean-up of private fonts.
#pragma once

#include <windows.h>

#include <string>

namespace STest
{

inline bool IsFontFamilyVisible(const std::wstring& family)
{
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW font{};
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, family.c_str(), LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(
        dc, &font,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) -> int
        {
            *reinterpret_cast<bool*>(found) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    DeleteDC(dc);
    return found;
}

// Takes every private registration of a font file away (adding twice needs two removals).
inline void RemovePrivateFont(const std::wstring& path)
{
    for (int i = 0; i < 16 && RemoveFontResourceExW(path.c_str(), FR_PRIVATE, nullptr);)
        ++i;
}

} // namespace STest
