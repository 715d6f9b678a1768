// The four registration groups of the module, called by the entry in this
// order: densities, engine and random draws, CDFs, quantiles.  Within every
// group the distributions come in one module-wide order: norm, bern, beta,
// binom, cauchy, chisq, exp, f, gamma, invgamma, laplace, lnorm, logis,
// pois, t, unif, weibull.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

namespace distmill {

namespace py = pybind11;

void register_density_functions(py::module_& m);
void register_random_functions(py::module_& m);
void register_cdf_functions(py::module_& m);
void register_quantile_functions(py::module_& m);

// Binds a scalar function element-wise: every argument is converted to a
// numpy array of the parameter's element type (float64, int64 or bool, with
// forced casting) and broadcast; all-scalar calls return a Python float.
template <class Func, class... Extra>
void def_elementwise(py::module_& m, const char* name, Func f, const Extra&... extra) {
  m.def(name, py::vectorize(f), extra...);
}

}  // namespace distmill
