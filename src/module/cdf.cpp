// Registration group 3: the cumulative distribution functions.
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_cdf_functions(py::module_& m) {
  def_elementwise(m, "pchisq", pchisq, py::arg("x"), py::arg("dof"), py::arg("log_p") = false);
  def_elementwise(m, "pgamma", pgamma, py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log_p") = false);
  def_elementwise(m, "pinvgamma", pinvgamma, py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log_p") = false);
  def_elementwise(m, "punif", punif, py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log_p") = false);
}

}  // namespace distmill
