// Registration group 4: the quantile functions (no log flag).
#include "dists/lnorm.hpp"
#include "dists/norm.hpp"
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_quantile_functions(py::module_& m) {
  def_elementwise(m, "qnorm", qnorm, py::arg("p"), py::arg("mu") = 0, py::arg("sigma") = 1);
  def_elementwise(m, "qlnorm", qlnorm, py::arg("p"), py::arg("mu"), py::arg("sigma"));
  def_elementwise(m, "qunif", qunif, py::arg("p"), py::arg("a"), py::arg("b"));
}

}  // namespace distmill
