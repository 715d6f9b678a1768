"""A short tour of distmill: densities, CDFs, quantiles and seeded draws."""
import numpy as np

import distmill as dm

np.set_printoptions(precision=6, suppress=False)

print("Densities")
print("  dnorm(0)                     =", dm.dnorm(0.0))
print("  dgamma([0.5, 1, 2], 2, 1)    =", dm.dgamma([0.5, 1.0, 2.0], 2.0, 1.0))
print("  dbinom(3, 10, 0.4)           =", dm.dbinom(3, 10, 0.4))
print("  dt(1.5, 4, log=True)         =", dm.dt(1.5, 4.0, log=True))

print("CDFs")
print("  pnorm(1.96)                  =", dm.pnorm(1.96))
print("  pexp([0.5, 1, 2], 1.5)       =", dm.pexp([0.5, 1.0, 2.0], 1.5))
print("  ppois(4, 3.5)                =", dm.ppois(4, 3.5))
print("  pbeta(0.3, 2, 5, log_p=True) =", dm.pbeta(0.3, 2.0, 5.0, log_p=True))

print("Quantiles")
print("  qnorm(0.975)                 =", dm.qnorm(0.975))
print("  qchisq([0.05, 0.95], 3)      =", dm.qchisq([0.05, 0.95], 3.0))
print("  qweibull(0.5, 2, 3)          =", dm.qweibull(0.5, 2.0, 3.0))
print("  qbinom(0.5, 20, 0.3)         =", dm.qbinom(0.5, 20, 0.3))

print("Broadcasting: pnorm(x[:, None], mu=[0, 1, 2]) ->")
print(dm.pnorm(np.array([-1.0, 0.0, 1.0])[:, None], [0.0, 1.0, 2.0]))

print("Seeded draws (the same seed gives the same bits, every time)")
e1, e2 = dm.Engine(2024), dm.Engine(2024)
a = dm.rnorm(0.0, 1.0, 5, e1)
b = dm.rnorm(0.0, 1.0, 5, e2)
print("  rnorm(0, 1, 5, Engine(2024)) =", a)
print("  identical on a second engine:", bool(np.array_equal(a, b)))
print("  rgamma(2, 1, [2, 3], e1)     =\n", dm.rgamma(2.0, 1.0, [2, 3], e1))
print("  rpois(4.5, 6, e1)            =", dm.rpois(4.5, 6, e1))
print("  rbinom(10, 0.3) (default engine, seeded 1 at import) =", dm.rbinom(10, 0.3))
