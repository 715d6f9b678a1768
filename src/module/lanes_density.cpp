// The lane loops of the densities, for every instruction set.
#include "module/lanes_loops.hpp"

#include "dists/lanes/norm.hpp"
#include "dists/lanes/exp.hpp"
#include "dists/lanes/gamma.hpp"
#include "dists/lanes/lnorm.hpp"
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

namespace distmill::lanes {

template Runner<Dnorm::Scalar> runner<Dnorm>();
template Runner<Dexp::Scalar> runner<Dexp>();
template Runner<Dgamma::Scalar> runner<Dgamma>();
template Runner<Dlnorm::Scalar> runner<Dlnorm>();
template Runner<Dunif::Scalar> runner<Dunif>();
template Runner<Dlaplace::Scalar> runner<Dlaplace>();
template Runner<Dlogis::Scalar> runner<Dlogis>();
template Runner<Dweibull::Scalar> runner<Dweibull>();
template Runner<Dchisq::Scalar> runner<Dchisq>();
template Runner<Dinvgamma::Scalar> runner<Dinvgamma>();
template Runner<Dbeta::Scalar> runner<Dbeta>();
template Runner<Dt::Scalar> runner<Dt>();
template Runner<Df::Scalar> runner<Df>();
template Runner<Dpois::Scalar> runner<Dpois>();
template Runner<Dbinom::Scalar> runner<Dbinom>();
template Runner<Dbern::Scalar> runner<Dbern>();
template Runner<Dcauchy::Scalar> runner<Dcauchy>();

}  // namespace distmill::lanes
