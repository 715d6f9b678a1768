// The lane loops of the CDFs, for every instruction set.
#include "module/lanes_loops.hpp"

#include "dists/lanes/unif.hpp"
#include "dists/lanes/laplace.hpp"
#include "dists/lanes/logis.hpp"
#include "dists/lanes/exp.hpp"
#include "dists/lanes/weibull.hpp"
#include "dists/lanes/gamma_cdf.hpp"
#include "dists/lanes/norm_cdf.hpp"
#include "dists/lanes/invgamma_cdf.hpp"
#include "dists/lanes/beta_cdf.hpp"
#include "dists/lanes/pois.hpp"
#include "dists/lanes/binom.hpp"
#include "dists/lanes/bern.hpp"
#include "dists/lanes/cauchy.hpp"

namespace distmill::lanes {

template Runner<Punif::Scalar> runner<Punif>();
template Runner<Plaplace::Scalar> runner<Plaplace>();
template Runner<Plogis::Scalar> runner<Plogis>();
template Runner<Pexp::Scalar> runner<Pexp>();
template Runner<Pweibull::Scalar> runner<Pweibull>();
template Runner<Pgamma::Scalar> runner<Pgamma>();
template Runner<Pchisq::Scalar> runner<Pchisq>();
template Runner<Pnorm::Scalar> runner<Pnorm>();
template Runner<Plnorm::Scalar> runner<Plnorm>();
template Runner<Pinvgamma::Scalar> runner<Pinvgamma>();
template Runner<Pbeta::Scalar> runner<Pbeta>();
template Runner<Pt::Scalar> runner<Pt>();
template Runner<Pf::Scalar> runner<Pf>();
template Runner<Ppois::Scalar> runner<Ppois>();
template Runner<Pbinom::Scalar> runner<Pbinom>();
template Runner<Pbern::Scalar> runner<Pbern>();
template Runner<Pcauchy::Scalar> runner<Pcauchy>();

}  // namespace distmill::lanes
