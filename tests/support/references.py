"""Reference values in mpmath: the regularized incomplete gamma and beta
functions, and the density, both tail probabilities and the quantile of
each of the 17 families.

Every function takes doubles or mpmath numbers and works at the current
mpmath precision; results are mpmath numbers.  Tails are returned as pairs
(P, Q) = (P(X <= x), P(X > x)), the smaller of the two computed directly,
so that either tail keeps its relative accuracy.
"""
import math

import mpmath as mp

mpf = mp.mpf
INF = math.inf


class NoReference(Exception):
    """mpmath's series does not converge at these arguments."""


# Shapes (or counts) beyond which mpmath's series need too many terms (of
# the order of their square root) or do not converge at all; the tails are
# then integrated.
HUGE_SHAPE = 1e5
HUGE_BETA_SHAPES = 1e4


def tail_quad(log_f, slope, x, upper, sd, lo=0, hi=mp.inf):
    """The integral of exp(log_f) beyond x (above x when `upper`) for a
    unimodal density with standard deviation about sd, clipped to the
    support [lo, hi].  The mass lies within 60 sd of the centre, and beyond
    it where log_f falls with `slope` (its derivative at x) within 80/|slope|
    of x: the window is the smaller of the two, split geometrically towards
    x, where the integrand is largest (x inside the support)."""
    s = abs(slope(x))
    w = 60 * sd if s * 60 * sd < 80 else 80 / s
    ends = [x + w / 2**j if upper else x - w / 2**j for j in range(8)] + [x]
    ends = [min(max(e, lo), hi) for e in ends]
    if upper:
        ends.reverse()
    # Relative to the density at x: mpmath's quadrature judges its error
    # absolutely, so the integrand must be of order 1.
    Lx = log_f(x)
    f = lambda t: mp.exp(log_f(t) - Lx)  # noqa: E731
    return mp.quad(f, [e for i, e in enumerate(ends) if i == 0 or e != ends[i - 1]]) * mp.exp(Lx)


# ---- incomplete gamma --------------------------------------------------

def gamma_tails(a, x, far=None):
    """(P(a, x), Q(a, x)).  With `far` given, the smaller function is taken
    as 0 where a phi > far (phi = x/a - 1 - ln(x/a)): it is then below
    e^-far, and mpmath's series may not converge there."""
    a, x = mpf(a), mpf(x)
    if x <= 0:
        return mpf(0), mpf(1)
    if mp.isinf(x):
        return mpf(1), mpf(0)
    lam = x / a
    if far is not None and a * (lam - 1 - mp.log(lam)) > far:
        return (mpf(0), mpf(1)) if x < a else (mpf(1), mpf(0))
    if a < mpf(10) ** -(mp.mp.dps + 10):
        # Below the working precision t^a = 1 in the integral: Gamma(a, x) =
        # E1(x), and 1/Gamma(a) = a (mpmath's own series stalls there).
        Q = a * mp.e1(x)
        return 1 - Q, Q
    if a < 1e-10 and x <= 30:
        return _small_shape_tails(a, x)
    if a > HUGE_SHAPE or (a > 1e3 and x > 1.1 * a):
        # (far above the mode mpmath's own series take too long from shapes
        # of about 1e4 on)
        lg = mp.loggamma(a)
        if x > 1.5 * a:
            # Far above the mode: Q = x^(a-1) e^-x / Gamma(a) (1 + (a-1)/x
            # + (a-1)(a-2)/x^2 + ...), terms falling at least by (a-1)/x.
            term, S, k = mpf(1), mpf(1), 0
            while abs(term) > S * mp.eps * (1 - (a - 1) / x):
                k += 1
                term *= (a - k) / x
                S += term
            Q = mp.exp((a - 1) * mp.log(x) - x - lg) * S
            return 1 - Q, Q
        T = tail_quad(lambda t: (a - 1) * mp.log(t) - t - lg, lambda t: (a - 1) / t - 1, x, x >= a, mp.sqrt(a))
        return (T, 1 - T) if x < a else (1 - T, T)
    try:
        if x < a:
            if a > 1e5:
                # mpmath's own series stops short there: P = D 1F1(1; a + 1; x).
                lead = mp.exp(a * mp.log(x) - x - mp.loggamma(a + 1))
                P = lead * mp.hyp1f1(1, a + 1, x, maxterms=10**7)
            else:
                P = mp.gammainc(a, 0, x, regularized=True)
            return P, 1 - P
        Q = mp.gammainc(a, x, mp.inf, regularized=True)
    except mp.libmp.libhyper.NoConvergence:
        raise NoReference((a, x)) from None
    return 1 - Q, Q


