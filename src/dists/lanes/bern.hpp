// The Bernoulli mass on lanes: one scalar evaluation per distinct count of
// a call with a fixed probability (dists/lanes/counts.hpp).
#pragma once

#include "dists/bern.hpp"
#include "dists/lanes/counts.hpp"

namespace distmill::lanes {

struct Dbern : CountMass<double> {
  using CountMass::CountMass;
};

// The CDF in the same way: one scalar evaluation per distinct count.
struct Pbern : CountMass<double> {
  using CountMass::CountMass;
};

}  // namespace distmill::lanes
