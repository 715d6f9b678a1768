// Digest of every d, p, q and r function on inputs fixed as bit patterns,
// computed from the scalar functions directly (no Python, no numpy), so
// that builds on different machines, compilers and extended formats can be
// compared.  digest.py computes the same digest through the module.
//
//   g++ -std=c++20 -O2 -ffp-contract=off -fno-fast-math -Isrc
//       tools/check/digest/digest.cpp -o digest
//   ./digest [--random N] [--draws N]
//
// Per d/p/q function, the hash covers, in this order: the outer product of
// special values of each argument (first argument slowest) with the flag
// false, then true (d and p only); N random points with the flag false,
// then true; the first random point once more (the scalar call of the
// module).  Random arguments come from splitmix64 by integer operations
// only (see `random_arg`).  Per r function: for each parameter set k,
// N + 17 draws from an engine seeded 17 + k (the module: an array of N, 5
// scalar draws, a 3 x 4 array).  Each result enters the SHA-256 as
// its 8 bytes, least significant first, as the module returns it: every
// NaN as the one quiet NaN 0x7ff8000000000000 (cxmath::unify_nan, which the
// module applies where each value leaves it).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dists/bern.hpp"
#include "dists/beta.hpp"
#include "dists/binom.hpp"
#include "dists/cauchy.hpp"
#include "dists/chisq.hpp"
#include "dists/exp.hpp"
#include "dists/f.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/laplace.hpp"
#include "dists/lnorm.hpp"
#include "dists/logis.hpp"
#include "dists/norm.hpp"
#include "dists/pois.hpp"
#include "dists/t.hpp"
#include "dists/unif.hpp"
#include "dists/weibull.hpp"
#include "random/bernoulli.hpp"
#include "random/engine.hpp"
#include "random/gamma.hpp"
#include "random/inversion.hpp"
#include "random/normal.hpp"
#include "random/poisson.hpp"
#include "random/uniform.hpp"
#include "sha256.hpp"

