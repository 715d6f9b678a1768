// The module entry point.  The module is created single-phase (a module
// definition with per-module state size -1 and API version 1013) so that it
// holds the one default engine for the life of the process.
#include <cstring>

#include "module/registration.hpp"

namespace {

PyModuleDef distmill_def = {
    PyModuleDef_HEAD_INIT,
    "distmill",  // m_name
    nullptr,     // m_doc: the docstring is set as an attribute afterwards
    -1,          // m_size: single-phase, no per-interpreter state
    nullptr,     // m_methods: every function is added after creation
    nullptr, nullptr, nullptr, nullptr};

}  // namespace

extern "C" PYBIND11_EXPORT PyObject* PyInit_distmill() {
  namespace py = pybind11;
  // The interpreter must be the major.minor version the module was built for.
  {
    const char* compiled = PYBIND11_TOSTRING(PY_MAJOR_VERSION) "." PYBIND11_TOSTRING(PY_MINOR_VERSION);
    const char* running = Py_GetVersion();
    const std::size_t len = std::strlen(compiled);
    if (std::strncmp(running, compiled, len) != 0 || (running[len] >= '0' && running[len] <= '9')) {
      PyErr_Format(PyExc_ImportError,
                   "Python version mismatch: module was compiled for Python %s, "
                   "but the interpreter version is incompatible: %s.",
                   compiled, running);
      return nullptr;
    }
  }
  py::detail::get_internals();
  // Long loops of the scalar functions and samplers ask this hook, now and
  // then, whether a signal (Ctrl-C) is pending.
  distmill::interrupt_hook = distmill::raise_pending_signal;

  PyObject* raw = nullptr;
  try {
    raw = PyModule_Create2(&distmill_def, 1013);
    if (raw == nullptr) {
      if (PyErr_Occurred()) throw py::error_already_set();
      throw std::runtime_error("Internal error in module::module()");
    }
    auto m = py::reinterpret_borrow<py::module_>(raw);
    m.attr("__doc__") = "pybind11 wrapper for zorvan/distmill";
    // The lanes of the array calls in use (module/lanes.hpp).
    m.attr("__lanes__") = distmill::lanes::mode_name();
    distmill::register_density_functions(m);
    distmill::register_random_functions(m);
    distmill::register_cdf_functions(m);
    distmill::register_quantile_functions(m);
    return raw;
  } catch (py::error_already_set& e) {
    PyErr_SetString(PyExc_ImportError, e.what());
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_ImportError, e.what());
  }
  Py_XDECREF(raw);
  return nullptr;
}
