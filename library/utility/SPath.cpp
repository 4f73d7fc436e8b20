#include "library/utility/SPath.h"

namespace S
{

SPath::SPath(const SStringAbstractBase& other)
{
    Assign(other);
}

// The string destructor wipes the text; a path needs nothing more.
SPath::~SPath() = default;

SPath& SPath::GetExtendedLengthPath(SPath& out) const
{
    if (&out == this)
    {
        SPath result;
        GetExtendedLengthPath(result);
        out = std::move(result);
        return out;
    }
    if (GetLength() < ExtendedLengthThreshold || StartsWith(SString(ExtendedLengthPrefix)))
    {
        out = *this;
        return out;
    }
    SPath prefixed;
    prefixed.AssignNative(ExtendedLengthPrefix, SNpos);
    prefixed.Append(*this);
    out = std::move(prefixed);
    return out;
}

} // namespace S