namespace {

using u64 = std::uint64_t;

enum Kind { LOC, POS, PROB, COUNT, X, K, P, FLAG };

// Special values of each kind, as double bit patterns (COUNT and K: integers).
const std::vector<u64> SPECIAL[] = {
    // LOC: -inf, -1e300, -3.5, -1, -0, 0, 0.25, 2, 1e10, inf, NaN, -NaN
    {0xfff0000000000000, 0xfe37e43c8800759c, 0xc00c000000000000, 0xbff0000000000000, 0x8000000000000000,
     0x0000000000000000, 0x3fd0000000000000, 0x4000000000000000, 0x4202a05f20000000, 0x7ff0000000000000,
     0x7ff8000000000000, 0xfff8000000000000},
    // POS: -1, 0, 2^-1074, 1e-300, 1e-17, 0.003, 0.5, 1, 1.7, 2, 5.5, 9.99, 10, 37.2, 150, 1e4, 1e12,
    // the largest double, inf, NaN
    {0xbff0000000000000, 0x0000000000000000, 0x0000000000000001, 0x01a56e1fc2f8f359, 0x3c670ef54646d497,
     0x3f689374bc6a7efa, 0x3fe0000000000000, 0x3ff0000000000000, 0x3ffb333333333333, 0x4000000000000000,
     0x4016000000000000, 0x4023fae147ae147b, 0x4024000000000000, 0x404299999999999a, 0x4062c00000000000,
     0x40c3880000000000, 0x426d1a94a2000000, 0x7fefffffffffffff, 0x7ff0000000000000, 0x7ff8000000000000},
    // PROB: -0.1, 0, 1e-12, 0.1, 0.5, 0.77, 1 - 2^-53, 1, 1.2, NaN
    {0xbfb999999999999a, 0x0000000000000000, 0x3d719799812dea11, 0x3fb999999999999a, 0x3fe0000000000000,
     0x3fe8a3d70a3d70a4, 0x3fefffffffffffff, 0x3ff0000000000000, 0x3ff3333333333333, 0x7ff8000000000000},
    // COUNT
    {u64(-1), 0, 1, 5, 40, 300},
    // X: -inf, -1e10, -3, -1, -1e-20, -0, 0, 2^-1074, 1e-300, 1e-5, 0.1, 0.5, 0.9, 1, 1.5, 3, 7.7, 25,
    // 1e5, 1e300, the largest double, inf, NaN, -NaN
    {0xfff0000000000000, 0xc202a05f20000000, 0xc008000000000000, 0xbff0000000000000, 0xbbc79ca10c924223,
     0x8000000000000000, 0x0000000000000000, 0x0000000000000001, 0x01a56e1fc2f8f359, 0x3ee4f8b588e368f1,
     0x3fb999999999999a, 0x3fe0000000000000, 0x3feccccccccccccd, 0x3ff0000000000000, 0x3ff8000000000000,
     0x4008000000000000, 0x401ecccccccccccd, 0x4039000000000000, 0x40f86a0000000000, 0x7e37e43c8800759c,
     0x7fefffffffffffff, 0x7ff0000000000000, 0x7ff8000000000000, 0xfff8000000000000},
    // K
    {u64(-5), u64(-1), 0, 1, 2, 5, 17, 100, 1000000, u64(1) << 62},
    // P: -0.1, 0, 1e-300, 1e-17, 1e-10, 1e-3, 0.05, 0.3, 0.5, 0.7, 0.95, 0.999, 1 - 1e-10, 1 - 2^-53,
    // 1, 1.1, NaN
    {0xbfb999999999999a, 0x0000000000000000, 0x01a56e1fc2f8f359, 0x3c670ef54646d497, 0x3ddb7cdfd9d7bdbb,
     0x3f50624dd2f1a9fc, 0x3fa999999999999a, 0x3fd3333333333333, 0x3fe0000000000000, 0x3fe6666666666666,
     0x3fee666666666666, 0x3feff7ced916872b, 0x3feffffffff24190, 0x3fefffffffffffff, 0x3ff0000000000000,
     0x3ff199999999999a, 0x7ff8000000000000},
};

struct SplitMix {
  u64 s;
  u64 next() {
    u64 z = (s += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  }
};

constexpr u64 FRAC = (u64(1) << 52) - 1;

// sign * 2^e * (1 + fraction) with e = lo + (bits 52..62 of r) mod span.
u64 scaled(u64 r, bool keep_sign, int lo, int span) {
  const int e = lo + static_cast<int>(((r >> 52) & 0x7ff) % static_cast<u64>(span));
  const u64 sign = keep_sign ? (r & (u64(1) << 63)) : 0;
  return sign | (static_cast<u64>(1023 + e) << 52) | (r & FRAC);
}

// One random argument of a kind, by integer operations on splitmix64 output.
u64 random_arg(Kind kind, SplitMix& g) {
  const u64 r = g.next();
  switch (kind) {
    case LOC: return scaled(r, true, -8, 17);     // +-[2^-8, 2^9)
    case POS: return scaled(r, false, -7, 18);    // [2^-7, 2^11)
    case PROB: return scaled(r, false, -40, 40);  // [2^-40, 1)
    case COUNT: return r % 200;
    case X: return scaled(r, true, -10, 18);      // +-[2^-10, 2^8)
    case K: return r % 300;
    case P: {
      // Mostly [0.25, 1), the rest down to 2^-52.
      const u64 mode = r & 3;
      if (mode < 2) return scaled(r, false, -1, 1);
      if (mode == 2) return scaled(r, false, -2, 1);
      return scaled(r, false, -52, 50);
    }
    default: return 0;
  }
}

template <class T>
T from_raw(u64 v) {
  if constexpr (std::is_same_v<T, double>) {
    double d;
    std::memcpy(&d, &v, 8);
    return d;
  } else if constexpr (std::is_same_v<T, bool>) {
    return v != 0;
  } else {
    return static_cast<T>(static_cast<std::int64_t>(v));
  }
}

void hash_result(digest::Sha256& h, double v) {
  const double returned = cxmath::unify_nan(v);
  u64 bits;
  std::memcpy(&bits, &returned, 8);
  h.update_u64(bits);
}

template <class R, class... A, std::size_t... I>
double call(R (*f)(A...), const u64* args, std::index_sequence<I...>) {
  return f(from_raw<A>(args[I])...);
}

// The digest of one d/p/q function; `kinds` lists its arguments (the flag
// of d and p last, as FLAG).
template <class R, class... A>
std::string digest_dpq(R (*f)(A...), std::vector<Kind> kinds, u64 seed, int random_n) {
  constexpr std::size_t N = sizeof...(A);
  digest::Sha256 h;
  const bool flagged = kinds.back() == FLAG;
  const std::size_t nv = flagged ? N - 1 : N;
  u64 args[N] = {};
  auto eval = [&] { hash_result(h, call(f, args, std::make_index_sequence<N>{})); };
  for (int flag = 0; flag < (flagged ? 2 : 1); ++flag) {
    if (flagged) args[N - 1] = static_cast<u64>(flag);
    // Outer product, first argument slowest.
    std::vector<std::size_t> idx(nv, 0);
    for (;;) {
      for (std::size_t j = 0; j < nv; ++j) args[j] = SPECIAL[kinds[j]][idx[j]];
      eval();
      std::size_t j = nv;
      while (j > 0) {
        --j;
        if (++idx[j] < SPECIAL[kinds[j]].size()) break;
        idx[j] = 0;
        if (j == 0) goto done;
      }
    }
  done:;
  }
  std::vector<u64> points(static_cast<std::size_t>(random_n) * nv);
  SplitMix g{seed};
  for (int i = 0; i < random_n; ++i)
    for (std::size_t j = 0; j < nv; ++j) points[i * nv + j] = random_arg(kinds[j], g);
  for (int flag = 0; flag < (flagged ? 2 : 1); ++flag) {
    if (flagged) args[N - 1] = static_cast<u64>(flag);
    for (int i = 0; i < random_n; ++i) {
      for (std::size_t j = 0; j < nv; ++j) args[j] = points[i * nv + j];
      eval();
    }
  }
  // The all-scalar call: the first random point, flag false.
  for (std::size_t j = 0; j < nv; ++j) args[j] = points[j];
  if (flagged) args[N - 1] = 0;
  eval();
  return h.hex();
}

// The digest of one sampler: `draw(p, engine)` draws once with parameters p.
// Per parameter set, the module's twin draws an array of `draws`, then five
// scalar draws, then a 3 x 4 array from the same engine: every form draws
// in sequence, so here that is draws + 17 draws in a row.
template <class F>
std::string digest_r(const std::vector<std::vector<double>>& sets, int draws, F draw) {
  digest::Sha256 h;
  for (std::size_t k = 0; k < sets.size(); ++k) {
    distmill::Engine e = distmill::make_engine(static_cast<std::int32_t>(17 + k));
    for (int i = 0; i < draws + 5 + 12; ++i) hash_result(h, draw(sets[k], e));
  }
  return h.hex();
}

}  // namespace

int main(int argc, char** argv) {
  int random_n = 2000, draws = 2000;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--random") && i + 1 < argc) random_n = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--draws") && i + 1 < argc) draws = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: %s [--random N] [--draws N]\n", argv[0]);
      return 2;
    }
  }
  using namespace distmill;
  // Seeds of the random points: one per function, 1000 + its place in the
  // table (d functions 0-16, p 17-33, q 34-50).
  int place = 0;
  auto line = [&](const char* name, const std::string& hex) { std::printf("%s %s\n", name, hex.c_str()); };
