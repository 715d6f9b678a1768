#!/usr/bin/env python3
"""Generate src/cxmath/incomplete_gamma_tables.hpp: the constants of the
converged incomplete gamma evaluation.

* TEMME[k][n]: Taylor coefficients in eta of the functions c_k(eta) of the
  uniform asymptotic expansion for large shapes,

      Q(a, x) = erfc(eta sqrt(a/2))/2 + e^(-a eta^2/2)/sqrt(2 pi a) sum_k c_k(eta) a^-k,

  with lambda = x/a, eta^2/2 = lambda - 1 - ln(lambda), sign(eta) = sign(lambda - 1),
  c_0 = 1/(lambda - 1) - 1/eta and
  c_k = (1/eta) c_{k-1}'(eta) + (-1)^k g_k/(lambda - 1),
  where g_k are the coefficients of the Stirling series
  Gamma(a) ~ sqrt(2 pi/a) a^a e^-a sum_k g_k a^-k.
  Every c_k is analytic at eta = 0 (the poles of the two terms cancel, which
  the generator checks).  All arithmetic is exact (rational power series).
* ZETA_M1[k]: zeta(k) - 1 for k = 0..40 (entries 0 and 1 unused), for the
  series of ln Gamma(1 + f) about f = 0.

Each value is rounded to nearest in a 64-bit significand (x87 extended) and
written as an exact hexadecimal literal.

    python3 tools/gen/gen_gamma_sound_tables.py > src/cxmath/incomplete_gamma_tables.hpp

Takes about half a minute (exact rational arithmetic).
"""
import math
import sys
from fractions import Fraction as Fr

import mpmath

K = 14  # highest power of 1/a
N = 40  # highest power of eta
ZETA_TOP = 40


def series_mul(a, b, n):
    c = [Fr(0)] * (n + 1)
    for i, x in enumerate(a[: n + 1]):
        if x:
            for j, y in enumerate(b[: n + 1 - i]):
                c[i + j] += x * y
    return c


def series_inv(a, n):
    b = [Fr(0)] * (n + 1)
    b[0] = 1 / a[0]
    for m in range(1, n + 1):
        b[m] = -sum(a[k] * b[m - k] for k in range(1, m + 1)) / a[0]
    return b


def bernoulli(n):
    B = [Fr(0)] * (n + 1)
    B[0] = Fr(1)
    for m in range(1, n + 1):
        B[m] = -sum(math.comb(m + 1, k) * B[k] for k in range(m)) / (m + 1)
    return B


def mu_over_eta(n):
    """w(eta) with lambda - 1 = eta w(eta), from sum_{j>=2} (-1)^j (eta w)^j / j = eta^2/2."""
    w = [Fr(0)] * (n + 1)
    w[0] = Fr(1)
    for k in range(1, n + 1):
        # Coefficient of eta^k of sum_{j>=2} (-1)^j eta^(j-2) w^j / j with
        # w_k still 0; the unknown w_k enters it as 1 * w_k.
        G = Fr(0)
        wp = series_mul(w, w, k)
        for j in range(2, k + 3):
            G += Fr((-1) ** j, j) * wp[k - (j - 2)]
            wp = series_mul(wp, w, k)
        w[k] = -G
    return w


def stirling_g(k_top):
    """g_0..g_k_top: sum g_k a^-k = exp(sum_m B_2m / (2m (2m-1)) a^(1-2m))."""
    B = bernoulli(2 * k_top + 2)
    s = [Fr(0)] * (k_top + 1)
    for m in range(1, k_top + 1):
        if 2 * m - 1 <= k_top:
            s[2 * m - 1] = B[2 * m] / (2 * m * (2 * m - 1))
    e = [Fr(1)] + [Fr(0)] * k_top
    term = [Fr(1)] + [Fr(0)] * k_top
    for n in range(1, k_top + 1):
        term = [t / n for t in series_mul(term, s, k_top)]
        e = [x + y for x, y in zip(e, term)]
    return e


