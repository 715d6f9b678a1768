"""The logarithms and exponentials of the incomplete gamma quadrature are
evaluated in batches across its nodes, and e^n for common n is read from a
table; both must give the scalar kernels' values in every bit."""
import pytest


@pytest.mark.parametrize("what, label", [(0, "log_lanes"), (1, "exp_lanes")])
def test_batched_elementary_kernels_equal_scalar_ones(kernels, what, label):
    # 4000 batches each of 1, 7 and 50 lanes: 232,000 arguments, covering
    # every guard, both branches and arbitrary bit patterns.
    assert kernels.k_lanes_mismatches(what, 4000, 11) == 0, label


def test_quadrature_equals_node_by_node_evaluation(kernels):
    assert kernels.k_lanes_mismatches(2, 3000, 12) == 0


def test_exp_integer_table_equals_run_time_squaring(kernels):
    assert kernels.k_exp_integer_table_mismatches() == 0
