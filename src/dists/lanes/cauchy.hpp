// The Cauchy density, CDF and quantile on lanes: z, 1 + z^2 and p - 1/2 on the
// double lanes, the extended steps element by element (the density's
// product and reciprocal) or EXT_INTERLEAVE elements at a time (the
// quantile's tangent, a continued fraction: cxmath/ext/pack.hpp).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cxmath/ext/pack.hpp"
#include "dists/cauchy.hpp"
#include "dists/lanes/block.hpp"
#include "dists/lanes/keep.hpp"

namespace distmill::lanes {

// The lanes of a pack as doubles, and a pack from doubles.
template <class V>
DISTMILL_LANE_INLINE V from_lanes(const double* d) {
  if constexpr (cxmath::lanes::is_scalar_v<V>)
    return d[0];
  else
    return V::load(d);
}

// dcauchy(x, mu, sigma, log).  Ordinary lanes: finite x and mu, sigma in
// (0, DBL_MAX], z^2 below DBL_MAX (dcauchy_region), and with the flag a
// log-density in [DCAUCHY_SMALL_LOG, inf) (the region's other half; a NaN
// density cannot occur there).  For a sigma fixed for the call, pi sigma
// is formed once.
struct Dcauchy {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  bool fixed = false;
  cxmath::ext pi_sigma = 0;

  Dcauchy(const Arg* a, Scalar scalar) : f(scalar) {
    const double sigma = element<double>(a[2], 0);
    if (a[2].constant && sigma > 0 && sigma <= cxmath::DBL_MAX_) {
      fixed = true;
      pi_sigma = cxmath::PI_EXT * static_cast<cxmath::ext>(sigma);
    }
  }

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    using cxmath::ext;
    constexpr int L = size_v<V>;
    V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    ordinary = finite(x) & finite(mu) & (sigma > 0.0) & (sigma <= cxmath::DBL_MAX_);
    if (!all(ordinary)) {
      x = select(ordinary, x, V(0.0));
      mu = select(ordinary, mu, V(0.0));
      sigma = select(ordinary, sigma, V(1.0));
    }
    const V z = (x - mu) / sigma;
    const V zz = z * z;
    ordinary = ordinary & (zz < cxmath::DBL_MAX_);
    const V q = 1.0 + zz;
    alignas(64) double qd[L], sd[L], dd[L];
    store(q, qd);
    store(sigma, sd);
    for (int l = 0; l < L; ++l)
      dd[l] = detail::dcauchy_of(fixed ? pi_sigma : cxmath::PI_EXT * static_cast<ext>(sd[l]), qd[l]);
    const V d = from_lanes<V>(dd);
    const mask_t<V> give_log = flag_lanes<V>(a[3], i);
    if (none(give_log)) return d;
    const V Ld = log(select(ordinary, d, V(1.0)));
    ordinary = ordinary & (!give_log | ((Ld >= detail::DCAUCHY_SMALL_LOG) & (Ld < cxmath::INF)));
    return select(give_log, Ld, d);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// atan z on lanes: the fraction for |z| <= 2.5 and the series beyond, each
// lane to its own depth (cxmath::atan's pieces), the series' last step in
// extended precision lane by lane.
template <class V>
DISTMILL_LANE_INLINE V atan_lanes(const V& z) {
  using namespace cxmath::lanes;
  constexpr int L = size_v<V>;
  const V az = fabs(z);
  const mask_t<V> near = !(az > 2.5);
  alignas(64) double zd[L], depth[L];
  store(az, zd);
  int deepest = 0, most = 0;
  for (int l = 0; l < L; ++l) {
    const bool n = !(zd[l] > 2.5);
    const int d = n ? cxmath::detail::atan_depth(zd[l]) : cxmath::detail::atan_terms(zd[l]);
    depth[l] = d;
    if (n)
      deepest = d > deepest ? d : deepest;
    else
      most = d > most ? d : most;
  }
  const V D = from_lanes<V>(depth);
  V r(0.0);
  if (deepest > 0) r = cxmath::detail::atan_near(select(near, z, V(1.0)), select(near, D, V(15.0)), deepest);
  if (most > 0) {
    alignas(64) double acc[L], far[L];
    store(cxmath::detail::atan_far_sum(select(near, V(3.0), az), select(near, V(2.0), D), most), acc);
    for (int l = 0; l < L; ++l) far[l] = zd[l] > 2.5 ? cxmath::detail::atan_far_end(zd[l], acc[l]) : 0.0;
    const V f = from_lanes<V>(far);
    r = select(near, r, select(z < 0.0, -f, f));
  }
  return r;
}

// pcauchy(x, mu, sigma, log).  Ordinary elements: finite x and mu, sigma
// in (0, DBL_MAX], a finite z at least PCAUCHY_LOWER_Z (outside the checked
// lower tail); P = 1/2 for a tiny z, atan(z)/pi + 1/2 otherwise, then the
// probability rule of the keep step.
//
// A pack of atan_lanes runs to the depth of its deepest lane and through
// the series of its farthest one, so on arguments of mixed sizes nearly
// every lane would pay for the fraction of depth 52 and the series besides.
// The block's arguments are therefore taken in the order of their depth
// (the fraction's depth up to 2.5, the series' terms beyond), so that each
// pack holds one depth; a lane's value does not depend on the lanes beside
// it, so the order changes no bit.
struct Pcauchy {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  Pcauchy(const Arg*, Scalar scalar) : f(scalar) {}

