// The lane loops of the CDFs, for every instruction set.
#include "module/lanes_loops.hpp"

#include "dists/lanes/unif.hpp"
#include "dists/lanes/laplace.hpp"
#include "dists/lanes/logis.hpp"
#include "dists/lanes/exp.hpp"
#include "dists/lanes/weibull.hpp"
#include "dists/lanes/gamma_cdf.hpp"

namespace distmill::lanes {

template Runner<Punif::Scalar> runner<Punif>();
template Runner<Plaplace::Scalar> runner<Plaplace>();
template Runner<Plogis::Scalar> runner<Plogis>();
template Runner<Pexp::Scalar> runner<Pexp>();
template Runner<Pweibull::Scalar> runner<Pweibull>();
template Runner<Pgamma::Scalar> runner<Pgamma>();
template Runner<Pchisq::Scalar> runner<Pchisq>();

}  // namespace distmill::lanes
