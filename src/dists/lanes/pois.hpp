// The Poisson mass on lanes: one scalar evaluation per distinct count of a
// call with a fixed rate (dists/lanes/counts.hpp).
#pragma once

#include "dists/lanes/counts.hpp"
#include "dists/pois.hpp"

namespace distmill::lanes {

struct Dpois : CountMass<double> {
  using CountMass::CountMass;
};

// The CDF in the same way: one scalar evaluation per distinct count.
struct Ppois : CountMass<double> {
  using CountMass::CountMass;
};

}  // namespace distmill::lanes