def temme_coefficients(k_top=K, n_top=N):
    top = n_top + 2 * k_top + 2
    iw = series_inv(mu_over_eta(top), top)  # eta/(lambda - 1)
    g = stirling_g(k_top)
    # c_0 = (iw - 1)/eta: coefficient of eta^m is iw[m + 1].
    c = [iw[m + 1] for m in range(top)]
    rows = [c]
    for k in range(1, k_top + 1):
        prev = rows[-1]
        sgn = (-1) ** k
        # The eta^-1 terms of (1/eta) c' and of (-1)^k g_k/(lambda - 1) cancel.
        assert prev[1] + sgn * g[k] * iw[0] == 0, k
        new = [(m + 2) * prev[m + 2] + sgn * g[k] * iw[m + 1] for m in range(len(prev) - 2)]
        rows.append(new)
    return [r[: n_top + 1] for r in rows]


def round64(v):
    """Round a nonzero Fraction to nearest even with a 64-bit significand:
    (sign, m, e) with 2^63 <= m < 2^64 and |v| = m 2^(e - 63)."""
    sign = -1 if v < 0 else 1
    a = abs(v)
    e = a.numerator.bit_length() - a.denominator.bit_length()
    while Fr(2) ** e > a:
        e -= 1
    while Fr(2) ** (e + 1) <= a:
        e += 1
    scaled = a * Fr(2) ** (63 - e)
    m = scaled.numerator // scaled.denominator
    rem = scaled - m
    if rem > Fr(1, 2) or (rem == Fr(1, 2) and m % 2 == 1):
        m += 1
    if m == 1 << 64:
        m >>= 1
        e += 1
    return sign, m, e


def hex_literal(v):
    if v == 0:
        return "ext(0.0)"
    sign, m, e = round64(Fr(v))
    frac = (m - (1 << 63)) << 1
    return f"{'-' if sign < 0 else ''}0x1.{frac:016x}p{e:+d}_x"


def mp_fraction(x):
    """An mpf as an exact Fraction."""
    man, exp = mpmath.mpf(x).man_exp
    return Fr(man) * Fr(2) ** exp if exp >= 0 else Fr(man, 2 ** -exp)


def header():
    C = temme_coefficients()
    with mpmath.workdps(80):
        zeta = [mp_fraction(mpmath.zeta(k) - 1) if k >= 2 else Fr(0) for k in range(ZETA_TOP + 1)]
    out = [
        "// Tables of the converged incomplete gamma evaluation",
        "// (cxmath/incomplete_gamma_converged.hpp), each the exact value rounded to",
        "// nearest in the 64-bit significand.",
        "//",
        "// TEMME[k][n] is the coefficient of eta^n in c_k(eta), the k-th function of",
        "// the uniform asymptotic expansion of Q(a, x) for large a; ZETA_M1[k] is",
        "// zeta(k) - 1.",
        "//",
        "// Generated by tools/gen/gen_gamma_sound_tables.py; do not edit by hand.",
        "#pragma once",
        "",
        '#include "cxmath/common.hpp"',
        "",
        "namespace cxmath::detail {",
        "",
        f"inline constexpr int TEMME_K = {K};",
        f"inline constexpr int TEMME_N = {N};",
        "",
        f"inline constexpr ext TEMME[{K + 1}][{N + 1}] = {{",
    ]
    for row in C:
        out.append("    {")
        out += [f"        {hex_literal(v)}," for v in row]
        out.append("    },")
    out += ["};", "", f"inline constexpr ext ZETA_M1[{ZETA_TOP + 1}] = {{"]
    out += [f"    {hex_literal(z)}," for z in zeta]
    out += [
        "};",
        "",
        "}  // namespace cxmath::detail",
        "",
    ]
    return "\n".join(out)


if __name__ == "__main__":
    sys.stdout.write(header())
