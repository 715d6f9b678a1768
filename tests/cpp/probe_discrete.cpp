#include "probe.hpp"
#include "dists/pois.hpp"

// The factorial table of the Poisson series, j = 0 .. 170.
PROBE(k_pois_factorial, "d:i") double k_pois_factorial(std::int64_t j) {
  return distmill::detail::POIS_FACT.v[j];
}
