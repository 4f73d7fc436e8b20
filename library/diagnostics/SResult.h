// SResult: the library's 32-bit result code. 0 is success, a negative value a failure;
// the library's own failures are 0xA004xxxx, system failures travel as HRESULTs.
// A plain value type; thread-safe as any int.
// Failure contract: nothing here fails.
#pragma once

#include <concepts>
#include <cstdint>

namespace S
{

class SResult
{
public:
    constexpr SResult() noexcept = default;
    template <std::integral T> constexpr SResult(T code) noexcept : m_Code(static_cast<int32_t>(code)) {}

    constexpr int32_t Code() const noexcept { return m_Code; }
    constexpr uint32_t Unsigned() const noexcept { return static_cast<uint32_t>(m_Code); }
    constexpr bool Succeeded() const noexcept { return m_Code >= 0; }
    constexpr bool Failed() const noexcept { return m_Code < 0; }
    constexpr void SetCode(int32_t code) noexcept { m_Code = code; }

    friend constexpr bool operator==(SResult a, SResult b) noexcept { return a.m_Code == b.m_Code; }

protected:
    int32_t m_Code = 0;
};

} // namespace S
