"""The binomial and Poisson sums that skip work return the bits of the
literal top-down sums and of the step-by-step quantile walks."""
import math
import random

import pytest

import distmill as dm
from support import references as ref
from support.equality import same_bits
from support.metrics import probability_agrees

PROBS = [0.0, 1e-300, 1e-17, 2.3e-16, 1e-9, 1e-4, 0.01, 0.1, 0.3, 0.5, 0.7, 0.9, 0.999,
         1 - 1e-9, 1 - 2.0**-52, 1 - 2.0**-53, 1.0]


def binom_quantile_ok(i, p, n, prob):
    # F(i) >= p > F(i - 1), as U(i) <= 1 - p < U(i - 1) with the exact upper
    # tails U(k) = P(X > k), each up to the rule's tolerance.
    q = 1 - ref.mpf(p)
    U = lambda k: ref.tails("binom", k, n, prob)[1]  # noqa: E731
    i = int(i)
    ok_at = U(i) <= q or probability_agrees(U(i), q)
    ok_below = i == 0 or U(i - 1) > q or probability_agrees(U(i - 1), q)
    return ok_at and ok_below


def pois_quantile_ok(kernels, k, p, lam):
    # F(k) > p >= F(k - 1) by the converged CDF F(j) = Q(j + 1, lam) (checked
    # against mpmath in test_sound_gamma.py), compared in the tail of p.
    if p > 0.5:
        q = 1 - p
        P = lambda j: kernels.ks_gamma_p(j + 1, lam)  # noqa: E731  1 - F(j)
        return P(k) < q and (k == 0 or P(k - 1) >= q)
    F = lambda j: kernels.ks_gamma_count_q(j, lam)  # noqa: E731
    return F(k) > p and (k == 0 or F(k - 1) <= p)


def binom_cases(rng, count, n_max):
    for _ in range(count):
        n = rng.randint(2, rng.choice([3, 10, 50, 300, n_max]))
        prob = rng.choice(PROBS + [rng.random() for _ in range(4)])
        sd = math.sqrt(n * prob * (1 - prob))
        x = rng.choice([0, 1, n - 1, n - 2, rng.randrange(n), int(n * prob),
                        int(n * prob + rng.uniform(-12, 40) * sd)])
        yield min(max(x, 0), n - 1), n, prob


def test_binomial_sum_matches_plain_sum(kernels):
    rng = random.Random(11)
    skipped = 0
    for x, n, prob in binom_cases(rng, 2500, 2500):
        fast, plain = kernels.k_binom_sum(x, n, prob), kernels.k_binom_sum_plain(x, n, prob)
        assert same_bits(fast, plain), (x, n, prob, fast, plain)
        skipped += kernels.k_binom_sum_masses(x, n, prob) < x + 1
    # the comparison is only worth something if the skips were taken
    assert skipped > 800


@pytest.mark.parametrize("n", [10**6, 10**9, 10**12, 2**53 - 1, 2**53, 2**62])
@pytest.mark.parametrize("prob", [1e-300, 1e-12, 1e-6, 0.3, 1 - 1e-6])
def test_binomial_sum_low_counts_of_huge_n(kernels, n, prob):
    # Sums of the lowest counts are cheap literally, and exercise the error
    # bound of the skips at its largest (or its refusal past the gate).
    for x in [0, 1, 2, 17, 300, 1999]:
        fast, plain = kernels.k_binom_sum(x, n, prob), kernels.k_binom_sum_plain(x, n, prob)
        assert same_bits(fast, plain), (x, n, prob)


def test_binomial_sum_top_counts_near_n(kernels):
    # x just below n, where the head of zeros above the mode is dropped.
    for n in [1000, 4096, 30000]:
        for prob in [0.3, 0.5, 0.9, 0.999, 1e-3]:
            for x in [n - 1, n - 2, n - 700]:
                fast, plain = kernels.k_binom_sum(x, n, prob), kernels.k_binom_sum_plain(x, n, prob)
                assert same_bits(fast, plain), (x, n, prob)
                assert kernels.k_binom_sum_masses(x, n, prob) <= x + 1


