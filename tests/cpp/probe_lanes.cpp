// The batched log and exp (log_lanes, exp_lanes) against the scalar kernels,
// the quadrature branch of the incomplete gamma (which evaluates its
// integrand through them) against the integrand evaluated node by node with the scalar
// kernels, the table of e^n against run-time square-and-multiply, and the
// kernels on packs (cxmath/lanes/) for every instruction set against the
// scalar kernels.
// Each probe returns the number of values that differ in any bit.
#include <cstdint>
#include <cstring>

#include "probe.hpp"
#include "cxmath/elementary.hpp"
#include "cxmath/erf.hpp"
#include "cxmath/incomplete_gamma.hpp"
#include "cxmath/lanes/elementary.hpp"
#include "cxmath/lanes/isa.hpp"
#include "dists/lanes/quantile_norm.hpp"
#include "dists/lanes/quantile_beta.hpp"
#include "dists/lanes/cauchy.hpp"

namespace {

using namespace cxmath;

struct Rng {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  double sign() { return (next() & 1) ? 1.0 : -1.0; }
  std::uint64_t below(std::uint64_t n) { return next() % n; }
};

bool same_bits(double u, double v) { return std::memcmp(&u, &v, sizeof u) == 0; }

double any_double(Rng& r) {
  double v;
  const std::uint64_t b = r.next();
  std::memcpy(&v, &b, sizeof v);
  return v;
}

// Arguments of the logarithm: every guard and branch edge, both sides of
// the scaling loop, near 1 within and beyond EPS, and arbitrary bit patterns.
double log_arg(Rng& r) {
  static const double special[] = {NaN, -NaN, -1.0, -0.0, 0.0, 4.9e-324, 1e-300, EPS, EPS * 0.99,
                                   0.5, 0.49999999999999994, 1.5, 1.5000000000000002, 1.0,
                                   1 + EPS, 1 - EPS, 1 + 2 * EPS, 10.0, 10.000000000000002,
                                   DBL_MAX_, INF, -INF, 2.0, 9.9999999999999982};
  switch (r.below(5)) {
    case 0:
      return __builtin_exp2(-1074 + 2098 * r.unit());
    case 1:
      return 0.4 + 1.2 * r.unit();
    case 2:
      return 1 + r.sign() * static_cast<double>(r.below(8)) * 0x1p-53;
    case 3:
      return any_double(r);
    default:
      return special[r.below(sizeof special / sizeof *special)];
  }
}

double exp_arg(Rng& r) {
  static const double special[] = {NaN, -NaN, INF, -INF, 0.0, -0.0, EPS, -EPS, EPS * 0.5, 2.0,
                                   -2.0, 1.9999999999999998, -1.9999999999999998, 0x1p63, -0x1p63,
                                   0x1p62, -0x1p62, 709.78, -745.2, 0.5, -0.5, 11356.0, -11400.0};
  switch (r.below(5)) {
    case 0:
      return r.sign() * 2 * r.unit();
    case 1:
      return -800 + 1600 * r.unit();
    case 2:
      return r.sign() * __builtin_exp2(-60 + 130 * r.unit());
    case 3:
      return any_double(r);
    default:
      return special[r.below(sizeof special / sizeof *special)];
  }
}

// Arguments of expm1, log1p and the tanh fraction: both sides of the
// series' bound 1e-4, log1p's pole at -1 and the region below it, the
// exponential's arguments, and arbitrary bit patterns.
double near_zero_arg(Rng& r) {
  static const double special[] = {1e-4, -1e-4, 1.0000000000000002e-4, -1.0000000000000002e-4,
                                   9.999999999999999e-5, -9.999999999999999e-5, -1.0, -1.0000000000000002,
                                   -0.9999999999999999, 0.0, -0.0, NaN, -NaN, INF, -INF, 20.0, -5.0};
  switch (r.below(5)) {
    case 0:
      return r.sign() * __builtin_exp2(-40 + 35 * r.unit());
    case 1:
      return -1 + 40 * r.unit();
    case 2:
      return exp_arg(r);
    case 3:
      return any_double(r);
    default:
      return special[r.below(sizeof special / sizeof *special)];
  }
}

template <int L, bool Log>
std::int64_t lanes_vs_scalar(Rng& r) {
  double x[L] = {}, out[L] = {};
  for (int l = 0; l < L; ++l) x[l] = Log ? log_arg(r) : exp_arg(r);
  if constexpr (Log)
    log_lanes<L>(x, out);
  else
    exp_lanes<L>(x, out);
  std::int64_t bad = 0;
  for (int l = 0; l < L; ++l) bad += !same_bits(out[l], Log ? log(x[l]) : exp(x[l]));
  return bad;
}

// The quadrature as it reads with one scalar log and exp per node.
double gl_node_by_node(double a, double z) {
  const double lg = lgamma(a), s = sqrt(a), m = z < a ? z : a;
  double k_lo, k_hi;
  if (a > 800) { k_lo = 11; k_hi = 10; }
  else if (a > 300) { k_lo = 10; k_hi = 9; }
  else if (a > 90) { k_lo = 9; k_hi = 8; }
  else if (a > 70) { k_lo = 8; k_hi = 7; }
  else if (a > 50) { k_lo = 7; k_hi = 6; }
  else if (a > 40) { k_lo = 6; k_hi = 5; }
  else if (a > 30) { k_lo = 5; k_hi = 4; }
  else { k_lo = 4; k_hi = 4; }
  const double top = (s * k_hi) + a, upper = z < top ? z : top;
  double lower = m - (s * k_lo);
  if (lower < 0) lower = 0;
  const double mid = (lower + upper) * 0.5, width = upper - lower, am1 = a - 1;
  double S = 0;
  for (int i = 49; i >= 0; --i) {
    const double t = static_cast<double>(static_cast<ext>(width) * gl50_nodes[i] * ext(0.5) + static_cast<ext>(mid));
    const double w = static_cast<double>(static_cast<ext>(width) * gl50_weights[i] * ext(0.5));
    const double f = exp(((log(t) * am1) - t) - lg);
    S = i == 49 ? f * w : f * w + S;
  }
  return S;
}

// erf_ext on groups (erf_ext_many, the interleaved continued fractions)
// against erf_ext one argument at a time: n arguments on one side of the
// switch, drawn as the normal CDF forms them (u/sqrt 2 in extended
// precision) from u over the lanes' range, with the neighbours of the
// switch, of |u| = 2^-30 and of the exponential's split at |e| = 2.
bool same_ext(ext u, ext v) { return ext_sign_exp(u) == ext_sign_exp(v) && ext_significand(u) == ext_significand(v); }

std::int64_t erf_groups_vs_scalar(Rng& r, int n, bool large) {
  ext z[16], got[16];
  for (int l = 0; l < n; ++l) {
    static const double edges[] = {0x1p-30, 0x1.0000000000001p-30, 2.0, 1.9999999999999998, 2.0000000000000004,
                                   2.9698484809834995, 2.9698484809835, 2.969848480983500, 64.0, 9.5};
    double u = 0;
    switch (r.below(4)) {
      case 0: u = edges[r.below(10)]; break;
      case 1: u = __builtin_exp2(-30 + 31 * r.unit()); break;
      default: u = large ? 2.96 + 61.04 * r.unit() : 2.97 * r.unit(); break;
    }
    ext a = static_cast<ext>(u) / SQRT2_EXT;
    // Keep the argument on its side of the switch.
    if ((a > static_cast<ext>(detail::ERF_SWITCH)) != large) a = large ? static_cast<ext>(2.5) : static_cast<ext>(1.5);
    z[l] = a;
  }
  detail::erf_ext_many(z, got, n, large);
  std::int64_t bad = 0;
  for (int l = 0; l < n; ++l) bad += !same_ext(got[l], erf_ext(z[l]));
  return bad;
}

// The tangent's continued fraction on groups of one depth (as the Cauchy
// quantile's lanes run it) against tan, on angles in (0, 1.55] of every
// depth, the depths' edges included.
std::int64_t tan_groups_vs_scalar(Rng& r, int n) {
  static const double edges[] = {1.0, 1.0000000000000002, 0.99999999999999989, 1.4, 1.4000000000000001,
                                 1.3999999999999999, 1.55, 1e-15};
  const int pick = static_cast<int>(r.below(3));
  ext x[16], got[16];
  for (int l = 0; l < n; ++l) {
    ext v = static_cast<ext>(r.below(4) == 0 ? edges[r.below(8)] : 1.55 * r.unit());
    if (detail::tan_depth(v) != 25 + 10 * pick) v = static_cast<ext>(pick == 0 ? 0.5 : pick == 1 ? 1.2 : 1.5);
    x[l] = v;
  }
  const int N = 25 + 10 * pick;
  ext_groups(x, got, n, [N](const auto& v) { return detail::tan_cf(v, N); });
  std::int64_t bad = 0;
  for (int l = 0; l < n; ++l) bad += !same_ext(got[l], tan(x[l]));
  return bad;
}

}  // namespace

