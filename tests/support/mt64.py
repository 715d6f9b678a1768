"""An independent pure-Python transcription of the 64-bit Mersenne Twister
and of the primitive draws built on it, used to check the module's random
streams bit for bit.

Python floats are IEEE doubles, int -> float conversion rounds to nearest
even, and math.log is the C library's log, so the canonical conversion and
the polar method below round exactly as the native code does.
"""
import math

MASK = (1 << 64) - 1


class MT64:
    N, M = 312, 156
    MATRIX_A = 0xB5026F5AA96619E9
    UPPER = 0xFFFFFFFF80000000  # top 33 bits
    LOWER = 0x000000007FFFFFFF  # low 31 bits

    def __init__(self, seed):
        mt = [seed & MASK]  # a negative seed is taken modulo 2^64
        for i in range(1, self.N):
            prev = mt[-1]
            mt.append((6364136223846793005 * (prev ^ (prev >> 62)) + i) & MASK)
        self.mt = mt
        self.index = self.N
        self.outputs = 0  # raw outputs taken so far

    def _twist(self):
        mt, n, m = self.mt, self.N, self.M
        for i in range(n):
            x = (mt[i] & self.UPPER) | (mt[(i + 1) % n] & self.LOWER)
            xa = x >> 1
            if x & 1:
                xa ^= self.MATRIX_A
            mt[i] = mt[(i + m) % n] ^ xa
        self.index = 0

    def __call__(self):
        if self.index >= self.N:
            self._twist()
        y = self.mt[self.index]
        self.index += 1
        self.outputs += 1
        y ^= (y >> 29) & 0x5555555555555555
        y ^= (y << 17) & 0x71D67FFFEDA60000
        y ^= (y << 37) & 0xFFF7EEE000000000
        y ^= y >> 43
        return y & MASK


ONE_BELOW = 1.0 - 2.0 ** -53


def canonical_from_bits(x):
    u = float(x) * 2.0 ** -64
    return ONE_BELOW if u >= 1.0 else u


def canonical(gen):
    return canonical_from_bits(gen())


def uniform_open(a, b, gen):
    lo = math.nextafter(a, b)
    u = canonical(gen)
    return (b - lo) * u + lo


def standard_normal(gen):
    while True:
        u1 = canonical(gen)
        u2 = canonical(gen)
        x = (u1 + u1) - 1.0
        y = (u2 + u2) - 1.0
        s = x * x + y * y
        if not (s > 1.0 or s == 0.0):
            return y * math.sqrt(math.log(s) * (-2.0) / s)
