// The lane loops of the quantiles, for every instruction set.
#include "module/lanes_loops.hpp"

#include "dists/lanes/unif.hpp"
#include "dists/lanes/laplace.hpp"
#include "dists/lanes/logis.hpp"
#include "dists/lanes/exp.hpp"
#include "dists/lanes/weibull.hpp"
#include "dists/lanes/quantile_norm.hpp"
#include "dists/lanes/quantile_gamma.hpp"
#include "dists/lanes/cauchy.hpp"
#include "dists/lanes/quantile_beta.hpp"
#include "dists/lanes/binom.hpp"
#include "dists/lanes/pois.hpp"
#include "dists/lanes/t.hpp"

namespace distmill::lanes {

template Runner<Qunif::Scalar> runner<Qunif>();
template Runner<Qlaplace::Scalar> runner<Qlaplace>();
template Runner<Qlogis::Scalar> runner<Qlogis>();
template Runner<Qexp::Scalar> runner<Qexp>();
template Runner<Qweibull::Scalar> runner<Qweibull>();
template Runner<Qnorm::Scalar> runner<Qnorm>();
template Runner<Qlnorm::Scalar> runner<Qlnorm>();
template Runner<Qcauchy::Scalar> runner<Qcauchy>();
template Runner<Qgamma::Scalar> runner<Qgamma>();
template Runner<Qchisq::Scalar> runner<Qchisq>();
template Runner<Qinvgamma::Scalar> runner<Qinvgamma>();
template Runner<Qbeta::Scalar> runner<Qbeta>();
template Runner<Qf::Scalar> runner<Qf>();
template Runner<Qbinom::Scalar> runner<Qbinom>();
template Runner<Qt::Scalar> runner<Qt>();
template Runner<Qpois::Scalar> runner<Qpois>();

}  // namespace distmill::lanes
