// Helpers shared by the discrete families, whose counts are int64.
#pragma once

#include <cstdint>

#include "cxmath/common.hpp"

namespace distmill::detail {

// n + 1 as a double, for every int64 n >= 0.  n + 1 is formed in integers
// (exact), except at the top of the range, where it would overflow and its
// exact value 2^63 is used instead.
constexpr double plus_one(std::int64_t n) {
  return n < cxmath::INT64_MAX_ ? static_cast<double>(n + 1) : 0x1p63;
}

}  // namespace distmill::detail
