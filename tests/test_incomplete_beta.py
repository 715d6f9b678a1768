"""The regularized incomplete beta kernel and its inverse, reached through
the probe library."""
import math

import mpmath as mp
import numpy as np
import pytest

from support import references as ref
from support.equality import same_value_or_both_nan
from support.metrics import rel_err

NAN = math.nan
EPS = 2.0 ** -52


# ---- incomplete_beta ----------------------------------------------------

@pytest.mark.parametrize("a, b, z, want", [
    (2, 3, 1e-17, 0.0),             # below EPS: 0, without evaluating the fraction
    (2, 3, -0.5, 0.0),              # negative z is below EPS too
    (0.5, 4, EPS / 2, 0.0),         # even where the true value (~1e-8) is far from 0
    (NAN, 1, 0.5, NAN),
    (1, NAN, 0.5, NAN),
    (1, 1, NAN, NAN),
])
def test_incomplete_beta_guards(kernels, a, b, z, want):
    assert same_value_or_both_nan(kernels.k_incomplete_beta(a, b, z), want)


@pytest.mark.parametrize("z", [1e-10, 0.01, 0.3, 0.5, 0.7, 0.999, 1 - 2 ** -40])
def test_uniform_shapes_give_identity(kernels, z):
    # I_z(1, 1) = z on both sides of the switch point 1/2 (the front factor
    # exp(ln z + ln(1 - z)) carries a few ulps of the logarithm of small z).
    assert rel_err(kernels.k_incomplete_beta(1, 1, z), z) < 1e-14


@pytest.mark.parametrize("a, b", [(2, 3), (0.5, 0.5), (10, 1), (3, 2), (0.2, 30)])
def test_branch_switch_at_a_plus_1_over_a_plus_b_plus_2(kernels, a, b):
    # Below the switch point the direct fraction B(a, b, z) is used; at it
    # and above, 1 - B(b, a, 1 - z).  The two forms differ in their last
    # bits, which tells the branches apart.
    t = (a + 1) / ((a + b) + 2)          # 3/7 for a = 2, b = 3
    below = float(np.nextafter(t, 0))
    direct = kernels.k_incomplete_beta_cf(a, b, below)
    assert direct != 1 - kernels.k_incomplete_beta_cf(b, a, 1 - below) or pytest.skip("forms agree")
    assert kernels.k_incomplete_beta(a, b, below) == direct
    complement = 1 - kernels.k_incomplete_beta_cf(b, a, 1 - t)
    assert complement != kernels.k_incomplete_beta_cf(a, b, t) or pytest.skip("forms agree")
    assert kernels.k_incomplete_beta(a, b, t) == complement


@pytest.mark.parametrize("a, b, z", [
    (2, 3, 0.2), (2, 3, 0.6), (0.5, 0.5, 0.3), (0.5, 0.5, 0.9), (5, 0.7, 0.95),
    (0.1, 5, 0.01), (10, 20, 0.3), (30, 12, 0.74), (1.5, 40, 0.002),
    (7, 3, 0.1),                     # deep lower tail, ~1e-6
    (25, 25, 0.2),                   # ~1e-6 in the lower tail of a symmetric law
])
def test_incomplete_beta_against_mpmath(kernels, a, b, z):
    assert rel_err(kernels.k_incomplete_beta(a, b, z), ref.beta_tails(a, b, z)[0]) < 2e-13


@pytest.mark.parametrize("a", [0.5, 3, 40.5, 200])
def test_symmetric_shapes_at_one_half(kernels, a):
    assert abs(kernels.k_incomplete_beta(a, a, 0.5) - 0.5) < 1e-14


def test_integer_shapes_match_binomial_sum(kernels):
    # I_z(a, b) = P(Binomial(a + b - 1, z) >= a) for whole a, b.
    for a, b in [(2, 3), (4, 9), (12, 5)]:
        n = a + b - 1
        for z in (0.05, 0.3, 0.55, 0.9):
            want = sum(math.comb(n, j) * z ** j * (1 - z) ** (n - j) for j in range(a, n + 1))
            assert rel_err(kernels.k_incomplete_beta(a, b, z), want) < 1e-13


def convergent(a, b, z, last):
    """The continued fraction of I_z(a, b) cut after level `last`, with the
    front factor, evaluated from the bottom in 50 digits."""
    with mp.workdps(50):
        a, b, z = mp.mpf(a), mp.mpf(b), mp.mpf(z)

        def e(j):
            m = j // 2 if j % 2 == 0 else (j + 1) // 2
            if j % 2 == 0:
                return -(a + b + m) * (a + m) * z / ((a + 2 * m) * (a + 2 * m + 1))
            return m * (b - m) * z / ((a + 2 * m) * (a + 2 * m - 1))
        t = 1 + e(last)
        for j in range(last - 1, -1, -1):
            t = 1 + e(j) / t
        front = mp.exp(a * mp.log(z) + b * mp.log(1 - z) - mp.log(mp.beta(a, b))) / a
        return front / t


