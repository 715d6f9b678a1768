// Registration group 1: the density and mass functions.
#include "dists/bern.hpp"
#include "dists/beta.hpp"
#include "dists/binom.hpp"
#include "dists/cauchy.hpp"
#include "dists/chisq.hpp"
#include "dists/exp.hpp"
#include "dists/f.hpp"
#include "dists/gamma.hpp"
#include "dists/invgamma.hpp"
#include "dists/laplace.hpp"
#include "dists/lnorm.hpp"
#include "dists/logis.hpp"
#include "dists/norm.hpp"
#include "dists/pois.hpp"
#include "dists/t.hpp"
#include "dists/unif.hpp"
#include "dists/weibull.hpp"
#include "dists/lanes/exp.hpp"
#include "dists/lanes/gamma.hpp"
#include "dists/lanes/lnorm.hpp"
#include "dists/lanes/norm.hpp"
#include "dists/lanes/unif.hpp"
#include "dists/lanes/laplace.hpp"
#include "dists/lanes/logis.hpp"
#include "dists/lanes/weibull.hpp"
#include "dists/lanes/beta.hpp"
#include "dists/lanes/t.hpp"
#include "dists/lanes/f.hpp"
#include "dists/lanes/pois.hpp"
#include "dists/lanes/binom.hpp"
#include "dists/lanes/bern.hpp"
#include "dists/lanes/cauchy.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_density_functions(py::module_& m) {
  def_elementwise(m, "dnorm", dnorm, lanes::runner<lanes::Dnorm>(), py::arg("x"), py::arg("mu") = 0, py::arg("sigma") = 1, py::arg("log") = false);
  def_elementwise(m, "dbern", dbern, lanes::runner<lanes::Dbern>(), py::arg("x"), py::arg("prob"), py::arg("log") = false);
  def_elementwise(m, "dbeta", dbeta, lanes::runner<lanes::Dbeta>(), py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log") = false);
  def_elementwise(m, "dbinom", dbinom, lanes::runner<lanes::Dbinom>(), py::arg("x"), py::arg("n_trials"), py::arg("prob"), py::arg("log") = false);
  def_elementwise(m, "dcauchy", dcauchy, lanes::runner<lanes::Dcauchy>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log") = false);
  def_elementwise(m, "dchisq", dchisq, lanes::runner<lanes::Dchisq>(), py::arg("x"), py::arg("dof"), py::arg("log") = false);
  def_elementwise(m, "dexp", dexp, lanes::runner<lanes::Dexp>(), py::arg("x"), py::arg("rate"), py::arg("log") = false);
  def_elementwise(m, "df", df, lanes::runner<lanes::Df>(), py::arg("x"), py::arg("df1"), py::arg("df2"), py::arg("log") = false);
  def_elementwise(m, "dgamma", dgamma, lanes::runner<lanes::Dgamma>(), py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log") = false);
  def_elementwise(m, "dinvgamma", dinvgamma, lanes::runner<lanes::Dinvgamma>(), py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log") = false);
  def_elementwise(m, "dlaplace", dlaplace, lanes::runner<lanes::Dlaplace>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log") = false);
  def_elementwise(m, "dlnorm", dlnorm, lanes::runner<lanes::Dlnorm>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log") = false);
  def_elementwise(m, "dlogis", dlogis, lanes::runner<lanes::Dlogis>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log") = false);
  def_elementwise(m, "dpois", dpois, lanes::runner<lanes::Dpois>(), py::arg("x"), py::arg("rate"), py::arg("log") = false);
  def_elementwise(m, "dt", dt, lanes::runner<lanes::Dt>(), py::arg("x"), py::arg("dof"), py::arg("log") = false);
  def_elementwise(m, "dunif", dunif, lanes::runner<lanes::Dunif>(), py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log") = false);
  def_elementwise(m, "dweibull", dweibull, lanes::runner<lanes::Dweibull>(), py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log") = false);
}

}  // namespace distmill