// what: 0 log_lanes, 1 exp_lanes (each in batches of 1, 7 and 50 lanes, n
// batches of each), 2 the incomplete gamma quadrature on n (a, z) pairs,
// 3 erf_ext and the tangent's fraction in groups (1 to 9 arguments; each
// side of erf_ext's switch, each depth of the fraction).
PROBE(k_lanes_mismatches, "i:iii")
std::int64_t k_lanes_mismatches(std::int64_t what, std::int64_t n, std::int64_t seed) {
  Rng r{static_cast<std::uint64_t>(seed)};
  std::int64_t bad = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    if (what == 0) {
      bad += lanes_vs_scalar<1, true>(r) + lanes_vs_scalar<7, true>(r) + lanes_vs_scalar<50, true>(r);
    } else if (what == 1) {
      bad += lanes_vs_scalar<1, false>(r) + lanes_vs_scalar<7, false>(r) + lanes_vs_scalar<50, false>(r);
    } else if (what == 3) {
      bad += erf_groups_vs_scalar(r, 1 + static_cast<int>(r.below(9)), r.below(2) != 0) +
             tan_groups_vs_scalar(r, 1 + static_cast<int>(r.below(9)));
    } else {
      static const double shapes[] = {10.0, 30.0, 30.000000000000004, 800.0, 1e6, 1e12, 1e300, INF};
      const double a = r.below(4) ? 10 * __builtin_exp2(20 * r.unit()) : shapes[r.below(8)];
      static const double points[] = {EPS, 1e-300, 0.5, 1e300, INF, NaN};
      const double z = r.below(5) ? a * 2 * r.unit() : points[r.below(6)];
      // Both NaN counts as agreement here: where a product meets two NaN
      // operands (an infinite shape) the sign of the result follows the
      // operand order, which the compiler may commute in either form.
      const double u = detail::incomplete_gamma_gl(a, z), v = gl_node_by_node(a, z);
      bad += !(same_bits(u, v) || (u != u && v != v));
    }
  }
  return bad;
}