def _with_bits_for(size, f):
    """f() at the working precision plus the bits that a cancellation of
    terms of magnitude `size` costs, rounded back to the working precision."""
    extra = 10 + max(0, int(mp.log(1 + abs(size), 2)))
    with mp.extraprec(extra):
        v = f()
    return +v


def _small_shape_tails(a, x):
    """(P, Q) for a tiny shape: with u = a ln x - ln Gamma(1 + a) and
    T = sum_{n>=1} (-x)^n / (n! (a + n)), P = e^u (1 + a T) and
    Q = -expm1(u) - e^u a T, of order a (1 - P would need the bits of a
    below 1, and mpmath's own evaluation takes seconds there).  The
    alternating sum loses up to x/ln 2 bits: worked with those added."""
    with mp.extraprec(int(1.5 * x) + 20):
        T, term, n = mpf(0), mpf(1), 0
        while True:
            n += 1
            term = term * (-x) / n
            T += term / (a + n)
            if abs(term) < abs(T) * mpf(2) ** (-mp.mp.prec - 10) and n > x:
                break
        # ln Gamma(1 + a) = -gamma a + sum_{k>=2} (-1)^k zeta(k) a^k / k (1 + a
        # itself would round to 1)
        lg1p = -mp.euler * a + sum((-1) ** k * mp.zeta(k) * a**k / k for k in range(2, 8))
        u = a * mp.log(x) - lg1p
        P = mp.exp(u) * (1 + a * T)
        Q = -mp.expm1(u) - mp.exp(u) * a * T
    return +P, +Q


def gamma_log_density(a, x):
    """ln of the density x^(a-1) e^-x / Gamma(a) of the unit-scale law (its
    terms cancel near the mode of a huge shape: worked with the bits that
    costs)."""
    a, x = mpf(a), mpf(x)
    size = mp.fabs(a * mp.log(x)) + x if x > 0 else 0
    return _with_bits_for(size, lambda: (a - 1) * mp.log(x) - x - mp.loggamma(a))


def gamma_root(a, t, upper=False, start=None):
    """x with P(a, x) = t (Q(a, x) = t when upper): Newton steps on ln P or
    ln Q with the exact derivative, from `start` (else a bracketing search)."""
    a, t = mpf(a), mpf(t)
    F = (lambda x: gamma_tails(a, x)[1]) if upper else (lambda x: gamma_tails(a, x)[0])  # noqa: E731
    x = mpf(start) if start is not None and 0 < start < INF else None
    if x is None:
        below = (lambda x: F(x) > t) if upper else (lambda x: F(x) < t)  # noqa: E731  x below the root
        lo, hi = mpf(0), a + 1
        while below(hi):
            lo, hi = hi, 2 * hi
        while hi - lo > hi * 1e-3:
            mid = (lo + hi) / 2 if lo > hi * 1e-30 else hi / 1e3
            lo, hi = (mid, hi) if below(mid) else (lo, mid)
        x = (lo + hi) / 2
    for _ in range(100):
        f = F(x)
        if f == 0:
            break
        dens = mp.exp(gamma_log_density(a, x))
        step = (mp.log(f) - mp.log(t)) * f / dens        # d ln F/dx = -+dens/F
        x = x + step if upper else x - step
        if x <= 0:
            return gamma_root(a, t, upper)
        if abs(step) < abs(x) * mpf(2) ** (-mp.mp.prec + 8):
            break
    return x


