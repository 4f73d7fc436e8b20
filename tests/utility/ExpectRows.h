// Checks rows of (actual, expected) values, naming the failing row.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <utility>

namespace STest
{

inline void ExpectRows(std::initializer_list<std::pair<size_t, size_t>> rows)
{
    size_t row = 0;
    for (const auto& [actual, expected] : rows)
    {
        EXPECT_EQ(actual, expected) << "row " << row;
        ++row;
    }
}

} // namespace STest
