// Registration group 4: the quantile functions (no log flag).
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_quantile_functions(py::module_& m) {
  def_elementwise(m, "qunif", qunif, py::arg("p"), py::arg("a"), py::arg("b"));
}

}  // namespace distmill
