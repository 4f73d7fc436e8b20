#include "library/diagnostics/log/SLogValues.h"

#include <span>

namespace S
{

namespace
{

struct Name
{
    int value;
    const wchar_t* text;
};

constexpr Name LevelNames[] = {
    {SLogLevel::None, L"None"},       {SLogLevel::Fatal, L"Fatal"}, {SLogLevel::Error, L"Error"},
    {SLogLevel::Warning, L"Warning"}, {SLogLevel::Info, L"Info"},   {SLogLevel::Debug, L"Debug"},
    {SLogLevel::Trace, L"Trace"},     {SLogLevel::All, L"All"},     {SLogLevel::Invalid, L"Invalid"}};

constexpr Name TypeNames[] = {
    {SLogType::None, L"None"},       {SLogType::Trace, L"Trace"},       {SLogType::File, L"File"},
    {SLogType::Remote, L"Remote"},   {SLogType::Database, L"Database"}, {SLogType::EventLog, L"Event_log"},
    {SLogType::Default, L"Default"}, {SLogType::All, L"All"},           {SLogType::Invalid, L"Invalid"}};

// `isPart` tells which named values may stand for part of a composite value.
template <typename IsPart>
SString Describe(int value, int maxValue, std::span<const Name> names, IsPart isPart)
{
    SString text;
    for (const Name& name : names)
        if (name.value == value)
            return SString(name.text);

    const auto bits = static_cast<unsigned>(value);
    const auto mask = static_cast<unsigned>(maxValue);
    unsigned consumed = 0;
    auto add = [&text](const wchar_t* part)
    {
        if (!text.IsEmpty())
            text.Append(L" + ");
        text.Append(part);
    };
    for (const Name& name : names)
    {
        if (!isPart(name.value))
            continue;
        const auto nameBits = static_cast<unsigned>(name.value);
        if ((bits & nameBits) == nameBits)
        {
            add(name.text);
            consumed |= nameBits;
        }
    }
    wchar_t hex[16];
    if (const unsigned rest = bits & mask & ~consumed; rest != 0)
    {
        _snwprintf(hex, 16, L"%x", rest);
        add(hex);
    }
    if (const unsigned outside = bits & ~mask; outside != 0)
    {
        _snwprintf(hex, 16, L"[%x]", outside);
        add(hex);
    }
    return text;
}

} // namespace

bool SLogLevel::IsValid(int value) const
{
    switch (value)
    {
    case None:
    case Fatal:
    case Error:
    case Warning:
    case Info:
    case InfoAndWarning:
    case Debug:
    case Trace:
    case All:
        return true;
    default:
        return false;
    }
}

SString SLogLevel::ToString() const
{
    return Describe(m_Value, GetMaxValue(), LevelNames,
                    [](int v) { return v != None && v != All && v != Invalid; });
}

bool SLogType::IsValid(int value) const
{
    switch (value)
    {
    case None:
    case Trace:
    case File:
    case Remote:
    case Database:
    case EventLog:
    case Default:
    case All:
        return true;
    default:
        return false;
    }
}

SString SLogType::ToString() const
{
    // Only the single flags describe parts of a combination.
    return Describe(m_Value, GetMaxValue(), TypeNames, [](int v) { return v > 0 && (v & (v - 1)) == 0; });
}

bool SLogSource::IsValid(int value) const
{
    return value == Blank || value == Client || value == Auin || value == Clin || value == Susr;
}

SString SLogSource::ToString() const
{
    const auto bits = static_cast<unsigned>(m_Value);
    const wchar_t text[5] = {
        static_cast<wchar_t>((bits >> 24) & 0xFF), static_cast<wchar_t>((bits >> 16) & 0xFF),
        static_cast<wchar_t>((bits >> 8) & 0xFF), static_cast<wchar_t>(bits & 0xFF), L'\0'};
    return SString(text, 4);
}

} // namespace S
