// Registration group 4: the quantile functions (no log flag).
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
#include "dists/lanes/quantile_norm.hpp"
#include "dists/lanes/quantile_gamma.hpp"
#include "dists/lanes/cauchy.hpp"
#include "dists/lanes/quantile_beta.hpp"
#include "dists/lanes/binom.hpp"
#include "dists/lanes/pois.hpp"
#include "dists/lanes/t.hpp"
#include "module/registration.hpp"

namespace distmill {

void register_quantile_functions(py::module_& m) {
  def_elementwise(m, "qnorm", qnorm, lanes::runner<lanes::Qnorm>(), py::arg("p"), py::arg("mu") = 0, py::arg("sigma") = 1);
  def_elementwise(m, "qbern", qbern, py::arg("p"), py::arg("prob"));
  def_elementwise(m, "qbeta", qbeta, lanes::runner<lanes::Qbeta>(), py::arg("p"), py::arg("a"), py::arg("b"));
  def_elementwise(m, "qbinom", qbinom, lanes::runner<lanes::Qbinom>(), py::arg("p"), py::arg("n_trials"), py::arg("prob"));
  def_elementwise(m, "qcauchy", qcauchy, lanes::runner<lanes::Qcauchy>(), py::arg("p"), py::arg("mu"), py::arg("sigma"));
  def_elementwise(m, "qchisq", qchisq, lanes::runner<lanes::Qchisq>(), py::arg("p"), py::arg("dof"));
  def_elementwise(m, "qexp", qexp, lanes::runner<lanes::Qexp>(), py::arg("p"), py::arg("rate"));
  def_elementwise(m, "qf", qf, lanes::runner<lanes::Qf>(), py::arg("p"), py::arg("df1"), py::arg("df2"));
  def_elementwise(m, "qgamma", qgamma, lanes::runner<lanes::Qgamma>(), py::arg("p"), py::arg("shape"), py::arg("scale"));
  def_elementwise(m, "qinvgamma", qinvgamma, lanes::runner<lanes::Qinvgamma>(), py::arg("p"), py::arg("shape"), py::arg("scale"));
  def_elementwise(m, "qlaplace", qlaplace, lanes::runner<lanes::Qlaplace>(), py::arg("p"), py::arg("mu"), py::arg("sigma"));
  def_elementwise(m, "qlnorm", qlnorm, lanes::runner<lanes::Qlnorm>(), py::arg("p"), py::arg("mu"), py::arg("sigma"));
  def_elementwise(m, "qlogis", qlogis, lanes::runner<lanes::Qlogis>(), py::arg("p"), py::arg("mu"), py::arg("sigma"));
  def_elementwise(m, "qpois", qpois, lanes::runner<lanes::Qpois>(), py::arg("p"), py::arg("rate"));
  def_elementwise(m, "qt", qt, lanes::runner<lanes::Qt>(), py::arg("p"), py::arg("dof"));
  def_elementwise(m, "qunif", qunif, lanes::runner<lanes::Qunif>(), py::arg("p"), py::arg("a"), py::arg("b"));
  def_elementwise(m, "qweibull", qweibull, lanes::runner<lanes::Qweibull>(), py::arg("p"), py::arg("shape"), py::arg("scale"));
}

}  // namespace distmill
