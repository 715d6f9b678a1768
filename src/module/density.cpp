// Registration group 1: the density and mass functions.
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_density_functions(py::module_& m) {
  def_elementwise(m, "dunif", dunif, py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log") = false);
}

}  // namespace distmill
