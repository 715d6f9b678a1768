// Helpers for the fixed-count refinement loops of the inverse kernels.
//
// Each of those loops carries a small state from one step to the next (the
// iterate and the density value it lags behind with) and computes the next
// state from the current one alone.  The step map is a pure function of the
// bits of the state, so once a state recurs (s_i == s_j with j < i) the
// sequence repeats with period i - j from s_j on, and every later state --
// the one the loop would end on included -- is already in the history.
#pragma once

#include <bit>
#include <cstdint>

namespace cxmath::detail {

// Two doubles are the same state only when every bit agrees: +0 and -0
// differ (1/x tells them apart), and a NaN matches only the same NaN.
constexpr bool same_bits(double u, double v) {
  return std::bit_cast<std::uint64_t>(u) == std::bit_cast<std::uint64_t>(v);
}

// Index of the last state of a loop whose states are numbered 0..last, given
// that state i repeats state j (j < i <= last): states repeat with period
// i - j from j on.
constexpr int recurrent_index(int j, int i, int last) { return j + (last - j) % (i - j); }

}  // namespace cxmath::detail