  // The depth classes: 0 .. 4 the fraction's depths 15, 25, 35, 45, 52 up
  // to 2.5 (atan_depth), then 5 .. 13 the series' terms 10 down to 2
  // beyond (atan_terms); NONE for the tiny z (P = 1/2) and the scalar
  // function's elements.  The classes only decide which elements share a
  // pack (atan_lanes takes each lane's depth from its own argument), so
  // they are counted from the bounds without a branch: the classes of
  // neighbouring elements follow no pattern a branch predictor could learn.
  static constexpr int CLASSES = 14, NONE = CLASSES;
  static int depth_class(double az) {
    const int near = (az >= 0.5) + (az >= 1.0) + (az >= 1.5) + (az >= 2.0);
    const int far = 5 + (az >= 3.0) + (az >= 4.0) + (az >= 5.0) + (az >= 7.0) + (az >= 11.0) + (az >= 25.0) +
                    (az >= 100.0) + (az >= 1000.0);
    return near + (az > 2.5) * (far - near);
  }

  // The block's z, probabilities and ordinary flags, and its elements in
  // the order of their class.
  mutable std::vector<double> z, P;
  mutable std::unique_ptr<bool[]> ordinary;
  mutable std::vector<std::uint8_t> cls;
  mutable std::vector<std::size_t> order;
  mutable std::size_t held = 0;

  // The last step, P to the value in the scale of the flag, on packs in the
  // block's own order: arguments x, mu, sigma, flag (for the scalar
  // function), then P and the ordinary flags.
  struct Finish {
    using Scalar = Pcauchy::Scalar;
    static constexpr int arity = 6;
    Scalar f;
    template <class V>
    DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ok) const {
      ok = load_flag<V>(a[5], i);
      return probability_in_scale(a[3], i, load<V>(a[4], i), ok);
    }
    double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
  };