def test_fraction_stops_at_level_205(kernels):
    # With shapes of 10^6 the fraction converges slowly; it is cut after
    # level 205, so the kernel returns that convergent (to the accuracy of
    # its front factor) rather than I_z itself.
    a = b = 1e6
    z = 0.49995
    got = kernels.k_incomplete_beta(a, b, z)
    assert abs(got / float(convergent(a, b, z, 205)) - 1) < 1e-7
    for other in (204, 206):
        assert abs(got / float(convergent(a, b, z, other)) - 1) > 1e-5
    with mp.workdps(20):
        assert rel_err(got, ref.beta_tails_quad(a, b, z)[0]) > 1e-3      # the converged value


def test_no_substitution_for_a_vanishing_denominator(kernels):
    # At a = 1, b = 3, z = 1/2 the first level is e_0 = -1, so d_0 = 1/0.
    # The core does not replace the zero by a tiny number: the value is NaN.
    # (incomplete_beta itself never sends such a z to this side.)
    assert math.isnan(kernels.k_incomplete_beta_cf(1, 3, 0.5))


# ---- incomplete_beta_inv ------------------------------------------------

@pytest.mark.parametrize("a, b, p, want", [
    (2, 3, 0.0, 0.0),
    (2, 3, -0.1, 0.0),
    (0.5, 0.5, 1e-17, 0.0),
    (2, 3, 1.0, 1.0),
    (2, 3, 0.9999999999999999, 1.0),    # 1 - p = 2^-53 < EPS
    (0.3, 7, 1 - 2 ** -53, 1.0),
    (NAN, 2, 0.5, NAN),
    (2, NAN, 0.5, NAN),
    (2, 3, NAN, NAN),
])
def test_incomplete_beta_inv_guards(kernels, a, b, p, want):
    assert same_value_or_both_nan(kernels.k_incomplete_beta_inv(a, b, p), want)


@pytest.mark.parametrize("a, b, p", [
    # both shapes above 1: normal start
    (2, 3, 0.2), (2, 3, 0.5), (2, 3, 0.97), (10, 20, 0.3), (45, 3, 0.01), (4, 4, 0.5),
    (1.5, 30, 1e-5),
    # a shape at most 1: tail start
    (0.5, 0.5, 0.3), (0.5, 0.5, 0.8), (1, 1, 0.25), (0.7, 6, 0.1), (3, 0.4, 0.6), (0.9, 15, 0.9),
])
def test_incomplete_beta_inv_round_trip(kernels, a, b, p):
    z = kernels.k_incomplete_beta_inv(a, b, p)
    # The distance to the root, to first order: (I_z - p) / density(z).
    err = (ref.beta_tails(a, b, z)[0] - p) / mp.exp(ref.beta_log_density(a, b, z))
    assert abs(float(err)) / z < 5e-14


def test_symmetric_median(kernels):
    # p = 1/2 with both shapes above 1 (the start takes t from log p, with
    # the sign of the upper half); for equal shapes the answer is 1/2, up to
    # the error of I_z itself there.
    for a in (1.5, 2, 7, 60):
        assert abs(kernels.k_incomplete_beta_inv(a, a, 0.5) - 0.5) < 1e-14


def tail_start(a, b, p):
    """The small-shape start for p <= 1/2 in the lower-end region."""
    sa = (a / (a + b)) ** a / a
    sb = (b / (a + b)) ** b / b
    return (p * (sa + sb) * a) ** (1 / a)


@pytest.mark.parametrize("a, b, p", [(0.1, 5, 0.01), (0.05, 2, 0.01), (0.2, 1, 1e-5)])
def test_start_below_eps_is_returned_unchanged(kernels, a, b, p):
    # The start lies within EPS of 0, where the density counts as 0: the
    # iteration exits before its first step and returns the start, which is
    # not the true quantile (incomplete_beta is 0 below EPS, so no step
    # could have resolved it anyway).
    start = tail_start(a, b, p)
    assert 0 < start < EPS
    got = kernels.k_incomplete_beta_inv(a, b, p)
    assert rel_err(got, start) < 1e-12
    # I_z ~ z^a / (a B(a, b)) for tiny z
    assert rel_err(got, (p * a * mp.beta(a, b)) ** (1 / mp.mpf(a))) > 0.1


def test_start_at_one_is_returned_unchanged(kernels):
    # Mirror image: with b small and p near 1 the start rounds to 1.
    assert kernels.k_incomplete_beta_inv(5, 0.1, 0.99) == 1.0