def test_quantile_matches_plain_walk(kernels):
    rng = random.Random(12)
    for _ in range(700):
        n = rng.randint(2, rng.choice([3, 20, 120, 400]))
        prob = rng.choice(PROBS + [rng.random() for _ in range(4)])
        p = rng.choice([rng.random(), rng.random()**25, 1 - rng.random()**25, 1e-300,
                        2.0**-1074, 1 - 2.0**-53, 1 - 1e-12, 0.5])
        p = p if 0 < p < 1 else 0.5  # the walk itself is for 0 < p < 1
        fast, plain = kernels.k_qbinom(p, n, prob), kernels.k_qbinom_plain(p, n, prob)
        assert same_bits(fast, plain), (p, n, prob)
        # The module keeps the walk's answer, or (where its sums are checked:
        # p above 1/2 or tiny, prob or 1 - prob below EPS) replaces it by the
        # first count whose exact CDF reaches p, up to the rule's tolerance.
        got = dm.qbinom(p, n, prob)
        if got != fast:
            assert p > 0.5 or p < 2.0**-1000 or min(prob, 1 - prob) < 2.0**-52
            assert binom_quantile_ok(got, p, n, prob), (p, n, prob, got, fast)


@pytest.mark.parametrize("n, prob, ps", [
    (n, prob, [1e-9, 0.01, 0.5, 0.97, 1 - 1e-12]) for n in [10**4, 10**6] for prob in [1e-7, 0.3, 0.5, 1 - 1e-7]
] + [(10**9, 1e-7, [0.5, 1 - 1e-12]), (10**9, 0.3, [0.03]), (10**9, 1 - 1e-7, [0.5])])
def test_quantile_of_large_n_is_first_count_reaching_p(n, prob, ps):
    # The plain walk returns the first i with p <= F(i); pbinom gives those
    # F(i) (its bits are checked against the plain sum above), and the
    # computed F is non-decreasing, so checking i and i - 1 settles it.
    for p in ps:
        i = int(dm.qbinom(p, n, prob))
        assert 0 <= i <= n
        assert i == n or p <= dm.pbinom(i, n, prob), (p, n, prob, i)
        assert i == 0 or dm.pbinom(i - 1, n, prob) < p, (p, n, prob, i)


def test_error_bound_of_log_masses(kernels):
    # The skips assume |computed - true| <= delta for the log-mass; check it
    # with a wide margin against exact values.
    rng = random.Random(13)
    worst = 0.0
    for _ in range(150):
        n = rng.choice([3, 10**3, 10**6, 10**9, 10**11, 3 * 10**12])
        prob = rng.choice([1e-200, 1e-9, 0.3, 0.5, 1 - 1e-9, rng.random()])
        delta = kernels.k_binom_delta(n, prob)
        if delta < 0:
            continue
        sd = math.sqrt(n * prob * (1 - prob))
        x = int(min(max(n * prob + rng.uniform(-50, 50) * sd, 0), n - 1))
        h = dm.dbinom(x, n, prob, log=True)
        exact = ref.log_density("binom", x, n, prob)
        if math.isinf(h):
            continue
        worst = max(worst, float(abs(h - exact)) / delta)
    assert worst <= 1 / 16, worst


def test_exp_vanishes_below_the_zero_threshold(kernels):
    # exact zeros are skipped below -800 - 2 delta >= -816
    for y in [-784.0, -800.0, -1e4, -1e300, -745.2]:
        assert kernels.k_exp(y) == 0.0
    assert kernels.k_exp(-745.0) > 0.0


def test_poisson_walk_matches_plain_walk(kernels):
    rng = random.Random(14)
    for _ in range(6000):
        lam = rng.choice([0.0, 1e-300, 2.2e-16, 1e-3, 0.5, 1.0, 3.0, 7.5, 9.99, 10.0, rng.random() * 10])
        p = rng.choice([rng.random(), 1 - 1e-15, 1 - 2.0**-53, 1e-300, rng.random()**30, 1 - rng.random()**30])
        fast, plain = kernels.k_pois_walk(p, lam), kernels.k_pois_walk_plain(p, lam)
        assert same_bits(fast, plain), (p, lam)
        if lam >= 2.220446049250313e-16 and 0 < p < 1:
            # The module keeps the walk's answer where the converged CDF
            # confirms it, else the first count whose converged CDF is above p.
            got = dm.qpois(p, lam)
            if got != fast:
                assert pois_quantile_ok(kernels, got, p, lam), (p, lam, got, fast)
