// Fonts values exactly at and one past the lengths the font job reads, shared by the job's own
// tests and the checking tool's, so that both are held to the same boundaries.
#pragma once

#include "fonts/FontRegistration.h"

#include <windows.h>

#include <string>

namespace STest
{

struct FontLimitRow
{
    const char* label;
    DWORD nameChars; // 0: a short name
    DWORD pathChars; // 0: the font's plain path; otherwise a path of this length to a copy of it
    S::FontEntryOutcome outcome;
};

inline constexpr FontLimitRow kFontLimitRows[] = {
    {"name of 259 characters", 259, 0, S::FontEntryOutcome::Applied},
    {"name of 260 characters", 260, 0, S::FontEntryOutcome::NameTooLong},
    {"data of 520 bytes with the terminator", 0, 259, S::FontEntryOutcome::Applied},
    {"data of 522 bytes with the terminator", 0, 260, S::FontEntryOutcome::DataTooLong},
};

// A copy of a font file whose full path is exactly `chars` long: base, a padding folder, the file
// name. Removes what it made.
class PaddedFontCopy
{
public:
    PaddedFontCopy(const std::wstring& base, const std::wstring& source, const std::wstring& file,
                   DWORD chars)
    {
        if (chars == 0)
        {
            m_Path = source;
            return;
        }
        const size_t padding = chars - base.size() - 2 - file.size();
        m_Folder = base + L"\\" + std::wstring(padding, L'p');
        m_Path = m_Folder + L"\\" + file;
        CreateDirectoryW((L"\\\\?\\" + m_Folder).c_str(), nullptr);
        CopyFileW(source.c_str(), (L"\\\\?\\" + m_Path).c_str(), FALSE);
    }
    PaddedFontCopy(const PaddedFontCopy&) = delete;
    PaddedFontCopy& operator=(const PaddedFontCopy&) = delete;
    ~PaddedFontCopy()
    {
        if (m_Folder.empty())
            return;
        for (int i = 0; i < 16 && RemoveFontResourceExW(m_Path.c_str(), FR_PRIVATE, nullptr); ++i)
        {
        }
        DeleteFileW((L"\\\\?\\" + m_Path).c_str());
        RemoveDirectoryW((L"\\\\?\\" + m_Folder).c_str());
    }
    const std::wstring& Path() const { return m_Path; }

private:
    std::wstring m_Folder;
    std::wstring m_Path;
};

inline std::wstring RowName(const FontLimitRow& row, const std::wstring& shortName)
{
    return row.nameChars == 0 ? shortName : shortName + std::wstring(row.nameChars - shortName.size(), L'n');
}

} // namespace STest