# ---- incomplete beta -----------------------------------------------------

def beta_tails(a, b, x, y=None):
    """(I_x(a, b), 1 - I_x(a, b)) by the positive-term hypergeometric series
    on the side below the point (a + 1)/(a + b + 2), the other side by
    complement; y = 1 - x may be given exactly."""
    a, b, x = mpf(a), mpf(b), mpf(x)
    y = 1 - x if y is None else mpf(y)
    if x <= 0:
        return mpf(0), mpf(1)
    if y <= 0:
        return mpf(1), mpf(0)

    def side(a, b, x, y):
        lead = mp.exp(a * mp.log(x) + b * mp.log(y) - mp.log(mp.beta(a, b))) / a
        if x > 0.75 and b == int(b):
            # mpmath would sum the series below through a degenerate
            # transformation here; for a whole b Pfaff's transformation
            # makes it a finite sum of positive terms.
            return lead * mp.hyp2f1(1, 1 - b, a + 1, -x / y) / y
        return lead * mp.hyp2f1(a + b, 1, a + 1, x, maxterms=10**7)
    if min(a, b) > 1 and a + b > HUGE_BETA_SHAPES:
        # The tail on the side of x, integrated in the variable that is small
        # there (1 - u above the mode), so that y is used exactly.
        upper = x >= (a - 1) / (a + b - 2)
        A, B, X = (b, a, y) if upper else (a, b, x)
        lB = mp.log(mp.beta(a, b))
        sd = mp.sqrt(a * b / ((a + b) ** 2 * (a + b + 1)))
        T = tail_quad(lambda u: (A - 1) * mp.log(u) + (B - 1) * mp.log1p(-u) - lB,
                      lambda u: (A - 1) / u - (B - 1) / (1 - u), X, False, sd, 0, 1)
        return (1 - T, T) if upper else (T, 1 - T)
    if x < (a + 1) / (a + b + 2):
        P = side(a, b, x, y)
        return P, 1 - P
    Q = side(b, a, y, x)
    return 1 - Q, Q


def beta_tails_quad(a, b, x):
    """(P, Q) for very large shapes, by quadrature of the density over the
    tail on the side of x (the law is then nearly normal), scaled to the
    density at x and split towards x where it is largest (tail_quad): far
    out in a tail the mass lies within a small fraction of a standard
    deviation of x, which a quadrature over whole standard deviations
    misses by percents."""
    A, B, X = mpf(a), mpf(b), mpf(x)
    lB = mp.log(mp.beta(A, B))
    m = A / (A + B)
    sd = mp.sqrt(A * B / ((A + B) ** 2 * (A + B + 1)))
    log_f = lambda u: (A - 1) * mp.log(u) + (B - 1) * mp.log1p(-u) - lB  # noqa: E731
    slope = lambda u: (A - 1) / u - (B - 1) / (1 - u)  # noqa: E731
    if X <= m:
        P = tail_quad(log_f, slope, X, False, sd, 0, 1)
        return P, 1 - P
    Q = tail_quad(log_f, slope, X, True, sd, 0, 1)
    return 1 - Q, Q


def beta_log_density(a, b, x, y=None):
    a, b, x = mpf(a), mpf(b), mpf(x)
    y = 1 - x if y is None else mpf(y)
    return (a - 1) * mp.log(x) + (b - 1) * mp.log(y) - mp.log(mp.beta(a, b))


# ---- the families ----------------------------------------------------------

def _std_normal_tails(z):
    if abs(z) > 1e5:
        # Beyond ncdf's reach (it fails from |z| ~ 1e154): the far tail from
        # the asymptotic series of the Mills ratio, phi(z)/|z| (1 - 1/z^2 +
        # 3/z^4 - ...), whose terms fall below 1e-60 by the seventh.
        w, term, s = 1 / (z * z), mpf(1), mpf(1)
        for n in range(1, 8):
            term *= -(2 * n - 1) * w
            s += term
        far = mp.exp(-z * z / 2 - mp.log(abs(z)) - mp.log(2 * mp.pi) / 2) * s
        return (far, 1 - far) if z < 0 else (1 - far, far)
    return mp.ncdf(z), mp.ncdf(-z)


