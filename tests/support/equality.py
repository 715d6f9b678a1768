"""Equality of doubles, one meaning per name.  Each takes scalars or arrays
(of one shape)."""
import numpy as np


def _pair(a, b):
    return np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)


def same_bits(a, b):
    """The same IEEE bit patterns: NaN payloads and signs of zeros count."""
    a, b = _pair(a, b)
    return a.shape == b.shape and np.array_equal(np.ascontiguousarray(a).view(np.uint64),
                                                 np.ascontiguousarray(b).view(np.uint64))


def same_value_and_sign(a, b):
    """Equal values with equal signs (so 0.0 and -0.0 differ); any NaN
    equals any NaN."""
    a, b = _pair(a, b)
    both_nan = np.isnan(a) & np.isnan(b)
    return a.shape == b.shape and bool(np.all(both_nan | ((a == b) & (np.signbit(a) == np.signbit(b)))))


def same_value_or_both_nan(a, b):
    """Equal values (0.0 equals -0.0); any NaN equals any NaN."""
    a, b = _pair(a, b)
    return a.shape == b.shape and bool(np.all((a == b) | (np.isnan(a) & np.isnan(b))))


def same_value_quiet_nan(a, b):
    """Equal values (0.0 equals -0.0); where b is NaN, a must be the quiet
    NaN 0x7ff8000000000000 that every function returns."""
    a, b = _pair(a, b)
    if a.shape != b.shape:
        return False
    quiet = np.ascontiguousarray(a).view(np.uint64) == np.uint64(0x7FF8000000000000)
    return bool(np.all(np.where(np.isnan(b), quiet, a == b)))
