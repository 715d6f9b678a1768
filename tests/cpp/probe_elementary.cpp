#include "probe.hpp"
#include "cxmath/elementary.hpp"

PROBE(k_log, "d:d") double k_log(double x) { return cxmath::log(x); }
PROBE(k_exp, "d:d") double k_exp(double x) { return cxmath::exp(x); }
PROBE(k_pow, "d:dd") double k_pow(double a, double b) { return cxmath::pow(a, b); }
PROBE(k_expm1, "d:d") double k_expm1(double x) { return cxmath::expm1(x); }
PROBE(k_log1p, "d:d") double k_log1p(double x) { return cxmath::log1p(x); }
PROBE(k_sqrt, "d:d") double k_sqrt(double x) { return cxmath::sqrt(x); }
PROBE(k_atan, "d:d") double k_atan(double x) { return cxmath::atan(x); }
PROBE(k_tanh_cf, "d:d") double k_tanh_cf(double x) { return cxmath::tanh_cf(x); }
PROBE(k_ipow, "d:id") double k_ipow(std::int64_t n, double x) { return cxmath::ipow(n, x); }