def _cauchy_tails(z):
    """The far tail as atan(1/|z|)/pi, without the cancellation of 1/2 + atan(z)/pi."""
    if z == 0:
        return mpf(1) / 2, mpf(1) / 2
    far = mp.atan(1 / abs(z)) / mp.pi
    return (far, 1 - far) if z < 0 else (1 - far, far)


def _t_tails(x, n):
    if mp.isinf(n):
        return _std_normal_tails(x)
    s = x * x
    P, _ = beta_tails(n / 2, mpf(1) / 2, n / (n + s), s / (n + s))
    return (P / 2, 1 - P / 2) if x < 0 else (1 - P / 2, P / 2)


def _f_tails(x, d1, d2):
    if mp.isinf(x):
        return mpf(1), mpf(0)
    if mp.isinf(d2):                 # df1 F is chi-squared(df1)
        return gamma_tails(d1 / 2, d1 * x / 2)
    if mp.isinf(d1):                 # df2/F is chi-squared(df2)
        return tuple(reversed(gamma_tails(d2 / 2, d2 / (2 * x))))
    r = x * d1 / d2
    return beta_tails(d1 / 2, d2 / 2, r / (1 + r), 1 / (1 + r))


def _tail_sum(log_first, ratio, terms=400000):
    """sum_j m_j, m_0 = e^log_first, m_{j+1} = m_j ratio(j) (a ratio <= 0
    ends the sum), or None when the terms do not fall below 2^-prec of the
    sum within `terms` terms."""
    t = s = mpf(1)
    for j in range(terms):
        r = ratio(j)
        if r <= 0:
            break
        t *= r
        s += t
        if t < s * mpf(2) ** -mp.mp.prec:
            break
    else:
        return None
    return mp.exp(log_first) * s


def _binom_tails(k, n, prob):
    if k < 0:
        return mpf(0), mpf(1)
    if k >= n:
        return mpf(1), mpf(0)
    if n <= 10**7 or prob in (0, 1):
        P, Q = beta_tails(k + 1, n - k, prob)          # P(X > k) = I_prob(k + 1, n - k)
        return Q, P
    # Huge n: the hypergeometric series of the beta side cancels there.
    # Within 40 standard deviations of a wide law the beta density's
    # quadrature; otherwise the tail beyond k as a sum of masses (their
    # ratios fall off fast there).
    q = 1 - prob
    lm = lambda j: LOG_DENSITY["binom"](mpf(j), n, prob)  # noqa: E731
    sd = mp.sqrt(n * prob * q)
    if sd > 1000 and abs(k - n * prob) < 40 * sd:
        return beta_tails_quad(n - k, k + 1, q)
    if k < n * prob:
        P = _tail_sum(lm(k), lambda j: (k - j) * q / ((n - k + j + 1) * prob))
        if P is not None and P > 0.5:     # n prob below 1: the upper tail directly
            Q = _tail_sum(lm(k + 1), lambda j: (n - k - 1 - j) * prob / ((k + 2 + j) * q))
            return P, 1 - P if Q is None else Q
        if P is not None:
            return P, 1 - P
    else:
        Q = _tail_sum(lm(k + 1), lambda j: (n - k - 1 - j) * prob / ((k + 2 + j) * q))
        if Q is not None:
            return 1 - Q, Q
    return beta_tails_quad(n - k, k + 1, q)           # P(X <= k) = I_q(n - k, k + 1)


def _bern_tails(k, prob):
    return (mpf(0), mpf(1)) if k < 0 else (1 - prob, prob) if k < 1 else (mpf(1), mpf(0))


def _laplace_tails(z):
    h = mp.exp(-abs(z)) / 2
    return (h, 1 - h) if z < 0 else (1 - h, h)


def _pos(x, tails):
    return (mpf(0), mpf(1)) if x <= 0 else tails()


