// Bernoulli and binomial samplers: each trial compares one open unit
// uniform u with the success probability and succeeds when u <= prob, so
// prob = 0 never succeeds (u > 0) and prob = 1 always does (u < 1).
#pragma once

#include "cxmath/common.hpp"
#include "dists/interrupt.hpp"
#include "random/engine.hpp"

namespace distmill {

inline double rbern(double prob, Engine& engine) {
  if (!cxmath::isfinite(prob) || prob < 0 || prob > 1) return cxmath::NaN;
  const double u = uniform_open(0.0, 1.0, engine);
  return u <= prob ? 1.0 : 0.0;
}

// The sum of n_trials Bernoulli outcomes, one engine output per trial and
// no shortcut for large counts: the stream position after a draw is always
// n_trials outputs further on.  A huge count runs for as long as it takes
// (2^63 trials are centuries), so every trial ticks an InterruptPoll and
// the host can stop the draw; the engine is then left after the trials
// made so far.
inline double rbinom(long long n_trials, double prob, Engine& engine) {
  if (!cxmath::isfinite(prob) || n_trials < 0 || prob < 0 || prob > 1) return cxmath::NaN;
  double successes = 0.0;
  InterruptPoll poll;
  for (long long i = 0; i < n_trials; ++i) {
    poll.tick();
    const double u = uniform_open(0.0, 1.0, engine);
    if (u <= prob) successes += 1.0;
  }
  return successes;
}

}  // namespace distmill