// The batched fractions compiled for the x86-64 baseline and for AVX2 (the
// two clones the module picks between at run time) on the same arguments:
// what 0 the logarithm's fraction on z in (-1, 1) and arbitrary finite z,
// 1 the exponential's on r in (-2, 2) and arbitrary finite r.  Returns -1
// when the processor has no AVX2.
[[gnu::flatten]] void log_cf_base(const double (&z)[50], double (&o)[50]) { detail::log_cf_lanes<50>(z, o); }
[[gnu::flatten]] void exp_cf_base(const double (&r)[50], double (&o)[50]) { detail::exp_cf_lanes<50>(r, o); }
[[gnu::target("avx2"), gnu::flatten]] void log_cf_avx2(const double (&z)[50], double (&o)[50]) {
  detail::log_cf_lanes<50>(z, o);
}
[[gnu::target("avx2"), gnu::flatten]] void exp_cf_avx2(const double (&r)[50], double (&o)[50]) {
  detail::exp_cf_lanes<50>(r, o);
}

PROBE(k_lanes_isa_mismatches, "i:iii")
std::int64_t k_lanes_isa_mismatches(std::int64_t what, std::int64_t n, std::int64_t seed) {
  if (!__builtin_cpu_supports("avx2")) return -1;
  Rng r{static_cast<std::uint64_t>(seed)};
  std::int64_t bad = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    double in[50] = {}, a[50] = {}, b[50] = {};
    for (double& v : in) {
      const double wide = any_double(r);
      const double near = what == 0 ? 2 * r.unit() - 1 : 4 * r.unit() - 2;
      v = r.below(4) == 0 && isfinite(wide) ? wide : near * __builtin_exp2(-60 * r.unit() * r.unit());
    }
    if (what == 0) {
      log_cf_base(in, a);
      log_cf_avx2(in, b);
    } else {
      exp_cf_base(in, a);
      exp_cf_avx2(in, b);
    }
    for (int l = 0; l < 50; ++l) bad += !same_bits(a[l], b[l]);
  }
  return bad;
}

