"""Calls of distmill as a user writes them, with the type each one has.

A type checker reads this file against the installed stub: every
assert_type must hold exactly, and every call marked `type: ignore` must be
an error (under --strict an ignore that suppresses nothing is itself an
error).  Run as a script, the same calls are made for real: the results
must have the asserted types and the rejected calls must raise TypeError,
so the stub and the module are held to the same expectations.
"""
from collections.abc import Callable
from typing import TYPE_CHECKING, Any, Union, get_args

import numpy as np
import numpy.typing as npt

import distmill as dm

if TYPE_CHECKING:
    from typing_extensions import assert_type
else:
    def _has_type(value: Any, expected: Any) -> bool:
        # (Before Python 3.11 a generic alias such as F64 passes
        # isinstance(F64, type): the aliases are tested first.)
        if expected is FloatOrF64:
            return any(_has_type(value, t) for t in get_args(expected))
        if expected is F64:  # a float64 array of any shape
            return isinstance(value, np.ndarray) and value.dtype == np.float64
        return type(value) is expected  # float, Engine

    def assert_type(value: Any, expected: Any) -> Any:
        if not _has_type(value, expected):
            raise AssertionError(f"expected {expected}, got {type(value).__name__}: {value!r}")
        return value


def rejects(call: Callable[[], object], error: type[Exception] = TypeError) -> None:
    try:
        call()
    except error:
        return
    raise AssertionError("the call was accepted at run time")


F64 = npt.NDArray[np.float64]
# A call with a numpy array: a float if every array is zero-dimensional.
FloatOrF64 = Union[float, F64]
x = np.linspace(0.1, 0.9, 5)
grid = np.linspace(-2.0, 2.0, 6).reshape(2, 3)
e = dm.Engine(7)

# Element-wise functions: all scalars give a float, anything else an array.
assert_type(dm.dnorm(0.0), float)
assert_type(dm.dnorm(1), float)
assert_type(dm.dnorm(np.float64(0.5), 1.0, 2.0), float)
assert_type(dm.dnorm(0.0, log=True), float)
assert_type(dm.dnorm(x), FloatOrF64)
assert_type(dm.dnorm([0.0, 1.0]), F64)
assert_type(dm.dnorm(0.0, log=[False, True]), F64)
assert_type(dm.pnorm(grid, [0.0, 1.0, 2.0]), FloatOrF64)
assert_type(dm.pnorm(1.96, 0.0, 1.0, True), float)
assert_type(dm.pnorm(x=1.0, mu=0.0, sigma=1.0, log_p=False), float)
assert_type(dm.qnorm(0.975), float)
assert_type(dm.qnorm(x, sigma=2.0), FloatOrF64)
assert_type(dm.dbinom(3, 10, 0.4), float)
assert_type(dm.dbinom(np.int64(3), 10, 0.4, log=True), float)
assert_type(dm.dbinom([1, 2], 5, 0.5), F64)
assert_type(dm.pbinom(3, [10, 20], 0.4), F64)
assert_type(dm.qbinom(0.5, 10, 0.5), float)
assert_type(dm.qbinom([0.5], 10, 0.5), F64)
assert_type(dm.dpois(2, 3.5), float)
counts: npt.NDArray[np.int64] = np.arange(5)  # (older numpy types np.arange as Any)
assert_type(dm.ppois(counts, 3.5), FloatOrF64)
assert_type(dm.qpois(x, 3.0), FloatOrF64)
assert_type(dm.dbern(1, 0.3), float)
assert_type(dm.pgamma(x, 2.0, 1.0, log_p=True), FloatOrF64)
assert_type(dm.qgamma(0.5, shape=2.0, scale=1.0), float)
assert_type(dm.dbeta(0.3, 2.0, 5.0), float)
assert_type(dm.pf(x, 3.0, 7.0), FloatOrF64)
assert_type(dm.qt(0.975, 10.0), float)
assert_type(dm.dunif(0.5, 0.0, 1.0), float)
assert_type(dm.pweibull(grid, 2.0, [1.0, 2.0, 3.0]), FloatOrF64)
assert_type(dm.qcauchy(0.75, 0.0, 1.0), float)
# Zero-dimensional arrays count as scalars: the result is a float, so a
# checker must refuse array attributes on it.
zero = np.array(0.5)
assert_type(dm.dnorm(zero), FloatOrF64)
assert_type(dm.pbinom(np.array(3), 10, zero), FloatOrF64)
assert type(dm.dnorm(zero)) is float and type(dm.pbinom(np.array(3), 10, zero)) is float
rejects(lambda: dm.dnorm(zero).shape, AttributeError)  # type: ignore[union-attr]

# Draw functions: the scalar form, the sequence-size form, the integer-size form.
assert_type(dm.rnorm(), float)
assert_type(dm.rnorm(1.0), float)
assert_type(dm.rnorm(0.0, 1.0, e), float)
assert_type(dm.rnorm(engine=e), float)
assert_type(dm.rnorm(size=3), F64)
assert_type(dm.rnorm(1.0, size=[2, 2]), F64)
assert_type(dm.rnorm(0.0, 1.0, 3), F64)
assert_type(dm.rnorm(0.0, 1.0, [2, 3], e), F64)
assert_type(dm.rnorm(mu=0.0, sigma=1.0, size=4, engine=e), F64)
assert_type(dm.rgamma(2.0, 1.0, e), float)
assert_type(dm.rgamma(2.0, 1.0, 4, engine=e), F64)
assert_type(dm.rgamma(2.0, 1.0, (2, 2), e), F64)
assert_type(dm.rbinom(10, 0.3, e), float)
assert_type(dm.rbinom(np.int64(10), 0.3, [2], e), F64)
assert_type(dm.rpois(3.0, np.int64(3), e), F64)
assert_type(dm.rpois(3.0, np.array([2, 2]), e), F64)
assert_type(dm.runif(0.0, 1.0, 5), F64)
assert_type(dm.rt(5.0, e), float)
assert_type(dm.rexp(2, e), float)
assert_type(dm.Engine(np.int32(3)), dm.Engine)

# Calls the module refuses; the stub refuses them too.
rejects(lambda: dm.dunif(0.5))  # type: ignore[call-overload]
rejects(lambda: dm.qnorm(0.5, log_p=True))  # type: ignore[call-overload]
rejects(lambda: dm.dnorm(0.0, scale=2.0))  # type: ignore[call-overload]
rejects(lambda: dm.Engine())  # type: ignore[call-arg]
rejects(lambda: dm.Engine(seed=3))  # type: ignore[call-arg]
rejects(lambda: dm.Engine(1.5))  # type: ignore[arg-type]
rejects(lambda: dm.rexp(1.0, 2.0))  # type: ignore[call-overload]
rejects(lambda: dm.rexp(1.0, "3"))  # type: ignore[arg-type]
rejects(lambda: dm.rexp(1.0, None))  # type: ignore[call-overload]
rejects(lambda: dm.rbinom(2.5, 0.5))  # type: ignore[call-overload]
rejects(lambda: dm.rgamma(2.0))  # type: ignore[call-overload]
rejects(lambda: dm.rnorm(0.0, 1.0, 3, 4))  # type: ignore[call-overload]
