// Registration group 1: the density and mass functions.
#include "dists/lnorm.hpp"
#include "dists/norm.hpp"
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_density_functions(py::module_& m) {
  def_elementwise(m, "dnorm", dnorm, py::arg("x"), py::arg("mu") = 0, py::arg("sigma") = 1, py::arg("log") = false);
  def_elementwise(m, "dlnorm", dlnorm, py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log") = false);
  def_elementwise(m, "dunif", dunif, py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log") = false);
}

}  // namespace distmill