TAILS = {
    "norm": lambda x, m, s: _std_normal_tails((x - m) / s),
    "lnorm": lambda x, m, s: _pos(x, lambda: _std_normal_tails((mp.log(x) - m) / s)),
    "unif": lambda x, a, b: ((mpf(0), mpf(1)) if x <= a else (mpf(1), mpf(0)) if x >= b
                             else ((x - a) / (b - a), (b - x) / (b - a))),
    "exp": lambda x, r: _pos(x, lambda: (-mp.expm1(-r * x), mp.exp(-r * x))),
    "cauchy": lambda x, m, s: _cauchy_tails((x - m) / s),
    "laplace": lambda x, m, s: _laplace_tails((x - m) / s),
    "logis": lambda x, m, s: (1 / (1 + mp.exp(-(x - m) / s)), 1 / (1 + mp.exp((x - m) / s))),
    "weibull": lambda x, k, s: _pos(x, lambda: (-mp.expm1(-(x / s) ** k), mp.exp(-(x / s) ** k))),
    "gamma": lambda x, k, s: gamma_tails(k, x / s),
    "invgamma": lambda x, k, s: _pos(x, lambda: tuple(reversed(gamma_tails(k, s / x)))),
    "chisq": lambda x, n: gamma_tails(n / 2, x / 2),
    "beta": lambda x, a, b: beta_tails(a, b, x),
    "f": lambda x, d1, d2: _pos(x, lambda: _f_tails(x, d1, d2)),
    "t": _t_tails,
    "bern": lambda k, prob: _bern_tails(k, prob),
    "binom": _binom_tails,
    "pois": lambda k, r: (mpf(0), mpf(1)) if k < 0 else tuple(reversed(gamma_tails(k + 1, r))),
}


def _t_log_density(x, n):
    if mp.isinf(n):
        return LOG_DENSITY["norm"](x, 0, 1)
    return (mp.loggamma((n + 1) / 2) - mp.loggamma(n / 2) - mp.log(n * mp.pi) / 2
            - (n + 1) / 2 * mp.log1p(x * x / n))


def _f_log_density(x, d1, d2):
    if mp.isinf(d2):                 # gamma of shape df1/2 and scale 2/df1
        return LOG_DENSITY["gamma"](x, d1 / 2, 2 / d1)
    if mp.isinf(d1):                 # inverse gamma of shape and scale df2/2
        return LOG_DENSITY["invgamma"](x, d2 / 2, d2 / 2)
    a, b = d1 / 2, d2 / 2
    return a * mp.log(a / b) + (a - 1) * mp.log(x) - mp.log(mp.beta(a, b)) - (a + b) * mp.log1p(a * x / b)


LOG_DENSITY = {
    "norm": lambda x, m, s: -mp.log(mp.sqrt(2 * mp.pi) * s) - ((x - m) / s) ** 2 / 2,
    "lnorm": lambda x, m, s: LOG_DENSITY["norm"](mp.log(x), m, s) - mp.log(x),
    "unif": lambda x, a, b: -mp.log(b - a),
    "exp": lambda x, r: mp.log(r) - r * x,
    "cauchy": lambda x, m, s: -mp.log(mp.pi * s) - mp.log1p(((x - m) / s) ** 2),
    "laplace": lambda x, m, s: -mp.log(2 * s) - abs(x - m) / s,
    "logis": lambda x, m, s: -abs(x - m) / s - mp.log(s) - 2 * mp.log1p(mp.exp(-abs(x - m) / s)),
    "weibull": lambda x, k, s: mp.log(k / s) + (k - 1) * mp.log(x / s) - (x / s) ** k,
    "gamma": lambda x, k, s: gamma_log_density(k, x / s) - mp.log(s),
    "invgamma": lambda x, k, s: _with_bits_for(
        k * (abs(mp.log(s)) + abs(mp.log(x))) + s / x,
        lambda: k * mp.log(s) - mp.loggamma(k) - (k + 1) * mp.log(x) - s / x),
    "chisq": lambda x, n: gamma_log_density(n / 2, x / 2) - mp.log(2),
    "beta": lambda x, a, b: beta_log_density(a, b, x),
    "f": _f_log_density,
    "t": _t_log_density,
    "bern": lambda k, prob: mp.log(prob if k == 1 else 1 - prob),
    "binom": lambda k, n, prob: (mp.loggamma(n + 1) - mp.loggamma(k + 1) - mp.loggamma(n - k + 1)
                                 + k * mp.log(prob) + (n - k) * mp.log1p(-prob)),
    "pois": lambda k, r: (k * mp.log(r) if k else 0) - r - mp.loggamma(k + 1),
}


