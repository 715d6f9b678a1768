// The binomial mass on lanes: one scalar evaluation per distinct count of a
// call with a fixed number of trials and probability (dists/lanes/counts.hpp).
#pragma once

#include "dists/binom.hpp"
#include "dists/lanes/counts.hpp"

namespace distmill::lanes {

struct Dbinom : CountMass<std::int64_t, double> {
  using CountMass::CountMass;
};

// The CDF in the same way: one scalar evaluation per distinct count.
struct Pbinom : CountMass<std::int64_t, double> {
  using CountMass::CountMass;
};

}  // namespace distmill::lanes
