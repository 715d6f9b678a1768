// Compile-time checks of the recurrence helpers and of the inverse kernels'
// fast forms, which must stay constant expressions and agree with the plain
// loops there too.
#include <initializer_list>

#include "cxmath/erf.hpp"
#include "cxmath/incomplete_beta.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/recurrence.hpp"

namespace {
using namespace cxmath;
using detail::recurrent_index;
using detail::same_bits;

// Signed zeros are different states, a NaN is the same state as itself.
static_assert(!same_bits(0.0, -0.0) && same_bits(NaN, NaN) && same_bits(-INF, -INF));
static_assert(!same_bits(1.0, 1.0000000000000002));

// recurrent_index against walking a sequence that runs 0, 1, ..., i - 1 and
// then jumps back to j: after `last` moves it stands on the state the
// formula names, for every j < i <= last, with last the final state index
// of the loops here (36 and 55) or small.
constexpr bool index_agrees_with_walk() {
  for (int last : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 36, 55})
    for (int i = 1; i <= last; ++i)
      for (int j = 0; j < i; ++j) {
        int s = 0;
        for (int m = 0; m < last; ++m) s = s + 1 < i ? s + 1 : j;
        if (s != recurrent_index(j, i, last)) return false;
      }
  return true;
}
static_assert(index_agrees_with_walk());

// Fast and plain forms agree when evaluated by the compiler.
static_assert(same_bits(erf_inv(0.3), erf_inv_full(0.3)));
static_assert(same_bits(erf_inv(-0.999999), erf_inv_full(-0.999999)));
static_assert(same_bits(incomplete_gamma_inv(2.5, 0.9), incomplete_gamma_inv_full(2.5, 0.9)));
static_assert(same_bits(incomplete_gamma_inv(0.2, 0.05), incomplete_gamma_inv_full(0.2, 0.05)));
static_assert(same_bits(incomplete_gamma_inv(30.0, 0.7), incomplete_gamma_inv_full(30.0, 0.7)));
static_assert(same_bits(incomplete_beta_inv(2.0, 3.0, 0.25), incomplete_beta_inv_full(2.0, 3.0, 0.25)));
static_assert(same_bits(incomplete_beta_inv(0.5, 0.7, 0.9), incomplete_beta_inv_full(0.5, 0.7, 0.9)));
}  // namespace
