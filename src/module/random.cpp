// Registration group 2: the Engine class, the default engine and the random
// draw functions.
//
// Each distribution's sampler is bound three times under one name, in this
// order: the scalar form (the sampler itself), the list-size form and the
// integer-size form.  pybind11 tries the overloads in registration order,
// first without implicit conversions and then with them, so the order
// decides which form a call selects.
#include "random/bernoulli.hpp"
#include "random/engine.hpp"
#include "random/inversion.hpp"
#include "random/gamma.hpp"
#include "random/normal.hpp"
#include "random/poisson.hpp"
#include "random/uniform.hpp"

#include <cstddef>
#include <tuple>
#include <utility>
#include <vector>

#include <pybind11/stl.h>

#include "module/registration.hpp"

namespace distmill {

namespace {

// The scalar and size forms of a sampler double f(P..., Engine&): the
// scalar form is one draw; the size forms take the parameters P...
// followed by the size and the engine.  The result is allocated once, C
// ordered, and element i of the flat buffer is the i-th sampler call, so an
// array of n elements advances the engine exactly as n scalar calls do.
//
// A size that cannot be laid out (an extent beyond the signed range, a
// byte count that overflows, too many dimensions, more memory than there
// is) fails with numpy's error before the first draw.  A long fill can be
// interrupted: the exception leaves after the draws made so far, which
// have advanced the engine, and the partly filled array is released.
template <auto Sampler, class Params>
struct DrawForms;

template <auto Sampler, class... P>
struct DrawForms<Sampler, std::tuple<P...>> {
  // One draw as the module returns it: any NaN as the one quiet NaN.
  static double one(P... params, Engine& engine) { return cxmath::unify_nan(Sampler(params..., engine)); }

  static void fill(py::array_t<double>& out, P... params, Engine& engine) {
    double* data = out.mutable_data();
    const py::ssize_t n = out.size();
    InterruptPoll poll;
    for (py::ssize_t i = 0; i < n; ++i) {
      poll.tick();
      data[i] = one(params..., engine);
    }
  }

  // A new C-ordered float64 array.  Extents whose strides fit, in up to 32
  // dimensions (every numpy's limit is at least that), are handed to
  // pybind11, which computes the strides in signed arithmetic and lets numpy
  // check the allocation; any other shape goes to numpy.empty, which either
  // makes the array (up to 64 dimensions with numpy 2) or raises numpy's
  // own error for it, with numpy's usual message.
  static py::array_t<double> allocate(const std::vector<std::size_t>& size) {
    if (size.size() > 32 || !detail::strides_fit(size)) return detail::numpy_empty(size);
    return py::array_t<double>(std::vector<py::ssize_t>(size.begin(), size.end()));
  }

  // Shape given dimension by dimension; an empty list is a 0-d array, which
  // holds one element.
  static py::array_t<double> by_shape(P... params, const std::vector<std::size_t>& size, Engine& engine) {
    py::array_t<double> out = allocate(size);
    fill(out, params..., engine);
    return out;
  }

  static py::array_t<double> by_count(P... params, std::size_t size, Engine& engine) {
    py::array_t<double> out = allocate(std::vector<std::size_t>{size});
    fill(out, params..., engine);
    return out;
  }
};

// The distribution parameters of a sampler: its arguments without the
// trailing engine reference.
template <class F>
struct SamplerParams;

template <class... A>
struct SamplerParams<double (*)(A...)> {
  template <std::size_t... I>
  static auto first(std::index_sequence<I...>) -> std::tuple<std::tuple_element_t<I, std::tuple<A...>>...>;
  using type = decltype(first(std::make_index_sequence<sizeof...(A) - 1>{}));
};

// Registers the three forms of one distribution.  `params` are the py::arg
// records of the distribution parameters (names and any defaults).
template <auto Sampler, class... Args>
void def_random(py::module_& m, const char* name, const py::object& default_engine, const Args&... params) {
  using Forms = DrawForms<Sampler, typename SamplerParams<decltype(Sampler)>::type>;
  m.def(name, &Forms::one, params..., py::arg("engine") = default_engine);
  m.def(name, &Forms::by_shape, params..., py::arg("size"), py::arg("engine") = default_engine);
  m.def(name, &Forms::by_count, params..., py::arg("size"), py::arg("engine") = default_engine);
}

}  // namespace

void register_random_functions(py::module_& m) {
  // The native type is the engine itself; its one constructor argument is
  // an unnamed signed 32-bit seed.
  py::class_<Engine>(m, "Engine").def(py::init([](int seed) { return make_engine(seed); }));

  // The default engine is created through the Python class, like any other
  // engine, and lives on as the default value of every `engine` argument.
  const py::object engine = m.attr("Engine")(1);

  def_random<rnorm>(m, "rnorm", engine, py::arg("mu") = 0, py::arg("sigma") = 1);
  def_random<rbern>(m, "rbern", engine, py::arg("prob"));
  def_random<rbeta>(m, "rbeta", engine, py::arg("a"), py::arg("b"));
  def_random<rbinom>(m, "rbinom", engine, py::arg("n_trials"), py::arg("prob"));
  def_random<rcauchy>(m, "rcauchy", engine, py::arg("mu"), py::arg("sigma"));
  def_random<rchisq>(m, "rchisq", engine, py::arg("dof"));
  def_random<rexp>(m, "rexp", engine, py::arg("rate"));
  def_random<rf>(m, "rf", engine, py::arg("df1"), py::arg("df2"));
  def_random<rgamma>(m, "rgamma", engine, py::arg("shape"), py::arg("scale"));
  def_random<rinvgamma>(m, "rinvgamma", engine, py::arg("shape"), py::arg("scale"));
  def_random<rlaplace>(m, "rlaplace", engine, py::arg("mu"), py::arg("sigma"));
  def_random<rlnorm>(m, "rlnorm", engine, py::arg("mu"), py::arg("sigma"));
  def_random<rlogis>(m, "rlogis", engine, py::arg("mu"), py::arg("sigma"));
  def_random<rpois>(m, "rpois", engine, py::arg("rate"));
  def_random<rt>(m, "rt", engine, py::arg("dof"));
  def_random<runif>(m, "runif", engine, py::arg("a"), py::arg("b"));
  def_random<rweibull>(m, "rweibull", engine, py::arg("shape"), py::arg("scale"));
}

}  // namespace distmill
