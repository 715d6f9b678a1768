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
#include <cstring>
#include <utility>
#include <vector>

#include "cxmath/common.hpp"
#include "dists/interrupt.hpp"
#include "module/lanes.hpp"

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

// Elements per block of an array call on lanes: the interrupt is polled
// between blocks, and a block of broadcast inputs is gathered into
// contiguous buffers of this length.
inline constexpr std::size_t LANE_BLOCK = 1024;

// The blocks of a call whose inputs are each one element or the full
// result, all contiguous in the result's memory order: consecutive runs of
// the arrays themselves.
template <std::size_t N>
class ContiguousBlocks final : public lanes::Blocks {
 public:
  ContiguousBlocks(const std::array<py::buffer_info, N>& in, double* out, std::size_t size)
      : in_(in), out_(out), size_(size) {}

  std::size_t next(lanes::Arg* args, double*& out) override {
    if (done_ == size_) return 0;
    if (done_ > 0) poll_interrupt();
    const std::size_t n = std::min(LANE_BLOCK, size_ - done_);
    for (std::size_t j = 0; j < N; ++j) {
      const bool constant = in_[j].size == 1;
      const auto bytes = static_cast<std::size_t>(in_[j].itemsize);
      args[j] = {static_cast<const unsigned char*>(in_[j].ptr) + (constant ? 0 : done_ * bytes), constant, bytes};
    }
    out = out_ + done_;
    done_ += n;
    return n;
  }

 private:
  const std::array<py::buffer_info, N>& in_;
  double* out_;
  std::size_t size_, done_ = 0;
};

// The blocks of any other call: the result (C order) in runs of
// LANE_BLOCK elements, each input that is not a single element gathered
// for the run into a buffer through its own strides (zero along the
// dimensions it is broadcast in), as py::vectorize reads it.
template <std::size_t N>
class GatheredBlocks final : public lanes::Blocks {
 public:
  GatheredBlocks(const std::array<py::buffer_info, N>& in, const std::vector<py::ssize_t>& shape, double* out,
                 std::size_t size)
      : in_(in), shape_(shape), index_(shape.size(), 0), out_(out), size_(size) {
    const std::size_t nd = shape.size();
    for (std::size_t j = 0; j < N; ++j) {
      strides_[j].assign(nd, 0);
      const auto& b = in[j];
      const std::size_t offset = nd - static_cast<std::size_t>(b.ndim);
      for (std::size_t d = 0; d < static_cast<std::size_t>(b.ndim); ++d)
        if (b.shape[d] == shape[offset + d]) strides_[j][offset + d] = b.strides[d];
      buffers_[j].resize(in[j].size == 1 ? 0 : LANE_BLOCK * static_cast<std::size_t>(b.itemsize));
      at_[j] = static_cast<const unsigned char*>(b.ptr);
    }
  }

  std::size_t next(lanes::Arg* args, double*& out) override {
    if (done_ == size_) return 0;
    if (done_ > 0) poll_interrupt();
    const std::size_t n = std::min(LANE_BLOCK, size_ - done_);
    const std::size_t last = shape_.size() - 1;
    for (std::size_t k = 0; k < n;) {
      // A run along the last dimension, then one step of the others.
      const std::size_t run =
          std::min(n - k, static_cast<std::size_t>(shape_[last] - index_[last]));
      for (std::size_t j = 0; j < N; ++j) {
        if (buffers_[j].empty()) continue;
        const auto bytes = static_cast<std::size_t>(in_[j].itemsize);
        const py::ssize_t step = strides_[j][last];
        unsigned char* to = buffers_[j].data() + k * bytes;
        for (std::size_t r = 0; r < run; ++r) std::memcpy(to + r * bytes, at_[j] + static_cast<py::ssize_t>(r) * step, bytes);
      }
      k += run;
      advance(run);
    }
    for (std::size_t j = 0; j < N; ++j) {
      const bool constant = buffers_[j].empty();
      args[j] = {constant ? in_[j].ptr : buffers_[j].data(), constant, static_cast<std::size_t>(in_[j].itemsize)};
    }
    out = out_ + done_;
    done_ += n;
    return n;
  }

