"""The logarithms and exponentials of the incomplete gamma quadrature are
evaluated in batches across its nodes, and e^n for common n is read from a
table; both must give the scalar kernels' values in every bit, whichever of
the two compilations of the batched fractions the processor selects."""
import pytest


@pytest.mark.parametrize("what, label", [(0, "log_lanes"), (1, "exp_lanes")])
def test_batched_elementary_kernels_equal_scalar_ones(kernels, what, label):
    # 4000 batches each of 1, 7 and 50 lanes: 232,000 arguments, covering
    # every guard, both branches and arbitrary bit patterns.
    assert kernels.k_lanes_mismatches(what, 4000, 11) == 0, label


@pytest.mark.parametrize("what, label", [(0, "log fraction"), (1, "exp fraction")])
def test_baseline_and_avx2_clones_agree(kernels, what, label):
    # The module runs one of two compilations of the batched fractions,
    # chosen by the processor; both must give the same bits.
    bad = kernels.k_lanes_isa_mismatches(what, 4000, 13)
    if bad < 0:
        pytest.skip("no AVX2 on this processor")
    assert bad == 0, label


def test_quadrature_equals_node_by_node_evaluation(kernels):
    assert kernels.k_lanes_mismatches(2, 3000, 12) == 0


def test_exp_integer_table_equals_run_time_squaring(kernels):
    assert kernels.k_exp_integer_table_mismatches() == 0
