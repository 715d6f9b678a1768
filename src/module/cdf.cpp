// Registration group 3: the cumulative distribution functions.
#include "dists/unif.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_cdf_functions(py::module_& m) {
  def_elementwise(m, "punif", punif, py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log_p") = false);
}

}  // namespace distmill