 private:
  // Moves the index `run` elements on along the last dimension (at most to
  // its end), carrying into the dimensions before it.
  void advance(std::size_t run) {
    const std::size_t last = shape_.size() - 1;
    index_[last] += static_cast<py::ssize_t>(run);
    for (std::size_t j = 0; j < N; ++j) at_[j] += static_cast<py::ssize_t>(run) * strides_[j][last];
    for (std::size_t d = last; d > 0 && index_[d] == shape_[d]; --d) {
      for (std::size_t j = 0; j < N; ++j) at_[j] += strides_[j][d - 1] - index_[d] * strides_[j][d];
      index_[d] = 0;
      ++index_[d - 1];
    }
  }

  const std::array<py::buffer_info, N>& in_;
  const std::vector<py::ssize_t>& shape_;
  std::vector<py::ssize_t> index_;
  std::array<std::vector<py::ssize_t>, N> strides_;
  std::array<std::vector<unsigned char>, N> buffers_;
  std::array<const unsigned char*, N> at_;
  double* out_;
  std::size_t size_, done_ = 0;
};

// An element-wise call on lanes: py::vectorize's broadcasting, scalar
// shortcut, result layout and element order, with the elements computed
// by the lane loop `run` a block at a time instead of one call each.
template <class R, class... A, std::size_t... I>
py::object lanes_call(R (*f)(A...), lanes::Runner<R (*)(A...)> run, std::index_sequence<I...>,
                      py::array_t<A, py::array::forcecast>&... args) {
  constexpr std::size_t N = sizeof...(A);
  std::array<py::buffer_info, N> buffers{args.request()...};
  py::ssize_t nd = 0;
  std::vector<py::ssize_t> shape;
  const auto trivial = py::detail::broadcast(buffers, nd, shape);
  std::size_t size = 1;
  for (const py::ssize_t e : shape) size *= static_cast<std::size_t>(e);
  if (size == 1 && nd == 0) return py::cast(cxmath::unify_nan(f(*static_cast<const A*>(buffers[I].ptr)...)));
  py::array_t<double> result = trivial == py::detail::broadcast_trivial::f_trivial
                                   ? py::array_t<double>(py::array_t<double, py::array::f_style>(shape))
                                   : py::array_t<double>(shape);
  if (size == 0) return std::move(result);
  double* out = result.mutable_data();
  if (trivial != py::detail::broadcast_trivial::non_trivial) {
    ContiguousBlocks<N> blocks(buffers, out, size);
    run.run(blocks, f);
  } else {
    GatheredBlocks<N> blocks(buffers, shape, out, size);
    run.run(blocks, f);
  }
  return std::move(result);
}

// The element-wise form of a scalar function R f(A...): py::vectorize of a
// wrapper that ticks the interrupt poll once per element and returns every
// NaN as the one quiet NaN (cxmath::unify_nan), or, where the function has
// lanes in use, the lane loop (the same NaN); behind a check of the
// broadcast shape.  Each input is a valid numpy array, but broadcasting
// several of them (zero-stride views, for example) can ask for a result
// whose byte size overflows; pybind11 would compute its strides in
// overflowing signed arithmetic, so such a result is requested from numpy,
// which refuses it with its own error before any element is computed.
// The parameters are the same array_t types py::vectorize declares, so the
// signature pybind11 shows is unchanged.
template <class R, class... A>
auto elementwise(R (*f)(A...), lanes::Runner<R (*)(A...)> run = {}) {
  auto vec = py::vectorize([f](A... a) -> R {
    element_poll.tick();
    return cxmath::unify_nan(f(a...));
  });
  return [vec, f, run](py::array_t<A, py::array::forcecast>... args) mutable -> py::object {
    std::vector<py::ssize_t> shape;
    if (broadcast_shape<sizeof...(A)>({&args...}, shape) && !strides_fit(shape)) {
      py::array_t<double> out = numpy_empty(shape);
      if (out.size() == 0) return std::move(out);
    }
    if (run.run == nullptr) return vec(args...);
    return lanes_call(f, run, std::index_sequence_for<A...>(), args...);
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

// The same with the family's lane kernel for the array calls (the runner
// of lanes::runner<Kernel>(), empty when the lanes are off).
template <class R, class... A, class... Extra>
void def_elementwise(py::module_& m, const char* name, R (*f)(A...), lanes::Runner<R (*)(A...)> run,
                     const Extra&... extra) {
  m.def(name, detail::elementwise(f, run), extra...);
}

}  // namespace distmill
