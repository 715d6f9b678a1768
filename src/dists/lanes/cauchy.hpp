// The Cauchy density, CDF and quantile on lanes: z, 1 + z^2 and p - 1/2 on the
// double lanes, the extended steps element by element (the density's
// product and reciprocal) or EXT_INTERLEAVE elements at a time (the
// quantile's tangent, a continued fraction: cxmath/ext/pack.hpp).
#pragma once

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

// pcauchy(x, mu, sigma, log).  Ordinary lanes: finite x and mu, sigma in
// (0, DBL_MAX], a finite z at least PCAUCHY_LOWER_Z (outside the checked
// lower tail); P = 1/2 for a tiny z, atan(z)/pi + 1/2 otherwise.
struct Pcauchy {
  using Scalar = double (*)(double, double, double, bool);
  static constexpr int arity = 4;

  Scalar f;
  Pcauchy(const Arg*, Scalar scalar) : f(scalar) {}

  template <class V>
  DISTMILL_LANE_INLINE V group(const Arg* a, std::size_t i, mask_t<V>& ordinary) const {
    using namespace cxmath::lanes;
    const V x = load<V>(a[0], i), mu = load<V>(a[1], i), sigma = load<V>(a[2], i);
    V z = (x - mu) / sigma;
    ordinary = finite(x) & finite(mu) & (sigma > 0.0) & (sigma <= cxmath::DBL_MAX_) & finite(z) &
               (z >= detail::PCAUCHY_LOWER_Z);
    if (!all(ordinary)) z = select(ordinary, z, V(1.0));
    const V P = select(fabs(z) < cxmath::EPS, V(0.5), atan_lanes(z) / cxmath::PI_DOUBLE + 0.5);
    return probability_in_scale(a[3], i, P, ordinary);
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
