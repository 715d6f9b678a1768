"""The stored 50-point Gauss-Legendre tables against a fresh high-precision
computation, bit for bit in the 80-bit format."""
import pathlib
import sys

import mpmath
import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools" / "gen"))
import gen_gl50  # noqa: E402


@pytest.fixture(scope="module")
def rule():
    return gen_gl50.tables()


def stored(kernels, table, i):
    """(sign, significand, exponent) of the stored extended value."""
    m = kernels.k_gl50_bits(table, i, 0)
    se = kernels.k_gl50_bits(table, i, 1)
    return (-1 if se & 0x8000 else 1), m, (se & 0x7FFF) - 16383


@pytest.mark.parametrize("table", [0, 1], ids=["nodes", "weights"])
def test_tables_match_exact_rule(kernels, rule, table):
    values = rule[table]
    for i in range(50):
        assert stored(kernels, table, i) == gen_gl50.round64(values[i]), i


def test_rule_integrates_polynomials_exactly(rule):
    # An independent check of the generator itself: the 50-point rule is
    # exact for polynomials up to degree 99.
    nodes, weights = rule
    with mpmath.workdps(60):
        for deg in (0, 2, 50, 98):
            s = mpmath.fsum(w * x**deg for x, w in zip(nodes, weights))
            assert abs(s - mpmath.mpf(2) / (deg + 1)) < mpmath.mpf(10) ** -50


@pytest.mark.parametrize(
    "i, node, weight",
    [  # check values printed to 20 significant digits
        (0, "-0.031098338327188876113", "0.062176616655347262322"),
        (3, "0.093174701560086140855", "0.061936067420683243385"),
        (48, "-0.99886640442007105020", "0.0029086225531551409585"),
    ],
)
def test_check_values(kernels, i, node, weight):
    with mpmath.workdps(40):
        for table, ref in ((0, node), (1, weight)):
            sign, m, e = stored(kernels, table, i)
            value = mpmath.mpf(sign * m) * mpmath.mpf(2) ** (e - 63)
            # Agreement to the 20 printed digits (half a unit of the last).
            r = mpmath.mpf(ref)
            ulp20 = mpmath.mpf(10) ** (int(mpmath.floor(mpmath.log10(abs(r)))) - 19)
            assert abs(value - r) <= ulp20 / 2


def test_order_and_pairs(kernels):
    prev = 0
    for j in range(25):
        neg, pos = stored(kernels, 0, 2 * j), stored(kernels, 0, 2 * j + 1)
        assert neg[0] == -1 and pos[0] == 1 and neg[1:] == pos[1:]
        assert stored(kernels, 1, 2 * j) == stored(kernels, 1, 2 * j + 1)
        mag = pos[1] * 2.0 ** (pos[2] - 63)
        assert mag > prev
        prev = mag
