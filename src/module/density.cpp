// Registration group 1: the density and mass functions.
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_density_functions(py::module_& m) {
  def_elementwise(m, "dchisq", dchisq, py::arg("x"), py::arg("dof"), py::arg("log") = false);
  def_elementwise(m, "dgamma", dgamma, py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log") = false);
  def_elementwise(m, "dinvgamma", dinvgamma, py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log") = false);
  def_elementwise(m, "dunif", dunif, py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log") = false);
}

}  // namespace distmill
