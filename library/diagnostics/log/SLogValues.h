// The value types of a log call: its level, its log type (the sinks it is meant for) and the
// four-character source code of a log record. Plain values; thread-safe as an int.
// Failure contract: nothing here fails; ToString throws only as SString does.
#pragma once

#include "library/utility/SNumber.h"
#include "library/utility/SString.h"

#include <cstdint>

namespace S
{

// Levels are cumulative masks: a level is enabled in a mask when all of its bits are set there.
class SLogLevel : public SBitMask<int, 1, 0>
{
public:
    static constexpr int None = 0;
    static constexpr int Fatal = 1;
    static constexpr int Error = 3;
    static constexpr int Warning = 7;
    static constexpr int Info = 16;
    static constexpr int InfoAndWarning = 23;
    static constexpr int Debug = 48;
    static constexpr int Trace = 256;
    static constexpr int All = 311;
    static constexpr int Invalid = -1;

    constexpr SLogLevel(int value = None) noexcept : SBitMask(value) {}

    bool IsValid(int value) const override;
    int GetMaxValue() const override { return All; }
    // The name of the value, or the names of its parts joined by " + ", then unnamed bits inside
    // the mask in hexadecimal and bits outside it in hexadecimal within brackets.
    virtual SString ToString() const;

    bool IsValid() const { return IsValid(m_Value); }
    // All bits of this level are set in `mask`.
    constexpr bool IsEnabledIn(int mask) const noexcept { return (mask & m_Value) == m_Value; }
};

// Sink-selection flags.
class SLogType : public SBitMask<int, 1, 0>
{
public:
    static constexpr int None = 0;
    static constexpr int Trace = 1;
    static constexpr int File = 2;
    static constexpr int Remote = 4;
    static constexpr int Database = 8;
    static constexpr int EventLog = 16;
    static constexpr int Default = 19;
    static constexpr int All = 31;
    static constexpr int Invalid = -1;

    constexpr SLogType(int value = None) noexcept : SBitMask(value) {}

    bool IsValid(int value) const override;
    int GetMaxValue() const override { return All; }
    virtual SString ToString() const;

    bool IsValid() const { return IsValid(m_Value); }
};

// A four-character code, its first character in the most significant byte.
class SLogSource : public SBitMask<int, 1, 0>
{
public:
    static constexpr int Blank = 0x20202020;
    static constexpr int Client = 0x434C4E54; // "CLNT"
    static constexpr int Auin = 0x4155494E;   // "AUIN"
    static constexpr int Clin = 0x434C494E;   // "CLIN"
    static constexpr int Susr = 0x53555352;   // "SUSR"

    constexpr SLogSource(int value = Client) noexcept : SBitMask(value) {}

    bool IsValid(int value) const override;
    bool IsZeroValid() const override { return false; }
    // The four characters in order.
    virtual SString ToString() const;

    bool IsValid() const { return IsValid(m_Value); }
};

} // namespace S
