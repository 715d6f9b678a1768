// Full-precision views of the extended kernels.  ctypes rounds a returned
// long double to a Python float, so each result is split into two doubles:
// part 0 is the value rounded to double, part 1 the exact remainder (a
// 64-bit significand always fits in hi + lo).  Arguments are likewise taken
// as an exact sum hi + lo, so extended points such as the extended pi/2 can
// be reached.
#include "probe.hpp"
#include "cxmath/elementary.hpp"

namespace {

double part_of(long double v, std::int64_t part) {
  const double hi = static_cast<double>(v);
  if (part == 0) return hi;
  // An infinite or NaN value has no remainder.
  if (!(hi - hi == 0)) return 0.0;
  return static_cast<double>(v - static_cast<long double>(hi));
}

long double ext_arg(double hi, double lo) {
  return static_cast<long double>(hi) + static_cast<long double>(lo);
}

}  // namespace

PROBE(k_tan_part, "d:ddi")
double k_tan_part(double hi, double lo, std::int64_t part) {
  return part_of(cxmath::tan(ext_arg(hi, lo)), part);
}

PROBE(k_exp_ext_part, "d:ddi")
double k_exp_ext_part(double hi, double lo, std::int64_t part) {
  return part_of(cxmath::exp_ext(ext_arg(hi, lo)), part);
}

PROBE(k_exp_integer_part, "d:ii")
double k_exp_integer_part(std::int64_t n, std::int64_t part) {
  return part_of(cxmath::exp_integer(n), part);
}
