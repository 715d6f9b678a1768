// Registration group 3: the cumulative distribution functions.
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
#include "dists/lanes/unif.hpp"
#include "dists/lanes/exp.hpp"
#include "dists/lanes/laplace.hpp"
#include "dists/lanes/logis.hpp"
#include "dists/lanes/weibull.hpp"
#include "dists/lanes/gamma_cdf.hpp"
#include "dists/lanes/norm_cdf.hpp"
#include "dists/lanes/invgamma_cdf.hpp"
#include "dists/lanes/beta_cdf.hpp"
#include "dists/lanes/pois.hpp"
#include "dists/lanes/binom.hpp"
#include "dists/lanes/bern.hpp"
#include "dists/lanes/cauchy.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_cdf_functions(py::module_& m) {
  def_elementwise(m, "pnorm", pnorm, lanes::runner<lanes::Pnorm>(), py::arg("x"), py::arg("mu") = 0, py::arg("sigma") = 1, py::arg("log_p") = false);
  def_elementwise(m, "pbern", pbern, lanes::runner<lanes::Pbern>(), py::arg("x"), py::arg("prob"), py::arg("log_p") = false);
  def_elementwise(m, "pbeta", pbeta, lanes::runner<lanes::Pbeta>(), py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log_p") = false);
  def_elementwise(m, "pbinom", pbinom, lanes::runner<lanes::Pbinom>(), py::arg("x"), py::arg("n_trials"), py::arg("prob"), py::arg("log_p") = false);
  def_elementwise(m, "pcauchy", pcauchy, lanes::runner<lanes::Pcauchy>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log_p") = false);
  def_elementwise(m, "pchisq", pchisq, lanes::runner<lanes::Pchisq>(), py::arg("x"), py::arg("dof"), py::arg("log_p") = false);
  def_elementwise(m, "pexp", pexp, lanes::runner<lanes::Pexp>(), py::arg("x"), py::arg("rate"), py::arg("log_p") = false);
  def_elementwise(m, "pf", pf, lanes::runner<lanes::Pf>(), py::arg("x"), py::arg("df1"), py::arg("df2"), py::arg("log_p") = false);
  def_elementwise(m, "pgamma", pgamma, lanes::runner<lanes::Pgamma>(), py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log_p") = false);
  def_elementwise(m, "pinvgamma", pinvgamma, lanes::runner<lanes::Pinvgamma>(), py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log_p") = false);
  def_elementwise(m, "plaplace", plaplace, lanes::runner<lanes::Plaplace>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log_p") = false);
  def_elementwise(m, "plnorm", plnorm, lanes::runner<lanes::Plnorm>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log_p") = false);
  def_elementwise(m, "plogis", plogis, lanes::runner<lanes::Plogis>(), py::arg("x"), py::arg("mu"), py::arg("sigma"), py::arg("log_p") = false);
  def_elementwise(m, "ppois", ppois, lanes::runner<lanes::Ppois>(), py::arg("x"), py::arg("rate"), py::arg("log_p") = false);
  def_elementwise(m, "pt", pt, lanes::runner<lanes::Pt>(), py::arg("x"), py::arg("dof"), py::arg("log_p") = false);
  def_elementwise(m, "punif", punif, lanes::runner<lanes::Punif>(), py::arg("x"), py::arg("a"), py::arg("b"), py::arg("log_p") = false);
  def_elementwise(m, "pweibull", pweibull, lanes::runner<lanes::Pweibull>(), py::arg("x"), py::arg("shape"), py::arg("scale"), py::arg("log_p") = false);
}

}  // namespace distmill
