"""The inverse kernels end their fixed-count refinements once the carried
state recurs and reuse the values of repeated iterates; the plain loops are
kept as *_full.  Both forms must agree in every bit, NaN results included,
over inputs that reach every way the iteration can settle (a fixed point, a
two-cycle, a longer cycle, no recurrence within the step count, a vanishing
beta density) and every guard.  A larger run is tools/check/inverse_equality.py."""
import pytest

from support.equality import same_bits

# kernel id, number of generated inputs (sized to keep the run short), and
# whether the beta density can end the loop early.
RUNS = {"erf_inv": (0, 20000), "incomplete_gamma_inv": (1, 4000), "incomplete_beta_inv": (2, 20000)}
CLASSES = {1: "fixed point", 2: "two-cycle", 3: "longer cycle", 4: "no recurrence", 5: "NaN result",
           6: "decided by a guard"}


@pytest.mark.parametrize("name", RUNS)
def test_fast_form_equals_full_iteration(kernels, name):
    kernel, n = RUNS[name]
    assert kernels.k_recurrence_run(kernel, n, 7) == 0
    counts = {what: kernels.k_recurrence_count(what) for what in range(1, 8)}
    # Every way of settling is in the sample, so each branch of the fast
    # path was compared against the plain loop.
    for what, label in CLASSES.items():
        assert counts[what] >= 20, (label, counts)
    if name == "incomplete_beta_inv":
        assert counts[7] >= 20, counts


@pytest.mark.parametrize("y", [0.3, -0.7, 0.999999, 1e-300, -1 + 2**-40, 0.5, 2**-1074])
def test_erf_inv_forms_agree_on_single_values(kernels, y):
    assert same_bits(kernels.k_erf_inv(y), kernels.k_erf_inv_full(y))


@pytest.mark.parametrize("a, p", [(0.5, 0.3), (3.0, 1e-12), (25.0, 0.999), (1e4, 0.5), (1.0, 0.9)])
def test_gamma_inverse_forms_agree_on_single_values(kernels, a, p):
    assert same_bits(kernels.k_incomplete_gamma_inv(a, p), kernels.k_incomplete_gamma_inv_full(a, p))


@pytest.mark.parametrize("a, b, p", [(2.0, 3.0, 0.1), (0.3, 0.3, 0.99), (50.0, 0.5, 1e-8), (1e3, 1e3, 0.5)])
def test_beta_inverse_forms_agree_on_single_values(kernels, a, b, p):
    assert same_bits(kernels.k_incomplete_beta_inv(a, b, p), kernels.k_incomplete_beta_inv_full(a, b, p))
