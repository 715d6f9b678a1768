"""Error measures.  References are mpmath numbers (or doubles); the
measures are computed in mpmath and returned as floats.

The agreement rule is the one the checked functions apply to keep a
fixed-depth value (src/cxmath/agreement.hpp):
probabilities within 1e-10 of min(P, 1 - P) or 4 ulps of P, quantiles by
the CDF at the quantile against p on the side of the smaller probability,
log-densities absolutely to 1e-10, relatively beyond magnitude 1.
"""
import math

import mpmath as mp

INF = math.inf
AGREE_REL = 1e-10


def ulp(v):
    """Unit in the last place of the double v (the smallest subnormal at 0)."""
    return math.ulp(abs(float(v)))


def ulps(got, ref, bits=53):
    """|got - ref| in units in the last place of ref, for a significand of
    `bits` bits (64: the extended format)."""
    ref = mp.mpf(ref)
    unit = mp.mpf(2) ** (mp.floor(mp.log(abs(ref), 2)) - (bits - 1))
    return float(abs(mp.mpf(got) - ref) / unit)


def rel_err(got, ref):
    """|got - ref| / |ref|; 0 for equal values, inf where got is NaN or
    infinite, or ref is 0 and got is not."""
    got, ref = mp.mpf(got), mp.mpf(ref)
    if got == ref:
        return 0.0
    if ref == 0 or not mp.isfinite(got) or not mp.isfinite(ref):
        return INF
    return float(abs((got - ref) / ref))


def tail_error(v, P, Q=None, floor_ulps=4):
    """The agreement rule's measure of a probability v against P: |v - P|
    relative to min(P, Q), Q = 1 - P unless given exactly, and 0 within
    floor_ulps ulps of P rounded to double (the rule measures its floor
    from the converged double); inf for NaN or v outside [0, 1]."""
    if not 0 <= v <= 1:
        return INF
    P = mp.mpf(P)
    Q = 1 - P if Q is None else mp.mpf(Q)
    d = abs(mp.mpf(v) - P)
    if abs(mp.mpf(v) - float(P)) <= floor_ulps * ulp(P):
        return 0.0
    m = min(P, Q)
    return float(d / m) if m > 0 else INF


def probability_agrees(v, P, Q=None, rel=AGREE_REL, floor_ulps=4):
    """The agreement rule for probabilities (at tolerance `rel`)."""
    return tail_error(v, P, Q, floor_ulps) <= rel


def quantile_error(P_at_q, Q_at_q, p):
    """The rule's measure of a quantile q: the lower probability P(q) against
    p for p <= 1/2, the upper Q(q) against 1 - p above, relatively."""
    if p <= 0.5:
        return float(abs(mp.mpf(P_at_q) - p) / p)
    t = 1 - mp.mpf(p)
    return float(abs(mp.mpf(Q_at_q) - t) / t)


def quantile_tail_error(tails, p, q):
    """quantile_error of q with tails(x) = (P(x), Q(x)), where q is also
    accepted (error 0) when the root lies between q and a neighbouring
    double, the grid there being coarser than the rule, and an infinite q
    when the root lies beyond the largest double; inf for NaN."""
    if math.isnan(q):
        return INF
    t = mp.mpf(p) if p <= 0.5 else 1 - mp.mpf(p)

    def side(x):
        P, Q = tails(x)
        return P if p <= 0.5 else Q
    if math.isinf(q):
        # the root beyond the largest double on the side of q: the tail
        # toward q at that double is still at least t, the other at most t
        toward = (q < 0) == (p <= 0.5)
        s = side(math.copysign(1.7976931348623157e308, q))
        return 0.0 if (s >= t if toward else s <= t) else INF
    here = side(q) - t
    e = float(abs(here) / t)
    if e <= AGREE_REL:
        return e
    for v in (math.nextafter(q, -INF), math.nextafter(q, INF)):
        if (side(v) - t) * here <= 0:
            return 0.0
    return e


def log_density_error(v, ref):
    """The rule's measure of a log-density: |v - ref| / max(1, |ref|); 0 for
    equal values (infinities included), inf for NaN or one infinite value."""
    ref = float(ref)
    if math.isnan(v) or math.isnan(ref):
        return INF
    if v == ref:
        return 0.0
    if math.isinf(v) or math.isinf(ref):
        return INF
    return abs(v - ref) / max(1.0, abs(ref))