def _args(x, params):
    return [mpf(v) for v in (x, *params)]


def tails(dist, x, *params):
    """(P(X <= x), P(X > x)) of family `dist`."""
    return TAILS[dist](*_args(x, params))


def cdf(dist, x, *params):
    return tails(dist, x, *params)[0]


def log_density(dist, x, *params):
    """ln of the density (the mass of a discrete family) at a point of the
    support."""
    return LOG_DENSITY[dist](*_args(x, params))


def density(dist, x, *params):
    return mp.exp(log_density(dist, x, *params))


def _normal_lower(p):
    """z with Phi(z) = p < 1/2: Newton steps on ln Phi, which approach the
    root from below (ln Phi is concave) from -sqrt(-2 ln p) < z."""
    z = -mp.sqrt(-2 * mp.log(p))
    for _ in range(200):
        step = (mp.log(mp.ncdf(z)) - mp.log(p)) * mp.ncdf(z) / mp.npdf(z)
        z -= step
        if abs(step) <= abs(z) * mpf(2) ** (-mp.mp.prec + 8):
            break
    return z


def _normal_quantile(p):
    if p == mpf(1) / 2:
        return mpf(0)
    return _normal_lower(p) if p < 0.5 else -_normal_lower(1 - p)


def _tan_quantile(p):
    """tan(pi (p - 1/2)) as -1/tan(pi p) below 1/2 and 1/tan(pi (1 - p))
    above: no cancellation near 0 and 1."""
    if p == mpf(1) / 2:
        return mpf(0)
    return -1 / mp.tan(mp.pi * p) if p < 0.5 else 1 / mp.tan(mp.pi * (1 - p))


def _t_quantile(p, n):
    """Through the beta quantile of the two-sided tail 2 min(p, 1 - p):
    z = n/(n + x^2) with I_z(n/2, 1/2) = 2 tail, or near the centre
    w = x^2/(n + x^2) with I_w(1/2, n/2) = 1 - 2 tail; each solved in ln z
    or ln w, so that tails down to the least double are resolved."""
    if mp.isinf(n):
        return _normal_quantile(p)
    if p == mpf(1) / 2:
        return mpf(0)
    tail = min(p, 1 - p)
    x0 = _normal_quantile(tail) ** 2        # the normal approximation of x^2, for the starts
    if tail <= mpf(1) / 4:
        z = quantile("beta", 2 * tail, n / 2, mpf(1) / 2, start=n / (n + x0))
        x = mp.sqrt(n * (1 - z) / z)
    else:
        w = quantile("beta", 1 - 2 * tail, mpf(1) / 2, n / 2, start=x0 / (n + x0))
        x = mp.sqrt(n * w / (1 - w))
    return -x if p < 0.5 else x


QUANTILE = {
    "norm": lambda p, m, s: m + s * _normal_quantile(p),
    "lnorm": lambda p, m, s: mp.exp(m + s * _normal_quantile(p)),
    "unif": lambda p, a, b: a + (b - a) * p,
    "exp": lambda p, r: -mp.log1p(-p) / r,
    "cauchy": lambda p, m, s: m + s * _tan_quantile(p),
    "laplace": lambda p, m, s: m + s * mp.log(2 * p) if p < 0.5 else m - s * mp.log(2 * (1 - p)),
    "logis": lambda p, m, s: m + s * (mp.log(p) - mp.log1p(-p)),
    "weibull": lambda p, k, s: s * (-mp.log1p(-p)) ** (1 / k),
    "gamma": lambda p, k, s: s * (gamma_root(k, 1 - p, True) if p > 0.5 else gamma_root(k, p)),
    "chisq": lambda p, n: QUANTILE["gamma"](p, n / 2, 2),
    "invgamma": lambda p, k, s: s / (gamma_root(k, 1 - p) if p > 0.5 else gamma_root(k, p, True)),
    "t": _t_quantile,
}


