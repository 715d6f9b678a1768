// The mechanics every d, p and q function shares, written once: values in
// the scale the log flag asks for, the tail of a probability and the range
// test of a probability argument.  The guard ladders that use them stay in
// each function, in their order.
#pragma once

#include "cxmath/elementary.hpp"

namespace distmill::dpq {

// 0 and 1 in the flag's scale: -inf and 0 when the logarithm is asked for.
constexpr double zero(bool give_log) { return give_log ? -cxmath::INF : 0.0; }
constexpr double one(bool give_log) { return give_log ? 0.0 : 1.0; }

// A finished value in the flag's scale (its logarithm is -inf below EPS).
constexpr double value(double v, bool give_log) { return give_log ? cxmath::log(v) : v; }

// A value formed as its logarithm L, in the flag's scale.
constexpr double from_log(double L, bool give_log) { return give_log ? L : cxmath::exp(L); }

// The probability of the tail p lies in: p below 1/2, else 1 - p (exact
// there).
constexpr double tail(double p) { return p < 0.5 ? p : 1 - p; }

// True for NaN and for p outside [0, 1].
constexpr bool not_a_probability(double p) { return !(p >= 0 && p <= 1); }

}  // namespace distmill::dpq
