import distmill


def test_kernels_load(kernels):
    assert kernels.k_log(10.0) == 2.302585092994046
    assert kernels.k_exp(1.0) == 2.718281828459045


def test_module_doc():
    assert distmill.__doc__ == "pybind11 wrapper for zorvan/distmill"