  template <class V>
  DISTMILL_LANE_INLINE void block(const Arg* a, double* out, std::size_t n) const {
    using namespace cxmath::lanes;
    constexpr int L = size_v<V>;
    if (held < n) {
      z.resize(n);
      P.resize(n);
      order.resize(n);
      cls.resize(n);
      ordinary.reset(new bool[n]);
      held = n;
    }
    std::size_t count[CLASSES + 1] = {};
    for (std::size_t k = 0; k < n; ++k) {
      const double x = element<double>(a[0], k), mu = element<double>(a[1], k), sigma = element<double>(a[2], k);
      const double zk = (x - mu) / sigma;
      const bool ok = cxmath::isfinite(x) & cxmath::isfinite(mu) & (sigma > 0) & (sigma <= cxmath::DBL_MAX_) &
                      cxmath::isfinite(zk) & (zk >= detail::PCAUCHY_LOWER_Z);
      z[k] = zk;
      ordinary[k] = ok;
      const bool packed = ok & !(cxmath::fabs(zk) < cxmath::EPS);
      const int c = NONE + packed * (depth_class(cxmath::fabs(zk)) - NONE);
      cls[k] = static_cast<std::uint8_t>(c);
      ++count[c];
    }
    std::size_t first[CLASSES + 1], at[CLASSES + 1];
    for (std::size_t c = 0, sum = 0; c <= CLASSES; sum += count[c], ++c) first[c] = at[c] = sum;
    for (std::size_t k = 0; k < n; ++k) order[at[cls[k]]++] = k;
    // Each class a pack at a time, the last pack of a class filled with
    // copies of its last argument.
    for (int c = 0; c < CLASSES; ++c) {
      const std::size_t begin = first[c], end = begin + count[c];
      for (std::size_t j = begin; j < end; j += L) {
        alignas(64) double zd[L], pd[L];
        for (int l = 0; l < L; ++l) zd[l] = z[order[j + l < end ? j + l : end - 1]];
        store(atan_lanes(from_lanes<V>(zd)) / cxmath::PI_DOUBLE + 0.5, pd);
        for (int l = 0; l < L && j + l < end; ++l) P[order[j + l]] = pd[l];
      }
    }
    for (std::size_t j = first[NONE]; j < n; ++j) P[order[j]] = 0.5;
    const Arg t[6] = {a[0], a[1], a[2], a[3], {P.data(), false, sizeof(double)}, {ordinary.get(), false, sizeof(bool)}};
    run_block<Finish, V>(Finish{f}, t, out, n);
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

// qcauchy(p, mu, sigma).  Ordinary lanes: tail(p) at least ROUNDED_TAIL,
// finite mu, sigma in (0, DBL_MAX] with |mu| <= LOCATION_RESOLUTION sigma
// (outside the checked region and the guards), and a finite quantile.  The
// tangents of pi |p - 1/2| taken by the continued fraction run in groups
// of one depth; the few others (p = 1/2, the series near the pole) are
// qcauchy_tan's own.
struct Qcauchy {
  using Scalar = double (*)(double, double, double);
  static constexpr int arity = 3;

  Scalar f;

  Qcauchy(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    using cxmath::ext;
    constexpr int L = size_v<V>;
    V p = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    const V tail = select(p < 0.5, p, 1.0 - p);
    ordinary = (tail >= cxmath::ROUNDED_TAIL) & finite(mu) & (sigma > 0.0) & (sigma <= cxmath::DBL_MAX_) &
               (fabs(mu) <= cxmath::LOCATION_RESOLUTION * sigma);
    if (!all(ordinary)) {
      p = select(ordinary, p, V(0.25));
      mu = select(ordinary, mu, V(0.0));
      sigma = select(ordinary, sigma, V(1.0));
    }
    alignas(64) double pd[L], md[L], sd[L], qd[L];
    store(p - 0.5, pd);
    store(mu, md);
    store(sigma, sd);
    // The angles by the depth of their fraction (25, 35, 45).
    ext d[L], t[L], angle[3][L], tangent[3][L];
    int at[3][L], n[3] = {0, 0, 0};
    for (int l = 0; l < L; ++l) {
      d[l] = cxmath::PI_EXT * static_cast<ext>(pd[l]);
      const ext x = cxmath::fabs(d[l]);
      if (!(x >= cxmath::EPS_EXT) || (x > ext(1.55) && x < ext(1.6))) {
        t[l] = detail::qcauchy_tan(d[l]);
        continue;
      }
      const int N = cxmath::detail::tan_depth(x);
      const int k = N == 25 ? 0 : N == 35 ? 1 : 2;
      angle[k][n[k]] = x;
      at[k][n[k]++] = l;
    }
    for (int k = 0; k < 3; ++k) {
      const int N = 25 + 10 * k;
      cxmath::ext_groups(angle[k], tangent[k], n[k], [N](const auto& x) { return cxmath::detail::tan_cf(x, N); });
      for (int j = 0; j < n[k]; ++j) {
        const int l = at[k][j];
        t[l] = d[l] > 0 ? tangent[k][j] : -tangent[k][j];
      }
    }
    for (int l = 0; l < L; ++l) qd[l] = detail::qcauchy_of(md[l], sd[l], t[l]);
    const V q = from_lanes<V>(qd);
    ordinary = ordinary & (fabs(q) < cxmath::INF);
    return q;
  }

  double scalar(const Arg* a, std::size_t i) const { return scalar_at(f, a, i); }
};

}  // namespace distmill::lanes
