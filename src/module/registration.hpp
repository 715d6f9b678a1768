// The four registration groups of the module, called by the entry in this
// order: densities, engine and random draws, CDFs, quantiles.  Within every
// group the distributions come in one module-wide order: norm, bern, beta,
// binom, cauchy, chisq, exp, f, gamma, invgamma, laplace, lnorm, logis,
// pois, t, unif, weibull.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

#include "cxmath/common.hpp"
#include "dists/interrupt.hpp"

namespace distmill {

namespace py = pybind11;

void register_density_functions(py::module_& m);
void register_random_functions(py::module_& m);
void register_cdf_functions(py::module_& m);
void register_quantile_functions(py::module_& m);

// The interrupt hook the module installs for the long loops of the scalar
// functions and samplers: a pending signal whose Python handler raises (a
// KeyboardInterrupt after Ctrl-C) leaves as that exception, unwinding
// through the element loop or the fill loop.  Signals are only handled on
// the main thread, so a call running on another thread is not stopped.
inline void raise_pending_signal() {
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

namespace detail {

// Ticked once per element by every element-wise call (all of them hold the
// interpreter lock, so one counter serves them all): an array of many cheap
// elements is as interruptible as one long scalar computation.
inline InterruptPoll element_poll;

// Whether pybind11 can compute the byte strides of a float64 array of this
// shape without overflow: every partial product of the extents times the
// item size is bounded by the product of all nonzero extents times 8.
template <class Extent>
bool strides_fit(const std::vector<Extent>& shape) {
  py::ssize_t bytes = sizeof(double);
  for (const Extent e : shape) {
    if (e > static_cast<Extent>(PY_SSIZE_T_MAX)) return false;
    const auto extent = static_cast<py::ssize_t>(e);
    if (extent != 0 && __builtin_mul_overflow(bytes, extent, &bytes)) return false;
  }
  return true;
}

// numpy's own answer for a shape: numpy.empty with the extents as Python
// integers.  For a shape that cannot be laid out it raises its ValueError
// ("array is too big", "Maximum allowed dimension exceeded", too many
// dimensions) or MemoryError, the same error numpy gives for that shape
// anywhere else.
template <class Extent>
py::array_t<double> numpy_empty(const std::vector<Extent>& shape) {
  py::tuple extents(shape.size());
  for (std::size_t i = 0; i < shape.size(); ++i) extents[i] = py::int_(shape[i]);
  return py::module_::import("numpy").attr("empty")(extents, "float64").template cast<py::array_t<double>>();
}

// The broadcast shape of the element-wise inputs, or false when they cannot
// be broadcast (the vectorized call then reports that itself).
template <std::size_t N>
bool broadcast_shape(const std::array<const py::array*, N>& inputs, std::vector<py::ssize_t>& shape) {
  py::ssize_t nd = 0;
  for (const py::array* a : inputs) nd = std::max(nd, static_cast<py::ssize_t>(a->ndim()));
  shape.assign(static_cast<std::size_t>(nd), 1);
  for (const py::array* a : inputs) {
    const py::ssize_t offset = nd - a->ndim();
    for (py::ssize_t d = 0; d < a->ndim(); ++d) {
      const py::ssize_t e = a->shape(d);
      py::ssize_t& out = shape[static_cast<std::size_t>(offset + d)];
      if (e == 1) continue;
      if (out != 1 && out != e) return false;
      out = e;
    }
  }
  return true;
}

// The element-wise form of a scalar function R f(A...): py::vectorize of a
// wrapper that ticks the interrupt poll once per element and returns every
// NaN as the one quiet NaN (cxmath::unify_nan), behind a check of
// the broadcast shape.  Each input is a valid numpy array, but broadcasting
// several of them (zero-stride views, for example) can ask for a result
// whose byte size overflows; pybind11 would compute its strides in
// overflowing signed arithmetic, so such a result is requested from numpy,
// which refuses it with its own error before any element is computed.
// The parameters are the same array_t types py::vectorize declares, so the
// signature pybind11 shows is unchanged.
template <class R, class... A>
auto elementwise(R (*f)(A...)) {
  auto vec = py::vectorize([f](A... a) -> R {
    element_poll.tick();
    return cxmath::unify_nan(f(a...));
  });
  return [vec](py::array_t<A, py::array::forcecast>... args) mutable -> py::object {
    std::vector<py::ssize_t> shape;
    if (broadcast_shape<sizeof...(A)>({&args...}, shape) && !strides_fit(shape)) {
      py::array_t<double> out = numpy_empty(shape);
      if (out.size() == 0) return std::move(out);
    }
    return vec(args...);
  };
}

}  // namespace detail

// Binds a scalar function element-wise: every argument is converted to a
// numpy array of the parameter's element type (float64, int64 or bool, with
// forced casting) and broadcast; all-scalar calls return a Python float.
template <class R, class... A, class... Extra>
void def_elementwise(py::module_& m, const char* name, R (*f)(A...), const Extra&... extra) {
  m.def(name, detail::elementwise(f), extra...);
}

}  // namespace distmill