#define DPQ(name, ...) line(#name, digest_dpq(name, {__VA_ARGS__}, 1000 + place++, random_n))
  DPQ(dnorm, X, LOC, POS, FLAG);
  DPQ(dbern, K, PROB, FLAG);
  DPQ(dbeta, X, POS, POS, FLAG);
  DPQ(dbinom, K, COUNT, PROB, FLAG);
  DPQ(dcauchy, X, LOC, POS, FLAG);
  DPQ(dchisq, X, POS, FLAG);
  DPQ(dexp, X, POS, FLAG);
  DPQ(df, X, POS, POS, FLAG);
  DPQ(dgamma, X, POS, POS, FLAG);
  DPQ(dinvgamma, X, POS, POS, FLAG);
  DPQ(dlaplace, X, LOC, POS, FLAG);
  DPQ(dlnorm, X, LOC, POS, FLAG);
  DPQ(dlogis, X, LOC, POS, FLAG);
  DPQ(dpois, K, POS, FLAG);
  DPQ(dt, X, POS, FLAG);
  DPQ(dunif, X, LOC, LOC, FLAG);
  DPQ(dweibull, X, POS, POS, FLAG);
  DPQ(pnorm, X, LOC, POS, FLAG);
  DPQ(pbern, K, PROB, FLAG);
  DPQ(pbeta, X, POS, POS, FLAG);
  DPQ(pbinom, K, COUNT, PROB, FLAG);
  DPQ(pcauchy, X, LOC, POS, FLAG);
  DPQ(pchisq, X, POS, FLAG);
  DPQ(pexp, X, POS, FLAG);
  DPQ(pf, X, POS, POS, FLAG);
  DPQ(pgamma, X, POS, POS, FLAG);
  DPQ(pinvgamma, X, POS, POS, FLAG);
  DPQ(plaplace, X, LOC, POS, FLAG);
  DPQ(plnorm, X, LOC, POS, FLAG);
  DPQ(plogis, X, LOC, POS, FLAG);
  DPQ(ppois, K, POS, FLAG);
  DPQ(pt, X, POS, FLAG);
  DPQ(punif, X, LOC, LOC, FLAG);
  DPQ(pweibull, X, POS, POS, FLAG);
  DPQ(qnorm, P, LOC, POS);
  DPQ(qbern, P, PROB);
  DPQ(qbeta, P, POS, POS);
  DPQ(qbinom, P, COUNT, PROB);
  DPQ(qcauchy, P, LOC, POS);
  DPQ(qchisq, P, POS);
  DPQ(qexp, P, POS);
  DPQ(qf, P, POS, POS);
  DPQ(qgamma, P, POS, POS);
  DPQ(qinvgamma, P, POS, POS);
  DPQ(qlaplace, P, LOC, POS);
  DPQ(qlnorm, P, LOC, POS);
  DPQ(qlogis, P, LOC, POS);
  DPQ(qpois, P, POS);
  DPQ(qt, P, POS);
  DPQ(qunif, P, LOC, LOC);
  DPQ(qweibull, P, POS, POS);
