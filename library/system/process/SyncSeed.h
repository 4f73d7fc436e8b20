// Where the unique-name serial takes its starting value.
#pragma once

#include <cstdint>

namespace S
{

uint32_t UniqueNameSeed() noexcept;

} // namespace S
