// Compile-time checks of the loops that tick the interrupt poll: they stay
// constant-evaluable (during constant evaluation the hook, a run-time
// variable, is never read) past more ticks than one poll interval, and give
// there the bits the module computes at run time.
#include "dists/binom.hpp"
#include "dists/interrupt.hpp"
#include "dists/pois.hpp"

namespace {

// A CDF sum.
static_assert(distmill::pbinom(100, 200, 0.5, false) == 0x1.0e6cda9a8633bp-1);
// A CDF sum of about 6500 ticks (masses from 40 standard deviations above
// the mode to 10 below it), more than one interval.
static_assert(distmill::POLL_INTERVAL < 6000);
static_assert(distmill::detail::pbinom<false>(104300, 200000, 0.5, false) == 0x1.0000000033b32p+0);
// That sum ends above 1; the CDF replaces it by 1 - (the complement summed
// directly), also at compile time.
static_assert(distmill::pbinom(104300, 200000, 0.5, false) == 1.0);
// Quantile searches, whose sums share one poll and one mass cache.
static_assert(distmill::qbinom(0.5, 200, 0.5) == 100.0);
static_assert(distmill::qbinom(0.3, 150, 0.7) == 102.0);
// The Poisson walk from 0 at a rate below 11.
static_assert(distmill::qpois(0.999, 10.0) == 21.0);

// A poll counts its ticks and wraps at the interval without a hook.
constexpr std::uint32_t after_ticks(std::uint32_t n) {
  distmill::InterruptPoll poll;
  for (std::uint32_t i = 0; i < n; ++i) poll.tick();
  return poll.count;
}
static_assert(after_ticks(distmill::POLL_INTERVAL - 1) == distmill::POLL_INTERVAL - 1);
static_assert(after_ticks(distmill::POLL_INTERVAL) == 0);
static_assert(after_ticks(distmill::POLL_INTERVAL + 5) == 5);

}  // namespace
