// The software extended format against the x87 unit, operation by
// operation (tools/check/ext_compare.hpp); -1 where there is no unit.
#include "probe.hpp"
#include "../../tools/check/ext_compare.hpp"

PROBE(k_ext_format_disagreements, "i:iii")
std::int64_t k_ext_format_disagreements(std::int64_t op, std::int64_t n, std::int64_t seed) {
  if (op < 0 || op >= ext_check::N_OPS) return -2;
  return ext_check::mismatches(static_cast<ext_check::Op>(op), n, static_cast<std::uint64_t>(seed));
}
