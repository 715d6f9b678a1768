// Gamma and beta functions: lgamma, tgamma, lbeta.
//
// ln Gamma is a Lanczos approximation with g = 4.7421875 and fifteen
// coefficients:
//
//   ln Gamma(a + 1) = (a + 1/2) ln(a + g + 1/2) - (a + g + 1/2)
//                     + ln(sqrt(2 pi) S(a)),
//   S(a) = C0 + sum_{k=1..14} Ck / (a + k),
//
// with the series S summed in extended precision in a fixed order and
// rounded once to double.  There is no reflection formula: ln Gamma of a
// non-positive argument is +inf.
// References: Lanczos (1964), SIAM J. Numer. Anal. B 1, 86-96; DLMF 5.12.1.
#pragma once

#include "cxmath/common.hpp"
#include "cxmath/elementary.hpp"

namespace cxmath {

namespace detail {

// Lanczos coefficients C0..C14 with the sign each term enters the sum.
// They are fitted values, not named constants: the decimals (beside each
// entry) are the data; the entries hold each decimal rounded to nearest in
// the 64-bit significand, written exactly.
inline constexpr ext LANCZOS_C[15] = {
    0x1.fffffffffffe5ce4p-1_x,    // 0.99999999999999709184
    0x1.c93ff87c1acce1d6p+5_x,    // 57.156235665862923517
    -0x1.dcc89f705892fbdcp+5_x,   // -59.597960355475491249
    0x1.c45aea23d22a178p+3_x,     // 14.136097974741747174
    -0x1.f7b841625bfe41d4p-2_x,   // -0.49191381609762019979
    0x1.1d2af47861839a76p-15_x,   // 3.3994649984811888700e-5
    0x1.8644bb7c5e3bca1p-15_x,    // 4.6523628927048575665e-5
    -0x1.9c9cc9de574b6fb8p-14_x,  // -9.8374475304879564677e-5
    0x1.4b8939ed4e66d118p-13_x,   // 1.5808870322491248883e-4
    -0x1.b8f4dcd2abe36426p-13_x,  // -2.1026444172410488319e-4
    0x1.c801018e9e825c76p-13_x,   // 2.1743961811521264319e-4
    -0x1.58999c99526400dap-13_x,  // -1.6431810653676389022e-4
    0x1.621360b773d54826p-14_x,   // 8.4418223983852743294e-5
    -0x1.b768cb5d1e20655cp-16_x,  // -2.6190838401581408671e-5
    0x1.ef40a04fc980f86p-19_x,    // 3.6899182659531622705e-6
};

inline constexpr double LANCZOS_SHIFT = 5.2421875;       // g + 1/2

// S(a) in extended precision: C1/(a + 1) first, then C0, then the terms
// k = 2..14 in increasing k.  Each sum and quotient rounds to extended.
constexpr double lanczos_sum(double a) {
  const ext d = static_cast<ext>(a);
  ext S = LANCZOS_C[1] / (d + 1);
  S = S + LANCZOS_C[0];
  for (int k = 2; k <= 14; ++k) S = S + LANCZOS_C[k] / (d + static_cast<ext>(k));
  return static_cast<double>(S);
}

}  // namespace detail

// ln Gamma(x).  Exactly 0 within EPS of x = 1; +inf below EPS (zero and
// negative arguments included); NaN for NaN and for +inf (inf - inf).
constexpr double lgamma(double x) {
  const double a = x - 1;
  if (tiny(a)) return 0.0;
  if (x < EPS) return INF;
  const double b = detail::LANCZOS_SHIFT + a;
  const double lb = log(b);
  const double t = (0.5 + a) * lb - b;
  const double S = detail::lanczos_sum(a);
  double lS;
  if (isnan(S) || S < 0)
    lS = NaN;
  else if (S < EPS)
    lS = -INF;
  else
    lS = log_core(S) + LN_SQRT_2PI_DOUBLE;
  return t + lS;
}

// Gamma(x).  For x > 0 it is exp(ln Gamma(x)) (so integers do not give
// exact factorials); for x < 0 the recurrence Gamma(x) = Gamma(x + 1)/x is
// applied until the argument is positive.  Poles: +inf at 0 (and within
// EPS of it), NaN at the negative integers and within 2^-52 above them.
constexpr double tgamma(double x) {
  if (isnan(x)) return NaN;
  // The recurrence Gamma(x_0) = Gamma(x_0 + 1)/x_0 = ... is unrolled: the
  // forward pass runs the checks of every level x_i = x_0 + i until one
  // of them decides the value, then the quotients are taken innermost
  // first.  While x_i <= -1 each step x_i + 1 is exact, so the backward
  // pass can recover x_i as x_{i+1} - 1 exactly.
  double xi = x;
  double last = x;          // the most recent negative level passed
  std::int64_t levels = 0;  // number of negative levels passed
  double v;
  for (;;) {
    if (tiny(xi - 1)) {
      v = 1.0;
      break;
    }
    if (xi == 0) {
      v = INF;
      break;
    }
    if (xi > 0) {
      v = xi < EPS ? INF : exp(lgamma(xi));
      break;
    }
    if (xi > -EPS) {
      v = INF;
      break;
    }
    // Below -2^52 every double is an integer and 1 + x no longer moves
    // the argument (x = -inf would never reach a positive value): no
    // reduction is possible, the answer is NaN.
    if (xi < -0x1p52) {
      v = NaN;
      break;
    }
    // Negative integer (or within 2^-52 above one): a pole.
    double fl = static_cast<double>(static_cast<std::int64_t>(xi));
    if (fl > xi) fl = fl - 1;
    const double f = xi - fl;
    const double n = (f == 0 || f < 0.5) ? fl : fl - 1;
    if (tiny(xi - n)) {
      v = NaN;
      break;
    }
    last = xi;
    xi = 1 + xi;
    ++levels;
  }
  if (levels == 0) return v;
  // Undo the levels: divide by x_{levels-1}, then x_{levels-2}, ..., x_0.
  double y = last;
  v = v / y;
  for (std::int64_t i = levels - 2; i >= 0; --i) {
    y = y - 1;
    v = v / y;
  }
  return v;
}

// ln B(a, b) = ln Gamma(a) + ln Gamma(b) - ln Gamma(a + b), in that order.
constexpr double lbeta(double a, double b) { return (lgamma(a) + lgamma(b)) - lgamma(a + b); }

}  // namespace cxmath

// The distribution functions (namespace distmill) call the kernels
// unqualified; these declarations make them win over the C library's
// global functions of the same names, whatever was included first.
namespace distmill {
using cxmath::lgamma;
using cxmath::tgamma;
using cxmath::lbeta;
}  // namespace distmill