def _increasing_root(g, dg, u0):
    """Root of an increasing g by Newton's method, safeguarded by bisection
    inside a bracket found by stepping out from u0."""
    step = mpf(1e-9) * (1 + abs(u0))
    lo, hi = u0 - step, u0 + step
    while g(lo) > 0:
        lo -= 2 * (hi - lo)
    while g(hi) < 0:
        hi += 2 * (hi - lo)
    u = u0 if lo < u0 < hi else (lo + hi) / 2
    for _ in range(400):
        gu = g(u)
        if gu == 0:
            return u
        lo, hi = (u, hi) if gu < 0 else (lo, u)
        d = dg(u)
        un = u - gu / d if d > 0 else (lo + hi) / 2
        if not lo < un < hi:
            un = (lo + hi) / 2
        if abs(un - u) <= mpf(2) ** (-mp.mp.prec + 8) * max(1, abs(u)):
            return un
        u = un
    return u


def quantile(dist, p, *params, start=None):
    """The quantile of a continuous family: the closed form, or for the beta
    and F families the root of ln P(x) = ln p (below 1/2) or ln Q(x) =
    ln(1 - p) (above), solved in ln x, which makes both sides nearly linear
    in the tails; `start` is a guess for those roots."""
    p, params = mpf(p), [mpf(v) for v in params]
    if dist in QUANTILE:
        return QUANTILE[dist](p, *params)
    lower = p <= 0.5
    t = p if lower else 1 - p
    top = 1 if dist == "beta" else mp.inf            # the upper end of the support
    memo = {}

    def at(u):                                        # (g, g') at u = ln x
        if u not in memo:
            x = mp.exp(u)
            if x >= top:
                memo[u] = (mp.inf, mpf(0))
            else:
                P, Q = TAILS[dist](x, *params)
                dens = mp.exp(LOG_DENSITY[dist](x, *params)) * x
                memo[u] = (mp.log(P) - mp.log(t), dens / P) if lower else (mp.log(t) - mp.log(Q), dens / Q)
        return memo[u]
    guess = mpf(start) if start is not None and 0 < start < INF else mpf(1)
    return mp.exp(_increasing_root(lambda u: at(u)[0], lambda u: at(u)[1], mp.log(guess)))


def discrete_quantile(dist, p, *params, start=0, strict=None):
    """The least count k with P(X <= k) >= p (> p for the Poisson law, as
    qpois defines it), by a search from `start` that doubles its steps,
    then bisection."""
    strict = dist == "pois" if strict is None else strict
    p = mpf(p)
    ok = (lambda k: cdf(dist, k, *params) > p) if strict else (lambda k: cdf(dist, k, *params) >= p)  # noqa: E731
    if ok(0):
        return 0
    lo, hi, step = None, max(0, int(start)), 1     # lo fails, hi passes
    while not ok(hi):
        lo, hi, step = hi, hi + step, step * 2
    if lo is None:
        lo, step = hi, 1
        while lo > 0 and ok(lo):
            hi, lo, step = lo, max(0, lo - step), step * 2
        if ok(lo):
            return lo
    while hi - lo > 1:
        mid = (lo + hi) // 2
        lo, hi = (lo, mid) if ok(mid) else (mid, hi)
    return hi


def value(name, *args):
    """The exact value of module function `name` (d, p or q; no log flag)."""
    prefix, dist = name[0], name[1:]
    return {"d": density, "p": cdf, "q": quantile}[prefix](dist, *args)