// Each tabulated e^n against square-and-multiply at run time (the exponent
// passes through a volatile so that the compiler cannot fold it).
PROBE(k_exp_integer_table_mismatches, "i:") std::int64_t k_exp_integer_table_mismatches() {
  std::int64_t bad = 0;
  for (int n = -detail::EXP_INTEGER_TABULATED; n <= detail::EXP_INTEGER_TABULATED; ++n) {
    volatile std::int64_t vn = n;
    const ext run_time = detail::exp_integer_sqmul(vn);
    const ext table = exp_integer(n);
    bad += ext_sign_exp(run_time) != ext_sign_exp(table) || ext_significand(run_time) != ext_significand(table);
  }
  return bad;
}

// ---- kernels on packs ----------------------------------------------------

namespace {

// The incomplete beta inverse's refinement batched across the lanes of V
// (refine_block with the lanes' BetaInvSteps) against the scalar inverse,
// for one block of 1 to 40 elements with shapes fixed for the block: p
// anywhere in (0, 1), down to 1e-300 in either tail and at points whose
// density vanishes at the start or after three steps (which ends the
// element there), among elements whose state recurs and ones that take
// all 36 steps.  Returns the number of elements whose bits differ.
template <class V>
std::int64_t beta_refine_vs_scalar(Rng& r) {
  static const double shapes[][2] = {{2.5, 3.5}, {0.3, 7.0}, {60.0, 690.0}, {0.35, 0.4}, {3.0, 50.0},
                                     {3.0, 3000.0}, {3000.0, 2.0}, {3000.0, 5.0}, {0.05, 2.0}, {0.3, 0.05},
                                     {1.0, 1.0}, {0.7, 0.05}};
  static const double ends[] = {0.99999999969452003, 0.9999999999677549, 0.9999999999934468,
                                2.424524851661258e-08, 2.4464083071812268e-16, 0.9697744328026896,
                                2.2688260830730316e-05, 0.16164283719081163, 0.5704973278958857};
  const double* ab = shapes[r.below(sizeof shapes / sizeof *shapes)];
  const double a = ab[0], b = ab[1];
  const std::size_t n = 1 + r.below(40);
  double p[40], got[40];
  for (std::size_t k = 0; k < n; ++k) {
    switch (r.below(4)) {
      case 0:
        p[k] = r.unit();
        break;
      case 1:
        p[k] = __builtin_exp2(-1000 * r.unit());
        break;
      case 2:
        p[k] = 1 - __builtin_exp2(-45 * r.unit());
        break;
      default:
        p[k] = ends[r.below(sizeof ends / sizeof *ends)];
    }
    got[k] = NaN;
  }
  const distmill::lanes::BetaInvSteps steps = distmill::lanes::beta_inv_steps(a, b);
  const auto enter = [&](std::size_t k, double& y, double& x) {
    double out = 0, L = 0;
    if (detail::incomplete_beta_inv_start(a, b, p[k], out, x, L)) {
      got[k] = out;
      return false;
    }
    y = p[k];
    return true;
  };
  const auto leave = [&](std::size_t k, double v) { got[k] = v; };
  distmill::lanes::refine_block<distmill::lanes::BetaInvSteps, V>(steps, n, enter, leave);
  std::int64_t bad = 0;
  for (std::size_t k = 0; k < n; ++k) bad += !same_bits(got[k], incomplete_beta_inv(a, b, p[k]));
  return bad;
}

// One pack of arguments for kernel `what` (0 log, 1 exp, 2 log_core, 3 the
// pack's own operations, 4 expm1, 5 log1p, 6 the tanh fraction, 7 erf from
// its exponential), the pack's result and the scalar one lane by
// lane; returns the number of lanes whose bits differ.  For 8, a block of
// the beta inverse's refinement on V and on one value at a time; 9 the
// square root (Newton's iteration), on the logarithm's arguments; 10 the
// arc-tangent (its fraction and series, each lane to its own depth).  Some packs are
// filled with one argument class only, so that all-ordinary packs (which
// skip the selects) are tested as well as mixed ones.
template <class V>
DISTMILL_LANE_INLINE std::int64_t pack_vs_scalar(int what, Rng& r) {
  if (what == 8) return beta_refine_vs_scalar<V>(r) + beta_refine_vs_scalar<double>(r);
  constexpr int N = V::size;
  double x[N], y[N], want[N];
  const bool uniform = r.below(3) == 0;
  const std::uint64_t kind = r.next();
  for (int l = 0; l < N; ++l) {
    Rng& g = r;
    const double v = what == 1 || what == 7 ? exp_arg(g) : what >= 4 && what != 9 ? near_zero_arg(g) : log_arg(g);
    if (what == 10) {
      // Packs of the arc-tangent's fraction only (each lane its own depth),
      // of its series only, and mixed ones over 1e-9 .. 3e4 and beyond.
      x[l] = uniform ? (kind & 1 ? 5 * g.unit() - 2.5 : g.sign() * (2.5 + __builtin_exp2(12 * g.unit())))
                     : (kind & 2 ? v : g.sign() * __builtin_exp2(-30 + 45 * g.unit()));
    } else if (what == 7) {
      // Packs below the erf fraction's branch switch only, packs beyond it
      // only, and mixed ones with every guard.
      x[l] = uniform ? (kind & 1 ? 4.2 * g.unit() - 2.1 : g.sign() * (2.1 + 4 * g.unit())) : v;
    } else if (what >= 4 && what != 9) {
      // Packs of one side of the series' bound only, and mixed ones.
      x[l] = uniform ? (kind & 1 ? 2e-4 * g.unit() - 1e-4 : g.sign() * (1e-4 + 30 * g.unit())) : v;
    } else if (uniform) {
      // Ordinary arguments only: the continued fractions' ranges.
      x[l] = what == 1 ? (kind & 1 ? 4 * g.unit() - 2 : 1400 * g.unit() - 700)
                       : (kind & 1 ? 0.5 + g.unit() : __builtin_exp2(-50 + 100 * g.unit()));
    } else {
      x[l] = what == 2 && !(v >= EPS) ? EPS + g.unit() : v;
    }
    y[l] = any_double(g);
  }
  const V vx = V::load(x);
  V got;
  if (what == 0) {
    got = cxmath::lanes::log(vx);
    for (int l = 0; l < N; ++l) want[l] = log(x[l]);
  } else if (what == 1) {
    got = cxmath::lanes::exp(vx);
    for (int l = 0; l < N; ++l) want[l] = exp(x[l]);
  } else if (what == 2) {
    got = cxmath::lanes::log_core(vx);
    for (int l = 0; l < N; ++l) want[l] = log_core(x[l]);
  } else if (what == 4) {
    got = cxmath::lanes::expm1(vx);
    for (int l = 0; l < N; ++l) want[l] = expm1(x[l]);
  } else if (what == 5) {
    got = cxmath::lanes::log1p(vx);
    for (int l = 0; l < N; ++l) want[l] = log1p(x[l]);
  } else if (what == 6) {
    got = cxmath::lanes::tanh_cf(vx);
    for (int l = 0; l < N; ++l) want[l] = tanh_cf(x[l]);
  } else if (what == 9) {
    got = cxmath::lanes::sqrt(vx);
    for (int l = 0; l < N; ++l) want[l] = sqrt(x[l]);
  } else if (what == 10) {
    got = distmill::lanes::atan_lanes(vx);
    for (int l = 0; l < N; ++l) want[l] = atan(x[l]);
  } else if (what == 7) {
    got = distmill::lanes::erf_given_exp_lanes(vx, cxmath::lanes::exp((-vx) * vx));
    for (int l = 0; l < N; ++l) want[l] = cxmath::detail::erf_given_exp(x[l], exp((-x[l]) * x[l]));
  } else {
    // select on a comparison, fabs, truncation (within 2^31), the IEEE
    // square root, the encoding and back, masks from bools, any and all.
    const V vy = V::load(y);
    double t[N];
    bool flags[N];
    for (int l = 0; l < N; ++l) {
      t[l] = (2 * r.unit() - 1) * 0x1p31;
      flags[l] = r.below(2);
    }
    const V vt = V::load(t);
    const auto m = cxmath::lanes::Mask<V::width, V::registers>::load(flags);
    const V s = cxmath::lanes::select(vx < vy, vx, vy);
    const V f = fabs(vy);
    const V tr = cxmath::lanes::truncate(vt);
    const V q = cxmath::lanes::sqrt_ieee(vx);
    const V back = cxmath::lanes::from_bits(cxmath::lanes::to_bits(vy) + (cxmath::lanes::to_bits(vx) & cxmath::lanes::to_bits(V(0.0))));
    const V picked = cxmath::lanes::select(m, vx, vy);
    std::int64_t bad = 0;
    bool any_flag = false, all_flags = true;
    for (int l = 0; l < N; ++l) {
      bad += !same_bits(s.lane(l), x[l] < y[l] ? x[l] : y[l]);
      bad += !same_bits(f.lane(l), __builtin_fabs(y[l]));
      bad += !same_bits(tr.lane(l), static_cast<double>(static_cast<std::int64_t>(t[l])));
      bad += !same_bits(q.lane(l), __builtin_sqrt(x[l])) && !(x[l] < 0 || x[l] != x[l]);
      bad += !same_bits(back.lane(l), y[l]);
      bad += !same_bits(picked.lane(l), flags[l] ? x[l] : y[l]);
      any_flag |= flags[l];
      all_flags &= flags[l];
    }
    bad += cxmath::lanes::any(m) != any_flag;
    bad += cxmath::lanes::all(m) != all_flags;
    bad += cxmath::lanes::none(m) == any_flag;
    return bad;
  }
  std::int64_t bad = 0;
  for (int l = 0; l < N; ++l) bad += !same_bits(got.lane(l), want[l]);
  return bad;
}

// n packs of the module's interleave and n of one register each.
template <cxmath::lanes::Isa I>
DISTMILL_LANE_INLINE std::int64_t packs_vs_scalar(int what, std::int64_t n, Rng& r) {
  using cxmath::lanes::pack_t;
  std::int64_t bad = 0;
  for (std::int64_t i = 0; i < n; ++i)
    bad += pack_vs_scalar<pack_t<I>>(what, r) + pack_vs_scalar<pack_t<I, 1>>(what, r);
  return bad;
}

std::int64_t packs_sse2(int what, std::int64_t n, Rng& r) { return packs_vs_scalar<cxmath::lanes::Isa::sse2>(what, n, r); }
#if DISTMILL_LANES_X86
DISTMILL_TARGET_AVX2 std::int64_t packs_avx2(int what, std::int64_t n, Rng& r) {
  return packs_vs_scalar<cxmath::lanes::Isa::avx2>(what, n, r);
}
DISTMILL_TARGET_AVX512 std::int64_t packs_avx512(int what, std::int64_t n, Rng& r) {
  return packs_vs_scalar<cxmath::lanes::Isa::avx512>(what, n, r);
}
#endif

}  // namespace

// what: 0 log, 1 exp, 2 log_core, 3 the pack operations, 4 expm1, 5 log1p,
// 6 the tanh fraction, 7 erf from its exponential, 8 the beta inverse's
// refinement (blocks of elements instead of packs), 9 the square root, 10
// the arc-tangent; isa: 1 SSE2,
// 2 AVX2, 3 AVX-512.  n packs of each of two shapes.  Returns the number of
// lanes that differ from the scalar kernel, or -1 when the processor
// lacks the instruction set.
PROBE(k_pack_mismatches, "i:iiii")
std::int64_t k_pack_mismatches(std::int64_t what, std::int64_t n, std::int64_t seed, std::int64_t isa) {
  using cxmath::lanes::Isa;
  const Isa I = static_cast<Isa>(isa);
  if (I == Isa::scalar || !cxmath::lanes::supported(I)) return -1;
  Rng r{static_cast<std::uint64_t>(seed)};
  const int w = static_cast<int>(what);
#if DISTMILL_LANES_X86
  if (I == Isa::avx2) return packs_avx2(w, n, r);
  if (I == Isa::avx512) return packs_avx512(w, n, r);
#endif
  return packs_sse2(w, n, r);
}
