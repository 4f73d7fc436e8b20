// SPath: an SString that holds a file-system path. Every file-system call passes the path through
// GetExtendedLengthPath just before the Windows call, so long paths are not cut at the classic
// limit; stored paths keep their plain form.
// Failure contract: as SString; nothing fails apart from allocation.
// Thread-safety: as SString.
#pragma once

#include "library/utility/SString.h"

namespace S
{

class SPath : public SString
{
public:
    // Paths of this many code units or more need the extended-length prefix.
    static constexpr size_t ExtendedLengthThreshold = 248;
    static constexpr const wchar_t* ExtendedLengthPrefix = L"\\\\?\\";

    SPath() noexcept = default;
    SPath(const SStringAbstractBase& other);
    SPath(const wchar_t* path, size_t len = SNpos) : SString(path, len) {}
    SPath(const SPath& other) = default;
    SPath(SPath&& other) noexcept = default;
    SPath& operator=(const SPath& other) = default;
    SPath& operator=(SPath&& other) noexcept = default;
    using SString::operator=;
    ~SPath() override;

    // Out receives the path with the "\\?\" prefix when it is long enough to need it, else a copy.
    SPath& GetExtendedLengthPath(SPath& out) const;
};

} // namespace S
