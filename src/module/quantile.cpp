// Registration group 4: the quantile functions (no log flag).
#include "dists/chisq.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_quantile_functions(py::module_& m) {
  def_elementwise(m, "qchisq", qchisq, py::arg("p"), py::arg("dof"));
  def_elementwise(m, "qgamma", qgamma, py::arg("p"), py::arg("shape"), py::arg("scale"));
  def_elementwise(m, "qinvgamma", qinvgamma, py::arg("p"), py::arg("shape"), py::arg("scale"));
  def_elementwise(m, "qunif", qunif, py::arg("p"), py::arg("a"), py::arg("b"));
}

}  // namespace distmill