def log_error(v, ref, floor_of=None):
    """A logarithm v against ref: |v - ref| / |ref|, 0 within 4 ulps of
    `floor_of` (default ref itself; a log-density passes max(|ref|, 1): its
    floor is a few ulps of the density it stands for); 0 for equal values,
    inf for NaN or one infinite value."""
    ref = mp.mpf(ref)
    if math.isnan(v) or mp.isnan(ref):
        return INF
    if v == ref or v == float(ref):       # beyond the double range: +-inf
        return 0.0
    if math.isinf(v) or mp.isinf(ref):
        return INF
    d = abs(mp.mpf(v) - ref)
    if abs(mp.mpf(v) - float(ref)) <= 4 * ulp(ref if floor_of is None else floor_of):
        return 0.0
    return float(d / abs(ref)) if ref != 0 else INF


def promise_error(name, args, v, flag=False):
    """The accuracy promise's measure of the module's value v of function
    `name` (d, p or q) at `args` (without the flag), with the log flag
    `flag`: 0 or at most AGREE_REL where the promise holds.  Densities
    relative to the density (floor 4 ulps, subnormal ulps included), log-
    values by log_error, probabilities by tail_error, continuous quantiles
    by their CDF residual (quantile_tail_error), counts exactly."""
    return Promise(name, args, flag).error(v)


DBL_MAX = 1.7976931348623157e308
# Values from here on round to infinity.
OVERFLOW = mp.mpf(DBL_MAX) + mp.mpf(2) ** 970


class Promise:
    """promise_error at one point, for any number of values: the reference
    (density, tails, or the discrete quantile) is computed once, when first
    needed, at the current mpmath precision; the tails a continuous quantile
    is judged by are remembered per point.  `within_ulps(v, n)` tells
    whether v is within n ulps of the exact value (of a continuous quantile:
    the root lies within n doubles of v).  `memo` is a dict of tails that
    the measures of one family at the same parameters may share."""

    def __init__(self, name, args, flag=False, memo=None):
        from . import families
        self.name, self.args, self.flag = name, tuple(args), bool(flag)
        self.prefix, self.dist = name[0], name[1:]
        self.discrete = self.dist in families.DISCRETE
        self._truth = None
        # Tails by argument; the measures of several functions of one family
        # at the same parameters (and precision) may share them.
        self._memo = {} if memo is None else memo

    def tails(self, x):
        """(P, Q) of the family at x with the point's parameters."""
        from . import references as ref
        if x not in self._memo:
            self._memo[x] = ref.tails(self.dist, x, *self.args[1:])
        return self._memo[x]

    def truth(self):
        """The exact value (an mpmath number; a count for a discrete
        quantile); None for a continuous quantile, judged by its tails."""
        from . import references as ref
        if self._truth is None:
            if self.prefix == "q":
                if not self.discrete:
                    return None
                self._truth = ref.discrete_quantile(self.dist, *self.args, start=self._start)
            elif self.prefix == "d":
                L = ref.log_density(self.dist, *self.args)
                self._truth = L if self.flag else mp.exp(L)
            else:
                P, Q = self.tails(self.args[0])
                self._truth = (mp.log(P) if P <= 0.5 else mp.log1p(-Q)) if self.flag else P
        return self._truth

    _start = 0

    def error(self, v):
        if self.prefix == "q":
            p = self.args[0]
            if self.discrete:
                if not math.isnan(v) and 0 <= v < 2.0**63:
                    self._start = int(v)    # where the search for the answer starts
                return 0.0 if v == self.truth() else INF
            return quantile_tail_error(self.tails, p, v)
        T = self.truth()
        if self.flag:
            if self.prefix == "d":
                return log_error(v, T, max(abs(T), 1))
            return log_error(v, T)
        if self.prefix == "d":
            if T >= OVERFLOW:       # beyond the double range: +inf, nothing else
                return 0.0 if v == INF else INF
            if abs(mp.mpf(v) - T) <= 4 * ulp(T):
                return 0.0
            return rel_err(v, T)
        P, Q = self.tails(self.args[0])
        return tail_error(v, P, Q)

    def within_ulps(self, v, n=4):
        if math.isnan(v):
            return False
        if self.prefix == "q" and not self.discrete:
            p = self.args[0]
            t = mp.mpf(p) if p <= 0.5 else 1 - mp.mpf(p)

            def side(x):
                P, Q = self.tails(x)
                return (P if p <= 0.5 else Q) - t
            if math.isinf(v):
                return self.error(v) == 0
            lo = hi = v
            for _ in range(n):
                lo, hi = math.nextafter(lo, -INF), math.nextafter(hi, INF)
            return side(lo) * side(hi) <= 0 or side(v) == 0
        if self.prefix == "q":
            return self.error(v) == 0
        T = self.truth()
        if mp.isinf(T) or math.isinf(v):
            return v == T or (v == INF and T >= OVERFLOW)
        if T >= OVERFLOW:
            return False
        return abs(mp.mpf(v) - T) <= n * ulp(T)