#undef DPQ
  // Parameter sets of the samplers (the same as in digest.py).
  line("rnorm", digest_r({{0.0, 1.0}, {-3.0, 0.25}}, draws, [](const auto& p, Engine& e) { return rnorm(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rbern", digest_r({{0.3}, {1.0}}, draws, [](const auto& p, Engine& e) { return rbern(static_cast<double>(p[0]), e); }));
  line("rbeta", digest_r({{0.5, 0.5}, {2.0, 30.0}}, draws, [](const auto& p, Engine& e) { return rbeta(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rbinom", digest_r({{20, 0.3}, {1000, 0.01}}, draws, [](const auto& p, Engine& e) { return rbinom(static_cast<long long>(p[0]), static_cast<double>(p[1]), e); }));
  line("rcauchy", digest_r({{0.0, 1.0}}, draws, [](const auto& p, Engine& e) { return rcauchy(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rchisq", digest_r({{3.0}, {0.4}}, draws, [](const auto& p, Engine& e) { return rchisq(static_cast<double>(p[0]), e); }));
  line("rexp", digest_r({{2.0}}, draws, [](const auto& p, Engine& e) { return rexp(static_cast<double>(p[0]), e); }));
  line("rf", digest_r({{4.0, 9.0}}, draws, [](const auto& p, Engine& e) { return rf(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rgamma", digest_r({{0.3, 1.0}, {7.5, 2.0}}, draws, [](const auto& p, Engine& e) { return rgamma(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rinvgamma", digest_r({{3.0, 1.0}}, draws, [](const auto& p, Engine& e) { return rinvgamma(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rlaplace", digest_r({{1.0, 2.0}}, draws, [](const auto& p, Engine& e) { return rlaplace(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rlnorm", digest_r({{0.0, 0.5}}, draws, [](const auto& p, Engine& e) { return rlnorm(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rlogis", digest_r({{0.0, 1.0}}, draws, [](const auto& p, Engine& e) { return rlogis(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rpois", digest_r({{3.0}, {11.0}, {250.0}}, draws, [](const auto& p, Engine& e) { return rpois(static_cast<double>(p[0]), e); }));
  line("rt", digest_r({{2.5}, {40.0}}, draws, [](const auto& p, Engine& e) { return rt(static_cast<double>(p[0]), e); }));
  line("runif", digest_r({{-1.0, 2.0}}, draws, [](const auto& p, Engine& e) { return runif(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  line("rweibull", digest_r({{1.5, 2.0}}, draws, [](const auto& p, Engine& e) { return rweibull(static_cast<double>(p[0]), static_cast<double>(p[1]), e); }));
  return 0;
}
